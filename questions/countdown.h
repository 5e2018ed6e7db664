// The countdown bars of the timed screens: a millisecond countdown that can be started, run,
// paused and frozen, drawn as a bar that shrinks from 558 pixels and blinks when it is short.
#pragma once
#include <cstdint>

constexpr int32_t kCountdownFullBar = 558;

struct CountdownBar {
  uint32_t total = 0;
  int32_t remaining = 0;  // as of the last pause
  uint8_t running = 0;
  uint32_t runStart = 0;
  uint8_t frozen = 0;
  int32_t frozenValue = 0;
  int32_t barLength = kCountdownFullBar;  // last drawn
  uint8_t flash = 0;
  uint32_t flashInterval = 300;
  uint32_t flashDeadline = 0;
  // Where the Timer picture stands; the bar lies 18 right and 3 down of it, 10 high.
  int32_t timerX = 16;
  int32_t timerY = 0;
  uint8_t showFullOnStart = 0;  // the question bar is shown full as soon as it is started
};

extern CountdownBar MainCountdown;
extern CountdownBar QuestionCountdown;

void StartCountdown(CountdownBar& countdown, uint32_t totalMs);
void RunCountdown(CountdownBar& countdown);
void PauseCountdown(CountdownBar& countdown);
void FreezeCountdown(CountdownBar& countdown);
// Milliseconds left. The call that finds the time gone pauses the countdown and may return a
// negative value; every later call returns 0, which callers take as "time is up".
int32_t CountdownLeft(CountdownBar& countdown);
void DrawCountdown(CountdownBar& countdown);
