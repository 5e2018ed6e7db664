#include "questions/countdown.h"

#include "display/assets.h"
#include "display/display.h"
#include "platform/clock.h"
#include "shell/timers.h"

namespace {
constexpr int kTimerPicture = 19;  // frame 0 the full bar, frame 1 the empty bar
constexpr int32_t kBlinkBelow = 160;
constexpr uint32_t kFirstFlashInterval = 300, kFlashSpeedUp = 8, kFastestFlash = 80;
constexpr int32_t kBarLeftOffset = 18, kBarTopOffset = 3, kBarHeight = 10;

CountdownBar MakeBar(int32_t timerY, uint8_t showFullOnStart) {
  CountdownBar bar;
  bar.timerY = timerY;
  bar.showFullOnStart = showFullOnStart;
  return bar;
}

uint32_t SinceRunStart(const CountdownBar& countdown) { return timeGetTime() - countdown.runStart; }
}  // namespace

CountdownBar MainCountdown = MakeBar(159, 0);
CountdownBar QuestionCountdown = MakeBar(48, 1);

void StartCountdown(CountdownBar& countdown, uint32_t totalMs) {
  if (countdown.showFullOnStart)
    DrawImage(Sprites[kTimerPicture], 0, countdown.timerX, countdown.timerY, nullptr, kKeyed);
  countdown.total = totalMs;
  countdown.remaining = static_cast<int32_t>(totalMs);
  countdown.running = 0;
  countdown.frozen = 0;
  countdown.barLength = kCountdownFullBar;
  countdown.flash = 0;
  countdown.flashInterval = kFirstFlashInterval;
  StartDeadline(countdown.flashDeadline, 0);
}

void RunCountdown(CountdownBar& countdown) {
  if (countdown.running) return;
  countdown.runStart = timeGetTime();
  countdown.running = 1;
}

void PauseCountdown(CountdownBar& countdown) {
  if (!countdown.running) return;
  int64_t left = static_cast<int64_t>(countdown.remaining) - SinceRunStart(countdown);
  countdown.remaining = left < 0 ? 0 : static_cast<int32_t>(left);
  countdown.running = 0;
}

void FreezeCountdown(CountdownBar& countdown) {
  countdown.frozenValue = static_cast<int32_t>(static_cast<int64_t>(countdown.total) - SinceRunStart(countdown));
  countdown.frozen = 1;
}

int32_t CountdownLeft(CountdownBar& countdown) {
  if (countdown.frozen) return countdown.frozenValue;
  int64_t left = countdown.remaining;
  if (countdown.running) left -= SinceRunStart(countdown);
  if (left <= 0) PauseCountdown(countdown);
  if (left < INT32_MIN) left = INT32_MIN;
  return static_cast<int32_t>(left);
}

void DrawCountdown(CountdownBar& countdown) {
  if (!countdown.running || countdown.barLength <= 0) return;
  countdown.barLength = 0;
  int32_t left = CountdownLeft(countdown);
  if (left != 0 && countdown.total != 0) {
    int64_t length = static_cast<int64_t>(left) * kCountdownFullBar / static_cast<int64_t>(countdown.total);
    countdown.barLength = length < 0 ? 0 : static_cast<int32_t>(length);
  }
  Sprite& timer = Sprites[kTimerPicture];
  if (countdown.barLength < kBlinkBelow) {
    if (DeadlinePassed(countdown.flashDeadline)) {
      countdown.flash = !countdown.flash;
      countdown.flashInterval = countdown.flashInterval - kFlashSpeedUp < kFastestFlash
                                    ? kFastestFlash
                                    : countdown.flashInterval - kFlashSpeedUp;
      StartDeadline(countdown.flashDeadline, static_cast<int32_t>(countdown.flashInterval));
    }
    if (countdown.flash) {
      DrawImage(timer, 1, countdown.timerX, countdown.timerY, nullptr, kKeyed);
      return;
    }
  }
  DrawImage(timer, 1, countdown.timerX, countdown.timerY, nullptr, kKeyed);
  int32_t barLeft = countdown.timerX + kBarLeftOffset, barTop = countdown.timerY + kBarTopOffset;
  ClipBox bar{barLeft, barLeft + countdown.barLength, barTop, barTop + kBarHeight};
  DrawImage(timer, 0, countdown.timerX, countdown.timerY, &bar, kKeyed);
}
