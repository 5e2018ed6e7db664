#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/options.h"
#include "platform/window.h"
#include "shell/shell.h"
#include "shell/timers.h"

namespace {
class Timers : public ::testing::Test {
 protected:
  void SetUp() override {
    Options = PlatformOptions{};
    Options.headless = true;
    UseVirtualClock(1000);
    ASSERT_TRUE(CreateMainWindow(MainWindowProc));
    FlushInput();
  }
  void TearDown() override { DestroyMainWindow(); }
  static void Touch(int x, int y) { PostMessageForTest({WM_LBUTTONDOWN, 1, MakePositionWord(x, y)}); }
};

TEST_F(Timers, PumpForZeroStillPumpsOnce) {
  Touch(120, 340);
  PumpFor(0);
  EXPECT_EQ(TouchX, 120);
  EXPECT_EQ(TouchY, 340);
}

TEST_F(Timers, PumpForWaitsItsDuration) {
  uint32_t start = timeGetTime();
  PumpFor(500);
  EXPECT_GE(timeGetTime() - start, 500u);
}

TEST_F(Timers, WaitOrTouchTimesOutWithOneAndIgnoresEarlierTouches) {
  Touch(300, 200);  // made before the wait: flushed, never seen
  uint32_t start = timeGetTime();
  EXPECT_EQ(WaitOrTouch(200), 1);
  EXPECT_GE(timeGetTime() - start, 200u);
  EXPECT_EQ(TouchX, -1);
}

TEST_F(Timers, WaitOrTouchReturnsTheTouchOfTheWait) {
  DestroyMainWindow();
  Options.script = {{ScriptEvent::Touch, 50, 1, 77, ""}, {ScriptEvent::Touch, 400, 640, 480, ""}};
  UseVirtualClock(0);
  ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  PumpFor(100);  // the first touch arrives before the wait and is flushed
  EXPECT_EQ(WaitOrTouch(10000), 640);
  EXPECT_EQ(TouchY, 480);  // stays stored for the caller
}

TEST_F(Timers, IgnoreInputForDiscardsTouches) {
  DestroyMainWindow();
  Options.script = {{ScriptEvent::Touch, 30, 10, 10, ""}};
  UseVirtualClock(0);
  ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  IgnoreInputFor(200);
  PumpMessages();
  EXPECT_EQ(TouchX, -1);
}

TEST_F(Timers, DeadlinesCompareUnsignedAndWrap) {
  uint32_t d;
  StartDeadline(d, 0);
  EXPECT_TRUE(DeadlinePassed(d));
  StartDeadline(d, 1000);
  EXPECT_FALSE(DeadlinePassed(d));
  UseVirtualClock(0xFFFFFF00u);
  StartDeadline(d, 1000);  // wraps past the top of the clock: already passed
  EXPECT_LT(d, 0xFFFFFF00u);
  EXPECT_TRUE(DeadlinePassed(d));
}

TEST_F(Timers, ZeroLengthTransitionIsAtFullScaleAtOnce) {
  StartTransition(0);
  EXPECT_EQ(TransitionProgress(100), 100u);
  EXPECT_TRUE(TransitionDone());
}

TEST_F(Timers, TransitionProgressIsScaledAndTruncated) {
  StartTransition(800);
  PumpFor(400);
  uint32_t p = TransitionProgress(100);
  EXPECT_GE(p, 50u);
  EXPECT_LT(p, 55u);
}

TEST_F(Timers, TransitionDoneIsFalseOnceAfterTheTimeRanOut) {
  StartTransition(100);
  PumpFor(300);
  EXPECT_FALSE(TransitionDone());  // it only notices now
  EXPECT_TRUE(TransitionDone());
}

TEST_F(Timers, AnimationLoopAlwaysDrawsTheFullFrameLast) {
  for (uint32_t duration : {0u, 1u, 15u, 800u}) {
    StartTransition(duration);
    uint32_t last = 0;
    int frames = 0;
    do {
      last = TransitionProgress(100);
      ++frames;
      PumpFor(15);
    } while (!TransitionDone());
    EXPECT_EQ(last, 100u) << "duration " << duration;
    EXPECT_GE(frames, 1);
  }
}

TEST(Random, BelowZeroIsZeroAndChancesAreBounded) {
  SeedRandom(7);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(RandomBelow(0), 0u);
    EXPECT_EQ(RandomBelow(1), 0u);
    EXPECT_LT(RandomBelow(20), 20u);
    EXPECT_FALSE(PercentChance(0));
    EXPECT_TRUE(PercentChance(100));
  }
  SeedRandom(7);
  uint32_t a = RandomBelow(1000);
  SeedRandom(7);
  EXPECT_EQ(RandomBelow(1000), a);
}

TEST(WindowProcedure, StoresTouchesAndPostsQuitOnDestroy) {
  Options = PlatformOptions{};
  Options.headless = true;
  ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  FlushInput();
  EXPECT_EQ(MainWindowProc(WM_LBUTTONDOWN, 1, MakePositionWord(799, -3)), 1);
  EXPECT_EQ(TouchX, 799);
  EXPECT_EQ(TouchY, -3);  // the high half is signed
  EXPECT_EQ(MainWindowProc(WM_DESTROY, 0, 0), 1);
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg));
  EXPECT_EQ(msg.message, WM_QUIT);  // posted, and acted on nowhere
  DestroyMainWindow();
}
}  // namespace
