#include <gtest/gtest.h>

#include "game/model_game.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"

namespace {
void Fresh(float balance, uint32_t seed) {
  PayoutBalance = balance;
  ClearGameTargets();
  SeedRandom(seed);
}
}  // namespace

TEST(ModelGame, APerfectPlayerWhoLeavesWinsTheTopOfTheRow) {
  Fresh(0.0f, 11);
  ModelPlayer player;
  player.accuracy = 1.0;
  float expected = 0.0f;
  for (int g = 0; g < 300; ++g) {
    ModelGameResult r = PlayModelGame(player);
    ASSERT_TRUE(r.won);
    ASSERT_EQ(r.picks, 19);
    ASSERT_EQ(r.prize, PrizeRows[r.row][19]);
    ASSERT_EQ(r.stakes, 50);
    ASSERT_EQ(r.offersTaken, 0);
    expected += -15.0f;
    expected += static_cast<float>(r.prize);
    ASSERT_EQ(r.balanceAfter, expected);
    ASSERT_EQ(PayoutBalance, expected);
    ASSERT_EQ(GameTargets.targetsChosen, 0);
  }
}

TEST(ModelGame, AccuracyByCategoryFollowsTheCategoryOfEachQuestion) {
  // Pick 1 asks category 1 at every level, so a player who knows everything but category 1
  // loses the first round of every game, and one who knows only category 1 wins it.
  Fresh(0.0f, 4);
  ModelPlayer player;
  player.accuracy = 1.0;  // overridden by the table
  player.byCategory = true;
  for (double& a : player.categoryAccuracy) a = 1.0;
  player.categoryAccuracy[0] = 0.0;
  int wrong = 0, questions = 0;
  for (int g = 0; g < 200; ++g) {
    ModelGameResult r = PlayModelGame(player);
    ASSERT_GE(r.wrong, 1);
    wrong += r.wrong;
    questions += r.questions;
  }
  EXPECT_LT(wrong, questions);  // later picks ask other categories, answered right
  ModelPlayer only;
  only.accuracy = 0.0;
  only.byCategory = true;
  only.categoryAccuracy[0] = 1.0;
  only.buysContinue = false;
  for (int g = 0; g < 200; ++g) {
    ModelGameResult r = PlayModelGame(only);
    ASSERT_LE(r.wrong, r.questions - 1);  // the first round is always right
  }
  EXPECT_EQ(only.AccuracyFor(1), 1.0);
  EXPECT_EQ(only.AccuracyFor(2), 0.0);
  EXPECT_EQ(only.AccuracyFor(25), 0.0);  // outside the table: the single accuracy
}

TEST(ModelGame, AlwaysWrongWithoutContinueLosesByTheSecondLostRound) {
  Fresh(5000.0f, 3);  // band 0: no extra lives, no free picks, no bonus
  ModelPlayer player;
  player.accuracy = 0.0;
  player.buysContinue = false;
  for (int g = 0; g < 100; ++g) {
    ModelGameResult r = PlayModelGame(player);
    ASSERT_FALSE(r.won);
    ASSERT_EQ(r.prize, 0);
    ASSERT_EQ(r.picks, 1);
    ASSERT_EQ(r.questions, 2);
    ASSERT_FALSE(r.continued);
  }
}

TEST(ModelGame, ABoughtContinueCostsAStakeAndIsOfferedOnce) {
  Fresh(5000.0f, 3);
  ModelPlayer player;
  player.accuracy = 0.0;
  ModelGameResult r = PlayModelGame(player);
  EXPECT_TRUE(r.continued);
  EXPECT_EQ(r.stakes, 100);
  EXPECT_EQ(r.questions, 3);  // lost at 1 -> 0, -1 -> continue at 0, -1 -> over
  EXPECT_EQ(r.picks, 2);
  EXPECT_EQ(r.balanceAfter, 5000.0f - 30.0f);
}

TEST(ModelGame, TakingTheFirstOfferEndsTheGameWithIt) {
  Fresh(0.0f, 8);
  ModelPlayer player;
  player.accuracy = 1.0;
  player.offers = OfferPolicy::TakeFirst;
  for (int g = 0; g < 200; ++g) {
    ModelGameResult r = PlayModelGame(player);
    ASSERT_TRUE(r.won);
    ASSERT_EQ(r.offersMade, 1);
    ASSERT_EQ(r.offersTaken, 1);
    ASSERT_EQ(r.prize, static_cast<int32_t>(fOffer));
    ASSERT_EQ(r.picks, lOfferIt);  // the offer came at the reveal that made PickNumber lOfferIt + 1
    ASSERT_LT(r.prize, PrizeRows[r.row][19]);
  }
}
