#include "game/payout.h"

#include "machine/meters.h"
#include "shell/timers.h"

const int32_t BandThresholds[kBandCount] = {1000, 500, 300, 0, -300, -500, -9999999};

const uint16_t TargetTable[kBandCount][kTargetColumns] = {
    {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 1}, {0, 0, 1, 1, 1, 2, 2},
    {1, 1, 2, 2, 3, 3, 4}, {2, 2, 3, 3, 3, 4, 4}, {4, 4, 4, 4, 4, 4, 4},
};

GameTargetLevels GameTargets{};

int8_t PayoutBandOf(float balance) {
  for (int i = 0; i < kBandCount; ++i)
    if (static_cast<float>(BandThresholds[i]) <= balance) return static_cast<int8_t>(i);
  return kBandCount - 1;
}

int8_t PayoutBand() { return PayoutBandOf(PayoutBalance); }

void DealTargets(int band, int start) {
  const uint16_t* row = TargetTable[band];
  auto column = [&](int step) { return row[(start + step) % kTargetColumns]; };
  GameTargets.QuestionLevel = column(0);
  GameTargets.ExtraLifeLevel = column(1);
  GameTargets.PrizeLevel = column(2);
  // Column start + 3 is dealt to nobody.
  GameTargets.OfferLevel = column(4);
  GameTargets.NoQuestionsLevel = column(5);
  GameTargets.FreePickLevel = column(6);
}

int32_t ChooseGameTargets() {
  if (GameTargets.targetsChosen == 1) return 0;
  GameTargets.targetsChosen = 1;
  int band = PayoutBand();
  int start = static_cast<int>(RandomBelow(kTargetColumns));
  DealTargets(band, start);
  return 1;
}

int32_t ClearGameTargets() {
  if (GameTargets.targetsChosen == 0) return 0;
  GameTargets.targetsChosen = 0;
  return 1;
}
