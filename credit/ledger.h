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
  bool unsettled = false;  // the disk failed and whether it was booked could not be learnt
  std::string reason;
  Balances after;
};

// What the server holds for the operator beyond the readable bank, unless told otherwise.
constexpr int64_t kDefaultPayoutCap = 20000;

// The rules of each movement, apart from storage. A prize that would take payout_due past
// `payoutCap` is refused.
Decision Decide(Movement movement, int64_t amount, const Balances& before,
                int64_t payoutCap = kDefaultPayoutCap);
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

  // Opens or creates the ledger, private to its owner; false with `error` set when it cannot,
  // or does not balance. Read-only never creates nor writes.
  bool Open(const std::string& path, std::string& error, bool readOnly = false);
  void SetPayoutCap(int64_t cap) { payoutCap_ = cap; }
  // How long a movement whose commit failed may take to learn its fate; < 0: for ever.
  void SetSettleSeconds(double seconds) { settleSeconds_ = seconds; }
  bool Read(Balances& balances);
  // The balances as the last commit of any process left them, from memory unless another
  // connection has committed since the last look (SQLite's data version tells).
  bool Current(Balances& balances);
  // How many times Current has read the balances from the file (for tests).
  int64_t Reloads() const { return reloads_; }
  // One movement in one transaction, committed before this returns. A refusal changes nothing
  // and is final: after a failed commit the ledger is reopened until it shows whether the
  // journal holds the movement, and the answer says what it holds.
  // For Collect, `amount` is ignored and the decision's after/before give the amount paid.
  Decision Apply(Source source, Movement movement, int64_t amount, Balances* before = nullptr);
  bool Journal(std::vector<JournalRow>& rows);
  // The balances equal the journal's sums.
  bool Balanced(std::string& error);

 private:
  bool Exec(const char* sql);
  bool Prepare();
  bool Connect(std::string& error, bool prepare = true);
  void Disconnect();
  Decision Settle(const JournalRow& row, int64_t rowId, const Decision& hoped, bool neverWhole);
  bool HasRow(int64_t rowId, const JournalRow& row, bool& found);
  void ReportUnsettled();
  std::string path_;
  bool readOnly_ = false;
  int64_t payoutCap_ = kDefaultPayoutCap;
  double settleSeconds_ = -1;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  sqlite3_stmt* update_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* version_ = nullptr;
  bool MapLogIndex();
  bool cached_ = false;
  int64_t cachedVersion_ = 0;
  Balances cache_;
  int64_t reloads_ = 0;
  // The head of SQLite's shared log index (the -shm file): every commit of any connection
  // rewrites it, so while it reads as before nothing can have changed.
  static constexpr int kLogHeadWords = 12;
  const volatile uint32_t* logIndex_ = nullptr;
  bool logIndexTried_ = false;
  uint32_t cachedHead_[kLogHeadWords] = {};
  bool headKnown_ = false;
};

}  // namespace credit
