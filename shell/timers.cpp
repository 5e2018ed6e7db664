#include "shell/timers.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "game/board.h"
#include "game/flow.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/window.h"
#include "shell/random.h"
#include "shell/shell.h"

namespace {
struct TransitionTimer {
  uint32_t start = 0;
  uint32_t duration = 0;
  uint8_t done = 0;
} transition;
}  // namespace

uint32_t StartDeadline(uint32_t& deadline, int32_t duration) {
  deadline = timeGetTime() + static_cast<uint32_t>(duration);
  return deadline;
}

bool DeadlinePassed(uint32_t deadline) { return timeGetTime() >= deadline; }

void PumpMessages() {
  MSG msg;
  while (PeekMessage(&msg)) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
}

void FlushInput() {
  MSG msg;
  while (PeekMessage(&msg)) {
  }
  TouchX = TouchY = -1;
}

void PumpFor(uint32_t duration) {
  uint32_t pumpDeadline;
  StartDeadline(pumpDeadline, 0);
  uint32_t start = timeGetTime();
  do {
    if (DeadlinePassed(pumpDeadline)) {
      PumpMessages();
      StartDeadline(pumpDeadline, 250);
    }
  } while (start + duration > timeGetTime());
}

int32_t WaitOrTouch(uint32_t duration) {
  FlushInput();
  uint32_t deadline;
  StartDeadline(deadline, static_cast<int32_t>(duration));
  for (;;) {
    if (DeadlinePassed(deadline)) return 1;
    if (TouchX != -1) return TouchX;
    PumpMessages();
    if (QuitRequested()) return 1;
    uint8_t phase = GetGamePhase();
    if (phase != kPhaseNone && phase != kPhaseWon) {
      IdleStep();
      Present();
    }
  }
}

void IgnoreInputFor(uint16_t duration) {
  uint32_t deadline;
  StartDeadline(deadline, duration);
  do {
    FlushInput();
    PumpFor(20);
  } while (!DeadlinePassed(deadline));
}

void StartTransition(uint32_t duration) {
  transition.done = 0;
  transition.duration = duration;
  transition.start = timeGetTime();
}

uint32_t TransitionProgress(uint32_t scale) {
  uint32_t elapsed = timeGetTime() - transition.start;
  if (elapsed >= transition.duration) {
    elapsed = transition.duration;
    transition.done = 1;
  }
  if (transition.duration == 0) return scale;
  return static_cast<uint32_t>(static_cast<uint64_t>(scale) * elapsed / transition.duration);
}

bool TransitionDone() {
  if (transition.done) return true;
  transition.done = (timeGetTime() - transition.start) >= transition.duration;
  return false;
}

void SeedRandom(uint32_t seed) { SeedRandomState(CabinetRandom(), seed); }

// The debugger's output, which QUIBBLO_DEBUG sends to standard error.
int DebugTrace(const char* format, ...) {
  if (!DebugOutputWanted()) return 0;  // formatting costs more than the rest of a simulated game
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  OutputDebugString(text);
  return 0;
}
