#include "machine/meter_table.h"
#include "machine/record_format.h"

#include <gtest/gtest.h>

#include "machine/meters.h"

namespace {
TEST(MeterTable, NamesTheAmountEachMeterCounts) {
  EXPECT_EQ(MeterMeaning(312), "prizes won of 55p");
  EXPECT_EQ(MeterMeaning(302), "prizes won of 5p");
  EXPECT_EQ(MeterMeaning(320), "prizes won of \xC2\xA3" "1.00");
  EXPECT_EQ(MeterMeaning(410), "prizes won of \xC2\xA3" "10.00");
  EXPECT_EQ(MeterMeaning(85), "bank offers made of 5p");
  EXPECT_EQ(MeterMeaning(94), "bank offers made of 50p");
  EXPECT_EQ(MeterMeaning(102), "bank offers made of \xC2\xA3" "1.30");
  EXPECT_EQ(MeterMeaning(189), "bank offers made of \xC2\xA3" "10.00");
  EXPECT_EQ(MeterMeaning(202), "bank offers taken of 60p");
  EXPECT_EQ(MeterMeaning(297), "bank offers taken of another amount");
  EXPECT_EQ(MeterMeaning(26), "games with a top prize of 90p");
  EXPECT_EQ(MeterMeaning(31), "games with a top prize of \xC2\xA3" "5.00");
  EXPECT_EQ(MeterMeaning(69), "no-questions bonus on pick 19");
  EXPECT_EQ(MeterMeaning(83), "first bank offer on pick 18");
  EXPECT_EQ(MeterMeaning(428), "games with the player's box BOX 1");
  EXPECT_EQ(MeterMeaning(447), "games with the player's box BOX 20");
  for (int unused : {32, 49, 66, 84, 298, 411, 426, 427}) EXPECT_EQ(MeterMeaning(unused), "") << unused;
}

TEST(MeterTable, DerivedFiguresCountContinuesAsStakes) {
  int32_t meters[kMeterCount] = {};
  EXPECT_EQ(DeriveFigures(meters, 50).returnToPlayer, 0.0);
  meters[0] = 3;
  meters[449] = 1;
  meters[413] = 55;
  meters[421] = 1;
  MeterFigures f = DeriveFigures(meters, 50);
  EXPECT_EQ(f.stakesTaken, 200);
  EXPECT_EQ(f.prizesWon, 55);
  EXPECT_DOUBLE_EQ(f.returnToPlayer, 27.5);
  EXPECT_EQ(ReportMoney(99), "99p");
  EXPECT_EQ(ReportMoney(-150), "-\xC2\xA3" "1.50");
}
}  // namespace

TEST(RecordFile, WhatTheGameWritesIsARecordFileAndLittleElseIs) {
  RecordValues v;
  v.balance = -12.5f;
  v.meters[0] = 7;
  std::vector<uint8_t> file = EncodeRecord(v, RecordDateText(2026, 12, 8));
  EXPECT_EQ(file.size(), RecordFileSize());
  EXPECT_EQ(RecordFileProblem(file.data(), file.size()), "");
  std::vector<uint8_t> other = file;
  other[kRecordValuesSize] = 'q';  // the version text changed by one letter
  EXPECT_NE(RecordFileProblem(other.data(), other.size()), "");
  other = file;
  other.push_back('\n');
  EXPECT_NE(RecordFileProblem(other.data(), other.size()), "");
  EXPECT_NE(RecordFileProblem(file.data(), kRecordValuesSize), "");
}
