#include "game/reveal_rules.h"

#include "game/state.h"
#include "shell/timers.h"

namespace {
constexpr int kPrizeElimVGood = 24, kPrizeElimGood = 23, kPrizeElimBad = 25, kPrizeElimVBad = 26;
constexpr int kQuestion1 = 10, kIncorrect1 = 3;

// 0 for picks 1..5, 1 for 6..10, 2 for 11..15, 3 above.
int PickQuarter(int32_t pickNumber) {
  if (pickNumber <= 5) return 0;
  if (pickNumber <= 10) return 1;
  if (pickNumber <= 15) return 2;
  return 3;
}
}  // namespace

int EliminationSound(int32_t value) {
  if (value <= 25) return kPrizeElimVGood;
  if (value <= 50) return kPrizeElimGood;
  if (value <= 500) return kPrizeElimBad;
  return kPrizeElimVBad;
}

int QuestionSound(int32_t pickNumber) { return kQuestion1 + PickQuarter(pickNumber); }

int WrongAnswerSound(int32_t pickNumber) { return kIncorrect1 + PickQuarter(pickNumber); }

namespace {
// Each row's index by value, the first where a value repeats, made once from the rows: a
// reveal asks it every pick.
constexpr int32_t kLargestIndexedValue = 1000;
struct RowIndex {
  int8_t of[kPrizeRowCount][kLargestIndexedValue + 1];
  RowIndex() {
    for (auto& row : of)
      for (int8_t& index : row) index = -1;
    for (int r = 0; r < kPrizeRowCount; ++r)
      for (int i = kBoxCount - 1; i >= 0; --i) {
        int32_t v = PrizeRows[r][i];
        if (v >= 0 && v <= kLargestIndexedValue) of[r][v] = static_cast<int8_t>(i);
      }
  }
};
const RowIndex rowIndex;
}  // namespace

int32_t PrizeRowIndexOf(int32_t value) {
  if (PrizeRow >= 0 && PrizeRow < kPrizeRowCount && value >= 0 && value <= kLargestIndexedValue)
    return rowIndex.of[PrizeRow][value];
  for (int32_t i = 0; i < kBoxCount; ++i)
    if (PrizeRows[PrizeRow][i] == value) return i;
  return -1;
}

int32_t KnockOutValue(int32_t value, int32_t box) {
  int32_t index = PrizeRowIndexOf(value);
  if (index >= 0) axBoxes[box].prizeFrame = index;
  int32_t slot = WinPlanIndexOf(value);
  PickNumber += 1;
  return slot;
}

