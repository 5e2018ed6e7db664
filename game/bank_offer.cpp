#include "game/bank_offer.h"

#include "display/assets.h"
#include "display/fonts.h"
#include "display/images.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/journal_events.h"
#include "game/offer_rules.h"
#include "game/play_area.h"
#include "game/state.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "questions/countdown.h"
#include "screens/buttons.h"
#include "shell/timers.h"
#include "sound/sound.h"

namespace {

constexpr int PicPrizeBox = 29, PicOfferFont = 30, PicTakeOrLeave = 31, PicTrueFalseFlip = 51;
constexpr uint8_t kCouldHaveWonNoise = 15, kEndprizeShow = 16, kTileStopNoise = 20;
constexpr int32_t kTakeX = 20, kLeaveX = 362, kFaceY = 334;
constexpr ClipBox kTakeFlash{20, 248, 333, 446}, kLeaveFlash{362, 590, 333, 446};
constexpr int32_t kTextX = 133, kTextY = 278, kTextW = 344, kTextH = 43;
constexpr int32_t kTake = 0;

uint8_t FlashFlag = 0;

void DrawPanelPieces(int target, bool withTimer, bool withBottomBars) {
  DrawPicture(target, PicPrizeBox, 0, 20, 223, nullptr, kKeyed);
  DrawPicture(target, PicTakeOrLeave, 0, kTakeX, kFaceY, nullptr, kKeyed);
  DrawPicture(target, PicTakeOrLeave, 1, kLeaveX, kFaceY, nullptr, kKeyed);
  DrawPicture(target, PicBar, 0, 248, 380, nullptr, kKeyed);
  DrawPicture(target, PicBar, 1, kLeftBarX, 269, nullptr, kKeyed);
  DrawPicture(target, PicBar, 1, kLeftBarX, 380, nullptr, kKeyed);
  DrawPicture(target, PicBar, 2, kRightBarX, 269, nullptr, kKeyed);
  DrawPicture(target, PicBar, 2, kRightBarX, 380, nullptr, kKeyed);
  if (withBottomBars) {
    DrawPicture(target, PicBar, 1, kLeftBarX, kSideBarBottomRow, nullptr, kKeyed);
    DrawPicture(target, PicBar, 2, kRightBarX, kSideBarBottomRow, nullptr, kKeyed);
  }
  if (withTimer) DrawPicture(target, PicTimer, 0, 16, 159, nullptr, kKeyed);
}

void ComposePanelOnCanvas() {
  ClearCanvas0();
  DrawPanelPieces(0, true, false);
}

void WriteOffer(int target) {
  FormatOfferText();
  TextCentred = 1;
  TextTarget = target;
  WriteText(OfferText, kTextX, kTextY, kTextW, kTextH, PicOfferFont);
}

void ShowPlayerBoxOpened() {
  PlaySoundOnce(kCouldHaveWonNoise);
  FlashPiece prize{PicFlipMode, kPrizeWindowX, kPrizeWindowY, kPrizeWindowClip};
  FlashPieces(&prize, 1, FlashFlag);
  Present();
  PlaySoundOnce(kTileStopNoise);
  PlaySoundOnce(kEndprizeShow);
  DrawImage(Sprites[PrizeBoxesPicture()], PrizeIndexOf(lPrizeAvailableThisGame), kPrizeWindowX, kPrizeWindowY,
            nullptr, kKeyed);
  Present();
}

}  // namespace

uint8_t MakeBankOffer() {
  CountOfferScreenStarted();
  LoadSprite(Sprites[PicPrizeBox], PicPrizeBox, 1);
  LoadSprite(Sprites[PicTakeOrLeave], PicTakeOrLeave, 2);

  SaveToCanvas(0, 0, 0, 800, 600);
  ComposeBoardOnCanvas();
  SlideCanvas(Slide::Out, kOpaque);
  ComposePanelOnCanvas();
  SlideCanvas(Slide::In, kOpaque);

  int32_t v = static_cast<int32_t>(MakeOfferValue());
  CountOfferMeters(v);

  DrawImage(Sprites[PicTestMain2], 0, 0, 0, nullptr, kOpaque);
  DrawImage(Sprites[PicSpeechBar], 0, kSpeechBarX, kSpeechBarY, nullptr, kKeyed);
  DrawWinPlan();
  DrawPanelPieces(kBackBuffer, false, true);
  ChangeLives(0, false);
  DrawOffersWindow();
  DrawImage(Sprites[PicBoxValues], PlayerBox, kPrizeWindowX, kPrizeWindowY, nullptr, kKeyed);
  Present();

  StartCountdown(MainCountdown, 10000);
  DrawCountdown(MainCountdown);
  WriteOffer(kBackBuffer);
  Present();

  RunCountdown(MainCountdown);
  // A time-out (3) is a Leave.
  int32_t choice = WaitTakeLeave();
  FreezeCountdown(MainCountdown);

  DrawImage(Sprites[PicTakeOrLeave], 0, kTakeX, kFaceY, nullptr, kKeyed);
  DrawImage(Sprites[PicTakeOrLeave], 1, kLeaveX, kFaceY, nullptr, kKeyed);
  uint8_t result = kOfferLeft;
  JournalOffer(v, choice == kTake);
  if (choice == kTake) {
    FlashPiece take{PicTrueFalseFlip, kTakeX, kFaceY, kTakeFlash};
    FlashPieces(&take, 1, FlashFlag);
    DrawImage(Sprites[PicTakeOrLeave], 0, kTakeX, kFaceY, nullptr, kKeyed);
    WriteOffer(kBackBuffer);
    Present();
    result = kOfferTaken;
    SetGamePhase(kOfferTaken);
    GamePrize = v;
    OwePrize(GamePrize);
  } else {
    RescheduleOffer();
    FlashPiece leave[2] = {{PicTrueFalseFlip, kLeaveX, kFaceY, kLeaveFlash},
                           {PicFlipModeGreen, kOffersWindowX, kOffersWindowY, kOffersWindowClip}};
    FlashPieces(leave, 2, FlashFlag);
    DrawOffersWindow();
    DrawImage(Sprites[PicTakeOrLeave], 1, kLeaveX, kFaceY, nullptr, kKeyed);
    Present();
  }
  Present();

  CountOfferMade();
  IdleFor(500);

  if (result == kOfferTaken) {
    ShowPlayerBoxOpened();
    WaitOrTouch(2000);
    CountOfferTaken(v);
    WaitOrTouch(1000);
  } else {
    axBoxes[CurrentBox].state = kMarkNone;
    axBoxes[CurrentBox].closed = 0;
    ComposePanelOnCanvas();
    WriteOffer(0);
    SlideCanvas(Slide::Out, kOpaque);
    ComposeBoardOnCanvas();
    SlideCanvas(Slide::In, kOpaque);
  }

  SetGamePhase(result);
  return result;
}
