// SQLite rather than a text file of our own: a commit is atomic and durable (a kill at any moment
// leaves whole games or a game cut short, never a torn line), in WAL mode the operator's recall
// reads while the game writes, the program links it already for nothing else but the credit
// server, and the journal is one file an operator can copy off the cabinet.
#include "machine/journal.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "machine/money_due.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shell/log.h"

int32_t JournalKeepGames = 10000;

namespace {
using nlohmann::json;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS games(number INTEGER PRIMARY KEY,"
    "  started TEXT NOT NULL, ended TEXT, state TEXT NOT NULL,"
    "  band INTEGER, payout_balance INTEGER, stake INTEGER NOT NULL,"
    "  continues INTEGER NOT NULL DEFAULT 0, outcome TEXT, prize INTEGER NOT NULL DEFAULT 0,"
    "  paid TEXT);"
    "CREATE TABLE IF NOT EXISTS events(game INTEGER NOT NULL, seq INTEGER NOT NULL,"
    "  ms INTEGER NOT NULL, kind TEXT NOT NULL, detail TEXT NOT NULL, PRIMARY KEY(game, seq));";

struct Pending {
  uint32_t ms;
  std::string kind, detail;
};

sqlite3* db = nullptr;
int64_t game = 0;      // being played
int64_t lastGame = 0;  // the newest, which later payments belong to
int64_t nextSeq = 1;   // of lastGame
bool stakePending = false;
bool stakeInFlight = false;  // the game's row is written and its stake sent, the outcome not yet known
int64_t previousGame = 0, previousSeq = 1;
json stakeState;
std::vector<Pending> beforeStake;  // credit exchanges of a stake not yet taken

// Balance readings repeat many times a second while a screen waits for money: one event a run
// of the same reading, kept open for each balance until something else happens.
struct Reading {
  bool open = false;
  uint32_t ms = 0, lastMs = 0;
  std::string request, reply, result;
  int64_t repeat = 0;
};
Reading readings[2];  // credit, bank

void Fail(const char* what) {
  const char* why = db ? sqlite3_errmsg(db) : "no journal";
  LogWrite("Journal data/journal.db not written (%s: %s); games go on without it\n", what, why);
  std::fprintf(stderr, "quibblo: journal data/journal.db not written (%s: %s); games go on without it\n", what, why);
  if (db) sqlite3_close_v2(db);
  db = nullptr;
  game = 0;
}

bool Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// One statement run to its end with its parameters bound in order.
template <class... Args>
bool Run(const char* sql, const Args&... args) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) return false;
  int i = 0;
  auto bind = [&](const auto& v) {
    ++i;
    using T = std::decay_t<decltype(v)>;
    if constexpr (std::is_same_v<T, std::string>)
      sqlite3_bind_text(s, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    else if constexpr (std::is_same_v<T, const char*>)
      v ? sqlite3_bind_text(s, i, v, -1, SQLITE_TRANSIENT) : sqlite3_bind_null(s, i);
    else
      sqlite3_bind_int64(s, i, static_cast<int64_t>(v));
  };
  (bind(args), ...);
  (void)bind;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE;
}

int64_t Number(const char* sql) {
  sqlite3_stmt* s = nullptr;
  int64_t v = 0;
  if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    v = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  return v;
}

bool Insert(uint32_t ms, const std::string& kind, const std::string& detail) {
  if (!Run("INSERT INTO events(game, seq, ms, kind, detail) VALUES(?, ?, ?, ?, ?)", lastGame, nextSeq,
           static_cast<int64_t>(ms), kind, detail))
    return false;
  ++nextSeq;
  return true;
}

// Several writes as one commit, or none of them.
template <class Body>
void Transaction(const char* what, Body body) {
  if (!db) return;
  if (!Exec("BEGIN IMMEDIATE")) return Fail(what);
  int64_t seq = nextSeq;
  if (body() && Exec("COMMIT")) return;
  nextSeq = seq;
  Exec("ROLLBACK");
  Fail(what);
}

json CreditDetail(const std::string& request, const std::string& reply, const std::string& result) {
  return {{"request", request}, {"reply", reply}, {"result", result}, {"time", LocalTimeText(true)}};
}

void FlushReadings() {
  if (readings[1].open && (!readings[0].open || readings[1].ms < readings[0].ms)) std::swap(readings[0], readings[1]);
  for (Reading& r : readings) {
    if (!r.open) continue;
    r.open = false;
    if (!db || !game) continue;
    json d = CreditDetail(r.request, r.reply, r.result);
    d["repeat"] = r.repeat;
    d["last_ms"] = r.lastMs;
    if (!Insert(r.ms, "credit", d.dump(-1, ' ', false, json::error_handler_t::replace))) Fail("credit reading");
  }
}

std::string Line(const char* text) {
  std::string s(text ? text : "");
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}
}  // namespace

bool JournalOpen(const char* name) {
  JournalClose();
  std::string why;
  MakeDirectory("data");
  if (!PathHasNoLinks(name, why) || !PathHasNoLinks((std::string(name) + "-wal").c_str(), why) ||
      !PathHasNoLinks((std::string(name) + "-shm").c_str(), why)) {
    LogWrite("Journal not opened (%s); games go on without it\n", why.c_str());
    std::fprintf(stderr, "quibblo: journal not opened (%s); games go on without it\n", why.c_str());
    return false;
  }
  std::string path = ResolvePath(name);
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                           nullptr);
  if (rc != SQLITE_OK) {
    Fail("open");
    return false;
  }
  sqlite3_busy_timeout(db, 2000);
  // A damaged or foreign file is left as it is for the operator, and not written.
  if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=FULL") || !Exec(kSchema) ||
      !Exec("SELECT number, started, ended, state, band, payout_balance, stake, continues, outcome, prize,"
            " paid FROM games LIMIT 0") ||
      !Exec("SELECT game, seq, ms, kind, detail FROM events LIMIT 0")) {
    Fail("open");
    return false;
  }
  lastGame = Number("SELECT IFNULL(MAX(number), 0) FROM games");
  nextSeq = Number(("SELECT IFNULL(MAX(seq), 0) + 1 FROM events WHERE game = " + std::to_string(lastGame)).c_str());
  game = 0;
  stakePending = stakeInFlight = false;
  beforeStake.clear();
  readings[0] = readings[1] = {};
  return true;
}

void JournalClose() {
  FlushReadings();
  if (db) sqlite3_close_v2(db);
  db = nullptr;
  game = 0;
}

bool JournalInUse() { return db != nullptr; }
int64_t JournalGame() { return db ? game : 0; }

void JournalBeforeStake(const json& state) {
  stakePending = db != nullptr && game == 0;
  stakeState = state;
  beforeStake.clear();
}

namespace {

bool IsMoney(const std::string& request) {
  return request.rfind("CUSE,", 0) == 0 || request.rfind("BADD,", 0) == 0 || request.rfind("CADD,", 0) == 0;
}

// The game's row goes in before its stake is sent, so that a kill at any moment after leaves the
// stake in the journal.
void OpenGame(int32_t amount) {
  json start = stakeState;
  start["stake"] = amount;
  start["credit_before"] = Due.stakeCredit;
  start["bank_before"] = Due.stakeBank;
  int64_t number = lastGame + 1;
  previousGame = lastGame;
  previousSeq = nextSeq;
  Transaction("stake", [&] {
    lastGame = number;
    nextSeq = 1;
    bool ok = Run("DELETE FROM events WHERE game <= ?", number - JournalKeepGames) &&
              Run("DELETE FROM games WHERE number <= ?", number - JournalKeepGames) &&
              Run("INSERT INTO games(number, started, state, band, payout_balance, stake, paid)"
                  " VALUES(?, ?, 'playing', ?, ?, ?, 'none')",
                  number, LocalTimeText(), start.value("band", 0), start.value("balance_pence", 0), amount) &&
              Insert(ClockSinceStart(), "start", start.dump(-1, ' ', false, json::error_handler_t::replace));
    for (const Pending& p : beforeStake) ok = ok && Insert(p.ms, p.kind, p.detail);
    if (!ok) {
      lastGame = previousGame;
      nextSeq = previousSeq;
    }
    return ok;
  });
  beforeStake.clear();
  if (db) {
    game = number;
    stakeInFlight = true;
  }
}

// A stake not taken made no game: its row goes, and the commands it sent stay, with the game
// before, for the match against the ledger (a lost reply may still have moved money).
void DropGame() {
  int64_t number = game;
  std::vector<std::pair<int64_t, std::string>> money;
  sqlite3_stmt* s = nullptr;
  std::string sql = "SELECT ms, detail FROM events WHERE kind = 'credit' AND game = " + std::to_string(number) +
                    " ORDER BY seq";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK)
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
      if (IsMoney(json::parse(detail, nullptr, false).value("request", "")))
        money.emplace_back(sqlite3_column_int64(s, 0), detail);
    }
  sqlite3_finalize(s);
  game = 0;
  Transaction("stake not taken", [&] {
    bool ok = Run("DELETE FROM events WHERE game = ?", number) && Run("DELETE FROM games WHERE number = ?", number);
    lastGame = previousGame;
    nextSeq = previousSeq;
    for (auto& [ms, detail] : money)
      if (lastGame) ok = ok && Insert(static_cast<uint32_t>(ms), "credit", detail);
    return ok;
  });
}
}  // namespace

void JournalStake(int32_t amount, bool forContinue, bool taken) {
  if (!db) return;
  FlushReadings();
  if (forContinue) {
    if (!game || !taken) return;
    Transaction("continue", [&] {
      return Insert(ClockSinceStart(), "continue", json{{"stake", amount}, {"taken", true}}.dump(-1, ' ', false, json::error_handler_t::replace)) &&
             Run("UPDATE games SET stake = stake + ?, continues = continues + 1 WHERE number = ?", amount, game);
    });
    return;
  }
  stakePending = false;
  beforeStake.clear();
  if (!stakeInFlight) return;
  stakeInFlight = false;
  if (!taken) DropGame();
}

void JournalCreditSending(const char* request) {
  if (!db) return;
  std::string req = Line(request);
  if (!IsMoney(req)) return;
  FlushReadings();
  if (stakePending && !game && req.rfind("CUSE,", 0) == 0) OpenGame(std::atoi(req.c_str() + 5));
  if (!db || (!game && !lastGame)) return;
  if (!Insert(ClockSinceStart(), "credit", CreditDetail(req, "", "sent").dump(-1, ' ', false, json::error_handler_t::replace))) Fail("credit");
}

void JournalPlayStarts() { JournalRecord("play", json::object()); }

void JournalRecord(const char* kind, const json& detail) {
  if (!db || !game) return;
  FlushReadings();
  if (!Insert(ClockSinceStart(), kind, detail.dump(-1, ' ', false, json::error_handler_t::replace))) Fail(kind);
}

void JournalCredit(const char* request, const char* reply, const char* result) {
  if (!db) return;
  std::string req = Line(request), rep = Line(reply);
  bool reading_ = req == "CGET" || req == "BGET";
  if (stakePending && !game) {
    beforeStake.push_back({ClockSinceStart(), "credit", CreditDetail(req, rep, result).dump(-1, ' ', false, json::error_handler_t::replace)});
    return;
  }
  if (!game) {
    // Between games only money moving is the journal's business: a prize owed being paid.
    if (reading_ || lastGame == 0) return;
    if (!Insert(ClockSinceStart(), "credit", CreditDetail(req, rep, result).dump(-1, ' ', false, json::error_handler_t::replace))) Fail("credit");
    return;
  }
  if (reading_) {
    Reading& r = readings[req == "CGET" ? 0 : 1];
    if (r.open && r.reply == rep && r.result == result) {
      ++r.repeat;
      r.lastMs = ClockSinceStart();
      return;
    }
    if (r.open) FlushReadings();
    r = {true, ClockSinceStart(), ClockSinceStart(), req, rep, result, 1};
    return;
  }
  JournalRecord("credit", CreditDetail(req, rep, result));
}

void JournalBand(int band, int64_t balancePence) {
  if (!db || !game) return;
  if (!Run("UPDATE games SET band = ?, payout_balance = ? WHERE number = ?", band, balancePence, game)) Fail("band");
}

void JournalTouch(int x, int y) { JournalRecord("touch", json{{"x", x}, {"y", y}}); }

void JournalPrize(int32_t amount) {
  if (!db || !game) return;
  FlushReadings();
  Transaction("prize", [&] {
    return Insert(ClockSinceStart(), "prize", json{{"amount", amount}}.dump(-1, ' ', false, json::error_handler_t::replace)) &&
           Run("UPDATE games SET prize = ? WHERE number = ?", amount, game);
  });
}

void JournalGameEnds(const char* outcome, int32_t prize, bool owed, int32_t credit, int32_t bank, uint64_t screen) {
  if (!db || !game) return;
  FlushReadings();
  const char* paid = prize <= 0 ? "none" : owed ? "owed" : "paid";
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(screen));
  json d{{"outcome", outcome}, {"prize", prize}, {"paid", paid}, {"credit", credit}, {"bank", bank},
         {"screen", hash}};
  Transaction("end", [&] {
    return Insert(ClockSinceStart(), "end", d.dump(-1, ' ', false, json::error_handler_t::replace)) &&
           Run("UPDATE games SET ended = ?, state = 'finished', outcome = ?, prize = ?, paid = ? WHERE number = ?",
               LocalTimeText(), outcome, prize, paid, game);
  });
  game = 0;
}

void JournalOwedPaid() {
  if (!db) return;
  FlushReadings();
  if (Number("SELECT COUNT(*) FROM games WHERE paid = 'owed'") == 0) return;
  Transaction("paid", [&] {
    return Insert(ClockSinceStart(), "paid_later", json::object().dump(-1, ' ', false, json::error_handler_t::replace)) &&
           Run("UPDATE games SET paid = 'paid' WHERE paid = 'owed'");
  });
}

void JournalMarkInterrupted(const MoneyDue& before, const MoneyDue& after, bool owed) {
  if (!db) return;
  sqlite3_stmt* s = nullptr;
  std::vector<std::pair<int64_t, int64_t>> playing;  // number, prize
  if (sqlite3_prepare_v2(db, "SELECT number, prize FROM games WHERE state = 'playing'", -1, &s, nullptr) == SQLITE_OK)
    while (sqlite3_step(s) == SQLITE_ROW) playing.emplace_back(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
  sqlite3_finalize(s);
  for (auto [number, prize] : playing) {
    // What recovery did with the due file is the truth about the money; the journal only notes it.
    int64_t won = prize > 0 ? prize : before.prize;
    const char* paid = won <= 0 ? "none" : owed ? "owed" : "paid";
    json d{{"due_before", FormatDue(before)}, {"due_after", FormatDue(after)}, {"prize", won}, {"paid", paid},
           {"time", LocalTimeText()}};
    int64_t keep = lastGame, seq = nextSeq;
    lastGame = number;
    nextSeq = Number(("SELECT IFNULL(MAX(seq), 0) + 1 FROM events WHERE game = " + std::to_string(number)).c_str());
    Transaction("interrupted", [&] {
      return Insert(ClockSinceStart(), "interrupted", d.dump(-1, ' ', false, json::error_handler_t::replace)) &&
             Run("UPDATE games SET state = 'interrupted', prize = ?, paid = ? WHERE number = ?", won, paid, number);
    });
    lastGame = keep;
    nextSeq = number == keep ? nextSeq : seq;
    if (!db) return;
  }
}
