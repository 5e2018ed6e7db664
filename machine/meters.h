// The game's own accounting: 453 meters, the payout balance and the record file.
#pragma once
#include <cstdint>

constexpr int kMeterCount = 453;
constexpr int PayoutPercent = 30;

extern int32_t Meters[kMeterCount];
extern float PayoutBalance;
extern int32_t GamePrize;

// Inline: the payout simulator counts millions of games a second. Wraps as the meters always have.
inline void MeterIncrement(int16_t n) {
  if (n < 0 || n >= kMeterCount) return;
  Meters[n] = static_cast<int32_t>(static_cast<uint32_t>(Meters[n]) + 1u);
}
void MeterAdd(int16_t n, int16_t amount);
void RateAdd(uint8_t index, float amount);
float ReadPayoutBalance(uint8_t index);
void LoadRecord();
// False when the record could not be written; the failure is logged and the values stay in
// memory for the next try.
bool SaveRecord();
// The last save failed: no stake may be taken until one succeeds.
bool RecordSaveFailed();
void RecordPrize();
