#include "tools/meters/journal.h"

#include <sqlite3.h>

#include <cstdio>

namespace {
// A file name as an SQLite URI, so mode=ro can be asked for whatever the name holds.
std::string ReadOnlyUri(const std::string& path) {
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
  return uri + "?mode=ro";
}

std::string Text(sqlite3_stmt* st, int column) {
  const unsigned char* text = sqlite3_column_text(st, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(st, column)));
}
}  // namespace

std::string JournalBeside(const std::string& recordPath) {
  size_t slash = recordPath.rfind('/');
  if (slash == std::string::npos) return "journal.db";
  return recordPath.substr(0, slash + 1) + "journal.db";
}

void AddJournalGame(JournalSummary& s, const JournalGame& g, size_t lastCount) {
  if (s.games == 0) s.firstStarted = g.started;
  s.lastStarted = g.started;
  ++s.games;
  s.stakes += g.stake;
  s.prizes += g.prize;
  if (g.paid == "owed") {
    ++s.owedGames;
    s.owedPrizes += g.prize;
  }
  // Before the first stake there is no return to speak of.
  if (s.stakes > 0)
    s.returnOverTime.push_back({static_cast<double>(g.number), 100.0 * static_cast<double>(s.prizes) / static_cast<double>(s.stakes)});
  if (lastCount == 0) return;
  if (s.lastGames.size() == lastCount) s.lastGames.erase(s.lastGames.begin());
  s.lastGames.push_back(g);
}

void FinishReturnSeries(JournalSummary& s, size_t maxPoints) {
  std::vector<ChartPoint>& p = s.returnOverTime;
  if (maxPoints < 2 || p.size() <= maxPoints) return;
  std::vector<ChartPoint> kept;
  kept.reserve(maxPoints);
  for (size_t i = 0; i < maxPoints; ++i) kept.push_back(p[i * (p.size() - 1) / (maxPoints - 1)]);
  p.swap(kept);
}

JournalSummary ReadJournal(const std::string& path, size_t lastCount, size_t maxPoints) {
  JournalSummary s;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(ReadOnlyUri(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
    s.problem = "no game journal at " + path + (db ? std::string(" (") + sqlite3_errmsg(db) + ")" : "");
    sqlite3_close(db);
    return s;
  }
  sqlite3_busy_timeout(db, 2000);  // the game may be writing a game's end just now
  const char* sql =
      "SELECT number, started, ended, state, band, stake, continues, outcome, prize, paid "
      "FROM games ORDER BY number";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
    s.problem = "the game journal " + path + " cannot be read: " + sqlite3_errmsg(db);
    sqlite3_close(db);
    return s;
  }
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    JournalGame g;
    g.number = sqlite3_column_int64(st, 0);
    g.started = Text(st, 1);
    g.ended = Text(st, 2);
    g.state = Text(st, 3);
    if (sqlite3_column_type(st, 4) != SQLITE_NULL) g.band = sqlite3_column_int64(st, 4);
    g.stake = sqlite3_column_int64(st, 5);
    g.continues = sqlite3_column_int64(st, 6);
    g.outcome = Text(st, 7);
    g.prize = sqlite3_column_int64(st, 8);
    g.paid = Text(st, 9);
    AddJournalGame(s, g, lastCount);
  }
  if (rc != SQLITE_DONE) {
    s = JournalSummary{};
    s.problem = "the game journal " + path + " cannot be read: " + sqlite3_errmsg(db);
  } else {
    s.available = true;
    FinishReturnSeries(s, maxPoints);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return s;
}
