#include "game/reveal_rules.h"

#include "game/state.h"
#include "shell/timers.h"

namespace {
constexpr int kPrizeElimVGood = 24, kPrizeElimGood = 23, kPrizeElimBad = 25, kPrizeElimVBad = 26;
constexpr int kQuestion1 = 10, kIncorrect1 = 3;
constexpr int32_t kMinimumTopForBonus = 100;
constexpr int32_t kExtraLifeChance = 33, kFreePickChance = 20;
constexpr uint8_t kPhaseGameWon = 2;

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

int32_t PrizeRowIndexOf(int32_t value) {
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

void KnockOutSlot(int32_t slot) {
  if (slot >= 0 && slot < kBoxCount) axWinplan[slot].inPlay = 0;
}

bool NoQuestionsBonusDue() {
  return PickNumber == lNoQuestionsActivate && lPrizeAvailableThisGame >= kMinimumTopForBonus &&
         PickNumber < kLastPick;
}

bool BankOfferDue() { return PickNumber - 1 == lOfferIt && PickNumber < kLastPick; }

bool ExtraLifeFound() {
  return ExtraLivesLeft > 0 && PercentChance(kExtraLifeChance) && PickNumber < kLastPick;
}

bool FreePickFound() {
  return FreePicksLeft > 0 && PercentChance(kFreePickChance) && PickNumber < kLastPick;
}

bool QuestionBoxDue(uint8_t phase) {
  return NoQuestionsMode == 0 && FreePickPending == 0 && PickNumber < kLastPick &&
         phase != kPhaseGameWon;
}
