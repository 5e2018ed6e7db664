// quibblo-recall: the operator's recall of the cabinet's games from its journal.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "cli/cli.h"
#include "tools/recall/recall.h"

namespace {
using namespace recall;

const char kDescription[] =
    "quibblo-recall: the games the cabinet played, from the journal the game keeps beside its record\n"
    "file (data/journal.db in the cabinet's folder): list them, show one's whole story, play one\n"
    "again, and match the journal's stakes and prizes against the credit server's ledger.";

const char kFooter[] =
    "Exit codes:\n"
    "  0   done; a replay agrees with the journal; match finds nothing missing\n"
    "  1   a replay differs from the journal, or match finds movements one side lacks\n"
    "  64  a malformed command line, or no such game\n"
    "  65  the journal or the ledger is damaged (not a database of its kind)\n"
    "  66  no journal, or no ledger\n";

std::string dir = ".";

std::string JournalPath() { return dir + "/data/journal.db"; }

int OpenJournal(sqlite3** db) {
  std::string why;
  int code = OpenReadOnly(JournalPath(), "games", kGameColumns, db, why);
  if (code == kExitOk) code = OpenReadOnly(JournalPath(), "events", "game, seq, ms, kind, detail", db, why);
  if (code != kExitOk) std::cerr << "quibblo-recall: journal " << why << "\n";
  return code;
}

int Damaged(sqlite3* db, const std::string& why) {
  std::cerr << "quibblo-recall: journal " << JournalPath() << " is damaged: " << why << "\n";
  sqlite3_close_v2(db);
  return kExitDamaged;
}

int List(int64_t last, bool json) {
  sqlite3* db;
  if (int code = OpenJournal(&db); code != kExitOk) return code;
  std::vector<GameRow> games;
  std::string why;
  if (!ReadGames(db, last, games, why)) return Damaged(db, why);
  sqlite3_close_v2(db);
  if (json) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const GameRow& g : games) out.push_back(GameJson(g));
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  if (games.empty()) std::cout << "no games in the journal\n";
  for (const GameRow& g : games) std::cout << GameLine(g) << "\n";
  return kExitOk;
}

// The game and its events, or the exit code to end with.
int LoadGame(int64_t number, GameRow& game, std::vector<EventRow>& events) {
  sqlite3* db;
  if (int code = OpenJournal(&db); code != kExitOk) return code;
  std::optional<GameRow> found;
  std::string why;
  if (!ReadGame(db, number, found, why) || (found && !ReadEvents(db, number, events, why))) return Damaged(db, why);
  sqlite3_close_v2(db);
  if (!found) {
    std::cerr << "quibblo-recall: no game " << number << " in the journal (`quibblo-recall list` names them)\n";
    return kExitUsage;
  }
  game = *found;
  return -1;
}

int Show(int64_t number, bool json) {
  GameRow game;
  std::vector<EventRow> events;
  if (int code = LoadGame(number, game, events); code >= 0) return code;
  if (json) {
    nlohmann::ordered_json out;
    out["game"] = GameJson(game);
    out["events"] = nlohmann::ordered_json::array();
    for (const EventRow& e : events)
      out["events"].push_back({{"seq", e.seq}, {"ms", e.ms}, {"kind", e.kind}, {"detail", e.detail}});
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return kExitOk;
  }
  std::cout << "game " << game.number << ": started " << game.started << ", "
            << (game.ended.empty() ? "not ended" : "ended " + game.ended) << "; " << game.state << "\n"
            << "stake " << game.stake << "p with " << game.continues << " continue(s); outcome "
            << (game.outcome.empty() ? "-" : game.outcome) << "; prize " << game.prize << "p " << game.paid << "\n";
  int64_t play = PlayMs(events);
  for (const EventRow& e : events) std::cout << DescribeEvent(e, play) << "\n";
  return kExitOk;
}

std::string Absolute(const std::string& path) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real)) return real;
  return path;
}

// The game beside this program.
std::string GameProgram() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "quibblo";
  self[n] = '\0';
  std::string path(self);
  return path.substr(0, path.rfind('/') + 1) + "quibblo";
}

// A cabinet folder of its own: the data tree linked in, nothing of the real cabinet's records.
bool MakeReplayCabinet(std::string& temp, std::string& why) {
  char pattern[] = "/tmp/quibblo-replay-XXXXXX";
  if (!mkdtemp(pattern)) {
    why = std::string("cannot make a folder in /tmp: ") + std::strerror(errno);
    return false;
  }
  temp = pattern;
  std::string source = Absolute(dir);
  DIR* d = opendir(source.c_str());
  if (!d) {
    why = "cannot read " + source;
    return false;
  }
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == ".." || name == "data" || name == "~system") continue;
    struct stat st;
    std::string from = source + "/" + name;
    if (stat(from.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;  // the data tree is folders
    if (symlink(from.c_str(), (temp + "/" + name).c_str()) != 0) {
      why = "cannot link " + from;
      closedir(d);
      return false;
    }
  }
  closedir(d);
  return true;
}

void RemoveTree(const std::string& path) {
  DIR* d = opendir(path.c_str());
  if (d) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string full = path + "/" + name;
      struct stat st;
      if (lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveTree(full);
      else unlink(full.c_str());
    }
    closedir(d);
  }
  rmdir(path.c_str());
}

// Runs the game in `cabinet`; its output goes to cabinet/replay.log.
int RunGame(const std::string& cabinet) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (chdir(cabinet.c_str()) != 0) _exit(127);
    int log = open("replay.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, 1);
      dup2(log, 2);
    }
    std::string program = GameProgram();
    execl(program.c_str(), program.c_str(), "--headless", "--virtual-clock", "--replay", "plan.json",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

int Replay(int64_t number, const std::string& shots, bool keep) {
  GameRow game;
  std::vector<EventRow> events;
  if (int code = LoadGame(number, game, events); code >= 0) return code;
  bool started = false;
  for (const EventRow& e : events) started = started || e.kind == "start";
  if (!started) {
    std::cerr << "quibblo-recall: game " << number << " has no state to start from: it cannot be replayed\n";
    return kExitDamaged;
  }
  if (mkdir(shots.c_str(), 0755) != 0 && errno != EEXIST) {
    std::cerr << "quibblo-recall: cannot make " << shots << ": " << std::strerror(errno) << "\n";
    return kExitUsage;
  }
  std::string temp, why;
  if (!MakeReplayCabinet(temp, why)) {
    std::cerr << "quibblo-recall: " << why << "\n";
    if (!temp.empty()) RemoveTree(temp);
    return kExitUsage;
  }
  std::ofstream(temp + "/plan.json") << MakePlan(events, Absolute(shots)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  int code = RunGame(temp);
  std::string log = ReadText(temp + "/replay.log");
  sqlite3* db = nullptr;
  std::vector<EventRow> replayed;
  std::string openWhy;
  if (OpenReadOnly(temp + "/data/journal.db", "events", "game, seq, ms, kind, detail", &db, openWhy) == kExitOk) {
    ReadEvents(db, 1, replayed, openWhy);
    sqlite3_close_v2(db);
  }
  std::string difference = FirstDifference(events, replayed);
  if (keep) std::cerr << "quibblo-recall: the replay's cabinet is kept in " << temp << "\n";
  else RemoveTree(temp);
  if (code != 0 || !difference.empty()) {
    std::cout << "game " << number << ": the replay differs: "
              << (difference.empty() ? "the game ended with code " + std::to_string(code) : difference) << "\n";
    if (!log.empty()) std::cout << "the replayed game said:\n" << log;
    return kExitDiffers;
  }
  int questions = 0, picks = 0, offers = 0;
  for (const EventRow& e : events) {
    questions += e.kind == "question";
    picks += e.kind == "pick";
    offers += e.kind == "offer";
  }
  std::cout << "game " << number << ": the replay agrees: " << questions << " questions, " << picks << " picks, "
            << offers << " offers";
  if (game.state == "finished")
    std::cout << ", outcome " << game.outcome << ", prize " << game.prize << "p, the same last screen";
  else
    std::cout << " (the recorded game was " << game.state << ")";
  std::cout << "; screenshots in " << shots << "\n";
  return kExitOk;
}

int Match(const std::string& ledgerPath, const std::string& since, const std::string& until) {
  std::optional<double> from, to;
  if (!since.empty() && !(from = ParseTime(since))) {
    std::cerr << "quibblo-recall: --since: not an ISO 8601 time: " << since << "\n";
    return kExitUsage;
  }
  if (!until.empty() && !(to = ParseTime(until))) {
    std::cerr << "quibblo-recall: --until: not an ISO 8601 time: " << until << "\n";
    return kExitUsage;
  }
  sqlite3* db;
  if (int code = OpenJournal(&db); code != kExitOk) return code;
  std::vector<Money> journal, ledger;
  std::vector<GameRow> oldest;
  std::string why;
  if (!ReadJournalMoney(db, journal, why) || !ReadGames(db, 0, oldest, why)) return Damaged(db, why);
  sqlite3_close_v2(db);
  sqlite3* ldb;
  if (int code = OpenReadOnly(ledgerPath, "journal", "time, source, command, amount", &ldb, why); code != kExitOk) {
    std::cerr << "quibblo-recall: ledger " << why << "\n";
    return code;
  }
  if (!ReadLedgerMoney(ldb, ledger, why)) {
    std::cerr << "quibblo-recall: ledger " << ledgerPath << " is damaged: " << why << "\n";
    sqlite3_close_v2(ldb);
    return kExitDamaged;
  }
  sqlite3_close_v2(ldb);
  // Games pruned from the journal are not missing: the ledger is read from the oldest one kept.
  if (!from && !oldest.empty()) {
    if (auto first = ParseTime(oldest.front().started)) from = *first - 60;
  }
  auto inside = [&](const Money& m) { return (!from || m.when >= *from) && (!to || m.when <= *to); };
  std::vector<Money> j, l, journalOnly, ledgerOnly;
  for (const Money& m : journal)
    if (inside(m)) j.push_back(m);
  for (const Money& m : ledger)
    if (inside(m)) l.push_back(m);
  MatchMoney(j, l, 120, journalOnly, ledgerOnly);
  auto what = [](const Money& m) {
    return std::string(m.command == "CUSE" ? "stake" : m.command == "BADD" ? "prize to the bank" : "prize to the credit") +
           " " + std::to_string(m.amount) + "p (" + m.command + ")";
  };
  for (const Money& m : journalOnly)
    std::cout << m.time << "  game " << m.game << ": " << what(m) << " in the journal, not in the ledger\n";
  for (const Money& m : ledgerOnly)
    std::cout << m.time << "  " << what(m) << " in the ledger, with no game in the journal\n";
  std::cout << j.size() << " journal movements, " << l.size() << " ledger movements: "
            << journalOnly.size() + ledgerOnly.size() << " unmatched\n";
  return journalOnly.empty() && ledgerOnly.empty() ? kExitOk : kExitDiffers;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app(kDescription, "quibblo-recall");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--dir", dir, "the cabinet's working folder (default the current one)")->type_name("DIR");

  int64_t last = 0, number = 0;
  bool json = false, keep = false;
  std::string shots, ledger, since, until;
  CLI::App* list = app.add_subcommand("list", "one line a game, newest last: number, start time, stake, continues, "
                                              "outcome, prize, and whether it was paid or is owed");
  list->add_option("--last", last, "only the newest N games")->type_name("N")->check(CLI::PositiveNumber);
  list->add_flag("--json", json, "an array of objects with the games table's columns");
  CLI::App* show = app.add_subcommand("show", "the whole story of game N");
  show->add_option("N", number, "the game's number")->required();
  show->add_flag("--json", json, "one object: game (as list --json) and events (seq, ms, kind, detail)");
  CLI::App* replay = app.add_subcommand(
      "replay", "plays game N again headless on the virtual clock from its recorded state and touches, in a "
                "cabinet folder of its own; a screenshot at every touch and at the end");
  replay->add_option("N", number, "the game's number")->required();
  replay->add_option("--shots", shots, "where the screenshots go (made if missing)")->type_name("DIR")->required();
  replay->add_flag("--keep", keep, "keep the replay's cabinet folder and say where it is");
  CLI::App* match = app.add_subcommand(
      "match", "every stake and prize that the journal and the credit server's ledger do not both hold");
  match->add_option("--db", ledger, "the ledger (quibblo-credit's SQLite file), opened read-only")
      ->type_name("LEDGER")
      ->required();
  match->add_option("--since", since, "from this ISO 8601 time (default: the oldest game kept)")->type_name("T");
  match->add_option("--until", until, "up to this ISO 8601 time")->type_name("T");

  if (int code = cli::Parse(app, argc, argv); code >= 0) return code;
  if (*list) return List(last, json);
  if (*show) return Show(number, json);
  if (*replay) return Replay(number, shots, keep);
  return Match(ledger, since, until);
}
