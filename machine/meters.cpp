#include "machine/meters.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "game/payout.h"
#include "machine/record_format.h"
#include "platform/files.h"

static_assert(kMeterCount == kRecordMeterCount);

int32_t Meters[kMeterCount];
float PayoutBalance;
int32_t GamePrize;

namespace {
constexpr const char* kRecordFile = "data\\morvane.rec";
// Saves go here first and are renamed over the record, so a save cut short leaves the old one.
constexpr const char* kRecordTempFile = "data\\morvane.tmp";
constexpr const char* kDataDirectoryName = "data";

constexpr int kMeterGamesWithPrize = 421;
constexpr int kMeterPrizeTotal = 413;
constexpr int kMeterPrizeByBand = 414;
constexpr int kMeterOddPrize = 190;

void ZeroRecord() {
  PayoutBalance = 0;
  std::memset(Meters, 0, sizeof Meters);
}

// The date of the first save, kept at the end of the file; today's date for a new file, or
// for one cut short before its trailer, whose last bytes are meters and not a date.
std::string RecordDate() {
  long size = FileSize(kRecordFile);
  std::FILE* f = size > kRecordValuesSize ? OpenFile(kRecordFile, "rb") : nullptr;
  if (f) {
    char word[9] = {};
    std::fseek(f, size - 8, SEEK_SET);
    int got = std::fscanf(f, "%8s", word);
    std::fclose(f);
    if (got == 1) return word;
  }
  LocalTime now = GetLocalTime();
  return RecordDateText(now.year, now.month, now.day);
}

bool WriteAll(std::FILE* f, const std::vector<uint8_t>& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}
}  // namespace

void MeterIncrement(int16_t n) {
  if (n < 0 || n >= kMeterCount) return;
  Meters[n] = static_cast<int32_t>(static_cast<uint32_t>(Meters[n]) + 1u);
}

void MeterAdd(int16_t n, int16_t amount) {
  if (n < 0 || n >= kMeterCount) return;
  Meters[n] = static_cast<int32_t>(static_cast<uint32_t>(Meters[n]) +
                                   static_cast<uint32_t>(static_cast<int32_t>(amount)));
}

void RateAdd(uint8_t, float amount) { PayoutBalance += amount; }

float ReadPayoutBalance(uint8_t) { return PayoutBalance; }

void LoadRecord() {
  ZeroRecord();
  std::FILE* f = OpenFile(kRecordFile, "rb");
  if (!f) return;
  long size = FileSize(kRecordFile);
  if (size < 0) {
    std::fclose(f);
    return;
  }
  if (size <= 10) {
    std::fclose(f);
    ClearReadOnly(kRecordFile);
    DeleteFile(kRecordFile);
    return;
  }
  uint8_t bytes[kRecordValuesSize];
  size_t got = std::fread(bytes, 1, sizeof bytes, f);
  std::fclose(f);
  RecordValues values = DecodeRecord(bytes, got);
  PayoutBalance = values.balance;
  std::memcpy(Meters, values.meters, sizeof Meters);
}

void SaveRecord() {
  MakeDirectory(kDataDirectoryName);
  RecordValues values;
  values.balance = PayoutBalance;
  std::memcpy(values.meters, Meters, sizeof Meters);
  std::vector<uint8_t> bytes = EncodeRecord(values, RecordDate());

  ClearReadOnly(kRecordFile);
  std::FILE* f = OpenFile(kRecordTempFile, "wb");
  if (!f) return;
  bool written = WriteAll(f, bytes) && SyncFile(f);
  if (std::fclose(f) != 0) written = false;
  if (!written) {
    DeleteFile(kRecordTempFile);
    return;
  }
  ReplaceFile(kRecordTempFile, kRecordFile);
}

void RecordPrize() {
  int32_t prize = GamePrize;
  if (prize == 0) return;
  int band = PayoutBand();
  MeterAdd(static_cast<int16_t>(kMeterPrizeByBand + band), static_cast<int16_t>(prize));
  MeterAdd(kMeterPrizeTotal, static_cast<int16_t>(prize));
  MeterIncrement(kMeterGamesWithPrize);
  RateAdd(0, static_cast<float>(prize));
  if (prize >= 5 && prize <= 90 && prize % 5 == 0)
    MeterIncrement(static_cast<int16_t>(301 + prize / 5));
  else if (prize >= 100 && prize <= 1000 && prize % 10 == 0)
    MeterIncrement(static_cast<int16_t>(310 + prize / 10));
  else
    MeterIncrement(kMeterOddPrize);
}
