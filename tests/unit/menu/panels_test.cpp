#include <gtest/gtest.h>

#include <vector>

#include "screens/main_menu.h"

namespace {

struct Placed {
  int frame, x;
  bool operator==(const Placed& o) const { return frame == o.frame && x == o.x; }
};

std::vector<Placed> Layout(int32_t amount, int start) {
  PanelGlyph glyphs[kPanelGlyphsMost];
  int n = PanelGlyphs(amount, start, glyphs);
  std::vector<Placed> out;
  for (int i = 0; i < n; i++) out.push_back({glyphs[i].frame, glyphs[i].x});
  return out;
}

constexpr int kPoint = 10, kPound = 11;

TEST(MoneyPanel, FourDigitBankSpreadsFromThirtyThree) {
  int32_t bank = 1234;
  std::vector<Placed> want{{kPound, 33}, {1, 48}, {2, 63}, {kPoint, 79}, {3, 86}, {4, 101}};
  EXPECT_EQ(Layout(bank, BankPanelStart(bank)), want);
}

TEST(MoneyPanel, ThreeDigitAmountsShowPoundsAndPence) {
  std::vector<Placed> want{{kPound, 41}, {2, 56}, {kPoint, 72}, {5, 79}, {0, 94}};
  EXPECT_EQ(Layout(250, BankPanelStart(250)), want);
  // Below a pound the pounds digit is a zero, and 5 pence is 0.05.
  std::vector<Placed> five{{kPound, 694}, {0, 709}, {kPoint, 725}, {0, 732}, {5, 747}};
  EXPECT_EQ(Layout(5, CreditPanelStart(5)), five);
  std::vector<Placed> zero{{kPound, 41}, {0, 56}, {kPoint, 72}, {0, 79}, {0, 94}};
  EXPECT_EQ(Layout(0, BankPanelStart(0)), zero);
}

TEST(MoneyPanel, EachPanelHasItsOwnStartForShortAndLongAmounts) {
  EXPECT_EQ(BankPanelStart(999), 41);
  EXPECT_EQ(BankPanelStart(1000), 33);
  EXPECT_EQ(CreditPanelStart(999), 694);
  EXPECT_EQ(CreditPanelStart(1000), 685);
  EXPECT_EQ(BankAmountStart(999), 41);
  EXPECT_EQ(BankAmountStart(1000), 37);
  EXPECT_EQ(CreditAmountStart(999), 694);
  EXPECT_EQ(CreditAmountStart(1000), 685);
}

TEST(MoneyPanel, FourDigitLayoutAtTheBoundary) {
  std::vector<Placed> want{{kPound, 685}, {1, 700}, {0, 715}, {kPoint, 731}, {0, 738}, {0, 753}};
  EXPECT_EQ(Layout(1000, CreditPanelStart(1000)), want);
  std::vector<Placed> most{{kPound, 37}, {9, 52}, {9, 67}, {kPoint, 83}, {9, 90}, {9, 105}};
  EXPECT_EQ(Layout(9999, BankAmountStart(9999)), most);
}

TEST(MoneyPanel, PastNinetyNinePoundsNinetyNineEveryPoundDigitShows) {
  // A prize of 5.00 counted into a bank of 98.00: 103.00, not 03.00.
  std::vector<Placed> bank{{kPound, 22}, {1, 37}, {0, 52}, {3, 67}, {kPoint, 83}, {0, 90}, {0, 105}};
  EXPECT_EQ(Layout(10300, BankAmountStart(10300)), bank);
  // The credit panel keeps its right edge.
  std::vector<Placed> credit{{kPound, 670}, {1, 685}, {0, 700}, {0, 715}, {kPoint, 731}, {0, 738}, {5, 753}};
  EXPECT_EQ(Layout(10005, CreditAmountStart(10005)), credit);
  EXPECT_EQ(Layout(99999, BankPanelStart(99999)).size(), 7u);
  EXPECT_EQ(BankPanelStart(10000), 18);
  EXPECT_EQ(CreditPanelStart(10000), 670);
}

TEST(MoneyPanel, AnAmountThePanelCannotHoldShowsNoDigits) {
  EXPECT_TRUE(Layout(100000, 18).empty());
  EXPECT_TRUE(Layout(-5, 41).empty());
}

}  // namespace
