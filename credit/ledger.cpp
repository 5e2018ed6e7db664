#include "credit/ledger.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <thread>
#include <tuple>

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

Decision Decide(Movement movement, int64_t amount, const Balances& before, int64_t payoutCap) {
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
    case Movement::AddBank:
    case Movement::AddCredit:
      AddCapped(movement == Movement::AddBank ? a.bank : a.credit, amount, a.payoutDue);
      if (a.payoutDue > payoutCap && a.payoutDue > before.payoutDue)
        return Refuse("payout limit reached");
      break;
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

Ledger::~Ledger() { Disconnect(); }

void Ledger::Disconnect() {
  cached_ = false;
  headKnown_ = false;
  logIndex_ = nullptr;  // SQLite's own mapping, gone with the connection
  logIndexTried_ = false;
  for (sqlite3_stmt** s : {&select_, &update_, &insert_, &begin_, &commit_, &version_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

bool Ledger::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

namespace {
// The ledger and SQLite's files beside it (which SQLite makes with the ledger's mode) are the
// owner's alone.
bool MakePrivate(const std::string& path, std::string& error) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  close(fd);
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    struct stat st {};
    std::string file = path + suffix;
    if (stat(file.c_str(), &st) == 0 && (st.st_mode & 077) && chmod(file.c_str(), st.st_mode & 0700) != 0) {
      error = "cannot make " + file + " private: " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

std::string UnsettledPath(const std::string& path) { return path + "-unsettled"; }

std::string Describe(const JournalRow& r) {
  char text[256];
  std::snprintf(text, sizeof text, "%s %s %" PRId64 " (credit %" PRId64 " -> %" PRId64 ", bank %" PRId64
                " -> %" PRId64 ", due %" PRId64 " -> %" PRId64 ")",
                r.source.c_str(), r.command.c_str(), r.amount, r.before.credit, r.after.credit,
                r.before.bank, r.after.bank, r.before.payoutDue, r.after.payoutDue);
  return text;
}
}  // namespace

namespace {
// The ledger as an SQLite URI that reads it without any file of its own beside it.
std::string ImmutableUri(const std::string& path) {
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '?' || c == '#' || c == '%' || c < 0x20 || c >= 0x7f) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      uri += hex;
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?immutable=1";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}
}  // namespace

bool Ledger::Connect(std::string& error, bool prepare) {
  int flags = readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  bool opened = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) == SQLITE_OK;
  // A reader that may not write the folder cannot make the log's index. With no log left
  // behind (no server running, none killed), the file alone is the whole ledger.
  if (readOnly_ && opened && sqlite3_exec(db_, "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr,
                                          nullptr, nullptr) != SQLITE_OK &&
      !Exists(path_ + "-wal") && !Exists(path_ + "-shm")) {
    Disconnect();
    opened = sqlite3_open_v2(ImmutableUri(path_).c_str(), &db_, flags | SQLITE_OPEN_URI, nullptr) == SQLITE_OK;
  }
  if (!opened) {
    error = db_ ? sqlite3_errmsg(db_) : "cannot open";
    Disconnect();
    return false;
  }
  sqlite3_busy_timeout(db_, 10000);
  // WAL with a synced commit: an acknowledged movement survives a crash or power cut.
  if ((!readOnly_ && (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL"))) ||
      (prepare && !Prepare())) {
    error = sqlite3_errmsg(db_);
    Disconnect();
    return false;
  }
  return true;
}

bool Ledger::Open(const std::string& path, std::string& error, bool readOnly) {
  path_ = path;
  readOnly_ = readOnly;
  if (!readOnly && !MakePrivate(path, error)) return false;
  if (!Connect(error, false)) return false;
  if ((!readOnly && (!Exec("BEGIN IMMEDIATE") || !Exec(kSchema) || !Exec("COMMIT"))) || !Prepare()) {
    error = sqlite3_errmsg(db_);
    return false;
  }
  if (!readOnly) ReportUnsettled();
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
         prep("BEGIN IMMEDIATE", &begin_) && prep("COMMIT", &commit_) &&
         prep("PRAGMA data_version", &version_);
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

// The index as SQLite's own connection maps it (a file of our own opened on it would drop the
// connection's locks on it when closed). Without it (no log yet, a read-only ledger) every
// look asks SQLite.
bool Ledger::MapLogIndex() {
  if (logIndexTried_ || readOnly_) return logIndex_ != nullptr;
  logIndexTried_ = true;
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap)
    return false;
  volatile void* region = nullptr;
  constexpr int kRegionBytes = 32768;  // SQLite maps its index in regions of this size
  if (file->pMethods->xShmMap(file, 0, kRegionBytes, 0, &region) == SQLITE_OK && region)
    logIndex_ = static_cast<const volatile uint32_t*>(region);
  return logIndex_ != nullptr;
}

bool Ledger::Current(Balances& b) {
  // Taken before SQLite is asked: a commit landing after it shows as a change next time.
  uint32_t head[kLogHeadWords];
  bool mapped = MapLogIndex();
  if (mapped) {
    for (int i = 0; i < kLogHeadWords; ++i) head[i] = logIndex_[i];
    if (cached_ && headKnown_ && std::memcmp(head, cachedHead_, sizeof head) == 0) {
      b = cache_;
      return true;
    }
  }
  headKnown_ = false;
  if (sqlite3_step(version_) != SQLITE_ROW) {
    sqlite3_reset(version_);
    cached_ = false;
    return false;
  }
  int64_t version = sqlite3_column_int64(version_, 0);
  sqlite3_reset(version_);
  // A commit of another connection after the version was taken only makes the next look
  // read again.
  if (!cached_ || version != cachedVersion_) {
    ++reloads_;
    if (!Read(cache_)) {
      cached_ = false;
      return false;
    }
    cached_ = true;
    cachedVersion_ = version;
  }
  if (mapped) {
    std::memcpy(cachedHead_, head, sizeof head);
    headKnown_ = true;
  }
  b = cache_;
  return true;
}

namespace {
bool StepDone(sqlite3_stmt* s) {
  bool ok = sqlite3_step(s) == SQLITE_DONE;
  sqlite3_reset(s);
  return ok;
}
}  // namespace

Decision Ledger::Apply(Source source, Movement movement, int64_t amount, Balances* beforeOut) {
  if (readOnly_) return Refuse("ledger opened read-only");
  // This connection's own commits leave its data version alone: the cache learns them here,
  // and forgets what it held on any way out but a clean commit.
  cached_ = false;
  if (!StepDone(begin_)) return Refuse("ledger busy");
  Balances before;
  if (!Read(before)) {
    Exec("ROLLBACK");
    return Refuse("ledger error");
  }
  Decision d = Decide(movement, amount, before, payoutCap_);
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
  if (!StepDone(update_) || !StepDone(insert_)) {
    Exec("ROLLBACK");  // nothing reached the log: no commit was tried
    return Refuse("ledger error");
  }
  int64_t rowId = sqlite3_last_insert_rowid(db_);
  if (sqlite3_step(commit_) != SQLITE_DONE) {
    // A write that failed (a full disk) left no whole commit in the log; after a failed sync
    // (or later) the log may hold all of it.
    int failure = sqlite3_extended_errcode(db_);
    JournalRow row{"", source == Source::Game ? "game" : "operator", MovementName(movement), amount,
                   before, d.after};
    return Settle(row, rowId, d, failure == SQLITE_FULL || failure == SQLITE_IOERR_WRITE);
  }
  sqlite3_reset(commit_);
  cache_ = d.after;
  cached_ = true;
  return d;
}

namespace {
// A failed commit may leave the movement's pages in the write-ahead log, where the next
// recovery can find them. A commit written over them, even one whose sync fails, ends the log
// before them for good.
bool Overwrite(sqlite3* db) {
  // SQLite skips a write that changes nothing: change the page, then put it back.
  if (sqlite3_exec(db, "BEGIN IMMEDIATE; UPDATE balances SET credit = credit + 1 WHERE id = 1;"
                   " UPDATE balances SET credit = credit - 1 WHERE id = 1",
                   nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  bool written = rc == SQLITE_OK || sqlite3_extended_errcode(db) == SQLITE_IOERR_FSYNC;
  if (rc != SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return written;
}
}  // namespace

namespace {
sqlite3_stmt* SelectRows(sqlite3* db, const char* where) {
  std::string sql = std::string("SELECT time, source, command, amount, credit_before, bank_before,"
                                " due_before, credit_after, bank_after, due_after FROM journal ") + where;
  sqlite3_stmt* s = nullptr;
  return sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK ? s : nullptr;
}

JournalRow RowAt(sqlite3_stmt* s) {
  auto text = [s](int i) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i))); };
  auto n = [s](int i) { return sqlite3_column_int64(s, i); };
  return {text(0), text(1), text(2), n(3), {n(4), n(5), n(6)}, {n(7), n(8), n(9)}};
}

bool SameMovement(const JournalRow& a, const JournalRow& b) {
  auto key = [](const JournalRow& r) {
    return std::tuple(r.source, r.command, r.amount, r.before.credit, r.before.bank, r.before.payoutDue,
                      r.after.credit, r.after.bank, r.after.payoutDue);
  };
  return key(a) == key(b);
}
}  // namespace

bool Ledger::HasRow(int64_t rowId, const JournalRow& r, bool& found) {
  sqlite3_stmt* s = SelectRows(db_, "WHERE id = ?1");
  if (!s) return false;
  sqlite3_bind_int64(s, 1, rowId);
  int rc = sqlite3_step(s);
  found = rc == SQLITE_ROW && SameMovement(RowAt(s), r);
  sqlite3_finalize(s);
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

Decision Ledger::Settle(const JournalRow& row, int64_t rowId, const Decision& hoped, bool neverWhole) {
  if (neverWhole) {
    // Nothing for a recovery to find: refused at once, and the server goes on reading (it may
    // be a full disk for a while).
    std::fprintf(stderr, "quibblo-credit: ledger commit failed (%s), not booked, refused: %s\n",
                 sqlite3_errmsg(db_), Describe(row).c_str());
    Exec("ROLLBACK");
    return Refuse("ledger error");
  }
  std::fprintf(stderr, "quibblo-credit: ledger commit failed (%s) for %s; learning whether it was booked\n",
               sqlite3_errmsg(db_), Describe(row).c_str());
  // Should we die before we know, the next start says what became of it.
  std::string marker = UnsettledPath(path_);
  if (FILE* f = std::fopen(marker.c_str(), "w")) {
    std::fprintf(f, "%" PRId64 " %s %s %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64
                 " %" PRId64 " %" PRId64 "\n", rowId, row.source.c_str(), row.command.c_str(), row.amount,
                 row.before.credit, row.before.bank, row.before.payoutDue, row.after.credit,
                 row.after.bank, row.after.payoutDue);
    std::fclose(f);
  }
  auto start = std::chrono::steady_clock::now();
  for (int attempt = 0;; ++attempt) {
    Exec("ROLLBACK");
    Disconnect();
    std::string error;
    bool found = false;
    // Reopened alone, SQLite recovers the log as a restart would: what it shows is what stays.
    if (Connect(error) && HasRow(rowId, row, found)) {
      if (found) {
        if (!Exec("PRAGMA wal_checkpoint(FULL)"))
          std::fprintf(stderr, "quibblo-credit: %s is booked but the disk still reports errors\n",
                       row.command.c_str());
        std::fprintf(stderr, "quibblo-credit: booked after all: journal row #%" PRId64 " %s\n", rowId,
                     Describe(row).c_str());
        unlink(marker.c_str());
        return hoped;
      }
      if (Overwrite(db_)) {
        std::fprintf(stderr, "quibblo-credit: not booked, and refused: %s\n", Describe(row).c_str());
        unlink(marker.c_str());
        return Refuse("ledger error");
      }
    }
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (settleSeconds_ >= 0 && waited >= settleSeconds_) {
      std::fprintf(stderr, "quibblo-credit: the ledger cannot be written; whether %s was booked is "
                   "not known yet (the next start will tell)\n", Describe(row).c_str());
      Decision d = Refuse("ledger state unknown");
      d.unsettled = true;
      return d;
    }
    if (attempt % 25 == 0 && attempt > 0)
      std::fprintf(stderr, "quibblo-credit: still learning the ledger's state (%s)\n",
                   db_ ? sqlite3_errmsg(db_) : error.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

void Ledger::ReportUnsettled() {
  std::string marker = UnsettledPath(path_);
  FILE* f = std::fopen(marker.c_str(), "r");
  if (!f) return;
  long long v[8];
  char source[16], command[16];
  int n = std::fscanf(f, "%lld %15s %15s %lld %lld %lld %lld %lld %lld %lld", &v[0], source, command,
                      &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
  std::fclose(f);
  if (n != 10) {
    std::fprintf(stderr, "quibblo-credit: %s is damaged; check the journal's last rows\n", marker.c_str());
    return;
  }
  JournalRow row{"", source, command, v[1], {v[2], v[3], v[4]}, {v[5], v[6], v[7]}};
  bool found = false;
  if (!HasRow(v[0], row, found)) return;
  if (found) {
    std::fprintf(stderr, "quibblo-credit: recovered command: journal row #%lld %s, booked before the "
                 "last stop although its answer was never given\n", v[0], Describe(row).c_str());
  } else if (Overwrite(db_)) {
    std::fprintf(stderr, "quibblo-credit: unsettled at the last stop and not booked: %s\n",
                 Describe(row).c_str());
  } else {
    return;
  }
  unlink(marker.c_str());
}

bool Ledger::Journal(std::vector<JournalRow>& rows) {
  sqlite3_stmt* s = SelectRows(db_, "ORDER BY id");
  if (!s) return false;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) rows.push_back(RowAt(s));
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
