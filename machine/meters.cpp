#include "machine/meters.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "game/payout.h"
#include "machine/record_format.h"
#include "platform/files.h"
#include "shell/log.h"

static_assert(kMeterCount == kRecordMeterCount);

int32_t Meters[kMeterCount];
float PayoutBalance;
int32_t GamePrize;

namespace {
constexpr const char* kRecordFile = "data\\morvane.rec";
// Saves go here first and are renamed over the record, so a save cut short leaves the old one.
constexpr const char* kRecordTempFile = "data\\morvane.tmp";

constexpr int kMeterGamesWithPrize = 421;
constexpr int kMeterPrizeTotal = 413;
constexpr int kMeterPrizeByBand = 414;
constexpr int kMeterOddPrize = 190;

bool recordSaveFailed = false;

void ZeroRecord() {
  PayoutBalance = 0;
  std::memset(Meters, 0, sizeof Meters);
}

bool IsDateText(const std::string& text) {
  if (text.size() != 8 || text[2] != '/' || text[5] != '/') return false;
  for (int i : {0, 1, 3, 4, 6, 7})
    if (text[i] < '0' || text[i] > '9') return false;
  int month = std::stoi(text.substr(0, 2)), day = std::stoi(text.substr(3, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// The date of the first save, kept at the end of the file; today's date for a new file, for
// one cut short before its trailer (whose last bytes are meters) or one whose date is damaged.
std::string RecordDate() {
  std::string bytes, why;
  if (ReadFileSafely(kRecordFile, bytes, why) && bytes.size() > static_cast<size_t>(kRecordValuesSize)) {
    std::string word = bytes.substr(bytes.size() - 8);
    if (IsDateText(word)) return word;
  }
  LocalTime now = GetLocalTime();
  return RecordDateText(now.year, now.month, now.day);
}
}  // namespace

void MeterAdd(int16_t n, int16_t amount) {
  if (n < 0 || n >= kMeterCount) return;
  Meters[n] = static_cast<int32_t>(static_cast<uint32_t>(Meters[n]) +
                                   static_cast<uint32_t>(static_cast<int32_t>(amount)));
}

void RateAdd(uint8_t, float amount) { PayoutBalance += amount; }

float ReadPayoutBalance(uint8_t) { return PayoutBalance; }

void LoadRecord() {
  ZeroRecord();
  std::string bytes, why;
  if (!ReadFileSafely(kRecordFile, bytes, why)) {
    if (!why.empty()) LogWrite("Record file not read (%s); the meters start at zero\n", why.c_str());
    return;
  }
  if (bytes.size() <= 10) {
    DeleteFileSafely(kRecordFile);
    return;
  }
  RecordValues values = DecodeRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  std::memcpy(Meters, values.meters, sizeof Meters);
  PayoutBalance = values.balance;
  if (!std::isfinite(PayoutBalance)) {
    // It would hold every game in one band for ever.
    LogWrite("Record file damaged: payout balance is not a number; it starts at 0\n");
    PayoutBalance = 0;
  }
}

bool SaveRecord() {
  RecordValues values;
  values.balance = PayoutBalance;
  std::memcpy(values.meters, Meters, sizeof Meters);
  std::vector<uint8_t> bytes = EncodeRecord(values, RecordDate());
  std::string why;
  bool saved = SaveFileSafely(kRecordFile, kRecordTempFile, bytes.data(), bytes.size(), why);
  if (!saved && !recordSaveFailed)
    LogWrite("Record file not saved (%s); no stakes are taken until a save succeeds\n", why.c_str());
  else if (recordSaveFailed)
    LogWrite("Record file saved again; stakes are taken\n");
  recordSaveFailed = !saved;
  return saved;
}

bool RecordSaveFailed() { return recordSaveFailed; }

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
