#include "questions/countdown.h"

#include "board_fixture.h"

namespace {
class Countdown : public BoardScreen {
 protected:
  // Moves the clock to `ms` after the run started.
  void At(uint32_t ms) { UseVirtualClock(runStart_ + ms); }
  void StartAndRun(uint32_t total) {
    StartCountdown(MainCountdown, total);
    UseVirtualClock(runStart_);
    RunCountdown(MainCountdown);
  }
  uint32_t runStart_ = 50000;
};

constexpr int kBarY = 166;  // inside MainCountdown's bar clip box {34, 34 + length, 162, 172}

TEST_F(Countdown, BarShrinksWithTheTimeLeft) {
  StartAndRun(10000);
  At(5000);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(MainCountdown.barLength, 279);
  EXPECT_EQ(BackPixel(34 + 278, kBarY), Code(PicTimer, 0));  // full bar up to its length
  EXPECT_EQ(BackPixel(34 + 279, kBarY), Code(PicTimer, 1));  // the empty bar beyond
  EXPECT_EQ(MainCountdown.flash, 0);
}

TEST_F(Countdown, ShortBarBlinksAtOnceThenFasterDownToEightyMs) {
  StartAndRun(10000);
  At(7200);
  FillBackBuffer(kUntouched);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(MainCountdown.barLength, 156);
  EXPECT_EQ(MainCountdown.flash, 1);  // blinks on the first short draw
  EXPECT_EQ(MainCountdown.flashInterval, 292u);
  EXPECT_EQ(BackPixel(40, kBarY), Code(PicTimer, 1));  // only the empty bar
  At(7300);
  DrawCountdown(MainCountdown);  // before 292 ms: no toggle
  EXPECT_EQ(MainCountdown.flash, 1);
  At(7200 + 293);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(MainCountdown.flash, 0);
  EXPECT_EQ(MainCountdown.flashInterval, 284u);
  EXPECT_EQ(BackPixel(40, kBarY), Code(PicTimer, 0));
}

TEST_F(Countdown, BlinkSpeedsUpByEightMsToEighty) {
  StartAndRun(60000);
  uint32_t t = 50000;  // a 134-pixel bar
  std::vector<uint32_t> gaps;
  for (int i = 0; i < 30; ++i) {
    At(t);
    uint8_t before = MainCountdown.flash;
    DrawCountdown(MainCountdown);
    ASSERT_NE(MainCountdown.flash, before);
    gaps.push_back(MainCountdown.flashInterval);
    t += MainCountdown.flashInterval + 1;
  }
  EXPECT_EQ(gaps[0], 292u);
  EXPECT_EQ(gaps[1], 284u);
  EXPECT_EQ(gaps[26], 84u);
  EXPECT_EQ(gaps[27], 80u);
  EXPECT_EQ(gaps[29], 80u);
}

TEST_F(Countdown, FrozenBarKeepsItsValue) {
  StartAndRun(10000);
  At(3000);
  FreezeCountdown(MainCountdown);
  At(9000);
  EXPECT_EQ(CountdownLeft(MainCountdown), 7000);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(MainCountdown.barLength, 390);
  At(20000);
  EXPECT_EQ(CountdownLeft(MainCountdown), 7000);  // even after the time would have run out
}

TEST_F(Countdown, PauseKeepsTheRemainderAndFreezeStillCountsFromTheLastRun) {
  StartAndRun(10000);
  At(3000);
  PauseCountdown(MainCountdown);
  At(5000);  // two seconds paused
  EXPECT_EQ(CountdownLeft(MainCountdown), 7000);
  RunCountdown(MainCountdown);
  RunCountdown(MainCountdown);  // running already: changes nothing
  At(6000);
  EXPECT_EQ(CountdownLeft(MainCountdown), 6000);
  At(6000);
  FreezeCountdown(MainCountdown);
  EXPECT_EQ(CountdownLeft(MainCountdown), 9000);  // total minus the time since the last run
}

TEST_F(Countdown, NeverRunReturnsItsTotalAndDrawsNothing) {
  StartCountdown(MainCountdown, 10000);
  UseVirtualClock(900000);
  EXPECT_EQ(CountdownLeft(MainCountdown), 10000);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(BackPixel(40, kBarY), kUntouched);
}

TEST_F(Countdown, RunningOutReturnsTheOvershootOnceThenZero) {
  StartAndRun(10000);
  At(10250);
  EXPECT_EQ(CountdownLeft(MainCountdown), -250);
  EXPECT_EQ(MainCountdown.running, 0);
  EXPECT_EQ(CountdownLeft(MainCountdown), 0);
  At(20000);
  EXPECT_EQ(CountdownLeft(MainCountdown), 0);
}

TEST_F(Countdown, EmptyBarIsNotDrawnAgainUntilRestarted) {
  StartAndRun(10000);
  At(9990);
  DrawCountdown(MainCountdown);
  At(9999);
  MainCountdown.flash = 1;  // so the next draw (which toggles it off) draws the bar
  MainCountdown.flashDeadline = 0;
  DrawCountdown(MainCountdown);
  EXPECT_EQ(MainCountdown.barLength, 0);
  RunCountdown(MainCountdown);
  FillBackBuffer(kUntouched);
  DrawCountdown(MainCountdown);
  EXPECT_EQ(BackPixel(40, kBarY), kUntouched);
  StartCountdown(MainCountdown, 10000);
  EXPECT_EQ(MainCountdown.barLength, kCountdownFullBar);
}

TEST_F(Countdown, QuestionBarShowsFullWhenStartedAtItsOwnPlace) {
  StartCountdown(QuestionCountdown, 20000);
  EXPECT_EQ(BackPixel(300, 55), Code(PicTimer, 0));
  EXPECT_EQ(BackPixel(300, kBarY), kUntouched);
  StartCountdown(MainCountdown, 10000);  // the main bar waits for its first draw
  EXPECT_EQ(BackPixel(300, kBarY), kUntouched);
}
}  // namespace
