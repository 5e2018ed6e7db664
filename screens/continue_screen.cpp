#include "screens/continue_screen.h"

#include <cstdio>

#include "display/assets.h"
#include "display/fonts.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/journal_events.h"
#include "game/offer_rules.h"
#include "game/play_area.h"
#include "game/state.h"
#include "machine/credit_link.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "questions/countdown.h"
#include "screens/buttons.h"
#include "shell/shell.h"
#include "shell/timers.h"

namespace {

constexpr int PicCreditFont = 16, PicYesNo = 45, PicTrueFalseFlip = 51, PicContinueBox1 = 55, PicContinueBox2 = 56;
constexpr int16_t kMeterShown = 448, kMeterBought = 449;
constexpr int32_t kYesX = 20, kNoX = 362, kFaceY = 334, kPanelX = 20, kPanelY = 223;
constexpr ClipBox kYesFlash{20, 248, 333, 446}, kNoFlash{362, 590, 333, 446};
constexpr int32_t kYes = 0, kNo = 1;

uint8_t FlashFlag = 0;

bool CanPay() { return ReadCredit() + ReadBank() >= Stake; }

void WriteShortfall(int target) {
  char text[12];
  std::snprintf(text, sizeof text, "%dP", Stake - (ReadCredit() + ReadBank()));
  TextCentred = 1;
  TextTarget = target;
  WriteText(text, 206, 256, 82, 42, PicCreditFont);
}

// The money a continue is paid from, in the box of the panel that offers it.
void WriteMoneyOnPanel(int target) {
  char text[kOfferTextSize];
  FormatOfferText(static_cast<float>(ReadCredit() + ReadBank()), text, kOfferTextSize);
  TextCentred = 1;
  TextTarget = target;
  WriteText(text, 410, 266, 140, 42, PicCreditFont);
}

void DrawOfferPanel() {
  DrawImage(Sprites[PicContinueBox1], 0, kPanelX, kPanelY, nullptr, kKeyed);
  WriteMoneyOnPanel(kBackBuffer);
}

void ComposeBoxesOnCanvas() {
  ClearCanvas0();
  DrawBoxes(0);
  DrawUpperSideBarsOnCanvas();
}

void ComposePanelOnCanvas(bool canPay) {
  ClearCanvas0();
  if (canPay) {
    DrawImageToCanvas(0, Sprites[PicContinueBox1], 0, kPanelX, kPanelY, nullptr, kKeyed);
    WriteMoneyOnPanel(0);
    DrawImageToCanvas(0, Sprites[PicYesNo], 0, kYesX, kFaceY, nullptr, kKeyed);
    DrawImageToCanvas(0, Sprites[PicYesNo], 1, kNoX, kFaceY, nullptr, kKeyed);
    DrawImageToCanvas(0, Sprites[PicBar], 0, 248, 380, nullptr, kKeyed);
  } else {
    DrawImageToCanvas(0, Sprites[PicContinueBox2], 0, kPanelX, kPanelY, nullptr, kKeyed);
    WriteShortfall(0);
  }
  DrawImageToCanvas(0, Sprites[PicBar], 1, kLeftBarX, 269, nullptr, kKeyed);
  DrawImageToCanvas(0, Sprites[PicBar], 2, kRightBarX, 269, nullptr, kKeyed);
  if (canPay) {
    DrawImageToCanvas(0, Sprites[PicBar], 1, kLeftBarX, 380, nullptr, kKeyed);
    DrawImageToCanvas(0, Sprites[PicBar], 2, kRightBarX, 380, nullptr, kKeyed);
  }
  DrawImageToCanvas(0, Sprites[PicTimer], 0, 16, 159, nullptr, kKeyed);
}

void DrawPanelOnScreen(bool canPay) {
  DrawImage(Sprites[PicTestMain2], 0, 0, 0, &kPlayArea, kOpaque);
  if (canPay) {
    DrawOfferPanel();
    DrawImage(Sprites[PicYesNo], 0, kYesX, kFaceY, nullptr, kKeyed);
    DrawImage(Sprites[PicSpeechBar], 0, kSpeechBarX, kSpeechBarY, nullptr, kKeyed);
    DrawImage(Sprites[PicYesNo], 1, kNoX, kFaceY, nullptr, kKeyed);
  } else {
    DrawImage(Sprites[PicContinueBox2], 0, kPanelX, kPanelY, nullptr, kKeyed);
    WriteShortfall(kBackBuffer);
  }
  DrawWinPlan();
}

void DrawBars(int32_t row) {
  DrawImage(Sprites[PicBar], 1, kLeftBarX, row, nullptr, kKeyed);
  DrawImage(Sprites[PicBar], 2, kRightBarX, row, nullptr, kKeyed);
}

// Ten seconds to bring the money up to a stake; true when it came.
bool MoneyWindow() {
  StartCountdown(MainCountdown, 10000);
  RunCountdown(MainCountdown);
  DrawBars(269);
  DrawBars(kSideBarBottomRow);
  while (CountdownLeft(MainCountdown) > 0 && !CanPay()) {
    DrawCountdown(MainCountdown);
    Present();
  }
  return CanPay();
}

void SetUpDecision() {
  StartCountdown(MainCountdown, 10000);
  DrawCountdown(MainCountdown);
  DrawImage(Sprites[PicYesNo], 0, kYesX, kFaceY, nullptr, kKeyed);
  DrawImage(Sprites[PicYesNo], 1, kNoX, kFaceY, nullptr, kKeyed);
  DrawImage(Sprites[PicBar], 0, 248, 380, nullptr, kKeyed);
  DrawBars(269);
  DrawBars(380);
  DrawBars(kSideBarBottomRow);
  DrawOfferPanel();
  ChangeLives(0, false);
  DrawOffersWindow();
  DrawImage(Sprites[PicBoxValues], PlayerBox, kPrizeWindowX, kPrizeWindowY, nullptr, kKeyed);
  Present();
  RunCountdown(MainCountdown);
}

// Yes (true) or No; the countdown running out is a No.
bool Decide() {
  int32_t r;
  do {
    r = WaitYesNo();
    FreezeCountdown(MainCountdown);
  } while (r != kYes && r != kNo && r != kOfferTimeUp);

  DrawOfferPanel();
  ChangeLives(0, true);
  DrawOffersWindow();
  Present();
  bool yes = r == kYes;
  FlashPiece face{PicTrueFalseFlip, yes ? kYesX : kNoX, kFaceY, yes ? kYesFlash : kNoFlash};
  FlashPieces(&face, 1, FlashFlag);
  DrawImage(Sprites[PicYesNo], yes ? 0 : 1, face.x, kFaceY, nullptr, kKeyed);
  Present();
  return yes;
}

// The stake for the continue; a refusal by the credit server buys nothing.
bool BuyContinue() {
  if (!TakeStake(Stake, kMeterBought)) return false;
  ContinueUsed = 1;
  Lives = 0;
  MeterIncrement(kMeterBought);
  RateAdd(0, static_cast<float>(-(Stake * PayoutPercent) / 100));
  StakeBooked();
  return true;
}

}  // namespace

uint8_t ContinueScreen() {
  SetGamePhase(kPhasePlaying);
  MeterIncrement(kMeterShown);
  uint8_t result = 1;

  ComposeBoxesOnCanvas();
  SlideCanvas(Slide::Out, kKeyed);
  ComposePanelOnCanvas(CanPay());
  SlideCanvas(Slide::In, kKeyed);
  DrawPanelOnScreen(CanPay());

  if (!CanPay() && !MoneyWindow()) {
    result = 0;
    JournalContinue("no_money");
  } else {
    SetUpDecision();
    bool yes = Decide();
    bool bought = yes && BuyContinue();
    JournalContinue(bought ? "bought" : yes ? "refused" : "declined");
    if (bought) {
      ComposePanelOnCanvas(true);
      SlideCanvas(Slide::Out, kKeyed);
      ComposeBoxesOnCanvas();
      SlideCanvas(Slide::In, kKeyed);
    } else {
      result = 0;
    }
  }

  IdleFor(500);
  SetGamePhase(result);
  return result;
}
