#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/shell.h"
#include "shell/timers.h"

const int32_t PrizeRows[kPrizeRowCount][kBoxCount] = {
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 100, 200, 300, 400, 500},
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 100, 200, 300},
    {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 100, 200},
    {5, 6, 10, 11, 15, 16, 20, 21, 25, 26, 30, 31, 35, 36, 40, 41, 45, 46, 50, 55},
};

int16_t Stake = 50;  // the shell's; defined with the rules, which price every game by it

namespace {
constexpr int32_t kBoxColumnX[5] = {20, 134, 248, 362, 476};
constexpr int32_t kBoxRowY[4] = {1, 112, 223, 334};

constexpr int kMeterLivesGiven = 8;
constexpr int kMeterOfferPickBase = 65;
constexpr int kMeterNoQuestionsPickBase = 50;

constexpr ScreenPosition BoxAt(int i) { return {kBoxColumnX[i % 5], kBoxRowY[i / 5]}; }
constexpr ScreenPosition SlotAt(int i) { return {627, 570 - 30 * i}; }

int16_t TopValueMeter(int32_t top) {
  switch (top) {
    case 500: return 31;
    case 300: return 29;
    case 200: return 28;
    default: return 19;  // 55
  }
}

int32_t ChooseOfferPick(uint16_t level) {
  switch (level) {
    case 0: return 17 + static_cast<int32_t>(RandomBelow(2));
    case 1: return 15 + static_cast<int32_t>(RandomBelow(4));
    case 2: return 7 + static_cast<int32_t>(RandomBelow(11));
    case 3: return 6 + static_cast<int32_t>(RandomBelow(12));
    default: return 5 + static_cast<int32_t>(RandomBelow(13));
  }
}

int32_t ChooseNoQuestionsPick(uint16_t level) {
  if (level < 4) return 19;
  return 6 + static_cast<int32_t>(RandomBelow(10));
}

int32_t ChoosePrizeRow(uint16_t level) {
  switch (level) {
    case 0: return 3;
    case 1: return PercentChance(70) ? 2 : 3;
    case 2: return 1;
    default: return 0;
  }
}
}  // namespace

const ScreenPosition BoxPositions[kBoxCount] = {
    BoxAt(0),  BoxAt(1),  BoxAt(2),  BoxAt(3),  BoxAt(4),  BoxAt(5),  BoxAt(6),
    BoxAt(7),  BoxAt(8),  BoxAt(9),  BoxAt(10), BoxAt(11), BoxAt(12), BoxAt(13),
    BoxAt(14), BoxAt(15), BoxAt(16), BoxAt(17), BoxAt(18), BoxAt(19),
};

const ScreenPosition WinPlanPositions[kBoxCount] = {
    SlotAt(0),  SlotAt(1),  SlotAt(2),  SlotAt(3),  SlotAt(4),  SlotAt(5),  SlotAt(6),
    SlotAt(7),  SlotAt(8),  SlotAt(9),  SlotAt(10), SlotAt(11), SlotAt(12), SlotAt(13),
    SlotAt(14), SlotAt(15), SlotAt(16), SlotAt(17), SlotAt(18), SlotAt(19),
};

const uint8_t ExtraLivesByLevel[5] = {0, 0, 1, 2, 3};
const uint8_t FreePicksByLevel[5] = {0, 0, 1, 1, 3};

BoxRecord axBoxes[kBoxCount];
WinPlanEntry axWinplan[kBoxCount];
int32_t BoxOrder[kBoxCount];
int32_t PrizeRow = 0;
int32_t lPrizeAvailableThisGame = 0;
int32_t lOfferIt = 0;
int32_t lNoQuestionsActivate = 0;
uint8_t ValueInPlay[kBoxCount];
int32_t NextValueIndex = 0;
int32_t PickNumber = 1;
int32_t Lives = 1;
uint8_t ExtraLivesLeft = 0;
uint8_t FreePicksLeft = 0;
uint8_t NoQuestionsMode = 0;
uint8_t FreePickPending = 0;
uint8_t OfferThisPick = 0;
uint8_t ContinueUsed = 0;
int32_t CurrentBox = 0;
int32_t PreviousBox = 0;
int32_t PlayerBox = 0;
uint8_t BoardShown = 0;

void GameSetUp() {
  PickNumber = 1;
  OfferThisPick = 0;
  lOffersMade = 0;
  BoardShown = 0;
  ContinueUsed = 0;
  for (int i = 0; i < kBoxCount; ++i) BoxOrder[i] = i;
  for (uint8_t& inPlay : ValueInPlay) inPlay = 1;
  Lives = 1;
  MeterAdd(kMeterLivesGiven, static_cast<int16_t>(Lives));
  ExtraLivesLeft = ExtraLivesByLevel[GameTargets.ExtraLifeLevel];
  NextValueIndex = 0;
  FreePicksLeft = FreePicksByLevel[GameTargets.FreePickLevel];

  lOfferIt = ChooseOfferPick(GameTargets.OfferLevel);
  DebugTrace("lOfferIt = <%d>\n", lOfferIt);
  MeterIncrement(static_cast<int16_t>(lOfferIt + kMeterOfferPickBase));

  NoQuestionsMode = 0;
  // The bonus and the first offer never fall on the same pick number.
  do lNoQuestionsActivate = ChooseNoQuestionsPick(GameTargets.NoQuestionsLevel);
  while (lNoQuestionsActivate == lOfferIt);
  MeterIncrement(static_cast<int16_t>(lNoQuestionsActivate + kMeterNoQuestionsPickBase));

  PrizeRow = ChoosePrizeRow(GameTargets.PrizeLevel);
  lPrizeAvailableThisGame = PrizeRows[PrizeRow][kBoxCount - 1];
  MeterIncrement(TopValueMeter(lPrizeAvailableThisGame));

  ShuffleOrder(BoxOrder, kBoxCount);
  for (int i = 0; i < kBoxCount; ++i) {
    axBoxes[i].x = BoxPositions[i].x;
    axBoxes[i].y = BoxPositions[i].y;
    axBoxes[i].closed = 1;
    axBoxes[i].state = kMarkNone;
    axBoxes[i].cash = 0;
  }
  for (int i = 0; i < kBoxCount; ++i) {
    axWinplan[i].x = WinPlanPositions[i].x;
    axWinplan[i].y = WinPlanPositions[i].y;
    axWinplan[i].inPlay = 1;
    axWinplan[i].cash = PrizeRows[PrizeRow][BoxOrder[i]];
  }
}

namespace {
struct ShuffleMagic {
  uint64_t of[kBoxCount + 1] = {};
  constexpr ShuffleMagic() {
    for (uint32_t n = 1; n <= kBoxCount; ++n) of[n] = RandomMagic(n);
  }
};
constexpr ShuffleMagic kShuffleMagic;
}  // namespace

void ShuffleOrder(int32_t* order, int32_t count) {
  for (int32_t i = 0; i <= count - 2; ++i) {
    uint32_t n = static_cast<uint32_t>(count - i);
    int32_t j = i + static_cast<int32_t>(n <= kBoxCount ? RandomBelowByMagic(n, kShuffleMagic.of[n]) : RandomBelow(n));
    int32_t held = order[i];
    order[i] = order[j];
    order[j] = held;
  }
}

int32_t AllocateNextValue() {
  const int32_t* row = PrizeRows[PrizeRow];
  int32_t k = NextValueIndex;
  // Past the last value there is nothing left to reveal; hand back the top rather than
  // reading beyond the row.
  if (k < 0 || k >= kBoxCount - 1) return lPrizeAvailableThisGame;
  NextValueIndex = k + 1;
  if (row[k + 1] == lPrizeAvailableThisGame) NextValueIndex += 1;
  ValueInPlay[k] = 0;
  return row[k];
}

int32_t PrizeIndexOf(int32_t value) {
  for (int32_t i = 0; i < kBoxCount; ++i)
    if (PrizeRows[PrizeRow][i] >= value) return i;
  return kBoxCount;
}

int32_t WinPlanIndexOf(int32_t value) {
  for (int32_t i = 0; i < kBoxCount; ++i)
    if (axWinplan[i].cash == value) return i;
  return kBoxCount;
}

int32_t WinPlanFrameOf(int32_t value) {
  for (int32_t i = 0; i < kBoxCount; ++i)
    if (PrizeRows[PrizeRow][i] == value) return kBoxCount - 1 - i;
  return -1;
}
