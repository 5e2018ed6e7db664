#include "screens/main_menu.h"

#include "shell/timers.h"

bool RunMainMenu() {
  WaitOrTouch(30000);
  return false;
}
void ShowInfoScreen() {}
void MenuIdle() {}
void DrawBankPanel(int) {}
void DrawCreditPanel(int) {}
void DrawBankAmount(int32_t) {}
void DrawCreditAmount(int32_t) {}
int PanelGlyphs(int32_t, int, PanelGlyph*) { return 0; }
int BankPanelStart(int32_t) { return 0; }
int CreditPanelStart(int32_t) { return 0; }
int BankAmountStart(int32_t) { return 0; }
int CreditAmountStart(int32_t) { return 0; }
