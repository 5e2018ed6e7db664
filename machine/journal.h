// The game journal "data/journal.db": every game's story from its stake to its payment, kept so
// that an operator can answer a complaint and play the game again. It is evidence, never the
// money path: a journal that cannot be opened or written is logged once and the game goes on.
//
// Table `games` holds one row a game (its columns are read by other programs: add, never rename);
// table `events` holds the story, one row an event: game, seq (1 up), ms on the program clock,
// kind and a JSON object. The kinds:
//   start        the state at the stake: random generator, last question, payout balance, credit
//                and bank before, stake
//   credit       one exchange with the credit server: request, reply, result (done, refused,
//                lost); a money command is also written as "sent" before it goes; a run of the
//                same balance reading is one event with "repeat" and "last_ms"
//   play         the game itself begins: touch times count from here
//   touch        x, y
//   setup, player_box, question, answer, pick, offer, lives, continue, prize
//                what the game decided (game/journal_events.cpp)
//   end          outcome, prize, paid, credit and bank after, the hash of the screen shown last
//   interrupted  the cabinet started again with the game unfinished: what the due file held
//   paid_later   an owed prize paid after the game
#pragma once
#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

struct MoneyDue;

extern int32_t JournalKeepGames;  // games kept; older ones are pruned as new ones start

// Opens (or makes) the journal; false when it cannot be used this run, which is logged.
bool JournalOpen(const char* name = "data\\journal.db");
void JournalClose();
bool JournalInUse();
// The game being played, 0 between games.
int64_t JournalGame();

// Before the stake of a new game: the state a replay needs, as the game sees it.
void JournalBeforeStake(const nlohmann::json& state);
// TakeStake's outcome: a stake for a new game (meter 0) or a continue.
void JournalStake(int32_t amount, bool forContinue, bool taken);
// The game's play begins (after the stake's screens).
void JournalPlayStarts();
// An event of the game being played; nothing between games.
void JournalRecord(const char* kind, const nlohmann::json& detail);
// A command that moves money, about to be sent: in the journal before it goes, so that no kill
// leaves the ledger holding what the journal never heard of. A stake for a new game opens it.
void JournalCreditSending(const char* request);
// One exchange with the credit server, as sent and as answered.
void JournalCredit(const char* request, const char* reply, const char* result);
void JournalTouch(int x, int y);
// The band the game is played in, and the payout balance it came from, once the stake is booked.
void JournalBand(int band, int64_t balancePence);
// A prize the game owes (written to the due file first).
void JournalPrize(int32_t amount);
// The game is over and booked: outcome "won", "offer" or "lost".
void JournalGameEnds(const char* outcome, int32_t prize, bool owed, int32_t credit, int32_t bank,
                     uint64_t screen);
// Nothing is owed to the player any more: owed games are now paid.
void JournalOwedPaid();
// At start-up, after RecoverDue: games the last run left playing are marked interrupted, with
// the due file as it was (`before`) and as recovery left it.
void JournalMarkInterrupted(const MoneyDue& before, const MoneyDue& after, bool owed);
