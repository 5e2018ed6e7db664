#include "platform/clock.h"

#include <errno.h>
#include <time.h>

namespace {
constexpr uint32_t kVirtualStep = 1;
bool virtualClock = false;
uint32_t virtualNow = 0;
uint32_t startTime = 0;
bool started = false;

uint32_t RealNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
}

// The game waits by reading the clock until a deadline passes. A second read in the same
// millisecond means it is waiting, so it sleeps until the next one: an idle cabinet then uses
// next to no CPU, and no deadline (all whole milliseconds) is seen later than it would be.
uint32_t lastRealRead = 0;

void SleepToNextMillisecond() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  ts.tv_nsec = (ts.tv_nsec / 1000000 + 1) * 1000000;
  if (ts.tv_nsec >= 1000000000) {
    ts.tv_sec += 1;
    ts.tv_nsec -= 1000000000;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

uint32_t RealRead() {
  uint32_t now = RealNow();
  if (now == lastRealRead) {
    SleepToNextMillisecond();
    now = RealNow();
  }
  lastRealRead = now;
  return now;
}

uint32_t Read() {
  if (!virtualClock) return RealRead();
  uint32_t now = virtualNow;
  virtualNow += kVirtualStep;
  return now;
}

void NoteStart() {
  if (!started) {
    started = true;
    startTime = ClockPeek();
  }
}
}  // namespace

uint32_t timeGetTime() {
  NoteStart();
  return Read();
}

uint32_t GetTickCount() {
  NoteStart();
  return Read();
}

void UseVirtualClock(uint32_t start) {
  virtualClock = true;
  virtualNow = start;
  started = true;
  startTime = start;
}

bool VirtualClockInUse() { return virtualClock; }

uint32_t ClockPeek() { return virtualClock ? virtualNow : RealNow(); }

uint32_t ClockSinceStart() {
  NoteStart();
  return ClockPeek() - startTime;
}
