#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "shell/timers.h"

namespace {
// The set-up's draws replayed by hand: offer pick, bonus pick (redrawn while equal to the
// offer pick), prize row, then the shuffle.
struct Expected {
  int32_t offerIt, noQuestions, row;
  std::vector<int32_t> order;
  bool redrawn = false;
};

Expected Replay(uint32_t seed) {
  Expected e;
  SeedRandom(seed);
  const int32_t offerBase[5] = {17, 15, 7, 6, 5}, offerSpan[5] = {2, 4, 11, 12, 13};
  e.offerIt = offerBase[GameTargets.OfferLevel] + RandomBelow(offerSpan[GameTargets.OfferLevel]);
  for (int draws = 0;; ++draws) {
    e.noQuestions = GameTargets.NoQuestionsLevel < 4 ? 19 : 6 + RandomBelow(10);
    if (e.noQuestions != e.offerIt) break;
    e.redrawn = true;
  }
  const int32_t rows[5] = {3, -1, 1, 0, 0};
  e.row = rows[GameTargets.PrizeLevel];
  if (e.row < 0) e.row = PercentChance(70) ? 2 : 3;
  e.order.resize(20);
  for (int i = 0; i < 20; ++i) e.order[i] = i;
  for (int i = 0; i < 19; ++i) std::swap(e.order[i], e.order[i + RandomBelow(20 - i)]);
  return e;
}

void ExpectFreshBoard() {
  std::vector<int32_t> order(BoxOrder, BoxOrder + 20);
  std::sort(order.begin(), order.end());
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(order[i], i);
    EXPECT_EQ(axBoxes[i].closed, 1);
    EXPECT_EQ(axBoxes[i].state, kMarkNone);
    EXPECT_EQ(axBoxes[i].cash, 0);
    EXPECT_EQ(axBoxes[i].x, 20 + 114 * (i % 5));
    EXPECT_EQ(axBoxes[i].y, 1 + 111 * (i / 5));
    EXPECT_EQ(axWinplan[i].inPlay, 1);
    EXPECT_EQ(axWinplan[i].x, 627);
    EXPECT_EQ(axWinplan[i].y, 570 - 30 * i);
    EXPECT_EQ(axWinplan[i].cash, PrizeRows[PrizeRow][BoxOrder[i]]);
    EXPECT_EQ(ValueInPlay[i], 1);
  }
  EXPECT_EQ(PickNumber, 1);
  EXPECT_EQ(Lives, 1);
  EXPECT_EQ(NextValueIndex, 0);
  EXPECT_EQ(NoQuestionsMode, 0);
  EXPECT_EQ(lOffersMade, 0);
  EXPECT_EQ(ContinueUsed, 0);
  EXPECT_EQ(BoardShown, 0);
  EXPECT_EQ(OfferThisPick, 0);
}
}  // namespace

TEST(GameSetUp, Band0IsTheMeanestGame) {
  DealTargets(0, 0);
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    SeedRandom(seed);
    lOffersMade = 2;
    ContinueUsed = 1;
    PickNumber = 9;
    GameSetUp();
    EXPECT_EQ(PrizeRow, 3);
    EXPECT_EQ(lPrizeAvailableThisGame, 55);
    EXPECT_TRUE(lOfferIt == 17 || lOfferIt == 18) << lOfferIt;
    EXPECT_EQ(lNoQuestionsActivate, 19);
    EXPECT_EQ(ExtraLivesLeft, 0);
    EXPECT_EQ(FreePicksLeft, 0);
    ExpectFreshBoard();
  }
}

TEST(GameSetUp, Band6IsTheRichestAndNeverPutsBonusOnTheOfferPick) {
  DealTargets(6, 3);
  bool sawBonusWithOffer = false, sawLow = false, sawHigh = false;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    SeedRandom(seed);
    GameSetUp();
    ASSERT_EQ(PrizeRow, 0);
    ASSERT_EQ(lPrizeAvailableThisGame, 500);
    ASSERT_GE(lOfferIt, 5);
    ASSERT_LE(lOfferIt, 17);
    ASSERT_GE(lNoQuestionsActivate, 6);
    ASSERT_LE(lNoQuestionsActivate, 15);
    ASSERT_NE(lNoQuestionsActivate, lOfferIt);
    ASSERT_EQ(ExtraLivesLeft, 3);
    ASSERT_EQ(FreePicksLeft, 3);
    sawBonusWithOffer |= lNoQuestionsActivate == lOfferIt + 1;
    sawLow |= lOfferIt == 5;
    sawHigh |= lOfferIt == 17;
  }
  EXPECT_TRUE(sawBonusWithOffer);
  EXPECT_TRUE(sawLow && sawHigh);
  ExpectFreshBoard();
}

TEST(GameSetUp, RandomDrawsComeInTheSetUpsOrder) {
  // Band 6 (with the redraw) and band 1 from column 4 (prize level 1: the 70 % draw).
  for (int band : {6, 1}) {
    DealTargets(band, 4);
    int redraws = 0;
    for (uint32_t seed = 1; seed <= 300; ++seed) {
      Expected e = Replay(seed);
      redraws += e.redrawn;
      SeedRandom(seed);
      GameSetUp();
      ASSERT_EQ(lOfferIt, e.offerIt) << seed;
      ASSERT_EQ(lNoQuestionsActivate, e.noQuestions) << seed;
      ASSERT_EQ(PrizeRow, e.row) << seed;
      ASSERT_EQ(std::vector<int32_t>(BoxOrder, BoxOrder + 20), e.order) << seed;
    }
    if (band == 6) {
      EXPECT_GT(redraws, 0);
    }
  }
}

TEST(AllocateNextValue, RevealsAscendingAndNeverTheTop) {
  for (int row : {0, 3}) {
    DealTargets(row == 0 ? 6 : 0, 0);
    SeedRandom(5);
    GameSetUp();
    ASSERT_EQ(PrizeRow, row);
    std::vector<int32_t> shown;
    for (int pick = 0; pick < 19; ++pick) shown.push_back(AllocateNextValue());
    std::vector<int32_t> expected(PrizeRows[row], PrizeRows[row] + 19);
    EXPECT_EQ(shown, expected);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(ValueInPlay[i], 0);
    EXPECT_EQ(ValueInPlay[19], 1);
  }
  std::vector<int32_t> row3(PrizeRows[3], PrizeRows[3] + 4);
  EXPECT_EQ(row3, (std::vector<int32_t>{5, 6, 10, 11}));
  EXPECT_EQ(PrizeRows[0][18], 400);
}

TEST(PrizeRowLookups, IndexesAndFrames) {
  DealTargets(6, 0);
  SeedRandom(1);
  GameSetUp();  // row 0
  EXPECT_EQ(WinPlanFrameOf(5), 19);
  EXPECT_EQ(WinPlanFrameOf(500), 0);
  EXPECT_EQ(WinPlanFrameOf(100), 4);
  EXPECT_EQ(WinPlanFrameOf(80), -1);  // in rows 1 and 2, not in row 0
  EXPECT_EQ(PrizeIndexOf(501), 20);
  EXPECT_EQ(PrizeIndexOf(500), 19);
  EXPECT_EQ(PrizeIndexOf(76), 15);  // first value at least 76 is 100
  EXPECT_EQ(PrizeIndexOf(0), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(WinPlanIndexOf(axWinplan[i].cash), i);
  EXPECT_EQ(WinPlanIndexOf(6), 20);
}

TEST(ShuffleOrder, KeepsEveryElementAndMovesThem) {
  SeedRandom(42);
  int32_t a[20];
  int moved = 0;
  for (int trial = 0; trial < 50; ++trial) {
    for (int i = 0; i < 20; ++i) a[i] = i;
    ShuffleOrder(a, 20);
    std::vector<int32_t> sorted(a, a + 20);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 20; ++i) ASSERT_EQ(sorted[i], i);
    moved += a[0] != 0 ? 1 : 0;
  }
  EXPECT_GT(moved, 40);
  int32_t one[1] = {7};
  ShuffleOrder(one, 1);
  EXPECT_EQ(one[0], 7);
}
