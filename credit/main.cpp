// quibblo-credit: the credit server and the operator's commands on its ledger.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "credit/ledger.h"
#include "credit/protocol.h"
#include "credit/server.h"

using namespace credit;

namespace {
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 64;
constexpr int kExitUnsettled = 75;  // the disk failed: whether it was booked the next start tells
constexpr double kSettleSeconds = 20;

const char kUsage[] =
    "usage: quibblo-credit serve [--db PATH] [--game-uid UID] [--payout-cap PENCE]\n"
    "                            [--idle-timeout SECONDS]\n"
    "       quibblo-credit insert AMOUNT [--db PATH]\n"
    "       quibblo-credit collect [--db PATH]\n"
    "       quibblo-credit status [--db PATH] [--json]\n"
    "       quibblo-credit ledger [--db PATH] [--json]\n";

struct Arguments {
  std::string command, db = "credit.db";
  std::vector<std::string> positional;
  bool json = false;
  ServeOptions serve;
  bool serveOptions = false;
};

bool Number(const char* text, long long low, long long high, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return *text && !*end && errno == 0 && value >= low && value <= high;
}

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "quibblo-credit: %s\n", problem);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool ParseArguments(int argc, char** argv, Arguments& a, std::string& problem) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--db") {
      if (++i >= argc || !*argv[i]) return problem = "--db needs a path", false;
      a.db = argv[i];
    } else if (arg == "--game-uid" || arg == "--payout-cap" || arg == "--idle-timeout") {
      long long v = 0;
      if (++i >= argc || !Number(argv[i], arg == "--idle-timeout" ? 1 : 0, 2147483647, v))
        return problem = arg + " needs a whole number", false;
      if (arg == "--game-uid") a.serve.gameUid = static_cast<int>(v);
      if (arg == "--payout-cap") a.serve.payoutCap = v;
      if (arg == "--idle-timeout") a.serve.idleSeconds = static_cast<double>(v);
      a.serveOptions = true;
    } else if (arg == "--help") {
      a.command = arg;
    } else if (arg == "--json") {
      a.json = true;
    } else if (arg.rfind("--", 0) == 0) {
      return problem = "unknown option " + arg, false;
    } else if (a.command.empty()) {
      a.command = arg;
    } else {
      a.positional.push_back(arg);
    }
  }
  return true;
}

bool OpenLedger(Ledger& ledger, const std::string& path, bool readOnly = false) {
  std::string error;
  ledger.SetSettleSeconds(kSettleSeconds);
  if (ledger.Open(path, error, readOnly)) return true;
  std::fprintf(stderr, "quibblo-credit: ledger %s: %s\n", path.c_str(), error.c_str());
  return false;
}

int Insert(const Arguments& a) {
  if (a.positional.size() != 1) return Usage("insert needs one AMOUNT");
  int64_t amount = ParseAmount(a.positional[0]);
  if (amount < 0) return Usage("AMOUNT must be a whole number of pence from 1 to 999999");
  Ledger ledger;
  if (!OpenLedger(ledger, a.db)) return kExitRefused;
  Decision d = ledger.Apply(Source::Operator, Movement::Insert, amount);
  if (!d.accepted) {
    std::fprintf(stderr, "quibblo-credit: insert refused: %s\n", d.reason.c_str());
    return d.unsettled ? kExitUnsettled : kExitRefused;
  }
  std::printf("credit: %lld\n", static_cast<long long>(d.after.credit));
  return 0;
}

int Collect(const Arguments& a) {
  if (!a.positional.empty()) return Usage("collect takes no arguments");
  Ledger ledger;
  if (!OpenLedger(ledger, a.db)) return kExitRefused;
  Balances before;
  Decision d = ledger.Apply(Source::Operator, Movement::Collect, 0, &before);
  if (!d.accepted) {
    std::fprintf(stderr, "quibblo-credit: collect refused: %s\n", d.reason.c_str());
    return d.unsettled ? kExitUnsettled : kExitRefused;
  }
  std::printf("%lld\n", static_cast<long long>(before.bank + before.payoutDue));
  return 0;
}

int Status(const Arguments& a) {
  if (!a.positional.empty()) return Usage("status takes no arguments");
  Ledger ledger;
  Balances b;
  if (!OpenLedger(ledger, a.db, true) || !ledger.Read(b)) return kExitRefused;
  auto n = [](int64_t v) { return static_cast<long long>(v); };
  if (a.json)
    std::printf("{\"credit\": %lld, \"bank\": %lld, \"payout_due\": %lld}\n", n(b.credit),
                n(b.bank), n(b.payoutDue));
  else
    std::printf("credit: %lld\nbank: %lld\npayout_due: %lld\n", n(b.credit), n(b.bank),
                n(b.payoutDue));
  return 0;
}

int ShowLedger(const Arguments& a) {
  if (!a.positional.empty()) return Usage("ledger takes no arguments");
  Ledger ledger;
  std::vector<JournalRow> rows;
  if (!OpenLedger(ledger, a.db, true) || !ledger.Journal(rows)) return kExitRefused;
  auto n = [](int64_t v) { return static_cast<long long>(v); };
  if (a.json) std::fputs("[", stdout);
  for (size_t i = 0; i < rows.size(); ++i) {
    const JournalRow& r = rows[i];
    if (a.json)
      std::printf(
          "%s\n  {\"time\": \"%s\", \"source\": \"%s\", \"command\": \"%s\", \"amount\": %lld, "
          "\"credit_before\": %lld, \"bank_before\": %lld, \"payout_due_before\": %lld, "
          "\"credit_after\": %lld, \"bank_after\": %lld, \"payout_due_after\": %lld}",
          i ? "," : "", r.time.c_str(), r.source.c_str(), r.command.c_str(), n(r.amount),
          n(r.before.credit), n(r.before.bank), n(r.before.payoutDue), n(r.after.credit),
          n(r.after.bank), n(r.after.payoutDue));
    else
      std::printf("%s %-8s %-7s %7lld  credit %lld -> %lld  bank %lld -> %lld  due %lld -> %lld\n",
                  r.time.c_str(), r.source.c_str(), r.command.c_str(), n(r.amount),
                  n(r.before.credit), n(r.after.credit), n(r.before.bank), n(r.after.bank),
                  n(r.before.payoutDue), n(r.after.payoutDue));
  }
  if (a.json) std::fputs(rows.empty() ? "]\n" : "\n]\n", stdout);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  Arguments a;
  std::string problem;
  if (!ParseArguments(argc, argv, a, problem)) return Usage(problem.c_str());
  if (a.command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (a.command == "serve") {
    if (!a.positional.empty() || a.json) return Usage("serve takes only --db and its own options");
    a.serve.db = a.db;
    return Serve(a.serve);
  }
  if (a.serveOptions) return Usage("--game-uid, --payout-cap and --idle-timeout are for serve");
  if (a.command == "insert") return Insert(a);
  if (a.command == "collect") return Collect(a);
  if (a.command == "status") return Status(a);
  if (a.command == "ledger") return ShowLedger(a);
  return Usage(a.command.empty() ? "no command" : ("unknown command " + a.command).c_str());
}
