// quibblo-meters: the operator's accounting report of a record file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "machine/meter_table.h"
#include "machine/record_format.h"

namespace {
constexpr int kStake = 50;
constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 64;

const char kUsage[] = "usage: quibblo-meters [FILE] [--json]   (FILE defaults to data/morvane.rec)\n";

// JSON text of raw file bytes: the trailer is Latin-1 in the game's files.
std::string JsonString(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void PrintJson(const RecordValues& v, const std::string& trailer, const MeterFigures& f, size_t size) {
  char balance[32] = "null";  // a damaged file may hold no number here
  if (std::isfinite(v.balance)) std::snprintf(balance, sizeof balance, "%.9g", static_cast<double>(v.balance));
  std::printf("{\"file_size\": %zu, \"payout_balance\": %s, \"meters\": [", size, balance);
  for (int i = 0; i < kRecordMeterCount; ++i) std::printf("%s%d", i ? ", " : "", v.meters[i]);
  std::printf("], \"trailer\": %s, \"games_paid\": %lld, \"continues_bought\": %lld, "
              "\"stakes_taken\": %lld, \"prizes_won\": %lld, \"games_with_prize\": %lld, "
              "\"return_to_player_percent\": %.2f}\n",
              JsonString(trailer).c_str(), static_cast<long long>(f.gamesPaid),
              static_cast<long long>(f.continuesBought), static_cast<long long>(f.stakesTaken),
              static_cast<long long>(f.prizesWon), static_cast<long long>(f.gamesWithPrize),
              f.returnToPlayer);
}

void PrintText(const char* path, const RecordValues& v, const std::string& trailer,
               const MeterFigures& f, size_t size) {
  std::printf("Record file: %s (%zu bytes)\n", path, size);
  if (size < static_cast<size_t>(kRecordValuesSize))
    std::printf("Warning: the file is short; values past byte %zu read as 0\n", size);
  std::printf("Payout balance: %.2f\n\nMeters:\n", static_cast<double>(v.balance));
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
  const char* path = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "quibblo-meters: unknown option %s\n%s", argv[i], kUsage);
      return kExitUsage;
    } else if (!path) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "quibblo-meters: one record file at a time\n%s", kUsage);
      return kExitUsage;
    }
  }
  if (!path) path = "data/morvane.rec";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "quibblo-meters: cannot read %s\n", path);
    return kExitUnreadable;
  }
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    std::fprintf(stderr, "quibblo-meters: cannot read %s\n", path);
    return kExitUnreadable;
  }
  RecordValues values = DecodeRecord(bytes.data(), bytes.size());
  std::string trailer = RecordTrailer(bytes.data(), bytes.size());
  MeterFigures figures = DeriveFigures(values.meters, kStake);
  if (json)
    PrintJson(values, trailer, figures, bytes.size());
  else
    PrintText(path, values, trailer, figures, bytes.size());
  return 0;
}
