// The rules of one box reveal: the sounds that depend on the value or the pick, and the
// conditions and chances of the bonus, the bank offer, an extra life and a free pick.
// Nothing here draws or plays; the reveal screen and the simulator call these directly.
// The conditions read PickNumber after the reveal's increment (KnockOutValue).
#pragma once
#include <cstdint>

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
void KnockOutSlot(int32_t slot);

bool NoQuestionsBonusDue();
bool BankOfferDue();
// These draw their chance only when the conditions before it hold, in the reveal's order:
// bonuses still to find, then the chance, then the pick below 20. Call only when the reveal
// brought no offer and NoQuestionsMode is 0; FreePickFound only when no extra life was found.
bool ExtraLifeFound();
bool FreePickFound();
// The box becomes the next question's box (marker 1).
bool QuestionBoxDue(uint8_t phase);
