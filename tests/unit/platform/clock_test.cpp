#include "platform/clock.h"

#include <gtest/gtest.h>

#include <time.h>

namespace {
uint64_t MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000;
}
}  // namespace

// Runs before any test here can switch to the virtual clock, which cannot be switched back.
TEST(ClockTest, AWaitOnTheRealClockReadsItOnceAMillisecondNotInASpin) {
  ASSERT_FALSE(VirtualClockInUse());
  uint32_t previous = timeGetTime();
  for (int i = 0; i < 50; ++i) {
    uint32_t now = GetTickCount();
    EXPECT_GT(now - previous, 0u) << "read " << i << " saw the millisecond before it again";
    EXPECT_LE(static_cast<uint32_t>(MonotonicMs()) - now, 1u) << "the reading is not the time it was taken";
    previous = now;
  }
  // A 30 ms wait as the game writes one: each read finds a new millisecond, so about 30 reads.
  uint32_t deadline = timeGetTime() + 30;
  int reads = 0;
  while (timeGetTime() < deadline) ++reads;
  EXPECT_LE(reads, 31);
  EXPECT_GE(reads, 1);
}

TEST(ClockTest, TheVirtualClockStillStepsOncePerRead) {
  UseVirtualClock(1000);
  EXPECT_EQ(timeGetTime(), 1000u);
  EXPECT_EQ(timeGetTime(), 1001u);
  EXPECT_EQ(GetTickCount(), 1002u);
  EXPECT_EQ(ClockPeek(), 1003u);
  EXPECT_EQ(ClockPeek(), 1003u);
}
