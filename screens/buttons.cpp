#include "screens/buttons.h"

#include "display/assets.h"
#include "display/display.h"
#include "display/fonts.h"
#include "game/board.h"
#include "game/offer_rules.h"
#include "machine/credit_link.h"
#include "platform/window.h"
#include "questions/countdown.h"
#include "questions/question_round.h"
#include "screens/main_menu.h"
#include "shell/shell.h"
#include "shell/timers.h"

namespace {
constexpr int kStartButton = 2;
constexpr int kPrizeBoxPicture = 29, kOfferFont = 30;
constexpr int32_t kBoardBlinkBelowMs = 4000, kScreenBlinkBelowMs = 6000;
constexpr uint32_t kBlinkMs = 300, kPrizeBoxRedrawMs = 200;
constexpr int kSpeechBlinkOn = 4, kSpeechBlinkOff = 0, kSpeechSteady = 2;
constexpr int32_t kQuestionTimerY = 48, kMainTimerY = 159, kTimerX = 16;

// A speech bar that blinks while time runs short; each screen has its own, kept between waits.
struct SpeechBlink {
  uint8_t on = 0;
  uint32_t deadline = 0;
  void Step() {
    if (DeadlinePassed(deadline)) {
      StartDeadline(deadline, kBlinkMs);
      on = !on;
    }
    DrawSpeechBar(on ? kSpeechBlinkOn : kSpeechBlinkOff);
  }
};
SpeechBlink boardBlink, continueBlink, offerBlink;
uint32_t prizeBoxDeadline = 0;

int32_t CountRows(const ButtonRow* table) {
  int32_t n = 0;
  while (table[n].label) ++n;
  return n;
}

bool TimesOutByInactivity(const ButtonRow* table) {
  return table == MainMenuButtons || table == YesNoButtons || table == BoxButtons;
}

int32_t Finish(int32_t result) {
  ButtonWait.lastResult = result;
  return result;
}

// The countdown of a timed screen has run out: the empty Timer bar shows where it stood.
int32_t CountdownEnded(int32_t timerY, int32_t result) {
  DrawImage(Sprites[PicTimer], 1, kTimerX, timerY, nullptr, kKeyed);
  Present();
  return Finish(result);
}

int32_t MainMenuPass(int32_t result) {
  MenuIdle();
  int32_t credit = ReadCredit();
  if (credit != ButtonWait.creditDrawn) {
    ButtonWait.creditDrawn = credit;
    DrawCreditPanel(kBackBuffer);
  }
  if (result == kStartButton) {
    ButtonWait.totalSeen = static_cast<int32_t>(ReadCredit()) + ReadBank();
    if (ButtonWait.totalSeen < Stake) {
      result = kWaitGoesOn;
      FlushInput();
    }
  }
  Present();
  return result;
}
}  // namespace

#define BOX_ROW(i) {" " #i, 20 + 114 * ((i) % 5), 2 + 114 * ((i) / 5), 114, 104}

const ButtonRow MainMenuButtons[] = {{" Main Menu", 29, 487, 192, 113},
                                     {" Rules", 304, 487, 192, 113},
                                     {" Start", 579, 487, 192, 113},
                                     {nullptr, 0, 0, 0, 0}};
const ButtonRow TrueFalseButtons[] = {
    {" True", 20, 337, 228, 104}, {" False", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow TakeLeaveButtons[] = {
    {" Take", 20, 337, 228, 104}, {" Leave", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow YesNoButtons[] = {{" Yes", 20, 337, 228, 104}, {" No", 362, 337, 228, 104}, {nullptr, 0, 0, 0, 0}};
const ButtonRow BoxButtons[] = {BOX_ROW(0),  BOX_ROW(1),  BOX_ROW(2),  BOX_ROW(3),  BOX_ROW(4),
                                BOX_ROW(5),  BOX_ROW(6),  BOX_ROW(7),  BOX_ROW(8),  BOX_ROW(9),
                                BOX_ROW(10), BOX_ROW(11), BOX_ROW(12), BOX_ROW(13), BOX_ROW(14),
                                BOX_ROW(15), BOX_ROW(16), BOX_ROW(17), BOX_ROW(18), BOX_ROW(19),
                                {nullptr, 0, 0, 0, 0}};
#undef BOX_ROW

WaitState ButtonWait;

int32_t HitTest(const ButtonRow* table, int32_t x, int32_t y) {
  int32_t result = kWaitGoesOn;
  if (x < 0) return result;
  for (int32_t i = 0; table[i].label; ++i) {
    const ButtonRow& row = table[i];
    if (row.x <= x && x < row.x + row.width && row.y <= y && y < row.y + row.height) result = i;
  }
  return result;
}

void ArmButtons(const ButtonRow* table) {
  ButtonWait.rows = CountRows(table);
  FlushInput();
  StartDeadline(ButtonWait.inactivityDeadline, kInactivityMs);
  ButtonWait.lastResult = kWaitGoesOn;
  ButtonWait.creditDrawn = -1;
  ButtonWait.totalSeen = -1;
}

int32_t PollButtons(const ButtonRow* table) {
  PumpMessages();
  int32_t result = HitTest(table, TouchX, TouchY);
  if (DeadlinePassed(ButtonWait.inactivityDeadline) && TimesOutByInactivity(table)) result = kInactivityResult;
  // Asked to stop: the menu leaves as Main Menu does. A game on the board plays out first, so
  // its stake and prize are settled; it ends by itself when nobody touches it.
  if (table == MainMenuButtons && QuitRequested()) result = kInactivityResult;

  if (table == MainMenuButtons) {
    result = MainMenuPass(result);
  } else if (table == BoxButtons) {
    BoardWaitIdle();
    IdleStep();
    Present();
    if (CountdownLeft(MainCountdown) == 0) return Finish(kBoxPickTimeUp);
  } else if (table == TrueFalseButtons) {
    QuestionWaitRedraw();
    IdleStep();
    Present();
    if (CountdownLeft(QuestionCountdown) == 0) return CountdownEnded(kQuestionTimerY, kQuestionTimeUp);
  } else if (table == YesNoButtons) {
    ContinueWaitIdle();
    Present();
    if (CountdownLeft(MainCountdown) == 0) return CountdownEnded(kMainTimerY, kOfferTimeUp);
  } else if (table == TakeLeaveButtons) {
    OfferWaitIdle();
    Present();
    if (CountdownLeft(MainCountdown) == 0) return CountdownEnded(kMainTimerY, kOfferTimeUp);
  }

  if (result != kWaitGoesOn) FlushInput();
  return Finish(result);
}

int32_t WaitForButton(const ButtonRow* table) {
  ArmButtons(table);
  while (ButtonWait.lastResult == kWaitGoesOn) PollButtons(table);
  return ButtonWait.lastResult;
}

int32_t WaitMainMenu() { return WaitForButton(MainMenuButtons); }
int32_t WaitTrueFalse() { return WaitForButton(TrueFalseButtons); }
int32_t WaitTakeLeave() { return WaitForButton(TakeLeaveButtons); }
int32_t WaitBox() { return WaitForButton(BoxButtons); }
int32_t WaitYesNo() { return WaitForButton(YesNoButtons); }

void BoardWaitIdle() {
  DrawImage(Sprites[PicTestMain2], 0, 0, 0, nullptr, kOpaque);
  DrawOffersWindow();
  if (CountdownLeft(MainCountdown) < kBoardBlinkBelowMs)
    boardBlink.Step();
  else
    DrawSpeechBar(kSpeechSteady);
  DrawWinPlan();
  DrawBoard(kBackBuffer);
}

void ContinueWaitIdle() {
  DrawCountdown(MainCountdown);
  DrawWinPlan();
  if (CountdownLeft(MainCountdown) < kScreenBlinkBelowMs) continueBlink.Step();
}

void OfferWaitIdle() {
  IdleStep();
  if (CountdownLeft(MainCountdown) < kScreenBlinkBelowMs) offerBlink.Step();
  DrawCountdown(MainCountdown);
  if (DeadlinePassed(prizeBoxDeadline)) {
    StartDeadline(prizeBoxDeadline, kPrizeBoxRedrawMs);
    DrawImage(Sprites[kPrizeBoxPicture], 0, 20, 223, nullptr, kKeyed);
  }
  char text[kOfferTextSize];
  FormatOfferText(fOffer, text, kOfferTextSize);
  TextCentred = 1;
  WriteText(text, 133, 278, 344, 43, kOfferFont);
}
