// The payout band and the per-game target levels.
#pragma once
#include <cstdint>

constexpr int kBandCount = 7;
constexpr int kTargetColumns = 7;
constexpr int kLevelCount = 5;

extern const int32_t BandThresholds[kBandCount];
extern const uint16_t TargetTable[kBandCount][kTargetColumns];

// The six levels that make the coming game easy or hard, each 0..4.
struct GameTargetLevels {
  int32_t targetsChosen;
  uint16_t QuestionLevel;
  uint16_t ExtraLifeLevel;
  uint16_t PrizeLevel;
  uint16_t OfferLevel;
  uint16_t NoQuestionsLevel;
  uint16_t FreePickLevel;
};
extern GameTargetLevels GameTargets;

// The band of a balance, 0 (mean) to 6 (generous); PayoutBand reads PayoutBalance.
int8_t PayoutBandOf(float balance);
int8_t PayoutBand();

// Deals the six levels of `band` from start column `start`; column start + 3 is skipped.
void DealTargets(int band, int start);

int32_t ChooseGameTargets();
int32_t ClearGameTargets();
