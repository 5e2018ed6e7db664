// The money: balances and a journal row per movement in one SQLite file, each movement one
// durable transaction. The balances always equal the sum of the journal's changes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace credit {

struct Balances {
  int64_t credit = 0;
  int64_t bank = 0;
  int64_t payoutDue = 0;  // bank beyond what the game can read, held for the operator to pay
};

enum class Movement { Spend, AddBank, AddCredit, Insert, Collect };
enum class Source { Game, Operator };

struct Decision {
  bool accepted = false;
  std::string reason;
  Balances after;
};

// The rules of each movement, apart from storage.
Decision Decide(Movement movement, int64_t amount, const Balances& before);
const char* MovementName(Movement movement);

struct JournalRow {
  std::string time, source, command;
  int64_t amount = 0;
  Balances before, after;
};

class Ledger {
 public:
  Ledger() = default;
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;
  ~Ledger();

  // Opens or creates the ledger; false with `error` set when it cannot, or does not balance.
  bool Open(const std::string& path, std::string& error);
  bool Read(Balances& balances);
  // One movement in one transaction, committed before this returns. A refusal changes nothing.
  // For Collect, `amount` is ignored and the decision's after/before give the amount paid.
  Decision Apply(Source source, Movement movement, int64_t amount, Balances* before = nullptr);
  bool Journal(std::vector<JournalRow>& rows);
  // The balances equal the journal's sums.
  bool Balanced(std::string& error);

 private:
  bool Exec(const char* sql);
  bool Prepare();
  sqlite3* db_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
};

}  // namespace credit
