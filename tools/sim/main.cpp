// quibblo-sim: the payout simulator, and the offer and targets queries.
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

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "game/model_game.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"
#include "tools/sim/progress.h"
#include "tools/sim/report.h"

namespace {

const char kFooter[] =
    "The simulation prints name: value lines: the model player, then games, stakes and prizes\n"
    "(pence), return_to_player_percent (prizes as a percentage of stakes, as quibblo-meters\n"
    "shows it) and its 95% interval, games won, mean picks and questions, offers, continues,\n"
    "the share of games in each payout band and prize row, and the final balance (pence).\n"
    "On a terminal a progress bar on standard error shows the rate and the time left.\n"
    "\n"
    "Exit codes:\n"
    "  0   done\n"
    "  1   the CSV file cannot be written\n"
    "  64  a malformed command line or value\n";

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

std::string JsonString(const std::string& s) { return nlohmann::json(s).dump(); }

struct OfferArguments {
  std::string row, inPlay, offersMade;
  bool json = false;
};

int OfferCommand(const OfferArguments& o) {
  PrizeRow = static_cast<int32_t>(ParseInteger("--row", o.row.c_str(), 0, kPrizeRowCount - 1));
  lOffersMade = static_cast<int32_t>(ParseInteger("--offers-made", o.offersMade.c_str(), 0, 1000000));
  const std::string& list = o.inPlay;
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
  if (o.json) {
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

struct TargetsArguments {
  std::string balance, start;
  bool json = false;
};

int TargetsCommand(const TargetsArguments& o) {
  double balance = ParseReal("--balance", o.balance.c_str(), -3.0e38, 3.0e38);
  int start = static_cast<int>(ParseInteger("--start", o.start.c_str(), 0, kTargetColumns - 1));
  int band = PayoutBandOf(static_cast<float>(balance));
  DealTargets(band, start);
  const char* names[] = {"band", "QuestionLevel", "ExtraLifeLevel", "PrizeLevel",
                         "OfferLevel", "NoQuestionsLevel", "FreePickLevel"};
  int values[] = {band, GameTargets.QuestionLevel, GameTargets.ExtraLifeLevel,
                  GameTargets.PrizeLevel, GameTargets.OfferLevel, GameTargets.NoQuestionsLevel,
                  GameTargets.FreePickLevel};
  bool json = o.json;
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
  if (!std::strcmp(text, "leave")) return OfferPolicy::Leave;
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

struct SimulateArguments {
  std::string games, accuracy, accuracyByCategory, offers = "leave", cont = "buy", seed = "1", balance = "0", csv;
};

int SimulateCommand(const SimulateArguments& o) {
  if (o.games.empty()) Fail("--games is required");
  if (o.accuracy.empty() == o.accuracyByCategory.empty()) Fail("give --accuracy or --accuracy-by-category (one of them)");
  int64_t games = ParseInteger("--games", o.games.c_str(), 1, 1000000000000LL);
  ModelPlayer player;
  if (!o.accuracyByCategory.empty()) {
    ReadCategoryAccuracy(o.accuracyByCategory.c_str(), player.categoryAccuracy);
    player.byCategory = true;
  } else {
    player.accuracy = ParseReal("--accuracy", o.accuracy.c_str(), 0.0, 1.0);
  }
  player.offers = ParsePolicy(o.offers.c_str());
  if (o.cont != "buy" && o.cont != "never") Fail("--continue must be buy or never, not \"" + o.cont + "\"");
  player.buysContinue = o.cont == "buy";
  uint32_t seed = static_cast<uint32_t>(ParseInteger("--seed", o.seed.c_str(), 0, 4294967295LL));
  float balance = static_cast<float>(ParseReal("--balance", o.balance.c_str(), -1e9, 1e9));

  std::FILE* csv = nullptr;
  if (!o.csv.empty()) {
    csv = std::fopen(o.csv.c_str(), "w");
    if (!csv) {
      std::fprintf(stderr, "quibblo-sim: cannot write %s: %s\n", o.csv.c_str(), std::strerror(errno));
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
  ProgressBar bar(stderr, games);
  auto started = std::chrono::steady_clock::now();
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
  for (int64_t g = 1; g <= games; ++g) {
    ModelGameResult r = PlayModelGame(player);
    totals.Add(r);
    if (g % batchSize == 0 && static_cast<int64_t>(totals.batchReturn.size()) < batches - 1) totals.CloseBatch();
    if (csv)
      std::fprintf(csv, "%lld,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%.2f\n", static_cast<long long>(g), r.band,
                   r.row, r.prize, r.stakes, r.won ? 1 : 0, r.picks, r.questions, r.offersMade,
                   r.offersTaken, r.continued ? 1 : 0, static_cast<double>(r.balanceAfter));
    if (progress) bar.Update(g, elapsed());
  }
  totals.CloseBatch();
  double seconds = elapsed();
  if (progress) bar.Finish(games, seconds);
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
  CLI::App app("The payout simulator: many games through the game's own rule functions, with a model "
               "player. Also what the bank would offer (offer) and which targets a balance deals (targets).",
               "quibblo-sim");
  app.footer(kFooter);
  app.require_subcommand(0, 1);
  SimulateArguments s;
  app.add_option("--games", s.games, "games to play, 1 to 10^12 (required)")->type_name("N");
  app.add_option("--accuracy", s.accuracy, "the model player's chance of answering a question right, "
                                           "0 to 1 (this or --accuracy-by-category)")->type_name("P");
  app.add_option("--accuracy-by-category", s.accuracyByCategory,
                 "a file of 24 numbers from 0 to 1, the chance of a right answer in categories 1 to 24 "
                 "(spaces or lines between them; \"#\" starts a comment)")->type_name("FILE");
  app.add_option("--offers", s.offers, "the model player's way with the bank's offers: leave, take-first "
                                       "or take-if-above-mean")->type_name("POLICY")->capture_default_str();
  app.add_option("--continue", s.cont, "buy a continue when out of lives and the credit allows it, or "
                                       "never")->type_name("buy|never")->capture_default_str();
  app.add_option("--seed", s.seed, "the random seed, 0 to 4294967295; the same seed plays the same games")
      ->type_name("S")->capture_default_str();
  app.add_option("--balance", s.balance, "the payout balance to start from, in pence")
      ->type_name("X")->capture_default_str();
  app.add_option("--csv", s.csv, "also write one line a game to FILE")->type_name("FILE");

  OfferArguments offer;
  CLI::App* offerCommand = app.add_subcommand("offer", "what the bank would offer: prints lPrizeAvailableThisGame, "
                                                       "fOffer (pence), text and meter");
  offerCommand->add_option("--row", offer.row, "the prize row, 0 to 3")->type_name("R")->required();
  offerCommand->add_option("--in-play", offer.inPlay, "the prize-row indexes (0 to 19) still in play, "
                                                      "comma-separated; may be empty")
      ->type_name("I,J,...")->required();
  offerCommand->add_option("--offers-made", offer.offersMade, "offers made already this game")
      ->type_name("K")->required();
  offerCommand->add_flag("--json", offer.json, "print one JSON object with the same keys");

  TargetsArguments targets;
  CLI::App* targetsCommand = app.add_subcommand("targets", "the payout band of a balance and the six target "
                                                           "levels dealt from a start column");
  targetsCommand->add_option("--balance", targets.balance, "the payout balance, in pence")
      ->type_name("X")->required();
  targetsCommand->add_option("--start", targets.start, "the start column, 0 to 6")->type_name("S")->required();
  targetsCommand->add_flag("--json", targets.json, "print one JSON object with the same keys");

  if (int code = cli::Parse(app, argc, argv); code >= 0) return code;
  try {
    if (offerCommand->parsed()) return OfferCommand(offer);
    if (targetsCommand->parsed()) return TargetsCommand(targets);
    return SimulateCommand(s);
  } catch (const UsageError& e) {
    return cli::Fail(app, e.message);
  }
}
