#include "tools/recall/recall.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace recall {

const char* const kGameColumns = "number, started, ended, state, band, payout_balance, stake, continues, outcome,"
                                 " prize, paid";

namespace {
std::string Text(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

std::optional<int64_t> Maybe(sqlite3_stmt* s, int i) {
  if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(s, i);
}

GameRow GameAt(sqlite3_stmt* s) {
  GameRow g;
  g.number = sqlite3_column_int64(s, 0);
  g.started = Text(s, 1);
  g.ended = Text(s, 2);
  g.state = Text(s, 3);
  g.band = Maybe(s, 4);
  g.balance = Maybe(s, 5);
  g.stake = sqlite3_column_int64(s, 6);
  g.continues = sqlite3_column_int64(s, 7);
  g.outcome = Text(s, 8);
  g.prize = sqlite3_column_int64(s, 9);
  g.paid = Text(s, 10);
  return g;
}

// Steps a prepared query to its end; false (with the reason) when SQLite gives up on the file.
template <class Row>
bool Each(sqlite3* db, sqlite3_stmt* s, std::string& why, Row row) {
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) row(s);
  sqlite3_finalize(s);
  if (rc == SQLITE_DONE) return true;
  why = sqlite3_errmsg(db);
  return false;
}

bool Prepare(sqlite3* db, const std::string& sql, sqlite3_stmt** s, std::string& why) {
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, s, nullptr) == SQLITE_OK) return true;
  why = sqlite3_errmsg(db);
  return false;
}

std::string Pence(int64_t p) {
  char text[32];
  std::snprintf(text, sizeof text, "%s£%lld.%02lld", p < 0 ? "-" : "", static_cast<long long>(std::llabs(p) / 100),
                static_cast<long long>(std::llabs(p) % 100));
  return text;
}

bool Reading(const std::string& request) { return request == "CGET" || request == "BGET"; }

// The events a replay must reach, in order, as they are compared.
std::vector<std::pair<std::string, nlohmann::json>> Decisions(const std::vector<EventRow>& events) {
  static const char* const kinds[] = {"setup", "player_box", "question", "answer", "pick", "offer", "lives",
                                      "continue_screen", "continue", "prize", "end"};
  std::vector<std::pair<std::string, nlohmann::json>> out;
  for (const EventRow& e : events) {
    if (e.kind == "credit") {
      std::string request = e.detail.value("request", "");
      if (!Reading(request)) out.push_back({"credit", {{"request", request}, {"result", e.detail.value("result", "")}}});
      continue;
    }
    if (std::find(std::begin(kinds), std::end(kinds), e.kind) == std::end(kinds)) continue;
    nlohmann::json d = e.detail;
    d.erase("time");
    if (e.kind == "end") {
      d.erase("credit");
      d.erase("bank");
    }
    out.push_back({e.kind, d});
    if (e.kind == "end") break;
  }
  return out;
}

int64_t Days(int y, int m, int d) {  // days since 1970-01-01, proleptic Gregorian
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
}  // namespace

int OpenReadOnly(const std::string& path, const char* table, const char* columns, sqlite3** db, std::string& why) {
  *db = nullptr;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    why = path + ": no such file";
    return kExitMissing;
  }
  if (S_ISLNK(st.st_mode) || !S_ISREG(st.st_mode)) {
    why = path + ": not a regular file";
    return kExitDamaged;
  }
  if (sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
    why = path + ": " + sqlite3_errmsg(*db);
    sqlite3_close_v2(*db);
    *db = nullptr;
    return kExitDamaged;
  }
  sqlite3_busy_timeout(*db, 5000);
  std::string sql = std::string("SELECT ") + columns + " FROM " + table + " LIMIT 0";
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(*db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK || sqlite3_step(s) != SQLITE_DONE) {
    why = path + ": " + sqlite3_errmsg(*db);
    sqlite3_finalize(s);
    sqlite3_close_v2(*db);
    *db = nullptr;
    return kExitDamaged;
  }
  sqlite3_finalize(s);
  return kExitOk;
}

bool ReadGames(sqlite3* db, int64_t last, std::vector<GameRow>& games, std::string& why) {
  std::string sql = std::string("SELECT ") + kGameColumns + " FROM games ORDER BY number DESC";
  if (last > 0) sql += " LIMIT " + std::to_string(last);
  sqlite3_stmt* s = nullptr;
  games.clear();
  if (!Prepare(db, sql, &s, why) || !Each(db, s, why, [&](sqlite3_stmt* r) { games.push_back(GameAt(r)); }))
    return false;
  std::reverse(games.begin(), games.end());
  return true;
}

bool ReadGame(sqlite3* db, int64_t number, std::optional<GameRow>& game, std::string& why) {
  std::string sql = std::string("SELECT ") + kGameColumns + " FROM games WHERE number = " + std::to_string(number);
  sqlite3_stmt* s = nullptr;
  game.reset();
  return Prepare(db, sql, &s, why) && Each(db, s, why, [&](sqlite3_stmt* r) { game = GameAt(r); });
}

bool ReadEvents(sqlite3* db, int64_t game, std::vector<EventRow>& events, std::string& why) {
  std::string sql = "SELECT seq, ms, kind, detail FROM events WHERE game = " + std::to_string(game) + " ORDER BY seq";
  sqlite3_stmt* s = nullptr;
  events.clear();
  bool bad = false;
  bool ok = Prepare(db, sql, &s, why) && Each(db, s, why, [&](sqlite3_stmt* r) {
              EventRow e{sqlite3_column_int64(r, 0), sqlite3_column_int64(r, 1), Text(r, 2),
                         nlohmann::json::parse(Text(r, 3), nullptr, false)};
              if (e.detail.is_discarded() || !e.detail.is_object()) bad = true;
              events.push_back(std::move(e));
            });
  if (ok && bad) why = "an event's detail is not a JSON object";
  return ok && !bad;
}

nlohmann::ordered_json GameJson(const GameRow& g) {
  nlohmann::ordered_json j;
  j["number"] = g.number;
  j["started"] = g.started;
  j["ended"] = g.ended.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(g.ended);
  j["state"] = g.state;
  j["band"] = g.band ? nlohmann::ordered_json(*g.band) : nlohmann::ordered_json();
  j["payout_balance"] = g.balance ? nlohmann::ordered_json(*g.balance) : nlohmann::ordered_json();
  j["stake"] = g.stake;
  j["continues"] = g.continues;
  j["outcome"] = g.outcome.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(g.outcome);
  j["prize"] = g.prize;
  j["paid"] = g.paid;
  return j;
}

std::string GameLine(const GameRow& g) {
  char line[256];
  std::string outcome = g.state == "finished" ? g.outcome : g.state;
  std::snprintf(line, sizeof line, "%6lld  %s  stake %4lld  continues %lld  %-11s  prize %5lld  %s",
                static_cast<long long>(g.number), g.started.c_str(), static_cast<long long>(g.stake),
                static_cast<long long>(g.continues), outcome.c_str(), static_cast<long long>(g.prize),
                g.paid.c_str());
  return line;
}

int64_t PlayMs(const std::vector<EventRow>& events) {
  for (const EventRow& e : events)
    if (e.kind == "play") return e.ms;
  return events.empty() ? 0 : events.front().ms;
}

std::string DescribeEvent(const EventRow& e, int64_t playMs) {
  const nlohmann::json& d = e.detail;
  char at[32];
  double seconds = static_cast<double>(e.ms - playMs) / 1000.0;
  std::snprintf(at, sizeof at, "%+9.3fs  ", seconds);
  std::string s = at;
  auto num = [&](const char* key) { return std::to_string(d.value(key, 0LL)); };
  auto str = [&](const char* key) { return d.value(key, std::string()); };
  if (e.kind == "start") {
    s += "stake " + num("stake") + "p taken; credit " + num("credit_before") + ", bank " + num("bank_before") +
         " before; payout balance " + num("balance_pence") + "p";
  } else if (e.kind == "credit" && str("result") == "sent") {
    s += "credit server: " + str("request") + " sent";
  } else if (e.kind == "credit") {
    s += "credit server: " + str("request") + " -> " + (str("reply").empty() ? "(no reply)" : str("reply")) + " (" +
         str("result") + ")";
    if (d.value("repeat", 1LL) > 1) s += " x" + num("repeat");
  } else if (e.kind == "play") {
    s += "play begins";
  } else if (e.kind == "touch") {
    s += "touch at (" + num("x") + ", " + num("y") + ")";
  } else if (e.kind == "setup") {
    const auto& t = d.value("targets", nlohmann::json::object());
    s += "band " + num("band") + "; levels: question " + std::to_string(t.value("question", 0)) + ", extra life " +
         std::to_string(t.value("extra_life", 0)) + ", prize " + std::to_string(t.value("prize", 0)) + ", offer " +
         std::to_string(t.value("offer", 0)) + ", no questions " + std::to_string(t.value("no_questions", 0)) +
         ", free pick " + std::to_string(t.value("free_pick", 0)) + "; prize row " + num("prize_row") + " " +
         d.value("prize_values", nlohmann::json::array()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ", top " + num("top_prize") + "p; box order " +
         d.value("box_order", nlohmann::json::array()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "; markers " +
         d.value("markers", nlohmann::json::array()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } else if (e.kind == "player_box") {
    s += "the player's box is box " + std::to_string(d.value("box", 0) + 1);
  } else if (e.kind == "question") {
    s += "question at pick " + num("pick") + " (category " + num("category") + ", " + str("file") + "): \"" +
         str("text") + "\" is " + (d.value("truth", false) ? "true" : "false");
  } else if (e.kind == "answer") {
    std::string said = str("said");
    s += (said == "time_up" ? std::string("time up") : "answered " + said) + ": " +
         (d.value("right", false) ? "right" : "wrong");
  } else if (e.kind == "pick") {
    s += "pick " + num("pick") + ": box " + std::to_string(d.value("box", 0) + 1) + " holds " + num("value") + "p";
  } else if (e.kind == "offer") {
    s += "bank offer " + Pence(d.value("amount", 0LL)) + ": " + (d.value("taken", false) ? "taken" : "left");
  } else if (e.kind == "lives") {
    s += "lives " + num("before") + " -> " + num("after");
  } else if (e.kind == "continue_screen") {
    s += "continue: " + str("result");
  } else if (e.kind == "continue") {
    s += "continue stake " + num("stake") + "p taken";
  } else if (e.kind == "prize") {
    s += "prize won: " + Pence(d.value("amount", 0LL)) + " (owed until paid)";
  } else if (e.kind == "end") {
    s += "game over: " + str("outcome") + ", prize " + num("prize") + "p " + str("paid") + "; credit " +
         num("credit") + ", bank " + num("bank") + " after";
  } else if (e.kind == "interrupted") {
    s += "interrupted; on the next start the due file held [" + str("due_before") + "], then [" +
         str("due_after") + "]; prize " + num("prize") + "p " + str("paid");
  } else if (e.kind == "paid_later") {
    s += "what was owed is paid";
  } else {
    s += e.kind + " " + d.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  for (char& c : s)
    if (c == '\n') c = ' ';
  return s;
}

nlohmann::json MakePlan(const std::vector<EventRow>& events, const std::string& shots) {
  nlohmann::json plan{{"touches", nlohmann::json::array()}, {"credit", nlohmann::json::array()}, {"shots", shots}};
  int64_t play = PlayMs(events);
  for (const EventRow& e : events) {
    if (e.kind == "start") plan["state"] = e.detail;
    if (e.kind == "touch")
      plan["touches"].push_back({{"ms", e.ms - play}, {"x", e.detail.value("x", 0)}, {"y", e.detail.value("y", 0)}});
    if (e.kind == "credit" && e.detail.value("result", "") != "sent")
      plan["credit"].push_back({{"ms", e.ms - play},
                                {"last_ms", e.detail.value("last_ms", e.ms) - play},
                                {"request", e.detail.value("request", "")},
                                {"reply", e.detail.value("reply", "")},
                                {"result", e.detail.value("result", "")}});
    if (e.kind == "end") break;
  }
  return plan;
}

std::string FirstDifference(const std::vector<EventRow>& recorded, const std::vector<EventRow>& replayed) {
  auto a = Decisions(recorded), b = Decisions(replayed);
  for (size_t i = 0; i < a.size(); ++i) {
    std::string want = a[i].first + " " + a[i].second.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (i >= b.size()) return "the replay ended before the recorded " + want;
    std::string got = b[i].first + " " + b[i].second.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (want != got) return "recorded " + want + ", replayed " + got;
  }
  return "";
}

std::optional<double> ParseTime(const std::string& text) {
  int y, mo, d, h = 0, mi = 0, n = 0;
  double sec = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &n) != 3 || n != 10) return std::nullopt;
  size_t pos = 10;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
    int used = 0;
    if (std::sscanf(text.c_str() + pos + 1, "%2d:%2d%n", &h, &mi, &used) != 2 || used != 5) return std::nullopt;
    pos += 1 + used;
    if (pos < text.size() && text[pos] == ':') {
      char* end = nullptr;
      sec = std::strtod(text.c_str() + pos + 1, &end);
      if (end == text.c_str() + pos + 1) return std::nullopt;
      pos = static_cast<size_t>(end - text.c_str());
    }
    if (h > 23 || mi > 59 || sec < 0 || sec >= 61) return std::nullopt;
  }
  double base = static_cast<double>(Days(y, mo, d)) * 86400 + h * 3600 + mi * 60 + sec;
  if (pos == text.size()) {
    // No zone: the cabinet's local time.
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<double>(t) + sec;
  }
  if (text.substr(pos) == "Z") return base;
  int oh, om, used = 0;
  char sign = text[pos];
  if ((sign != '+' && sign != '-') || std::sscanf(text.c_str() + pos + 1, "%2d:%2d%n", &oh, &om, &used) != 2 ||
      pos + 1 + used != text.size())
    return std::nullopt;
  double offset = oh * 3600 + om * 60;
  return sign == '+' ? base - offset : base + offset;
}

void MatchMoney(const std::vector<Money>& journal, const std::vector<Money>& ledger, double tolerance,
                std::vector<Money>& journalOnly, std::vector<Money>& ledgerOnly) {
  constexpr double kNear = 2;
  journalOnly.clear();
  ledgerOnly.clear();
  std::vector<size_t> byTime(ledger.size());
  for (size_t i = 0; i < byTime.size(); ++i) byTime[i] = i;
  std::sort(byTime.begin(), byTime.end(), [&](size_t a, size_t b) { return ledger[a].when < ledger[b].when; });
  // Every pair that could be the same movement, closest first: a missing movement then shows as
  // itself rather than pushing its neighbours out of place. Sure movements pair before those
  // whose reply was lost, so an uncertain one never takes a row a sure one needs.
  struct Pair {
    bool uncertain;
    double gap;
    size_t j, l;
  };
  std::vector<Pair> pairs;
  for (size_t j = 0; j < journal.size(); ++j) {
    const Money& m = journal[j];
    auto from = std::lower_bound(byTime.begin(), byTime.end(), m.when - tolerance,
                                 [&](size_t i, double t) { return ledger[i].when < t; });
    for (auto it = from; it != byTime.end() && ledger[*it].when <= m.when + tolerance; ++it)
      if (ledger[*it].command == m.command && ledger[*it].amount == m.amount)
        pairs.push_back({!m.certain, std::fabs(ledger[*it].when - m.when), j, *it});
  }
  // The two clocks are one: a movement and its row lie milliseconds apart, so pairs that close
  // are taken before any wider one.
  auto near = [&](const Pair& p) { return p.gap <= kNear; };
  std::sort(pairs.begin(), pairs.end(), [&](const Pair& a, const Pair& b) {
    if (a.uncertain != b.uncertain) return !a.uncertain;
    if (near(a) != near(b)) return near(a);
    return a.gap < b.gap;
  });
  std::vector<bool> journalUsed(journal.size(), false), ledgerUsed(ledger.size(), false);
  for (const Pair& p : pairs) {
    if (journalUsed[p.j] || ledgerUsed[p.l]) continue;
    journalUsed[p.j] = ledgerUsed[p.l] = true;
  }
  for (size_t j = 0; j < journal.size(); ++j)
    if (!journalUsed[j] && journal[j].certain) journalOnly.push_back(journal[j]);
  for (size_t i = 0; i < ledger.size(); ++i)
    if (!ledgerUsed[i]) ledgerOnly.push_back(ledger[i]);
}

bool ReadJournalMoney(sqlite3* db, std::vector<Money>& out, std::string& why) {
  sqlite3_stmt* s = nullptr;
  out.clear();
  bool bad = false;
  // A command is written as sent before it goes and again with its outcome: one that never got
  // an outcome (the game was killed) may or may not have moved money.
  std::vector<Money> sent;
  int64_t gameOfSent = -1;
  auto unanswered = [&] {
    for (Money& m : sent) out.push_back(m);
    sent.clear();
  };
  bool ok = Prepare(db, "SELECT game, detail FROM events WHERE kind = 'credit' ORDER BY game, seq", &s, why) &&
            Each(db, s, why, [&](sqlite3_stmt* r) {
              auto d = nlohmann::json::parse(Text(r, 1), nullptr, false);
              if (!d.is_object()) {
                bad = true;
                return;
              }
              std::string request = d.value("request", ""), result = d.value("result", "");
              size_t comma = request.find(',');
              std::string command = request.substr(0, comma);
              if ((command != "CUSE" && command != "BADD" && command != "CADD") || comma == std::string::npos) return;
              Money m;
              m.time = d.value("time", "");
              auto when = ParseTime(m.time);
              if (!when) return;
              m.when = *when;
              m.command = command;
              m.amount = std::atoll(request.c_str() + comma + 1);
              m.game = sqlite3_column_int64(r, 0);
              m.certain = result == "done";
              if (m.game != gameOfSent) unanswered();
              gameOfSent = m.game;
              if (result == "sent") {
                sent.push_back(m);
                return;
              }
              for (auto it = sent.begin(); it != sent.end(); ++it)
                if (it->command == m.command && it->amount == m.amount) {
                  sent.erase(it);
                  break;
                }
              if (result != "refused") out.push_back(m);
            });
  unanswered();
  if (ok && bad) why = "an event's detail is not a JSON object";
  return ok && !bad;
}

bool ReadLedgerMoney(sqlite3* db, std::vector<Money>& out, std::string& why) {
  sqlite3_stmt* s = nullptr;
  out.clear();
  return Prepare(db,
                 "SELECT time, command, amount FROM journal WHERE source = 'game' AND command IN ('CUSE', 'BADD',"
                 " 'CADD') ORDER BY id",
                 &s, why) &&
         Each(db, s, why, [&](sqlite3_stmt* r) {
           Money m;
           m.time = Text(r, 0);
           m.command = Text(r, 1);
           m.amount = sqlite3_column_int64(r, 2);
           if (auto when = ParseTime(m.time)) m.when = *when;
           out.push_back(m);
         });
}

}  // namespace recall
