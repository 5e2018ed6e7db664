#include "game/board.h"

#include "display/assets.h"
#include "game/flow.h"
#include "game/journal_events.h"
#include "game/state.h"
#include "shell/timers.h"
#include "sound/sound.h"

IdleAnimation PrizeWindowAnimation;

namespace {
constexpr uint8_t kTileSpinNoise = 19;
constexpr uint32_t kFlashMs = 250, kFlashFrameMs = 80;
constexpr uint32_t kIdleFrameMs = 100, kIdlePauseMs = 1000;
constexpr int32_t kIdleFrames = 10, kIdleFramesPerRun = 20;

// The lives window flashes blue while a life comes or goes.
void FlashLivesWindow() {
  uint32_t deadline;
  StartDeadline(deadline, 0);
  PlaySoundOnce(kTileSpinNoise);
  StartTransition(kFlashMs);
  bool flag = false;
  while (!TransitionDone()) {
    if (DeadlinePassed(deadline)) {
      StartDeadline(deadline, kFlashFrameMs);
      flag = !flag;
      RestoreBackground(kLivesWindowClip);
      DrawPicture(kBackBuffer, PicFlipModeBlue, flag ? 1 : 2, kLivesWindowX, kLivesWindowY, &kLivesWindowClip,
                  kKeyed);
    }
    IdleStep();
    Present();
  }
  RestoreBackground(kLivesWindowClip);
  Present();
  StopSound(kTileSpinNoise);
}

void DrawLives(int frame) { DrawPicture(kBackBuffer, PicLives, frame, kLivesWindowX, kLivesWindowY, nullptr, kKeyed); }

void DrawSideBars(int target, int32_t y) {
  DrawPicture(target, PicBar, 1, kLeftBarX, y, nullptr, kKeyed);
  DrawPicture(target, PicBar, 2, kRightBarX, y, nullptr, kKeyed);
}
}  // namespace

void DrawPicture(int target, int picture, int frame, int32_t x, int32_t y, const ClipBox* clip, int keyed) {
  if (target == kBackBuffer)
    DrawImage(Sprites[picture], frame, x, y, clip, keyed);
  else
    DrawImageToCanvas(target, Sprites[picture], frame, x, y, clip, keyed);
}

void RestoreBackground(const ClipBox& clip) { DrawPicture(kBackBuffer, PicTestMain2, 0, 0, 0, &clip, kOpaque); }

ClipBox BoxClip(int32_t box) {
  const BoxRecord& b = axBoxes[box];
  return ClipBox{b.x, b.x + kBoxWidth, b.y, b.y + kBoxHeight};
}

int PrizeBoxesPicture() { return PicPrizeBoxes1 + (PrizeRow >= 0 && PrizeRow < kPrizeRowCount ? PrizeRow : 0); }

void DrawSpeechBar(int frame) { DrawPicture(kBackBuffer, PicSpeechBar, frame, kSpeechBarX, kSpeechBarY, nullptr, kKeyed); }

void DrawBoard(int target) {
  DrawPicture(target, PicTestMain2, 0, 0, 0, &kBoardClip, kOpaque);
  if (BoardShown) IdleStep();
  DrawSideBars(target, kSideBarBottomRow);
  DrawBoxes(target);
  if (target == kBackBuffer) ChangeLives(0, false);
}

void DrawBoxes(int target) {
  for (int i = 0; i < kBoxCount; ++i) {
    const BoxRecord& box = axBoxes[i];
    if (box.closed) {
      DrawPicture(target, PicBoxValues, i, box.x, box.y, nullptr, kKeyed);
      if (!NoQuestionsMode && box.state >= kMarkQuestion && box.state <= kMarkExtraLife)
        DrawPicture(target, PicBonusBoxes, box.state, box.x, box.y, nullptr, kKeyed);
    } else {
      DrawPicture(target, PicBonusBoxes, kBonusOpened, box.x, box.y, nullptr, kKeyed);
    }
  }
  for (int32_t y : kSideBarRows) DrawSideBars(target, y);
}

void DrawWinPlan() {
  RestoreBackground(kWinPlanClip);
  int overlay = PicWinPlanOverLay + (PrizeRow >= 0 && PrizeRow < kPrizeRowCount ? PrizeRow : 0);
  for (const WinPlanEntry& slot : axWinplan) {
    int frame = WinPlanFrameOf(slot.cash);
    if (slot.inPlay) {
      if (frame < 0) continue;  // a value the row does not hold has no picture
      DrawPicture(kBackBuffer, overlay, frame, slot.x, slot.y, nullptr, kOpaque);
      DrawPicture(kBackBuffer, PicWinPlanOverLayQMark, frame, slot.x, slot.y, nullptr, kOpaque);
    } else {
      DrawPicture(kBackBuffer, PicWinPlan, 0, slot.x, slot.y + 4, nullptr, kKeyed);
    }
  }
}

void DrawOffersWindow() {
  int32_t n = lOfferIt - PickNumber + 1;
  if (n < 0) n = 0;
  if (lOfferIt == kNoFurtherOffer) {
    RestoreBackground(kOffersWindowClearClip);
    DrawPicture(kBackBuffer, PicBonusBoxes, kBonusNoOfferLeft, kOffersWindowX, kOffersWindowY, nullptr, kKeyed);
    return;
  }
  if (GetGamePhase() == kPhaseNone) return;
  if (n > 0)
    DrawPicture(kBackBuffer, PicOffers, n - 1, kOffersWindowX, kOffersWindowY, nullptr, kKeyed);
  else
    DrawPicture(kBackBuffer, PicBonusBoxes, kBonusBankOffer, kOffersWindowX, kOffersWindowY, nullptr, kKeyed);
}

void ChangeLives(uint16_t count, bool gain) {
  DrawLives(0);
  if (GetGamePhase() == kPhaseNone) return;
  if (Lives < 0) {
    DrawLives(0);
    return;
  }
  DrawLives(Lives > kMostLives ? kMostLives : Lives);
  Present();
  if (count == 0) return;
  int32_t before = Lives;
  if (gain) {
    for (int32_t k = Lives + 1; k <= Lives + count && k <= kMostLives; ++k) {
      FlashLivesWindow();
      DrawLives(k);
      Present();
    }
    Lives = Lives + count > kMostLives ? kMostLives : Lives + count;
  } else {
    for (int32_t k = Lives; k >= Lives - count + 1 && k >= 1; --k) {
      FlashLivesWindow();
      DrawLives(k - 1);
      Present();
    }
    Lives = Lives - count < -1 ? -1 : Lives - count;
  }
  JournalLives(before, Lives);
}

void IdleStep() {
  uint8_t phase = GetGamePhase();
  if (!BoardShown || phase == kPhaseNone || phase == kPhaseWon) return;
  IdleAnimation& a = PrizeWindowAnimation;
  if (DeadlinePassed(a.pauseDeadline)) {
    if (DeadlinePassed(a.frameDeadline)) {
      StartDeadline(a.frameDeadline, kIdleFrameMs);
      a.count += 1;
      a.frame += a.step;
      if (a.frame >= kIdleFrames) a.frame = 0;
      if (a.count >= kIdleFramesPerRun) {
        StartDeadline(a.pauseDeadline, kIdlePauseMs);
        a.count = 0;
      }
    }
    DrawPicture(kBackBuffer, PicPrizeUpdate, a.frame, kPrizeWindowX, kPrizeWindowY, nullptr, kKeyed);
  } else {
    DrawPicture(kBackBuffer, PicBoxValues, PlayerBox, kPrizeWindowX, kPrizeWindowY, nullptr, kKeyed);
  }
}

void ResetIdleAnimation() {
  PrizeWindowAnimation.frame = 0;
  PrizeWindowAnimation.step = 1;
  PrizeWindowAnimation.count = 0;
}
