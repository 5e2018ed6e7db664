// quibblo-meters: the operator's accounting report of a record file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "machine/meter_table.h"
#include "machine/record_format.h"
#include "tools/meters/html_report.h"
#include "tools/meters/journal.h"

namespace {
constexpr int kStake = 50;
constexpr int kExitUnreadable = 1;
constexpr int kExitNotARecord = 65;
constexpr int kExitCannotWrite = 73;

const char kFooter[] =
    "The report: the payout balance (pence, the game's running sum of prizes paid against its\n"
    "share of the stakes: it steers the payout band), every non-zero meter with its meaning, and\n"
    "the figures derived from them: games paid, stakes taken, prizes won and the return to player,\n"
    "prizes as a percentage of stakes. Boxes are numbered 1 to 20 as the board shows them.\n"
    "--json prints one object: file_size, payout_balance (pence, null if not a number), meters\n"
    "(all 453 in order), trailer (the text after the meters), games_paid, continues_bought,\n"
    "stakes_taken and prizes_won (pence), games_with_prize, return_to_player_percent.\n"
    "--html OUT writes one self-contained HTML page instead (no network needed to view it): the\n"
    "totals, the return to player game by game and the last games (from the game journal), games\n"
    "per payout band, the prize distribution and the meters. Without a journal the page says the\n"
    "game history is not available and shows the rest.\n"
    "\n"
    "Exit codes:\n"
    "  0   report printed (or the page written)\n"
    "  1   the file cannot be read\n"
    "  64  a malformed command line\n"
    "  65  the file is not a record file (with --force: reported as far as it goes, still 65)\n"
    "  73  the --html page cannot be written\n";

// Written beside and renamed over, so a reader never sees half a page.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& why) {
  std::string temp = path + ".part";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    why = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (!ok) why = std::strerror(errno);
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) std::remove(temp.c_str());
  return ok;
}

void PrintJson(const RecordValues& v, const std::string& trailer, const MeterFigures& f, size_t size) {
  nlohmann::ordered_json doc;
  doc["file_size"] = size;
  if (std::isfinite(v.balance)) {
    // The float as its nine digits give it, not as its widening to double would print.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.9g", static_cast<double>(v.balance));
    doc["payout_balance"] = std::strtod(digits, nullptr);
  } else {
    doc["payout_balance"] = nullptr;  // a damaged file may hold no number here
  }
  doc["meters"] = std::vector<int32_t>(v.meters, v.meters + kRecordMeterCount);
  doc["trailer"] = Latin1ToUtf8(trailer);
  doc["games_paid"] = f.gamesPaid;
  doc["continues_bought"] = f.continuesBought;
  doc["stakes_taken"] = f.stakesTaken;
  doc["prizes_won"] = f.prizesWon;
  doc["games_with_prize"] = f.gamesWithPrize;
  doc["return_to_player_percent"] = std::round(f.returnToPlayer * 100) / 100;
  std::printf("%s\n", doc.dump().c_str());
}

void PrintText(const std::string& path, const RecordValues& v, const std::string& trailer,
               const MeterFigures& f, size_t size) {
  std::printf("Record file: %s (%zu bytes)\n", path.c_str(), size);
  if (size < static_cast<size_t>(kRecordValuesSize))
    std::printf("Warning: the file is short; values past byte %zu read as 0\n", size);
  std::printf("Payout balance: %.2f pence\n\nMeters:\n", static_cast<double>(v.balance));
  bool any = false;
  for (int i = 0; i < kRecordMeterCount; ++i) {
    if (v.meters[i] == 0) continue;
    std::string meaning = MeterMeaning(i);
    if (meaning.empty()) meaning = "meter never counted by the game";
    std::printf("  %3d  %s: %d\n", i, meaning.c_str(), v.meters[i]);
    any = true;
  }
  if (!any) std::printf("  (all zero)\n");
  std::printf("\nGames paid: %lld\n", static_cast<long long>(f.gamesPaid));
  std::printf("Stakes taken (games and continues): %s (%lld games, %lld continues)\n",
              ReportMoney(f.stakesTaken).c_str(), static_cast<long long>(f.gamesPaid),
              static_cast<long long>(f.continuesBought));
  std::printf("Prizes won: %s in %lld games\n", ReportMoney(f.prizesWon).c_str(),
              static_cast<long long>(f.gamesWithPrize));
  std::printf("Return to player: %.2f%%\n", f.returnToPlayer);
  std::printf("Trailer: ");
  for (unsigned char c : trailer) std::putchar(c >= 0x20 && c < 0x7F ? c : '?');
  std::printf("\n");
}
}  // namespace

int main(int argc, char** argv) {
  CLI::App app("The operator's accounting report of the cabinet's record file.", "quibblo-meters");
  app.footer(kFooter);
  std::string path = "data/morvane.rec";
  bool json = false, force = false;
  app.add_option("FILE", path, "the record file the game keeps")->type_name("")->capture_default_str();
  app.add_flag("--json", json, "print one JSON object instead of the text report");
  app.add_flag("--force", force, "report a damaged or short file as far as its bytes go");
  std::string htmlOut, journalPath;
  CLI::Option* html = app.add_option("--html", htmlOut, "write the report as an HTML page to OUT")->type_name("OUT");
  app.add_option("--journal", journalPath,
                 "the game journal for the page's history (default: journal.db beside FILE), read-only")
      ->type_name("PATH");
  if (int code = cli::Parse(app, argc, argv); code >= 0) return code;
  if (html->count() > 0 && htmlOut.empty()) return cli::Fail(app, "--html needs a file to write");
  if (html->count() > 0 && json) return cli::Fail(app, "--html and --json: one report at a time");
  if (app.count("--journal") > 0 && journalPath.empty()) return cli::Fail(app, "--journal needs a file");
  if (!journalPath.empty() && htmlOut.empty()) return cli::Fail(app, "--journal is read for the --html page only");

  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quibblo-meters: cannot read %s\n", path.c_str());
    return kExitUnreadable;
  }
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    std::fprintf(stderr, "quibblo-meters: cannot read %s\n", path.c_str());
    return kExitUnreadable;
  }
  std::string problem = RecordFileProblem(bytes.data(), bytes.size());
  if (!problem.empty()) {
    std::fprintf(stderr, "quibblo-meters: %s is not a record file: %s%s\n", path.c_str(), problem.c_str(),
                 force ? " (reported anyway)" : "");
    if (!force) return kExitNotARecord;
  }
  RecordValues values = DecodeRecord(bytes.data(), bytes.size());
  std::string trailer = RecordTrailer(bytes.data(), bytes.size());
  MeterFigures figures = DeriveFigures(values.meters, kStake);
  if (!htmlOut.empty()) {
    ReportInput page{path, bytes.size(), problem, values, trailer, figures,
                     journalPath.empty() ? JournalBeside(path) : journalPath, {}};
    page.journal = ReadJournal(page.journalPath);
    // A journal named on the command line is meant to be there.
    if (!page.journal.available && !journalPath.empty())
      std::fprintf(stderr, "quibblo-meters: %s; the page says the game history is not available\n",
                   page.journal.problem.c_str());
    std::string why;
    if (!WriteWholeFile(htmlOut, ReportPage(page), why)) {
      std::fprintf(stderr, "quibblo-meters: cannot write %s: %s\n", htmlOut.c_str(), why.c_str());
      return kExitCannotWrite;
    }
  } else if (json)
    PrintJson(values, trailer, figures, bytes.size());
  else
    PrintText(path, values, trailer, figures, bytes.size());
  return problem.empty() ? 0 : kExitNotARecord;
}
