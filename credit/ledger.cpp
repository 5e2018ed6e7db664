#include "credit/ledger.h"

#include <sqlite3.h>

#include <algorithm>

#include "credit/protocol.h"

namespace credit {

namespace {
const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS balances("
    "  id INTEGER PRIMARY KEY CHECK (id = 1),"
    "  credit INTEGER NOT NULL, bank INTEGER NOT NULL, payout_due INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO balances VALUES (1, 0, 0, 0);"
    "CREATE TABLE IF NOT EXISTS journal("
    "  id INTEGER PRIMARY KEY,"
    "  time TEXT NOT NULL, source TEXT NOT NULL, command TEXT NOT NULL, amount INTEGER NOT NULL,"
    "  credit_before INTEGER NOT NULL, bank_before INTEGER NOT NULL, due_before INTEGER NOT NULL,"
    "  credit_after INTEGER NOT NULL, bank_after INTEGER NOT NULL, due_after INTEGER NOT NULL);";

// A prize is never refused: what the game could not read is held for the operator.
void AddCapped(int64_t& meter, int64_t amount, int64_t& due) {
  int64_t total = meter + amount;
  meter = std::min(total, kMaxReading);
  due += total - meter;
}

Decision Refuse(const char* reason) {
  Decision d;
  d.reason = reason;
  return d;
}
}  // namespace

const char* MovementName(Movement movement) {
  switch (movement) {
    case Movement::Spend: return "CUSE";
    case Movement::AddBank: return "BADD";
    case Movement::AddCredit: return "CADD";
    case Movement::Insert: return "insert";
    case Movement::Collect: return "collect";
  }
  return "?";
}

Decision Decide(Movement movement, int64_t amount, const Balances& before) {
  if (movement != Movement::Collect && (amount < 1 || amount > kMaxAmount))
    return Refuse("bad amount");
  Decision d;
  d.accepted = true;
  d.after = before;
  Balances& a = d.after;
  switch (movement) {
    case Movement::Spend: {
      if (amount > before.credit + before.bank) return Refuse("insufficient credit");
      int64_t fromCredit = std::min(before.credit, amount);
      a.credit -= fromCredit;
      a.bank -= amount - fromCredit;
      break;
    }
    case Movement::AddBank: AddCapped(a.bank, amount, a.payoutDue); break;
    case Movement::AddCredit: AddCapped(a.credit, amount, a.payoutDue); break;
    case Movement::Insert:
      if (before.credit + amount > kMaxReading) return Refuse("credit would exceed 9999");
      a.credit += amount;
      break;
    case Movement::Collect:
      a.bank = 0;
      a.payoutDue = 0;
      break;
  }
  return d;
}

Ledger::~Ledger() {
  for (sqlite3_stmt* s : {select_, update_, insert_, begin_, commit_}) sqlite3_finalize(s);
  if (db_) sqlite3_close(db_);
}

bool Ledger::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool Ledger::Open(const std::string& path, std::string& error) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "cannot open";
    return false;
  }
  sqlite3_busy_timeout(db_, 10000);
  // WAL with a synced commit: an acknowledged movement survives a crash or power cut.
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") ||
      !Exec("BEGIN IMMEDIATE") || !Exec(kSchema) || !Exec("COMMIT") || !Prepare()) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  return Balanced(error);
}

bool Ledger::Prepare() {
  auto prep = [this](const char* sql, sqlite3_stmt** s) {
    return sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, s, nullptr) == SQLITE_OK;
  };
  return prep("SELECT credit, bank, payout_due FROM balances WHERE id = 1", &select_) &&
         prep("UPDATE balances SET credit = ?1, bank = ?2, payout_due = ?3 WHERE id = 1", &update_) &&
         prep("INSERT INTO journal(time, source, command, amount, credit_before, bank_before,"
              " due_before, credit_after, bank_after, due_after) VALUES"
              " (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
              &insert_) &&
         prep("BEGIN IMMEDIATE", &begin_) && prep("COMMIT", &commit_);
}

bool Ledger::Read(Balances& b) {
  bool ok = sqlite3_step(select_) == SQLITE_ROW;
  if (ok) {
    b.credit = sqlite3_column_int64(select_, 0);
    b.bank = sqlite3_column_int64(select_, 1);
    b.payoutDue = sqlite3_column_int64(select_, 2);
  }
  sqlite3_reset(select_);
  return ok;
}

namespace {
bool StepDone(sqlite3_stmt* s) {
  bool ok = sqlite3_step(s) == SQLITE_DONE;
  sqlite3_reset(s);
  return ok;
}
}  // namespace

Decision Ledger::Apply(Source source, Movement movement, int64_t amount, Balances* beforeOut) {
  if (!StepDone(begin_)) return Refuse("ledger busy");
  Balances before;
  if (!Read(before)) {
    Exec("ROLLBACK");
    return Refuse("ledger error");
  }
  Decision d = Decide(movement, amount, before);
  if (beforeOut) *beforeOut = before;
  if (movement == Movement::Collect) amount = before.bank + before.payoutDue;
  if (!d.accepted || amount == 0) {
    Exec("ROLLBACK");
    return d;
  }
  sqlite3_bind_int64(update_, 1, d.after.credit);
  sqlite3_bind_int64(update_, 2, d.after.bank);
  sqlite3_bind_int64(update_, 3, d.after.payoutDue);
  sqlite3_bind_text(insert_, 1, source == Source::Game ? "game" : "operator", -1, SQLITE_STATIC);
  sqlite3_bind_text(insert_, 2, MovementName(movement), -1, SQLITE_STATIC);
  int64_t values[] = {amount, before.credit, before.bank, before.payoutDue,
                      d.after.credit, d.after.bank, d.after.payoutDue};
  for (int i = 0; i < 7; ++i) sqlite3_bind_int64(insert_, 3 + i, values[i]);
  if (!StepDone(update_) || !StepDone(insert_) || !StepDone(commit_)) {
    Exec("ROLLBACK");
    return Refuse("ledger error");
  }
  return d;
}

bool Ledger::Journal(std::vector<JournalRow>& rows) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT time, source, command, amount, credit_before, bank_before,"
                         " due_before, credit_after, bank_after, due_after FROM journal ORDER BY id",
                         -1, &s, nullptr) != SQLITE_OK)
    return false;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    JournalRow r;
    r.time = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    r.source = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
    r.command = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
    r.amount = sqlite3_column_int64(s, 3);
    r.before = {sqlite3_column_int64(s, 4), sqlite3_column_int64(s, 5), sqlite3_column_int64(s, 6)};
    r.after = {sqlite3_column_int64(s, 7), sqlite3_column_int64(s, 8), sqlite3_column_int64(s, 9)};
    rows.push_back(r);
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE;
}

bool Ledger::Balanced(std::string& error) {
  sqlite3_stmt* s = nullptr;
  const char* sql =
      "SELECT b.credit, b.bank, b.payout_due,"
      " (SELECT coalesce(sum(credit_after - credit_before), 0) FROM journal),"
      " (SELECT coalesce(sum(bank_after - bank_before), 0) FROM journal),"
      " (SELECT coalesce(sum(due_after - due_before), 0) FROM journal)"
      " FROM balances b WHERE b.id = 1";
  bool ok = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW;
  if (!ok) {
    error = sqlite3_errmsg(db_);
  } else {
    for (int i = 0; i < 3; ++i) ok = ok && sqlite3_column_int64(s, i) == sqlite3_column_int64(s, i + 3);
    if (!ok) error = "the balances do not equal the sum of the journal";
  }
  sqlite3_finalize(s);
  return ok;
}

}  // namespace credit
