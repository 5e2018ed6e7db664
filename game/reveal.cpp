#include "game/reveal.h"

#include "display/assets.h"
#include "display/display.h"
#include "game/bank_offer.h"
#include "game/board.h"
#include "game/flow.h"
#include "game/reveal_rules.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"
#include "sound/sound.h"
#include "video/clip.h"

namespace {
constexpr uint8_t kTileSpinNoise = 19, kFreePickSound = 21, kExtraLifeSound = 22, kBankOfferSound = 27;
constexpr int16_t kMeterNoQuestionsBonus = 450;
constexpr uint32_t kSpinMs = 250, kSpinFrameMs = 80, kSlotFlashMs = 1560, kSlotFlashFrameMs = 120;
constexpr uint32_t kAfterClipMs = 1500;
constexpr uint16_t kClipFrameMs = 30;
constexpr int32_t kClipPlaying = 0;
constexpr int kSpeechExtraLife = 5, kSpeechFreePick = 2;

void DrawMarker(int32_t box, int frame) {
  DrawPicture(kBackBuffer, PicBonusBoxes, frame, axBoxes[box].x, axBoxes[box].y, nullptr, kKeyed);
}

void DrawFlip(int picture, bool flag, int32_t x, int32_t y, const ClipBox& clip) {
  DrawPicture(kBackBuffer, picture, flag ? 1 : 2, x, y, &clip, kKeyed);
}

// The opened box's spin; the offers window and the previous box (after a free pick) spin
// with it when `withWindows` is set. `flag` carries on from one spin to the next.
void Spin(int32_t box, bool withWindows, bool& flag) {
  ClipBox boxClip = BoxClip(box), previousClip = BoxClip(PreviousBox);
  const BoxRecord& b = axBoxes[box];
  const BoxRecord& previous = axBoxes[PreviousBox];
  bool offersShown = withWindows && lOfferIt != kNoFurtherOffer;
  uint32_t deadline;
  StartDeadline(deadline, 0);
  PlaySoundOnce(kTileSpinNoise);
  StartTransition(kSpinMs);
  while (!TransitionDone()) {
    if (DeadlinePassed(deadline)) {
      StartDeadline(deadline, kSpinFrameMs);
      flag = !flag;
      if (offersShown) RestoreBackground(kOffersWindowClip);
      RestoreBackground(boxClip);
      DrawFlip(PicFlipMode, flag, b.x, b.y, boxClip);
      if (offersShown) DrawFlip(PicFlipModeGreen, flag, kOffersWindowX, kOffersWindowY, kOffersWindowClip);
      if (withWindows && FreePickPending) DrawFlip(PicFlipMode, flag, previous.x, previous.y, previousClip);
    }
    IdleStep();
    Present();
  }
}

// The knocked-out value flashes in its win plan slot.
void FlashSlot(int32_t slot, int32_t value) {
  if (slot < 0 || slot >= kBoxCount) return;
  const WinPlanEntry& entry = axWinplan[slot];
  int overlay = PicWinPlanOverLay + PrizeRow;
  int frame = WinPlanFrameOf(value);
  bool emptyShown = true;
  uint32_t deadline;
  StartDeadline(deadline, 0);
  StartTransition(kSlotFlashMs);
  while (!TransitionDone()) {
    if (DeadlinePassed(deadline)) {
      StartDeadline(deadline, kSlotFlashFrameMs);
      emptyShown = !emptyShown;
      if (emptyShown)
        DrawPicture(kBackBuffer, PicWinPlan, 0, entry.x, entry.y + 4, nullptr, kKeyed);
      else if (frame >= 0)
        DrawPicture(kBackBuffer, overlay, frame, entry.x, entry.y, nullptr, kOpaque);
    }
    IdleStep();
    Present();
  }
}

// Whole-screen celebration of the bonus; a touch does not cut it short.
void PlayCongratsClip() {
  StartClip("Graphic_resource/avis/Congrats.avi", kClipFrameMs);
  ShowClipFrame(-1, 0, 0);
  while (ClipState() == kClipPlaying) {
    ShowClipFrame(1, 0, 0);
    FlipAndWait();
  }
  EndClip();
}

void NoQuestionsBonus(int32_t box) {
  NoQuestionsMode = 1;
  FlipBox(box);
  DrawMarker(box, kBonusNoQuestions);
  Present();
  WaitOrTouch(500);
  SaveToCanvas(1, 0, 0, 800, 600);
  PlayCongratsClip();
  PumpFor(kAfterClipMs);
  axBoxes[box].state = kMarkNoQuestions;
  MeterIncrement(kMeterNoQuestionsBonus);
  DrawCanvas(1, 0, 0, kOpaque, 0, 0, 800, 600);
}

void BankOffer(int32_t box, bool& flag) {
  Spin(box, false, flag);
  RestoreBackground(BoxClip(box));
  Present();
  StopSound(kTileSpinNoise);
  PlaySoundOnce(kBankOfferSound);
  DrawMarker(box, kBonusBankOffer);
  Present();
  WaitOrTouch(400);
  axBoxes[box].state = kMarkBankOffer;
  SetGamePhase(MakeBankOffer());
  DrawOffersWindow();
  OfferThisPick = 1;
}

void ExtraLife(int32_t box) {
  FlipBox(box);
  PlaySoundOnce(kExtraLifeSound);
  DrawMarker(box, kBonusExtraLife);
  Present();
  DrawSpeechBar(kSpeechExtraLife);
  WaitOrTouch(400);
  Present();
  ChangeLives(1, true);
  ExtraLivesLeft = ExtraLivesLeft - 1;
  WaitOrTouch(500);
  axBoxes[box].state = kMarkExtraLife;
}

void FreePick(int32_t box) {
  FlipBox(box);
  DrawMarker(box, kBonusFreePick);
  Present();
  DrawSpeechBar(kSpeechFreePick);
  Present();
  WaitOrTouch(400);
  PlaySoundOnce(kFreePickSound);
  FreePicksLeft = FreePicksLeft - 1;
  FreePickPending = 1;
  axBoxes[box].state = kMarkFreePick;
}
}  // namespace

void FlipBox(int32_t box) {
  ClipBox clip = BoxClip(box);
  uint32_t deadline;
  StartDeadline(deadline, 0);
  PlaySoundOnce(kTileSpinNoise);
  StartTransition(kSpinMs);
  bool flag = false;
  while (!TransitionDone()) {
    if (DeadlinePassed(deadline)) {
      StartDeadline(deadline, kSpinFrameMs);
      flag = !flag;
      RestoreBackground(clip);
      DrawFlip(PicFlipMode, flag, BoxPositions[box].x, BoxPositions[box].y, clip);
    }
    IdleStep();
    Present();
  }
  RestoreBackground(clip);
  StopSound(kTileSpinNoise);
}

void RevealBox(int32_t value, int32_t box) {
  bool flag = false;
  Spin(box, true, flag);
  RestoreBackground(BoxClip(box));
  if (lOfferIt != kNoFurtherOffer) RestoreBackground(kOffersWindowClip);
  if (FreePickPending) {
    RestoreBackground(BoxClip(PreviousBox));
    DrawMarker(PreviousBox, kBonusOpened);
  }
  StopSound(kTileSpinNoise);
  FreePickPending = 0;

  int32_t slot = KnockOutValue(value, box);
  DrawOffersWindow();
  DrawPicture(kBackBuffer, PrizeBoxesPicture(), axBoxes[box].prizeFrame, axBoxes[box].x, axBoxes[box].y, nullptr,
              kKeyed);
  Present();
  PlaySoundOnce(static_cast<uint8_t>(EliminationSound(value)));
  FlashSlot(slot, value);
  KnockOutSlot(slot);
  DrawWinPlan();
  Present();
  WaitOrTouch(500);

  if (NoQuestionsBonusDue()) NoQuestionsBonus(box);
  bool offerMade = false;
  if (BankOfferDue()) {
    BankOffer(box, flag);
    offerMade = true;
  } else if (!NoQuestionsMode) {
    if (ExtraLifeFound())
      ExtraLife(box);
    else if (FreePickFound())
      FreePick(box);
  }
  if (QuestionBoxDue(GetGamePhase())) {
    FlipBox(box);
    DrawMarker(box, kBonusQuestion);
    Present();
    WaitOrTouch(500);
    axBoxes[box].state = kMarkQuestion;
  }
  if (NoQuestionsMode && !offerMade) {
    FlipBox(box);
    DrawMarker(box, kBonusOpened);
    Present();
  }
  if (GetGamePhase() != kPhaseWon) {
    DrawWinPlan();
    DrawBoard(kBackBuffer);
    Present();
  }
}
