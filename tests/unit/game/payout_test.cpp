#include <gtest/gtest.h>

#include "game/payout.h"
#include "machine/meters.h"
#include "shell/timers.h"

namespace {
struct Levels {
  int q, e, p, o, n, f;
};
Levels Current() {
  return {GameTargets.QuestionLevel, GameTargets.ExtraLifeLevel, GameTargets.PrizeLevel,
          GameTargets.OfferLevel,    GameTargets.NoQuestionsLevel, GameTargets.FreePickLevel};
}
}  // namespace

TEST(PayoutBand, ThresholdsCompareExactlyInFloat) {
  EXPECT_EQ(PayoutBandOf(1000.0f), 0);
  EXPECT_EQ(PayoutBandOf(999.99994f), 1);
  EXPECT_EQ(PayoutBandOf(500.0f), 1);
  EXPECT_EQ(PayoutBandOf(300.0f), 2);
  EXPECT_EQ(PayoutBandOf(299.99997f), 3);
  EXPECT_EQ(PayoutBandOf(0.0f), 3);
  EXPECT_EQ(PayoutBandOf(-0.0001f), 4);
  EXPECT_EQ(PayoutBandOf(-300.0f), 4);
  EXPECT_EQ(PayoutBandOf(-500.0f), 5);
  EXPECT_EQ(PayoutBandOf(-500.5f), 6);
  EXPECT_EQ(PayoutBandOf(-9999999.0f), 6);
  EXPECT_EQ(PayoutBandOf(-20000000.0f), 6);
}

TEST(PayoutBand, ReadsThePayoutBalance) {
  float saved = PayoutBalance;
  PayoutBalance = -15.0f;
  EXPECT_EQ(PayoutBand(), 4);
  PayoutBalance = 1000.0f;
  EXPECT_EQ(PayoutBand(), 0);
  PayoutBalance = saved;
}

TEST(GameTargets, Band0AndBand6GiveTheSameLevelFromEveryStart) {
  for (int start = 0; start < 7; ++start) {
    DealTargets(0, start);
    Levels l = Current();
    EXPECT_EQ(l.q + l.e + l.p + l.o + l.n + l.f, 0) << start;
    DealTargets(6, start);
    l = Current();
    for (int v : {l.q, l.e, l.p, l.o, l.n, l.f}) EXPECT_EQ(v, 4) << start;
  }
}

TEST(GameTargets, RingFromStartColumnSkipsTheFourthColumn) {
  DealTargets(3, 5);
  Levels l = Current();
  EXPECT_EQ(l.q, 2);
  EXPECT_EQ(l.e, 2);
  EXPECT_EQ(l.p, 0);
  EXPECT_EQ(l.o, 1);
  EXPECT_EQ(l.n, 1);
  EXPECT_EQ(l.f, 1);
  // Band 4 from column 0: 1, 1, 2, (2 skipped), 3, 3, 4.
  DealTargets(4, 0);
  l = Current();
  EXPECT_EQ(l.p, 2);
  EXPECT_EQ(l.o, 3);
  EXPECT_EQ(l.f, 4);
}

TEST(GameTargets, ChosenOnceUntilCleared) {
  float saved = PayoutBalance;
  ClearGameTargets();
  EXPECT_EQ(ClearGameTargets(), 0);
  PayoutBalance = -400.0f;  // band 5
  SeedRandom(7);
  ASSERT_EQ(ChooseGameTargets(), 1);
  Levels first = Current();
  PayoutBalance = 5000.0f;  // band 0 would give all zero
  for (uint32_t seed = 1; seed < 20; ++seed) {
    SeedRandom(seed);
    EXPECT_EQ(ChooseGameTargets(), 0);
    Levels again = Current();
    EXPECT_EQ(again.q, first.q);
    EXPECT_EQ(again.o, first.o);
    EXPECT_EQ(again.f, first.f);
  }
  EXPECT_GE(first.q, 2);  // band 5 has no level below 2
  EXPECT_EQ(ClearGameTargets(), 1);
  EXPECT_EQ(ClearGameTargets(), 0);
  EXPECT_EQ(ChooseGameTargets(), 1);
  EXPECT_EQ(Current().q + Current().p + Current().f, 0);
  ClearGameTargets();
  PayoutBalance = saved;
}

TEST(GameTargets, StartColumnIsTheOneRandomDraw) {
  float saved = PayoutBalance;
  PayoutBalance = 0.0f;  // band 3
  for (uint32_t seed : {3u, 11u, 99u}) {
    SeedRandom(seed);
    int start = static_cast<int>(RandomBelow(7));
    SeedRandom(seed);
    ClearGameTargets();
    ChooseGameTargets();
    Levels chosen = Current();
    DealTargets(3, start);
    Levels dealt = Current();
    EXPECT_EQ(chosen.q, dealt.q);
    EXPECT_EQ(chosen.e, dealt.e);
    EXPECT_EQ(chosen.p, dealt.p);
    EXPECT_EQ(chosen.o, dealt.o);
    EXPECT_EQ(chosen.n, dealt.n);
    EXPECT_EQ(chosen.f, dealt.f);
  }
  ClearGameTargets();
  PayoutBalance = saved;
}
