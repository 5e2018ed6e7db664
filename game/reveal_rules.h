// The rules of one box reveal: the sounds that depend on the value or the pick, and the
// conditions and chances of the bonus, the bank offer, an extra life and a free pick.
// Nothing here draws or plays; the reveal screen and the simulator call these directly.
// The conditions read PickNumber after the reveal's increment (KnockOutValue).
#pragma once
#include <cstdint>

#include "game/state.h"
#include "shell/timers.h"

// Sound ids.
int EliminationSound(int32_t value);
int QuestionSound(int32_t pickNumber);
int WrongAnswerSound(int32_t pickNumber);

// Index of `value` in the current prize row, -1 when the row does not hold it.
int32_t PrizeRowIndexOf(int32_t value);

// The bookkeeping of a reveal before anything is found in the box: the box's prize frame
// (kept when the value is not in the row), the next pick number. Returns the win plan slot
// that shows the value; the caller marks it out of play (KnockOutSlot) once it has flashed.
int32_t KnockOutValue(int32_t value, int32_t box);

// The conditions are inline: the payout simulator asks them millions of times a second.
namespace reveal_rules {
constexpr int32_t kMinimumTopForBonus = 100;
constexpr int32_t kExtraLifeChance = 33, kFreePickChance = 20;
constexpr uint8_t kPhaseGameWon = 2;
}  // namespace reveal_rules

inline void KnockOutSlot(int32_t slot) {
  if (slot >= 0 && slot < kBoxCount) axWinplan[slot].inPlay = 0;
}

inline bool NoQuestionsBonusDue() {
  return PickNumber == lNoQuestionsActivate &&
         lPrizeAvailableThisGame >= reveal_rules::kMinimumTopForBonus && PickNumber < kLastPick;
}

inline bool BankOfferDue() { return PickNumber - 1 == lOfferIt && PickNumber < kLastPick; }

// These draw their chance only when the conditions before it hold, in the reveal's order:
// bonuses still to find, then the chance, then the pick below 20. Call only when the reveal
// brought no offer and NoQuestionsMode is 0; FreePickFound only when no extra life was found.
inline bool ExtraLifeFound() {
  return ExtraLivesLeft > 0 && PercentChance(reveal_rules::kExtraLifeChance) && PickNumber < kLastPick;
}

inline bool FreePickFound() {
  return FreePicksLeft > 0 && PercentChance(reveal_rules::kFreePickChance) && PickNumber < kLastPick;
}

// The box becomes the next question's box (marker 1).
inline bool QuestionBoxDue(uint8_t phase) {
  return NoQuestionsMode == 0 && FreePickPending == 0 && PickNumber < kLastPick &&
         phase != reveal_rules::kPhaseGameWon;
}
