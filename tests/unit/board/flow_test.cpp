#include "board_fixture.h"
#include "game/reveal.h"
#include "machine/meters.h"
#include "questions/countdown.h"
#include "screens/buttons.h"

namespace {
class Flow : public BoardScreen {
 protected:
  void SetUp() override {
    BoardScreen::SetUp();
    BoardShown = 1;
    for (int32_t& m : Meters) m = 0;
  }
  // A seed whose first PercentChance(p) comes out true (or false).
  static uint32_t SeedWhere(int p, bool chance) {
    for (uint32_t s = 1;; ++s) {
      SeedRandom(s);
      if (PercentChance(p) == chance) return s;
    }
  }
  static int32_t SlotOf(int32_t value) { return WinPlanIndexOf(value); }
};

TEST_F(Flow, BoxSelectableRefusesGoneBoxesAndTheFreePickBox) {
  axBoxes[4].closed = 0;
  CurrentBox = 6;
  EXPECT_FALSE(BoxSelectable(4));
  EXPECT_TRUE(BoxSelectable(6));
  axBoxes[6].state = kMarkFreePick;
  EXPECT_FALSE(BoxSelectable(6));
  EXPECT_TRUE(BoxSelectable(7));
  EXPECT_FALSE(BoxSelectable(20));
  EXPECT_FALSE(BoxSelectable(-1));
}

TEST_F(Flow, TimeOutPicksTheOneBoxLeftNeverTheFreePickBox) {
  for (int i = 0; i < kBoxCount; ++i) axBoxes[i].closed = 0;
  axBoxes[5] = BoxRecord{axBoxes[5].x, axBoxes[5].y, kMarkFreePick, 0, 10, 1};
  axBoxes[9].closed = 1;
  CurrentBox = 5;
  uint32_t start = ClockPeek();
  EXPECT_EQ(PickBox(), 9);
  EXPECT_GE(ClockPeek() - start, 10000u);
  EXPECT_EQ(CurrentBox, 9);
  EXPECT_EQ(PreviousBox, 5);
  EXPECT_EQ(axBoxes[5].closed, 0);  // the free-pick box leaves with the next pick
  EXPECT_EQ(axBoxes[5].state, kMarkNone);
  EXPECT_EQ(BackPixel(axBoxes[5].x + 40, axBoxes[5].y + 50), Code(PicBonusBoxes, kBonusOpened));
}

TEST_F(Flow, TouchOnAGoneBoxIsIgnoredAndTheCountdownRunsOn) {
  axBoxes[2].closed = 0;
  DestroyMainWindow();
  UseVirtualClock(0);
  Options.script = {{ScriptEvent::Touch, 1000, BoxButtons[2].x + 30, BoxButtons[2].y + 30, ""},
                    {ScriptEvent::Touch, 3000, BoxButtons[11].x + 30, BoxButtons[11].y + 30, ""}};
  ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  EXPECT_EQ(PickBox(), 11);
  EXPECT_GE(ClockPeek(), 3000u);
  EXPECT_LT(ClockPeek(), 4000u);
  EXPECT_GT(CountdownLeft(MainCountdown), 6000);  // the same countdown, not restarted
}

TEST_F(Flow, FirstRevealKnocksOutFiveAndLeavesTheQuestionMarker) {
  CurrentBox = 3;
  axBoxes[3].cash = 5;
  SeedRandom(1);
  RevealBox(5, 3);
  EXPECT_EQ(PickNumber, 2);
  EXPECT_EQ(axBoxes[3].prizeFrame, 0);
  EXPECT_EQ(axWinplan[SlotOf(5)].inPlay, 0);
  EXPECT_EQ(axBoxes[3].state, kMarkQuestion);
  EXPECT_EQ(BackPixel(700, axWinplan[SlotOf(5)].y + 10), Code(PicWinPlan, 0));
  EXPECT_EQ(BackPixel(axBoxes[3].x + 40, axBoxes[3].y + 50), Code(PicBonusBoxes, kBonusQuestion));
}

TEST_F(Flow, ExtraLifeAddsALifeAndTheBoxStillCarriesTheNextQuestion) {
  ExtraLivesLeft = 1;
  FreePicksLeft = 1;
  CurrentBox = 0;
  SeedRandom(SeedWhere(33, true));
  RevealBox(5, 0);
  EXPECT_EQ(Lives, 2);
  EXPECT_EQ(ExtraLivesLeft, 0);
  EXPECT_EQ(FreePicksLeft, 1);  // no free pick in the same reveal
  EXPECT_EQ(axBoxes[0].state, kMarkQuestion);
  EXPECT_EQ(BackPixel(530, 540), Code(PicLives, 2));
}

TEST_F(Flow, FreePickSkipsTheQuestionMarkerAndOpensWithTheNextReveal) {
  FreePicksLeft = 2;
  CurrentBox = 1;
  SeedRandom(SeedWhere(20, true));
  RevealBox(5, 1);
  EXPECT_EQ(FreePickPending, 1);
  EXPECT_EQ(FreePicksLeft, 1);
  EXPECT_EQ(axBoxes[1].state, kMarkFreePick);

  PreviousBox = 1;
  CurrentBox = 8;
  SeedRandom(SeedWhere(20, false));
  RevealBox(10, 8);
  EXPECT_EQ(FreePickPending, 0);
  EXPECT_EQ(axBoxes[8].state, kMarkQuestion);
  EXPECT_EQ(BackPixel(axBoxes[1].x + 40, axBoxes[1].y + 50), Code(PicBonusBoxes, kBonusFreePick))
      << "the board still shows the free-pick box until it is taken off by the pick";
}

TEST_F(Flow, NineteenthRevealBringsNothing) {
  PickNumber = 19;
  ExtraLivesLeft = 3;
  FreePicksLeft = 3;
  lOfferIt = 18;  // would be due, but not at the last pick
  NextValueIndex = 18;
  CurrentBox = 4;
  SeedRandom(SeedWhere(33, true));
  RevealBox(400, 4);
  EXPECT_EQ(PickNumber, 20);
  EXPECT_EQ(Lives, 1);
  EXPECT_EQ(ExtraLivesLeft, 3);
  EXPECT_EQ(FreePicksLeft, 3);
  EXPECT_EQ(axBoxes[4].state, kMarkNone);
  EXPECT_EQ(Meters[451], 0);  // no offer screen
}

TEST_F(Flow, NoQuestionsBonusSwitchesTheQuestionsOffForGood) {
  lNoQuestionsActivate = 2;
  CurrentBox = 6;
  RevealBox(5, 6);
  EXPECT_EQ(NoQuestionsMode, 1);
  EXPECT_EQ(axBoxes[6].state, kMarkNoQuestions);
  EXPECT_EQ(Meters[450], 1);
  EXPECT_EQ(PickNumber, 2);
}

TEST_F(Flow, NoBonusWhenTheRowTopIsBelowAPound) {
  PrizeRow = 3;
  lPrizeAvailableThisGame = 55;
  for (int i = 0; i < kBoxCount; ++i) axWinplan[i].cash = PrizeRows[3][i];
  lNoQuestionsActivate = 2;
  CurrentBox = 6;
  SeedRandom(1);
  RevealBox(5, 6);
  EXPECT_EQ(NoQuestionsMode, 0);
  EXPECT_EQ(Meters[450], 0);
  EXPECT_EQ(axBoxes[6].state, kMarkQuestion);
}
}  // namespace

namespace {
class Offer : public Flow {
 protected:
  void SetUp() override {
    Flow::SetUp();
    PickNumber = 7;
    NextValueIndex = 6;
    for (int i = 0; i < 6; ++i) {
      ValueInPlay[i] = 0;
      axWinplan[SlotOf(PrizeRows[0][i])].inPlay = 0;
    }
    lOfferIt = 7;  // due at the reveal that makes PickNumber 8
    CurrentBox = 10;
  }
  // Touches on Take every 100 ms; the ones before the offer's wait are dropped or only cut
  // the reveal's pauses short.
  void TouchTakeAllAlong() {
    DestroyMainWindow();
    UseVirtualClock(0);
    Options.script.clear();
    for (uint32_t t = 100; t < 60000; t += 100) Options.script.push_back({ScriptEvent::Touch, t, 100, 400, ""});
    ASSERT_TRUE(CreateMainWindow(MainWindowProc));
  }
};

TEST_F(Offer, BonusAndOfferInOneRevealThenTheOfferTimesOut) {
  lNoQuestionsActivate = 8;
  RevealBox(35, 10);
  EXPECT_EQ(NoQuestionsMode, 1);
  EXPECT_EQ(Meters[450], 1);
  EXPECT_EQ(Meters[451], 1);  // the offer screen came too
  EXPECT_EQ(OfferThisPick, 1);
  EXPECT_EQ(GetGamePhase(), kPhasePlaying);
  EXPECT_NE(lOfferIt, 7);  // rescheduled
  EXPECT_EQ(axBoxes[10].state, kMarkNone);  // left: the box is off the board, with no marker
  EXPECT_EQ(axBoxes[10].closed, 0);
}

TEST_F(Offer, TakenOfferEndsTheRevealWithThePrize) {
  TouchTakeAllAlong();
  RevealBox(35, 10);
  EXPECT_EQ(GetGamePhase(), kPhaseWon);
  EXPECT_GT(GamePrize, 0);
  EXPECT_EQ(axBoxes[10].state, kMarkBankOffer);  // no question marker after a Take
  EXPECT_EQ(Meters[451], 1);
}
}  // namespace
