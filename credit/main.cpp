// quibblo-credit: the credit server and the operator's commands on its ledger.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "credit/ledger.h"
#include "credit/protocol.h"
#include "credit/server.h"
#include "credit/sockets.h"

using namespace credit;
using nlohmann::ordered_json;

namespace {
constexpr int kExitRefused = 1;
constexpr int kExitNoLedger = 66;
constexpr int kExitUnsettled = 75;  // the disk failed: whether it was booked the next start tells
constexpr double kSettleSeconds = 20;

const char kFooter[] =
    "Amounts are whole pence. The ledger is one SQLite file; the operator's commands may run\n"
    "while the server does. Only serve (and insert --create) make a new ledger.\n"
    "\n"
    "Exit codes:\n"
    "  0   done\n"
    "  1   refused (a movement the ledger's rules forbid), or the ledger unreadable or out of balance\n"
    "  64  a malformed command line\n"
    "  66  no ledger at the --db path\n"
    "  75  insert or collect could not tell, after 20 s of disk errors, whether it was booked;\n"
    "      the server's next start reports it\n";

// 1234 -> "1234p (£12.34)"
std::string Pence(int64_t p) {
  char text[64];
  long long v = static_cast<long long>(p);
  std::snprintf(text, sizeof text, "%lldp (%s\xC2\xA3%lld.%02lld)", v, v < 0 ? "-" : "",
                (v < 0 ? -v : v) / 100, (v < 0 ? -v : v) % 100);
  return text;
}

void PrintJson(const ordered_json& doc) { std::printf("%s\n", doc.dump().c_str()); }

// The operator's commands other than a first insert never make a ledger: a wrong --db or
// working folder must not show a fresh, empty cabinet.
bool OpenLedger(Ledger& ledger, const std::string& path, bool create, int& code, bool readOnly = false) {
  struct stat st {};
  if (!create && (stat(path.c_str(), &st) != 0 || (S_ISREG(st.st_mode) && st.st_size == 0))) {
    std::fprintf(stderr,
                 "quibblo-credit: no ledger at %s (the server makes one when it first starts, or "
                 "insert --create); check --db and the working folder\n",
                 path.c_str());
    code = kExitNoLedger;
    return false;
  }
  std::string error;
  ledger.SetSettleSeconds(kSettleSeconds);
  if (ledger.Open(path, error, readOnly)) return true;
  std::fprintf(stderr, "quibblo-credit: ledger %s: %s\n", path.c_str(), error.c_str());
  code = kExitRefused;
  return false;
}

int Insert(const std::string& db, int64_t amount, bool create, bool json) {
  Ledger ledger;
  int code = 0;
  if (!OpenLedger(ledger, db, create, code)) return code;
  Decision d = ledger.Apply(Source::Operator, Movement::Insert, amount);
  if (!d.accepted) {
    std::fprintf(stderr, "quibblo-credit: insert refused: %s\n", d.reason.c_str());
    return d.unsettled ? kExitUnsettled : kExitRefused;
  }
  if (json)
    PrintJson({{"inserted", amount}, {"credit", d.after.credit}});
  else
    std::printf("insert: %s\ncredit: %lld\n", Pence(amount).c_str(),
                static_cast<long long>(d.after.credit));
  return 0;
}

int Collect(const std::string& db, bool json) {
  Ledger ledger;
  int code = 0;
  if (!OpenLedger(ledger, db, false, code)) return code;
  Balances before;
  Decision d = ledger.Apply(Source::Operator, Movement::Collect, 0, &before);
  if (!d.accepted) {
    std::fprintf(stderr, "quibblo-credit: collect refused: %s\n", d.reason.c_str());
    return d.unsettled ? kExitUnsettled : kExitRefused;
  }
  int64_t paid = before.bank + before.payoutDue;
  if (json)
    PrintJson({{"paid", paid}});
  else
    std::printf("collect: paid %s\n", Pence(paid).c_str());
  return 0;
}

int Status(const std::string& db, bool json) {
  Ledger ledger;
  Balances b;
  int code = 0;
  if (!OpenLedger(ledger, db, false, code, true)) return code;
  if (!ledger.Read(b)) return kExitRefused;
  if (json) {
    PrintJson({{"credit", b.credit}, {"bank", b.bank}, {"payout_due", b.payoutDue}});
    return 0;
  }
  auto n = [](int64_t v) { return static_cast<long long>(v); };
  std::printf("credit: %lld\nbank: %lld\npayout_due: %lld\n", n(b.credit), n(b.bank), n(b.payoutDue));
  std::printf("money: %s credit, %s bank, %s held for payout\n", Pence(b.credit).c_str(),
              Pence(b.bank).c_str(), Pence(b.payoutDue).c_str());
  PortState port = ReadPortState(kPort);
  if (!port.readable) {
    std::printf("server: unknown (the socket table cannot be read)\n");
  } else {
    std::printf("server: %s\n", port.listening ? "running on 127.0.0.1:6667"
                                               : "not running (nothing listens on 127.0.0.1:6667)");
    if (port.connected == 0)
      std::printf("game: not connected\n");
    else if (port.connected == 1)
      std::printf("game: connected\n");
    else
      std::printf("game: connected (%d clients)\n", port.connected);
  }
  return 0;
}

int ShowLedger(const std::string& db, bool json) {
  Ledger ledger;
  std::vector<JournalRow> rows;
  int code = 0;
  if (!OpenLedger(ledger, db, false, code, true)) return code;
  if (!ledger.Journal(rows)) return kExitRefused;
  if (json) {
    // One movement a line, so a long journal stays readable and greppable.
    std::fputs("[", stdout);
    for (size_t i = 0; i < rows.size(); ++i) {
      const JournalRow& r = rows[i];
      ordered_json row = {{"time", r.time}, {"source", r.source}, {"command", r.command},
                          {"amount", r.amount}, {"credit_before", r.before.credit},
                          {"bank_before", r.before.bank}, {"payout_due_before", r.before.payoutDue},
                          {"credit_after", r.after.credit}, {"bank_after", r.after.bank},
                          {"payout_due_after", r.after.payoutDue}};
      std::printf("%s\n  %s", i ? "," : "", row.dump().c_str());
    }
    std::fputs(rows.empty() ? "]\n" : "\n]\n", stdout);
    return 0;
  }
  auto n = [](int64_t v) { return static_cast<long long>(v); };
  for (const JournalRow& r : rows)
    std::printf("%s %-8s %-7s %7lldp  credit %lldp -> %lldp  bank %lldp -> %lldp  due %lldp -> %lldp\n",
                r.time.c_str(), r.source.c_str(), r.command.c_str(), n(r.amount), n(r.before.credit),
                n(r.after.credit), n(r.before.bank), n(r.after.bank), n(r.before.payoutDue),
                n(r.after.payoutDue));
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app("The credit server of the Quibblo cabinet, and the operator's commands on its ledger.",
               "quibblo-credit");
  app.footer(kFooter);
  app.require_subcommand(1);
  std::string db = "credit.db";
  bool json = false, create = false;
  std::string amountText;
  auto withDb = [&](CLI::App* c) {
    c->add_option("--db", db, "the ledger, an SQLite file")->type_name("PATH")->capture_default_str();
  };
  auto withJson = [&](CLI::App* c, const char* what) { c->add_flag("--json", json, what); };

  CLI::App* serve = app.add_subcommand(
      "serve", "serve the game's protocol on 127.0.0.1 port 6667 until SIGTERM or SIGINT; makes the "
               "ledger if there is none");
  withDb(serve);
  ServeOptions serveOptions;
  serve->add_option("--game-uid", serveOptions.gameUid,
                    "the only account that may move money (default: the server's own)")->type_name("UID")
      ->check(CLI::Range(0, 2147483647));
  serve->add_option("--payout-cap", serveOptions.payoutCap,
                    "the most that may be held for payout, in pence; a prize past it is refused")
      ->type_name("PENCE")->capture_default_str()->check(CLI::Range(int64_t{0}, int64_t{2147483647}));
  serve->add_option("--idle-timeout", serveOptions.idleSeconds, "seconds a silent client is kept before it is closed")
      ->type_name("SECONDS")->capture_default_str()->check(CLI::Range(1.0, 2147483647.0));
  CLI::App* insert = app.add_subcommand("insert", "money inserted by the player into the credit");
  insert->add_option("AMOUNT", amountText, "pence, a whole number from 1 to 999999")->required();
  withDb(insert);
  insert->add_flag("--create", create, "make the ledger if there is none (a new cabinet)");
  withJson(insert, "print {\"inserted\": N, \"credit\": N} instead");
  CLI::App* collect = app.add_subcommand(
      "collect", "pay out the bank and anything held for payout: prints the amount, sets them to 0");
  withDb(collect);
  withJson(collect, "print {\"paid\": N} instead");
  CLI::App* status = app.add_subcommand(
      "status", "credit, bank and payout_due in pence, then whether the server runs and a game is "
                "connected");
  withDb(status);
  withJson(status, "print one object {\"credit\", \"bank\", \"payout_due\"} instead");
  CLI::App* ledger = app.add_subcommand("ledger", "every money movement, oldest first");
  withDb(ledger);
  withJson(ledger, "print an array of objects, one a movement, instead");

  if (int code = cli::Parse(app, argc, argv); code >= 0) return code;
  if (db.empty()) return cli::Fail(app, "--db needs a path");
  if (serve->parsed()) {
    serveOptions.db = db;
    return Serve(serveOptions);
  }
  if (insert->parsed()) {
    int64_t amount = ParseAmount(amountText);
    if (amount < 0) return cli::Fail(app, "AMOUNT must be a whole number of pence from 1 to 999999");
    return Insert(db, amount, create, json);
  }
  if (collect->parsed()) return Collect(db, json);
  if (status->parsed()) return Status(db, json);
  return ShowLedger(db, json);
}
