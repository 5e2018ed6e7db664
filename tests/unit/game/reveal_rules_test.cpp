#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "game/payout.h"
#include "game/reveal_rules.h"
#include "game/state.h"
#include "shell/random.h"
#include "shell/timers.h"

namespace {
void SetUpRow(int band) {
  DealTargets(band, 0);
  SeedRandom(3);
  GameSetUp();
}

// True when the generator has not moved since SeedRandom(seed).
// No draw since the cabinet's generator was seeded with `seed`.
bool Untouched(uint32_t seed) {
  RandomState fresh;
  SeedRandomState(fresh, seed);
  RandomState& now = CabinetRandom();
  return std::equal(std::begin(fresh.words), std::end(fresh.words), std::begin(now.words)) &&
         fresh.front == now.front && fresh.rear == now.rear;
}
}  // namespace

TEST(RevealSounds, ByValueAndByPick) {
  EXPECT_EQ(EliminationSound(5), 24);
  EXPECT_EQ(EliminationSound(25), 24);
  EXPECT_EQ(EliminationSound(26), 23);
  EXPECT_EQ(EliminationSound(30), 23);
  EXPECT_EQ(EliminationSound(50), 23);
  EXPECT_EQ(EliminationSound(55), 25);
  EXPECT_EQ(EliminationSound(500), 25);
  EXPECT_EQ(EliminationSound(501), 26);
  const int picks[] = {1, 5, 6, 10, 11, 15, 16, 20};
  const int question[] = {10, 10, 11, 11, 12, 12, 13, 13};
  const int wrong[] = {3, 3, 4, 4, 5, 5, 6, 6};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(QuestionSound(picks[i]), question[i]) << picks[i];
    EXPECT_EQ(WrongAnswerSound(picks[i]), wrong[i]) << picks[i];
  }
}

TEST(RevealRules, KnockOutMovesThePickAndFindsTheSlot) {
  SetUpRow(6);
  int32_t v = AllocateNextValue();
  EXPECT_EQ(v, 5);
  axBoxes[4].prizeFrame = 17;
  int32_t slot = KnockOutValue(v, 4);
  EXPECT_EQ(axWinplan[slot].cash, 5);
  EXPECT_EQ(axBoxes[4].prizeFrame, 0);
  EXPECT_EQ(PickNumber, 2);
  KnockOutValue(80, 4);  // not in row 0: the frame stays
  EXPECT_EQ(axBoxes[4].prizeFrame, 0);
  KnockOutSlot(slot);
  EXPECT_EQ(axWinplan[slot].inPlay, 0);
  KnockOutSlot(20);  // no slot: nothing written
}

TEST(RevealRules, BonusNeedsATopOfAtLeast100) {
  SetUpRow(6);
  lNoQuestionsActivate = 19;
  PickNumber = 19;  // after the eighteenth reveal
  EXPECT_TRUE(NoQuestionsBonusDue());
  PickNumber = 20;
  lNoQuestionsActivate = 20;
  EXPECT_FALSE(NoQuestionsBonusDue());
  SetUpRow(0);  // row 3, top 55
  lNoQuestionsActivate = 19;
  PickNumber = 19;
  EXPECT_FALSE(NoQuestionsBonusDue());
}

TEST(RevealRules, OfferComesAtTheRevealAfterItsPick) {
  SetUpRow(6);
  lOfferIt = 7;
  PickNumber = 7;
  EXPECT_FALSE(BankOfferDue());
  PickNumber = 8;
  EXPECT_TRUE(BankOfferDue());
  lOfferIt = 19;
  PickNumber = 20;
  EXPECT_FALSE(BankOfferDue());
  lOfferIt = 21;
  PickNumber = 19;
  EXPECT_FALSE(BankOfferDue());
}

TEST(RevealRules, ChancesDrawOnlyWhenThereIsSomethingToFind) {
  SetUpRow(6);
  PickNumber = 10;
  ExtraLivesLeft = 0;
  SeedRandom(77);
  EXPECT_FALSE(ExtraLifeFound());
  EXPECT_TRUE(Untouched(77));
  FreePicksLeft = 0;
  SeedRandom(77);
  EXPECT_FALSE(FreePickFound());
  EXPECT_TRUE(Untouched(77));

  ExtraLivesLeft = 3;
  FreePicksLeft = 3;
  int lives = 0, frees = 0;
  SeedRandom(5);
  for (int i = 0; i < 30000; ++i) {
    lives += ExtraLifeFound();
    frees += FreePickFound();
  }
  EXPECT_NEAR(lives / 30000.0, 0.33, 0.015);
  EXPECT_NEAR(frees / 30000.0, 0.20, 0.015);

  PickNumber = 20;  // the nineteenth reveal finds nothing
  for (int i = 0; i < 200; ++i) {
    ASSERT_FALSE(ExtraLifeFound());
    ASSERT_FALSE(FreePickFound());
  }
}

TEST(RevealRules, QuestionBoxUnlessFreeNoQuestionsWonOrLast) {
  SetUpRow(6);
  PickNumber = 5;
  FreePickPending = 0;
  NoQuestionsMode = 0;
  EXPECT_TRUE(QuestionBoxDue(1));
  EXPECT_FALSE(QuestionBoxDue(2));
  FreePickPending = 1;
  EXPECT_FALSE(QuestionBoxDue(1));
  FreePickPending = 0;
  NoQuestionsMode = 1;
  EXPECT_FALSE(QuestionBoxDue(1));
  NoQuestionsMode = 0;
  PickNumber = 20;
  EXPECT_FALSE(QuestionBoxDue(1));
}
