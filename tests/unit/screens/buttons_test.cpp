#include "screens/buttons.h"

#include "../board/board_fixture.h"
#include <cstdio>

#include "questions/countdown.h"

namespace {
class Buttons : public BoardScreen {
 protected:
  void SetUp() override {
    BoardScreen::SetUp();
    BoardShown = 1;
    StartCountdown(MainCountdown, 10000000);
    RunCountdown(MainCountdown);
    StartCountdown(QuestionCountdown, 10000000);
    RunCountdown(QuestionCountdown);
  }
  // Moves the clock on by `ms` at once.
  static void Skip(uint32_t ms) { UseVirtualClock(ClockPeek() + ms); }
  static void RunOut(CountdownBar& countdown) {
    StartCountdown(countdown, 1000);
    RunCountdown(countdown);
    Skip(1001);
  }
  // Arms `table`, then polls once with a touch at (x, y).
  static int32_t TouchAndPoll(const ButtonRow* table, int x, int y) {
    ArmButtons(table);
    Touch(x, y);
    return PollButtons(table);
  }
};

TEST(HitTest, LeftAndTopEdgesHitRightAndBottomEdgesMiss) {
  EXPECT_EQ(HitTest(BoxButtons, 20, 2), 0);
  EXPECT_EQ(HitTest(BoxButtons, 133, 105), 0);
  EXPECT_EQ(HitTest(BoxButtons, 134, 50), 1);  // x + width is the next box's left edge
  EXPECT_EQ(HitTest(BoxButtons, 19, 50), -1);
  EXPECT_EQ(HitTest(BoxButtons, 50, 106), -1);  // y + height: the gap between rows
  EXPECT_EQ(HitTest(BoxButtons, 50, 116), 5);
  EXPECT_EQ(HitTest(BoxButtons, 589, 447), 19);
  EXPECT_EQ(HitTest(BoxButtons, 590, 447), -1);
  EXPECT_EQ(HitTest(MainMenuButtons, 29, 487), 0);
  EXPECT_EQ(HitTest(MainMenuButtons, 770, 599), 2);
  EXPECT_EQ(HitTest(MainMenuButtons, 771, 599), -1);
  EXPECT_EQ(HitTest(TrueFalseButtons, 247, 440), 0);
  EXPECT_EQ(HitTest(TrueFalseButtons, 248, 440), -1);
  EXPECT_EQ(HitTest(TrueFalseButtons, 362, 337), 1);
}

TEST(HitTest, LastMatchingRowWinsAndNoTouchHitsNothing) {
  const ButtonRow overlapping[] = {{" Big", 0, 0, 100, 100}, {" Small", 10, 10, 20, 20}, {" Other", 200, 0, 10, 10},
                                   {nullptr, 0, 0, 0, 0}, {" Hidden", 0, 0, 800, 600}};
  EXPECT_EQ(HitTest(overlapping, 15, 15), 1);
  EXPECT_EQ(HitTest(overlapping, 5, 5), 0);
  EXPECT_EQ(HitTest(overlapping, 300, 300), -1);  // rows after the end of the table do not count
  EXPECT_EQ(HitTest(overlapping, -1, -1), -1);
}

TEST(ButtonTables, BoxButtonsFollowTheBoard) {
  int n = 0;
  for (const ButtonRow* row = BoxButtons; row->label; ++row, ++n) {
    EXPECT_EQ(row->x, 20 + 114 * (n % 5));
    EXPECT_EQ(row->y, 2 + 114 * (n / 5));
    EXPECT_EQ(row->width, 114);
    EXPECT_EQ(row->height, 104);
    char label[16];
    std::snprintf(label, sizeof label, " %d", n);
    EXPECT_STREQ(row->label, label);
  }
  EXPECT_EQ(n, 20);
}

TEST_F(Buttons, TouchOutsideTheButtonsStaysStoredUntilAResult) {
  ArmButtons(YesNoButtons);
  EXPECT_EQ(ButtonWait.rows, 2);
  Touch(700, 20);
  EXPECT_EQ(PollButtons(YesNoButtons), -1);
  EXPECT_EQ(TouchX, 700);
  EXPECT_EQ(PollButtons(YesNoButtons), -1);  // tested again, still nothing
  Touch(400, 400);
  EXPECT_EQ(PollButtons(YesNoButtons), 1);
  EXPECT_EQ(TouchX, -1);  // consumed
  EXPECT_EQ(ButtonWait.lastResult, 1);
}

TEST_F(Buttons, ArmingDropsTouchesMadeBefore) {
  Touch(100, 400);
  ArmButtons(TakeLeaveButtons);
  EXPECT_EQ(PollButtons(TakeLeaveButtons), -1);
}

TEST_F(Buttons, InactivityGivesZeroOnlyOnMenuYesNoAndBoard) {
  for (const ButtonRow* table : {YesNoButtons, BoxButtons, MainMenuButtons}) {
    ArmButtons(table);
    Skip(kInactivityMs);
    EXPECT_EQ(PollButtons(table), 0);
  }
  for (const ButtonRow* table : {TrueFalseButtons, TakeLeaveButtons}) {
    ArmButtons(table);
    Skip(kInactivityMs * 3);
    EXPECT_EQ(PollButtons(table), -1);
  }
}

TEST_F(Buttons, InactivityOverridesATouchInTheSamePass) {
  ArmButtons(BoxButtons);
  Skip(kInactivityMs);
  Touch(BoxButtons[7].x + 5, BoxButtons[7].y + 5);
  EXPECT_EQ(PollButtons(BoxButtons), 0);
  ArmButtons(YesNoButtons);
  Skip(kInactivityMs);
  Touch(400, 400);  // No
  EXPECT_EQ(PollButtons(YesNoButtons), 0);
  ArmButtons(TrueFalseButtons);
  Skip(kInactivityMs);
  Touch(400, 400);  // False: this table never times out
  EXPECT_EQ(PollButtons(TrueFalseButtons), 1);
}

TEST_F(Buttons, TouchesDoNotRenewTheInactivityDeadline) {
  ArmButtons(BoxButtons);
  Skip(kInactivityMs - 100);
  Touch(5, 500);  // outside every box
  EXPECT_EQ(PollButtons(BoxButtons), -1);
  Skip(200);
  EXPECT_EQ(PollButtons(BoxButtons), 0);
}

TEST_F(Buttons, BoardTimeUpGivesTwentyOne) {
  ArmButtons(BoxButtons);
  RunOut(MainCountdown);
  EXPECT_EQ(PollButtons(BoxButtons), kBoxPickTimeUp);
  EXPECT_EQ(ButtonWait.lastResult, kBoxPickTimeUp);
}

TEST_F(Buttons, QuestionTimeUpGivesFourAndShowsTheEmptyTimer) {
  ArmButtons(TrueFalseButtons);
  RunOut(QuestionCountdown);
  FillBackBuffer(kUntouched);
  EXPECT_EQ(PollButtons(TrueFalseButtons), kQuestionTimeUp);
  EXPECT_EQ(BackPixel(300, 55), Code(PicTimer, 1));
}

TEST_F(Buttons, OfferAndContinueTimeUpGiveThreeWithTheTimerAtTheMainBar) {
  for (const ButtonRow* table : {TakeLeaveButtons, YesNoButtons}) {
    ArmButtons(table);
    RunOut(MainCountdown);
    FillBackBuffer(kUntouched);
    EXPECT_EQ(PollButtons(table), kOfferTimeUp);
    EXPECT_EQ(BackPixel(300, 166), Code(PicTimer, 1));
  }
}

TEST_F(Buttons, StartIsRefusedAndFlushedWithoutCredit) {
  // No credit server: credit and bank read 0, below the stake.
  EXPECT_EQ(TouchAndPoll(MainMenuButtons, 600, 500), -1);
  EXPECT_EQ(TouchX, -1);
  EXPECT_EQ(TouchAndPoll(MainMenuButtons, 310, 500), 1);  // Rules still works
  EXPECT_EQ(TouchAndPoll(MainMenuButtons, 40, 500), 0);
}

TEST_F(Buttons, BoardSpeechBarBlinksInTheLastFourSeconds) {
  constexpr int kSpeechX = 100, kSpeechY = 460;
  StartCountdown(MainCountdown, 10000);
  RunCountdown(MainCountdown);
  ArmButtons(BoxButtons);
  PollButtons(BoxButtons);
  EXPECT_EQ(BackPixel(kSpeechX, kSpeechY), Code(PicSpeechBar, 2));
  Skip(6100);
  std::vector<uint16_t> seen;
  for (int i = 0; i < 4; ++i) {
    PollButtons(BoxButtons);
    seen.push_back(BackPixel(kSpeechX, kSpeechY));
    Skip(301);
  }
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_EQ(seen[0], seen[2]);
  EXPECT_EQ(seen[1], seen[3]);
  for (uint16_t c : seen) EXPECT_TRUE(c == Code(PicSpeechBar, 4) || c == Code(PicSpeechBar, 0));
}

TEST_F(Buttons, WaitForButtonEndsOnAScriptedTouch) {
  DestroyMainWindow();
  UseVirtualClock(0);
  Options.script = {{ScriptEvent::Touch, 10, 30, 30, ""},  // before the wait: dropped
                    {ScriptEvent::Touch, 700, 5, 5, ""},    // outside every box
                    {ScriptEvent::Touch, 900, BoxButtons[12].x + 50, BoxButtons[12].y + 50, ""}};
  ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  PumpFor(100);
  StartCountdown(MainCountdown, 10000);
  RunCountdown(MainCountdown);
  EXPECT_EQ(WaitBox(), 12);
  EXPECT_GE(ClockPeek(), 900u);
  EXPECT_LT(ClockPeek(), 2000u);
}

TEST_F(Buttons, WaitBoxGivesTwentyOneWhenTheTenSecondsRunOut) {
  StartCountdown(MainCountdown, 10000);
  RunCountdown(MainCountdown);
  uint32_t start = ClockPeek();
  EXPECT_EQ(WaitBox(), kBoxPickTimeUp);
  EXPECT_GE(ClockPeek() - start, 10000u);
  EXPECT_LT(ClockPeek() - start, 10500u);
}
}  // namespace
