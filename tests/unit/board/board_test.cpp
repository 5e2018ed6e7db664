#include "board_fixture.h"

namespace {
// A point inside each window, clear of the clip edges.
constexpr int kOffersX = 60, kOffersY = 540, kLivesX = 530, kLivesY = 540, kPrizeX = 300, kPrizeY = 540;

TEST_F(BoardScreen, OffersWindowCountsDownThePicksToTheOffer) {
  lOfferIt = 7;
  PickNumber = 1;
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), Code(PicOffers, 6));  // seven picks to go
  PickNumber = 7;
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), Code(PicOffers, 0));
  PickNumber = 8;  // the reveal that brings the offer has been made
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), Code(PicBonusBoxes, kBonusBankOffer));
  PickNumber = 12;  // past the offer: still the offer picture, never a negative frame
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), Code(PicBonusBoxes, kBonusBankOffer));
}

TEST_F(BoardScreen, OffersWindowWithNoOfferLeftIsClearedFirst) {
  lOfferIt = kNoFurtherOffer;
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), Code(PicBonusBoxes, kBonusNoOfferLeft));
  // The cleared box reaches beyond the picture: two pixels left of it shows the background.
  EXPECT_EQ(BackPixel(18, 500), Code(PicTestMain2, 0));
  EXPECT_EQ(BackPixel(17, 500), kUntouched);
}

TEST_F(BoardScreen, OffersWindowIsLeftAloneWhenTheGameIsLost) {
  SetGamePhase(kPhaseNone);
  DrawOffersWindow();
  EXPECT_EQ(BackPixel(kOffersX, kOffersY), kUntouched);
}

TEST_F(BoardScreen, ExtraLifeAtFiveIsNotAddedAndNotAnimated) {
  Lives = 5;
  uint32_t start = timeGetTime();
  ChangeLives(1, true);
  EXPECT_EQ(Lives, 5);
  EXPECT_LT(timeGetTime() - start, 250u);
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 5));
}

TEST_F(BoardScreen, LifeGainedIsFlashedAndShown) {
  Lives = 2;
  uint32_t start = timeGetTime();
  ChangeLives(1, true);
  EXPECT_EQ(Lives, 3);
  EXPECT_GE(timeGetTime() - start, 250u);
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 3));
}

TEST_F(BoardScreen, LosingTheLastLifeAnimatesDownToZero) {
  Lives = 1;
  uint32_t start = timeGetTime();
  ChangeLives(1, false);
  EXPECT_EQ(Lives, 0);
  EXPECT_GE(timeGetTime() - start, 250u);
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 0));
}

TEST_F(BoardScreen, LosingALifeAtZeroGivesMinusOneWithoutAnimation) {
  Lives = 0;
  uint32_t start = timeGetTime();
  ChangeLives(1, false);
  EXPECT_EQ(Lives, -1);
  EXPECT_LT(timeGetTime() - start, 250u);
  ChangeLives(0, false);  // the window with no lives left
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 0));
  ChangeLives(3, false);
  EXPECT_EQ(Lives, -1);  // never below
}

TEST_F(BoardScreen, LivesWindowShowsNoneWhenTheGameIsLost) {
  Lives = 4;
  SetGamePhase(kPhaseNone);
  ChangeLives(1, false);
  EXPECT_EQ(Lives, 4);
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 0));
}

TEST_F(BoardScreen, BoxesShowNumbersMarkersAndOpenedLooks) {
  axBoxes[3].state = kMarkQuestion;
  axBoxes[7].state = kMarkFreePick;
  axBoxes[9].state = kMarkNoQuestions;  // has no marker picture on a closed box
  axBoxes[12].closed = 0;
  DrawBoxes(kBackBuffer);
  auto at = [](int box) { return BackPixel(axBoxes[box].x + 40, axBoxes[box].y + 50); };
  EXPECT_EQ(at(0), Code(PicBoxValues, 0));
  EXPECT_EQ(at(3), Code(PicBonusBoxes, kBonusQuestion));
  EXPECT_EQ(at(7), Code(PicBonusBoxes, kBonusFreePick));
  EXPECT_EQ(at(9), Code(PicBoxValues, 9));
  EXPECT_EQ(at(12), Code(PicBonusBoxes, kBonusOpened));
  EXPECT_EQ(at(19), Code(PicBoxValues, 19));
  EXPECT_EQ(BackPixel(20, 50), Code(PicBar, 1));  // the side bars lie over the boxes
  EXPECT_EQ(BackPixel(600, 390), Code(PicBar, 2));
}

TEST_F(BoardScreen, NoQuestionsModeShowsOnlyTheNumbers) {
  NoQuestionsMode = 1;
  axBoxes[3].state = kMarkQuestion;
  axBoxes[4].state = kMarkExtraLife;
  DrawBoxes(kBackBuffer);
  EXPECT_EQ(BackPixel(axBoxes[3].x + 40, axBoxes[3].y + 50), Code(PicBoxValues, 3));
  EXPECT_EQ(BackPixel(axBoxes[4].x + 40, axBoxes[4].y + 50), Code(PicBoxValues, 4));
}

TEST_F(BoardScreen, BoardOntoACanvasLeavesTheBackBufferAlone) {
  DrawBoard(0);
  EXPECT_EQ(BackPixel(100, 100), kUntouched);
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), kUntouched);
  DrawBoard(kBackBuffer);
  EXPECT_EQ(BackPixel(axBoxes[0].x + 40, axBoxes[0].y + 50), Code(PicBoxValues, 0));
  EXPECT_EQ(BackPixel(kLivesX, kLivesY), Code(PicLives, 1));  // only the back buffer gets the lives
}

TEST_F(BoardScreen, WinPlanShowsEachValueInPlayBesideItsTagAndEmptiesKnockedOutSlots) {
  PrizeRow = 2;
  axWinplan[0].cash = 5;  // the smallest value: frame 19
  axWinplan[1].cash = 200;  // the top of row 2: frame 0
  axWinplan[1].inPlay = 0;
  axWinplan[2].cash = 90;  // frame 2
  DrawWinPlan();
  // The value in its row's picture, the tag over the slot's left end only.
  EXPECT_EQ(BackPixel(700, axWinplan[0].y + 10), Code(PicWinPlanOverLay + 2, 19));
  EXPECT_EQ(BackPixel(640, axWinplan[0].y + 10), Code(PicWinPlanOverLayQMark, 19));
  EXPECT_EQ(BackPixel(700, axWinplan[2].y + 10), Code(PicWinPlanOverLay + 2, 2));
  EXPECT_EQ(BackPixel(640, axWinplan[2].y + 10), Code(PicWinPlanOverLayQMark, 2));
  EXPECT_EQ(BackPixel(700, axWinplan[1].y + 10), Code(PicWinPlan, 0));
  EXPECT_EQ(BackPixel(700, axWinplan[1].y + 1), Code(PicTestMain2, 0));  // the empty slot sits 4 lower
  EXPECT_EQ(BackPixel(622, 5), Code(PicTestMain2, 0));                      // the panel is cleared first
}

TEST_F(BoardScreen, IdleAnimationRunsTenFramesTwiceThenShowsThePlayersBox) {
  BoardShown = 1;
  PlayerBox = 13;
  ResetIdleAnimation();
  PrizeWindowAnimation.frameDeadline = PrizeWindowAnimation.pauseDeadline = 0;
  std::vector<int> seen;
  for (int pass = 0; pass < 20; ++pass) {
    IdleStep();
    uint16_t c = BackPixel(kPrizeX, kPrizeY);
    seen.push_back((c >> 11) - 1);
    EXPECT_EQ((c >> 5) & 63, PicPrizeUpdate);
    if (pass < 19) {
      IdleStep();  // a second call within the 100 ms changes nothing
      EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), c);
    }
    PumpFor(100);
  }
  std::vector<int> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
  EXPECT_EQ(seen, expected);
  IdleStep();
  EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), Code(PicBoxValues, 13));
  PumpFor(800);
  IdleStep();
  EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), Code(PicBoxValues, 13));
  PumpFor(150);
  IdleStep();
  EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), Code(PicPrizeUpdate, 1));
}

TEST_F(BoardScreen, IdleAnimationIsStillOffTheBoardAndAfterTheGame) {
  BoardShown = 0;
  IdleStep();
  EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), kUntouched);
  BoardShown = 1;
  for (uint8_t phase : {kPhaseNone, kPhaseWon}) {
    SetGamePhase(phase);
    IdleStep();
    EXPECT_EQ(BackPixel(kPrizeX, kPrizeY), kUntouched);
  }
  SetGamePhase(kPhaseAfterLostQuestion);
  IdleStep();
  EXPECT_NE(BackPixel(kPrizeX, kPrizeY), kUntouched);
}
}  // namespace

TEST_F(BoardScreen, WaitOrTouchKeepsThePrizeWindowAliveOnlyWhileAGameIsOn) {
  BoardShown = 1;
  PlayerBox = 13;
  for (uint8_t phase : {kPhaseNone, kPhaseWon, kPhasePlaying, kPhaseAfterLostQuestion}) {
    SCOPED_TRACE(static_cast<int>(phase));
    SetGamePhase(phase);
    ResetIdleAnimation();
    FillBackBuffer(kUntouched);
    EXPECT_EQ(WaitOrTouch(300), 1);
    bool gameOn = phase == kPhasePlaying || phase == kPhaseAfterLostQuestion;
    EXPECT_EQ(BackPixel(kPrizeX, kPrizeY) != kUntouched, gameOn);
  }
}
