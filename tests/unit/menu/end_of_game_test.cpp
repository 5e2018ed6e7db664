#include <gtest/gtest.h>

#include <vector>

#include "game/end_of_game.h"

namespace {

std::vector<WinCountStep> Steps(int32_t amount) {
  std::vector<WinCountStep> steps(200);
  int n = WinCountSteps(amount, steps.data(), static_cast<int>(steps.size()));
  steps.resize(static_cast<size_t>(n));
  return steps;
}

int32_t Sum(const std::vector<WinCountStep>& steps, int32_t WinCountStep::*field) {
  int32_t total = 0;
  for (const auto& s : steps) total += s.*field;
  return total;
}

TEST(WinCounting, MixedPrizeCountsTensToBankThenFivesToCredit) {
  auto steps = Steps(255);
  ASSERT_EQ(steps.size(), 31u);
  for (int i = 0; i < 20; i++) {
    EXPECT_EQ(steps[i].toBank, 10) << i;
    EXPECT_EQ(steps[i].toCredit, 0) << i;
  }
  EXPECT_EQ(steps[19].shown, 55);
  for (int i = 20; i < 31; i++) EXPECT_EQ(steps[i].toCredit, 5) << i;
  EXPECT_EQ(steps.back().shown, 0);
  EXPECT_EQ(Sum(steps, &WinCountStep::toBank), 200);
  EXPECT_EQ(Sum(steps, &WinCountStep::toCredit), 55);
}

TEST(WinCounting, SmallAndWholePoundPrizes) {
  auto small = Steps(95);
  ASSERT_EQ(small.size(), 19u);
  EXPECT_EQ(small.front().shown, 90);
  EXPECT_EQ(Sum(small, &WinCountStep::toCredit), 95);
  EXPECT_EQ(Sum(small, &WinCountStep::toBank), 0);

  auto pound = Steps(100);
  ASSERT_EQ(pound.size(), 10u);
  EXPECT_EQ(Sum(pound, &WinCountStep::toBank), 100);
  EXPECT_EQ(Sum(pound, &WinCountStep::toCredit), 0);

  auto odd = Steps(105);
  ASSERT_EQ(odd.size(), 11u);
  EXPECT_EQ(odd[9].shown, 5);
  EXPECT_EQ(odd[10].toCredit, 5);
  EXPECT_EQ(Sum(odd, &WinCountStep::toBank), 100);

  EXPECT_TRUE(Steps(0).empty());
  EXPECT_TRUE(Steps(-5).empty());
}

TEST(WinCounting, CountsPastTheCapacityWithoutWritingBeyondIt) {
  WinCountStep steps[3];
  EXPECT_EQ(WinCountSteps(500, steps, 3), 50);
  EXPECT_EQ(steps[2].shown, 470);
}

TEST(WinText, SmallWinMovesRightAsTheDigitsGetFewer) {
  EXPECT_EQ(WinAmountPlace(95, 95).x, 345);
  EXPECT_EQ(WinAmountPlace(95, 20).x, 345);
  EXPECT_EQ(WinAmountPlace(95, 15).x, 350);
  EXPECT_EQ(WinAmountPlace(95, 10).x, 350);
  EXPECT_EQ(WinAmountPlace(95, 5).x, 363);
  EXPECT_EQ(WinAmountPlace(95, 0).x, 363);
  EXPECT_EQ(WinAmountPlace(95, 0).y, 288);
  EXPECT_EQ(WinAmountPlace(95, 0).width, 126);
}

TEST(WinText, BigWinUsesTheWideBoxUntilBelowAPound) {
  WinTextPlace wide = WinAmountPlace(255, 100);
  EXPECT_EQ(wide.x, 310);
  EXPECT_EQ(wide.y, 337);
  EXPECT_EQ(wide.width, 184);
  EXPECT_EQ(WinAmountPlace(255, 55).x, 353);
  EXPECT_EQ(WinAmountPlace(255, 55).width, 126);
  EXPECT_EQ(WinAmountPlace(255, 5).x, 363);
  EXPECT_EQ(WinAmountPlace(255, 5).y, 337);
}

}  // namespace
