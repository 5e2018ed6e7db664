// What the ledger and the meters still owe each other, kept durably beside the record file so
// that a lost reply, a server outage or the game being killed neither loses a penny nor pays one
// twice. Each money command is written here (with the balance read before it) before it is
// sent, and cleared once its outcome is known; a command whose reply was lost is judged by
// reading the balance again.
//
// The due file "data/morvane.due" is text, one item a line, and is absent when nothing is due:
//   game              a paid game is being played; its stake is in the saved record
//   stake A M C B K T a stake of A was sent and is not yet in the saved record: meter M counts
//                     it; the credit read C and the bank B before it was sent; meter M read K
//                     before its booking; T is 1 once the server took it
//   prize P T         a prize of P won and not yet in the saved record; meter 413 read T before
//   bank A R S        A owed to the bank: the bank read R before "BADD" was sent; S is 1 once
//                     sent (its outcome then unknown until the bank is read back)
//   credit A R S      the same for the credit and "CADD"
//   attendant         a payment whose outcome cannot be told: an attendant settles it by the
//                     ledger, then removes this file
// A game killed mid-game leaves "game" (and any prize it won): the next start books and pays it.
#pragma once
#include <cstdint>
#include <string>

struct OwedPart {
  int32_t amount = 0;
  int32_t before = 0;
  bool sent = false;
};

struct MoneyDue {
  bool game = false;
  int32_t stake = 0;
  int32_t stakeMeter = 0, stakeCredit = 0, stakeBank = 0, stakeMeterBefore = 0;
  bool stakeTaken = false;
  int32_t prize = 0;
  int32_t prizeTotalBefore = 0;
  OwedPart bank, credit;
  bool attendant = false;
};

extern MoneyDue Due;

std::string FormatDue(const MoneyDue& due);
// False on a line it does not know; what it read before that is kept.
bool ParseDue(const std::string& text, MoneyDue& due);
// The due file as it stands on disk (all clear when there is none).
bool ReadDueFile(MoneyDue& due);

// Outcome of a command whose reply was lost, judged from the readings before and after it.
enum class Outcome { Applied, NotApplied, Unknown };
// An addition to a reading that stops at 9999.
Outcome JudgeAdd(int32_t before, int32_t amount, int32_t now);
// A spend from credit plus bank.
Outcome JudgeSpend(int32_t totalBefore, int32_t amount, int32_t totalNow);

// At start-up, after the record: books and logs what the last run left unfinished.
void RecoverDue();
// A stake of `amount` to be counted on `meter` (0 a game, 449 a continue): true when it was
// taken, the caller then books it and calls StakeBooked.
bool TakeStake(int32_t amount, int meter);
// Saves the record holding the stake just booked and clears it from the due file.
void StakeBooked();
// A prize won: owed until paid. Called where the game decides it.
void OwePrize(int32_t amount);
// Pays what is owed; true when nothing is owed any more.
bool SettleOwed();
// After the game's prize has been booked into the meters and the record saved.
void GameBooked();

// What the main menu shows: open for games, or not, with the amount owed to the player.
enum class Service { Open, OutOfService, CallAttendant };
Service MachineService(int32_t* owed = nullptr);
// The main menu's retries, at most once a second: the link, a failed save, what is owed.
void ServiceStep();
