// quibblo-sim: the payout simulator.
//   quibblo-sim --games N (--accuracy P | --accuracy-by-category FILE) [--offers POLICY]
//               [--continue buy|never] [--seed S] [--balance X] [--csv FILE]
//   quibblo-sim offer --row R --in-play I,J,... --offers-made K [--json]
//   quibblo-sim targets --balance X --start S [--json]
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/model_game.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"
#include "tools/sim/report.h"

namespace {
constexpr int kUsageError = 64;

const char kUsage[] =
    "usage: quibblo-sim --games N (--accuracy P | --accuracy-by-category FILE)\n"
    "                   [--offers leave|take-first|take-if-above-mean]\n"
    "                   [--continue buy|never] [--seed S] [--balance X] [--csv FILE]\n"
    "       FILE: 24 numbers from 0 to 1, the chance of a right answer in categories 1 to 24\n"
    "             (spaces or lines between them; \"#\" starts a comment)\n"
    "       quibblo-sim offer --row R --in-play I,J,... --offers-made K [--json]\n"
    "       quibblo-sim targets --balance X --start S [--json]\n";

struct UsageError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw UsageError{message}; }

long long ParseInteger(const std::string& name, const char* text, long long low, long long high) {
  if (!text || !*text) Fail(name + " needs a value");
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (errno || *end || v < low || v > high)
    Fail(name + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
         ", not \"" + text + "\"");
  return v;
}

double ParseReal(const std::string& name, const char* text, double low, double high) {
  if (!text || !*text) Fail(name + " needs a value");
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (errno || *end || !std::isfinite(v) || v < low || v > high)
    Fail(name + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
         ", not \"" + text + "\"");
  return v;
}

// Options as name -> value; every option takes a value except the flags listed.
struct Options {
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::string> flags;

  Options(int argc, char** argv, int first, const std::vector<std::string>& known,
          const std::vector<std::string>& knownFlags) {
    for (int i = first; i < argc; ++i) {
      std::string name = argv[i];
      bool isFlag = false;
      for (const std::string& f : knownFlags) isFlag |= f == name;
      if (isFlag) {
        flags.push_back(name);
        continue;
      }
      bool isKnown = false;
      for (const std::string& k : known) isKnown |= k == name;
      if (!isKnown) Fail("unknown option \"" + name + "\"");
      if (i + 1 >= argc) Fail(name + " needs a value");
      for (auto& [n, v] : values)
        if (n == name) Fail(name + " is given twice");
      values.emplace_back(name, argv[++i]);
    }
  }
  const char* Get(const std::string& name) const {
    for (auto& [n, v] : values)
      if (n == name) return v.c_str();
    return nullptr;
  }
  const char* Need(const std::string& name) const {
    const char* v = Get(name);
    if (!v) Fail(name + " is required");
    return v;
  }
  bool Has(const std::string& flag) const {
    for (const std::string& f : flags)
      if (f == flag) return true;
    return false;
  }
};

// The offer text with its pound byte shown as the UTF-8 pound sign.
std::string ShownText(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (static_cast<unsigned char>(*p) == 0xA3)
      out += "\xC2\xA3";
    else
      out += *p;
  }
  return out;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

int OfferCommand(int argc, char** argv) {
  Options o(argc, argv, 2, {"--row", "--in-play", "--offers-made"}, {"--json"});
  PrizeRow = static_cast<int32_t>(ParseInteger("--row", o.Need("--row"), 0, kPrizeRowCount - 1));
  lOffersMade = static_cast<int32_t>(ParseInteger("--offers-made", o.Need("--offers-made"), 0, 1000000));
  std::string list = o.Need("--in-play");
  for (uint8_t& f : ValueInPlay) f = 0;
  size_t pos = 0;
  while (pos < list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string::npos) comma = list.size();
    std::string item = list.substr(pos, comma - pos);
    int index = static_cast<int>(ParseInteger("--in-play", item.c_str(), 0, kBoxCount - 1));
    if (ValueInPlay[index]) Fail("--in-play lists index " + item + " twice");
    ValueInPlay[index] = 1;
    pos = comma + 1;
  }
  if (!list.empty() && list.back() == ',') Fail("--in-play ends with a comma");
  lPrizeAvailableThisGame = PrizeRows[PrizeRow][kBoxCount - 1];
  MakeOfferValue();
  FormatOfferText();
  int meter = OfferedValueMeter(static_cast<int32_t>(fOffer));
  std::string text = ShownText(OfferText);
  if (o.Has("--json")) {
    std::printf("{\"lPrizeAvailableThisGame\": %d, \"fOffer\": %f, \"text\": %s, \"meter\": %d}\n",
                lPrizeAvailableThisGame, static_cast<double>(fOffer), JsonString(text).c_str(), meter);
  } else {
    std::printf("lPrizeAvailableThisGame: %d\n", lPrizeAvailableThisGame);
    std::printf("fOffer: %f\n", static_cast<double>(fOffer));
    std::printf("text: %s\n", text.c_str());
    std::printf("meter: %d\n", meter);
  }
  return 0;
}

int TargetsCommand(int argc, char** argv) {
  Options o(argc, argv, 2, {"--balance", "--start"}, {"--json"});
  double balance = ParseReal("--balance", o.Need("--balance"), -3.0e38, 3.0e38);
  int start = static_cast<int>(ParseInteger("--start", o.Need("--start"), 0, kTargetColumns - 1));
  int band = PayoutBandOf(static_cast<float>(balance));
  DealTargets(band, start);
  const char* names[] = {"band", "QuestionLevel", "ExtraLifeLevel", "PrizeLevel",
                         "OfferLevel", "NoQuestionsLevel", "FreePickLevel"};
  int values[] = {band, GameTargets.QuestionLevel, GameTargets.ExtraLifeLevel,
                  GameTargets.PrizeLevel, GameTargets.OfferLevel, GameTargets.NoQuestionsLevel,
                  GameTargets.FreePickLevel};
  bool json = o.Has("--json");
  if (json) std::printf("{");
  for (int i = 0; i < 7; ++i) {
    if (json)
      std::printf("%s\"%s\": %d", i ? ", " : "", names[i], values[i]);
    else
      std::printf("%s: %d\n", names[i], values[i]);
  }
  if (json) std::printf("}\n");
  return 0;
}

// 24 chances, one per question category, from a small text file.
void ReadCategoryAccuracy(const char* path, double (&out)[kQuestionCategories]) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) Fail(std::string("cannot read ") + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < (1u << 20);) text.append(buffer, n);
  std::fclose(f);
  int count = 0, line = 1;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
      line += c == '\n';
      ++i;
    } else {
      size_t end = i;
      while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != ',' &&
             text[end] != '#')
        ++end;
      std::string word = text.substr(i, end - i);
      std::string where = std::string(path) + " line " + std::to_string(line);
      if (count == kQuestionCategories) Fail(where + ": more than 24 numbers");
      out[count++] = ParseReal(where, word.c_str(), 0.0, 1.0);
      i = end;
    }
  }
  if (count != kQuestionCategories)
    Fail(std::string(path) + ": " + std::to_string(count) + " numbers, expected 24 (categories 1 to 24)");
}

OfferPolicy ParsePolicy(const char* text) {
  if (!text || !std::strcmp(text, "leave")) return OfferPolicy::Leave;
  if (!std::strcmp(text, "take-first")) return OfferPolicy::TakeFirst;
  if (!std::strcmp(text, "take-if-above-mean")) return OfferPolicy::TakeIfAboveMean;
  Fail(std::string("--offers must be leave, take-first or take-if-above-mean, not \"") + text + "\"");
}

const char* PolicyName(OfferPolicy p) {
  switch (p) {
    case OfferPolicy::TakeFirst: return "take-first";
    case OfferPolicy::TakeIfAboveMean: return "take-if-above-mean";
    case OfferPolicy::Leave: break;
  }
  return "leave";
}

void ShowProgress(int64_t done, int64_t total) {
  constexpr int kWidth = 40;
  int filled = static_cast<int>(kWidth * done / total);
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               kWidth - filled, "", static_cast<int>(100 * done / total));
  std::fflush(stderr);
}

int SimulateCommand(int argc, char** argv) {
  Options o(argc, argv, 1,
            {"--games", "--accuracy", "--accuracy-by-category", "--offers", "--continue", "--seed", "--balance",
             "--csv"},
            {});
  int64_t games = ParseInteger("--games", o.Need("--games"), 1, 1000000000000LL);
  ModelPlayer player;
  const char* byCategory = o.Get("--accuracy-by-category");
  if (byCategory && o.Get("--accuracy")) Fail("give --accuracy or --accuracy-by-category, not both");
  if (byCategory) {
    ReadCategoryAccuracy(byCategory, player.categoryAccuracy);
    player.byCategory = true;
  } else {
    player.accuracy = ParseReal("--accuracy", o.Need("--accuracy"), 0.0, 1.0);
  }
  player.offers = ParsePolicy(o.Get("--offers"));
  const char* cont = o.Get("--continue");
  if (cont && std::strcmp(cont, "buy") && std::strcmp(cont, "never"))
    Fail(std::string("--continue must be buy or never, not \"") + cont + "\"");
  player.buysContinue = !cont || !std::strcmp(cont, "buy");
  uint32_t seed = o.Get("--seed") ? static_cast<uint32_t>(ParseInteger("--seed", o.Get("--seed"), 0, 4294967295LL)) : 1;
  float balance = o.Get("--balance") ? static_cast<float>(ParseReal("--balance", o.Get("--balance"), -1e9, 1e9)) : 0.0f;

  std::FILE* csv = nullptr;
  if (const char* path = o.Get("--csv")) {
    csv = std::fopen(path, "w");
    if (!csv) {
      std::fprintf(stderr, "quibblo-sim: cannot write %s: %s\n", path, std::strerror(errno));
      return 1;
    }
    std::fprintf(csv, "game,band,row,prize,stakes,won,picks,questions,offers_made,offers_taken,continued,balance\n");
  }

  SeedRandom(seed);
  player.Seed(seed);
  PayoutBalance = balance;
  ClearGameTargets();

  SimTotals totals;
  int64_t batches = games >= 50 ? 50 : games;
  int64_t batchSize = games / batches;
  bool progress = isatty(fileno(stderr));
  int64_t step = games / 200 > 0 ? games / 200 : 1;
  auto started = std::chrono::steady_clock::now();
  for (int64_t g = 1; g <= games; ++g) {
    ModelGameResult r = PlayModelGame(player);
    totals.Add(r);
    if (g % batchSize == 0 && static_cast<int64_t>(totals.batchReturn.size()) < batches - 1) totals.CloseBatch();
    if (csv)
      std::fprintf(csv, "%lld,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%.2f\n", static_cast<long long>(g), r.band,
                   r.row, r.prize, r.stakes, r.won ? 1 : 0, r.picks, r.questions, r.offersMade,
                   r.offersTaken, r.continued ? 1 : 0, static_cast<double>(r.balanceAfter));
    if (progress && (g % step == 0 || g == games)) ShowProgress(g, games);
  }
  totals.CloseBatch();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (progress) std::fprintf(stderr, "\n");
  if (csv && std::fclose(csv) != 0) {
    std::fprintf(stderr, "quibblo-sim: the CSV file could not be written completely\n");
    return 1;
  }

  if (player.byCategory) {
    std::printf("accuracy_by_category:");
    for (double a : player.categoryAccuracy) std::printf(" %.4f", a);
    std::printf("\n");
    // The share of questions answered right over the run, which depends on the categories asked.
    std::printf("accuracy: %.4f\n", totals.questions ? 1.0 - static_cast<double>(totals.wrong) / totals.questions : 1.0);
  } else {
    std::printf("accuracy: %.4f\n", player.accuracy);
  }
  std::printf("offers: %s\n", PolicyName(player.offers));
  std::printf("continue: %s\n", player.buysContinue ? "buy" : "never");
  std::printf("seed: %u\n", seed);
  PrintTotals(stdout, totals, PayoutBalance);
  std::printf("games_per_second: %.0f\n", seconds > 0 ? static_cast<double>(games) / seconds : 0.0);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "offer")) return OfferCommand(argc, argv);
    if (argc >= 2 && !std::strcmp(argv[1], "targets")) return TargetsCommand(argc, argv);
    return SimulateCommand(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "quibblo-sim: %s\n%s", e.message.c_str(), kUsage);
    return kUsageError;
  }
}
