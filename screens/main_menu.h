// The main menu, the information screen and the money panels.
#pragma once
#include <cstdint>

// MenuIdle's state: the next full redraw of the background, and the credit-plus-bank total
// it last computed (-1 before the first pass).
extern uint32_t MenuRefreshDeadline;
extern int32_t MenuTotal;

// True when a paid game is to start, false when the player left.
bool RunMainMenu();
// The Rules screen and the fade back to the menu.
void ShowInfoScreen();
// The main menu's idle step, run by the wait on MainMenuButtons on every pass.
void MenuIdle();

// Panels: target -1 is the back buffer, 0 or 1 a canvas.
void DrawBankPanel(int target);
void DrawCreditPanel(int target);
// Panels showing a given amount in pence, on the back buffer.
void DrawBankAmount(int32_t amount);
void DrawCreditAmount(int32_t amount);

// The characters of an amount in a panel whose text starts at x `start`: frame of CreditNos
// (0-9 digits, 10 the point, 11 the pound sign) and x of each. Returns the count: 5 below
// 10.00, 6 below 100.00, 7 up to 999.99, and 0 (nothing shown) for an amount outside 0 to 99999.
struct PanelGlyph {
  int frame;
  int x;
};
constexpr int kPanelGlyphsMost = 7;
int PanelGlyphs(int32_t amount, int start, PanelGlyph out[kPanelGlyphsMost]);
// The start x of each panel for an amount.
int BankPanelStart(int32_t amount);
int CreditPanelStart(int32_t amount);
int BankAmountStart(int32_t amount);
int CreditAmountStart(int32_t amount);
