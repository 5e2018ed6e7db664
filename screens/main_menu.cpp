#include "screens/main_menu.h"

#include "display/assets.h"
#include "display/display.h"
#include "display/transitions.h"
#include "display/fonts.h"
#include "game/journal_events.h"
#include "machine/credit_link.h"
#include "machine/money_due.h"
#include "screens/buttons.h"

#include <cstdio>
#include "shell/shell.h"
#include "shell/timers.h"
#include "sound/sound.h"

namespace {

constexpr int kBackground = 4, kInsert = 2, kCreditNos = 5, kCreditBlank = 10, kBankBlank = 11,
              kWinCreditBlank = 53, kWinBankBlank = 54;
constexpr int kInfoScreen = 6, kPlayPressed = 7, kInfoPressed = 8, kMenuPressed = 9;
constexpr uint8_t kMenuPress = 7, kMainTune = 8;
constexpr int32_t kMainMenu = 0, kRules = 1, kStart = 2;
constexpr int kPoint = 10, kPound = 11;
constexpr int kDigitRow = 50;
constexpr ClipBox kPromptBox{0, 800, 430, 600};
// Where the menu says it takes no stakes, instead of the insert-money prompt.
constexpr ClipBox kNoticeBox{150, 650, 436, 476};
constexpr int32_t kNoticeFont = 12;
constexpr int kPlainRow = 4;  // the background's top rows between the panels hold only stars

// Target -1 is the back buffer, 0 or 1 a canvas.
void DrawOn(int target, Sprite& sprite, int frame, int x, int y, const ClipBox* clip, int keyed) {
  if (target < 0)
    DrawImage(sprite, frame, x, y, clip, keyed);
  else
    DrawImageToCanvas(target, sprite, frame, x, y, clip, keyed);
}

void DrawPanel(int target, int background, int bgX, int start, int32_t amount) {
  DrawOn(target, Sprites[background], 0, bgX, 0, nullptr, kKeyed);
  PanelGlyph glyphs[kPanelGlyphsMost];
  int count = PanelGlyphs(amount, start, glyphs);
  for (int i = 0; i < count; i++) DrawOn(target, Sprites[kCreditNos], glyphs[i].frame, glyphs[i].x, kDigitRow, nullptr, kKeyed);
}

}  // namespace

uint32_t MenuRefreshDeadline = 0;
int32_t MenuTotal = -1;

int PanelGlyphs(int32_t amount, int start, PanelGlyph out[kPanelGlyphsMost]) {
  // A win counting into a full bank passes 99.99 on the way: every pound digit is shown, never
  // the last four alone. Anything beyond the panel's room shows no amount rather than a wrong one.
  if (amount < 0 || amount > 99999) return 0;
  int poundDigits = amount >= 10000 ? 3 : amount >= 1000 ? 2 : 1;
  int count = 0;
  out[count++] = {kPound, start};
  for (int i = poundDigits - 1, x = start + 15; i >= 0; --i, x += 15) {
    int32_t scale = 100;
    for (int k = 0; k < i; ++k) scale *= 10;
    out[count++] = {amount / scale % 10, x};
  }
  int point = start + 15 * poundDigits + 16;
  out[count++] = {kPoint, point};
  out[count++] = {amount / 10 % 10, point + 7};
  out[count++] = {amount % 10, point + 22};
  return count;
}

namespace {
// Each pound digit past the fourth digit moves the amount one digit's width to the left.
int Start(int32_t amount, int belowAPoundTen, int fromAPoundTen) {
  if (amount < 1000) return belowAPoundTen;
  return amount < 10000 ? fromAPoundTen : fromAPoundTen - 15;
}
}  // namespace

int BankPanelStart(int32_t amount) { return Start(amount, 41, 33); }
int CreditPanelStart(int32_t amount) { return Start(amount, 694, 685); }
int BankAmountStart(int32_t amount) { return Start(amount, 41, 37); }
int CreditAmountStart(int32_t amount) { return Start(amount, 694, 685); }

void DrawBankPanel(int target) {
  int32_t bank = ReadBank();
  DrawPanel(target, kBankBlank, 0, BankPanelStart(bank), bank);
}

void DrawCreditPanel(int target) {
  int32_t credit = ReadCredit();
  DrawPanel(target, kCreditBlank, 646, CreditPanelStart(credit), credit);
}

void DrawBankAmount(int32_t amount) { DrawPanel(-1, kWinBankBlank, 0, BankAmountStart(amount), amount); }

void DrawCreditAmount(int32_t amount) { DrawPanel(-1, kWinCreditBlank, 646, CreditAmountStart(amount), amount); }

namespace {
bool DrawServiceNotice(int target) {
  int32_t owed = 0;
  Service service = MachineService(&owed);
  if (service == Service::Open) return false;
  char text[48] = "OUT OF SERVICE";
  if (service == Service::CallAttendant) {
    if (owed <= 0) std::snprintf(text, sizeof text, "CALL ATTENDANT");
    else if (owed < 100) std::snprintf(text, sizeof text, "CALL ATTENDANT %dP", owed);
    else std::snprintf(text, sizeof text, "CALL ATTENDANT \xA3%d.%02d", owed / 100, owed % 100);
  }
  // The background's "Touch START" line is covered with a plain starry strip of its own top.
  ClipBox strip = kNoticeBox;
  DrawOn(target, Sprites[kBackground], 0, 0, kNoticeBox.top - kPlainRow, &strip, kOpaque);
  TextCentred = 1;
  TextTarget = target;
  WriteText(text, kNoticeBox.left, kNoticeBox.top, kNoticeBox.right - kNoticeBox.left,
            kNoticeBox.bottom - kNoticeBox.top, kNoticeFont);
  return true;
}
}  // namespace

void MenuIdle() {
  ServiceStep();
  MenuTotal = ReadCredit() + ReadBank();
  if (DeadlinePassed(MenuRefreshDeadline)) {
    StartDeadline(MenuRefreshDeadline, 500);
    DrawImage(Sprites[kBackground], 0, 0, 0, &kFullScreen, kOpaque);
  }
  DrawCreditPanel(-1);
  DrawBankPanel(-1);
  if (MachineService() != Service::Open) {
    DrawImage(Sprites[kBackground], 0, 0, 0, &kPromptBox, kOpaque);
    DrawServiceNotice(-1);
  } else if (MenuTotal < Stake) {
    DrawImage(Sprites[kBackground], 0, 0, 0, &kPromptBox, kOpaque);
    DrawImage(Sprites[kInsert], 0, 568, 445, &kPromptBox, kKeyed);
  }
}

namespace {

bool ShortOfStake() { return ReadCredit() + ReadBank() < Stake; }

void DrawMenuScreen() {
  DrawImage(Sprites[kBackground], 0, 0, 0, nullptr, kOpaque);
  if (!DrawServiceNotice(-1) && ShortOfStake()) DrawImage(Sprites[kInsert], 0, 568, 445, nullptr, kKeyed);
  DrawBankPanel(-1);
  DrawCreditPanel(-1);
}

void ShowPressed(int picture, int x, int y) {
  DrawMenuScreen();
  DrawImage(Sprites[picture], 0, x, y, nullptr, kKeyed);
  Present();
  PumpFor(200);
  DrawMenuScreen();
  Present();
}

void CrossFade() {
  StartTransition(800);
  do {
    BlendCanvas(static_cast<int32_t>(TransitionProgress(100)), &kFullScreen, kKeyed);
    Present();
  } while (!TransitionDone());
}

// Not pumping messages: the press sound is short.
void WaitForPressSound() {
  while (SoundIsPlaying(kMenuPress)) {
  }
}

}  // namespace

void ShowInfoScreen() {
  CaptureCanvas(1, &kFullScreen);
  DrawImageToCanvas(0, Sprites[kInfoScreen], 0, 0, 0, nullptr, kOpaque);
  CaptureCanvas(0, &kFullScreen);
  CrossFade();
  Present();

  WaitOrTouch(20000);
  PlaySoundOnce(kMenuPress);

  SaveToCanvas(1, 0, 0, 800, 600);
  CaptureCanvas(1, &kFullScreen);
  DrawImageToCanvas(0, Sprites[kBackground], 0, 0, 0, nullptr, kOpaque);
  if (!DrawServiceNotice(0) && ShortOfStake()) DrawImageToCanvas(0, Sprites[kInsert], 0, 568, 445, nullptr, kKeyed);
  DrawBankPanel(0);
  DrawCreditPanel(0);
  CaptureCanvas(0, &kFullScreen);
  CrossFade();
}

bool RunMainMenu() {
  PlaySoundLoop(kMainTune);
  int32_t choice;
  do {
    Present();
    choice = WaitMainMenu();
    if (choice == kRules) {
      PlaySoundOnce(kMenuPress);
      ShowPressed(kInfoPressed, 296, 480);
      SaveToCanvas(1, 0, 0, 800, 600);
      ShowInfoScreen();
    }
    // A refused payment just waits again.
    if (choice == kStart) {
      JournalBeforeGameStake();
      if (!PayForGame()) choice = kRules;
    }
  } while (choice == kRules);

  if (choice == kMainMenu) {
    StopAllSounds();
    PlaySoundOnce(kMenuPress);
    ShowPressed(kMenuPressed, 15, 480);
    WaitForPressSound();
    PumpFor(500);
    return false;
  }
  PlaySoundOnce(kMenuPress);
  ShowPressed(kPlayPressed, 575, 480);
  PumpFor(200);
  WaitForPressSound();
  PumpFor(500);
  return true;
}
