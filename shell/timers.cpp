// The waits and the message pump; the deadlines, transition timer and draws the rules share
// are in deadlines.cpp, so programs without a window can have them.
#include "shell/timers.h"

#include "display/display.h"
#include "game/board.h"
#include "game/flow.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "shell/shell.h"

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
