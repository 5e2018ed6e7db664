// The operator's recall of the game journal: reading it (and the credit ledger) read-only,
// telling its games, the replay plan of a game and the comparison of two plays, and the match of
// the journal's money against the ledger's.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace recall {

constexpr int kExitOk = 0, kExitDiffers = 1, kExitUsage = 64, kExitDamaged = 65, kExitMissing = 66;

struct GameRow {
  int64_t number = 0;
  std::string started, ended, state;
  std::optional<int64_t> band, balance;
  int64_t stake = 0, continues = 0;
  std::string outcome;
  int64_t prize = 0;
  std::string paid;
};

struct EventRow {
  int64_t seq = 0, ms = 0;
  std::string kind;
  nlohmann::json detail;
};

// Opens a SQLite file read-only, never through a link: kExitOk, kExitMissing or kExitDamaged
// (not a database, or without `table` holding `columns`), with the reason in `why`.
int OpenReadOnly(const std::string& path, const char* table, const char* columns, sqlite3** db, std::string& why);
extern const char* const kGameColumns;

// The newest `last` games (all when 0), oldest first.
bool ReadGames(sqlite3* db, int64_t last, std::vector<GameRow>& games, std::string& why);
bool ReadGame(sqlite3* db, int64_t number, std::optional<GameRow>& game, std::string& why);
bool ReadEvents(sqlite3* db, int64_t game, std::vector<EventRow>& events, std::string& why);

nlohmann::ordered_json GameJson(const GameRow& g);
std::string GameLine(const GameRow& g);
// One line of a game's story; times from the start of play.
std::string DescribeEvent(const EventRow& e, int64_t playMs);
int64_t PlayMs(const std::vector<EventRow>& events);

// What --replay needs to play the game again, from its events up to its end.
nlohmann::json MakePlan(const std::vector<EventRow>& events, const std::string& shots);
// The first way the replayed game's decisions and payments differ from the recorded ones, or
// empty when the replay reaches everything the recorded game reached.
std::string FirstDifference(const std::vector<EventRow>& recorded, const std::vector<EventRow>& replayed);

// Seconds since the epoch of an ISO 8601 time: a date, or a date and time, with Z, an offset or
// neither (local time).
std::optional<double> ParseTime(const std::string& text);

struct Money {
  double when = 0;
  std::string time, command;  // CUSE, BADD or CADD
  int64_t amount = 0;
  int64_t game = 0;     // journal side
  bool certain = true;  // journal side: false when its reply was lost
};
// Movements on one side that the other does not hold: same command and amount within
// `tolerance` seconds, paired in time order. Uncertain journal movements pair when they can
// and are never reported.
void MatchMoney(const std::vector<Money>& journal, const std::vector<Money>& ledger, double tolerance,
                std::vector<Money>& journalOnly, std::vector<Money>& ledgerOnly);
bool ReadJournalMoney(sqlite3* db, std::vector<Money>& out, std::string& why);
bool ReadLedgerMoney(sqlite3* db, std::vector<Money>& out, std::string& why);

}  // namespace recall
