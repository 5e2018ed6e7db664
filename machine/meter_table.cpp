#include "machine/meter_table.h"

#include <cstdio>

namespace {
std::string Of(const char* what, int64_t pence) { return std::string(what) + " of " + ReportMoney(pence); }

// The offer meters share one layout: 5 to 50 in fives, then 60 to 1000 in tens, then "other".
std::string OfferMeaning(const char* what, int first, int n) {
  int i = n - first;
  if (i < 10) return Of(what, 5 * (i + 1));
  if (i < 105) return Of(what, 60 + 10 * (i - 10));
  return std::string(what) + " of another amount";
}
}  // namespace

std::string ReportMoney(int64_t pence) {
  char text[32];
  if (pence >= 0 && pence < 100)
    std::snprintf(text, sizeof text, "%lldp", static_cast<long long>(pence));
  else
    std::snprintf(text, sizeof text, "%s\xC2\xA3%lld.%02lld", pence < 0 ? "-" : "",
                  static_cast<long long>((pence < 0 ? -pence : pence) / 100),
                  static_cast<long long>((pence < 0 ? -pence : pence) % 100));
  return text;
}

std::string MeterMeaning(int n) {
  if (n == 0) return "games paid";
  if (n >= 1 && n <= 7) return "games started in payout band " + std::to_string(n - 1);
  if (n == 8) return "lives given at game set-up";
  if (n >= 9 && n <= 26) return Of("games with a top prize", 5 * (n - 8));
  if (n >= 27 && n <= 31) return Of("games with a top prize", 100 * (n - 26));
  if ((n >= 56 && n <= 65) || n == 69) return "no-questions bonus on pick " + std::to_string(n - 50);
  if (n >= 70 && n <= 83) return "first bank offer on pick " + std::to_string(n - 65);
  if (n >= 85 && n <= 189) return OfferMeaning("bank offers made", 85, n);
  if (n == 190) return "bank offers made of another amount, and prizes not in the prize list";
  if (n == 191) return "bank offers above the game's top prize";
  if (n >= 192 && n <= 297) return OfferMeaning("bank offers taken", 192, n);
  if (n == 299) return "questions timed out";
  if (n == 300) return "questions asked";
  if (n == 301) return "questions answered wrongly";
  if (n >= 302 && n <= 319) return Of("prizes won", 5 * (n - 301));
  if (n >= 320 && n <= 410) return Of("prizes won", 10 * (n - 310));
  if (n == 412) return "games won at the twentieth pick";
  if (n == 413) return "value of prizes won (pence)";
  if (n >= 414 && n <= 420) return "value of prizes won in payout band " + std::to_string(n - 414) + " (pence)";
  if (n == 421) return "games with a prize";
  if (n == 422) return "games paid with the bank below " + ReportMoney(500);
  if (n == 423) return "games paid with the bank from " + ReportMoney(500) + " to " + ReportMoney(999);
  if (n == 424) return "games paid with the bank at " + ReportMoney(1000) + " or more, or unknown";
  if (n == 425) return "seconds of play";
  if (n >= 428 && n <= 447) return "games with the player's box BOX " + std::to_string(n - 427);  // as the board shows it
  if (n == 448) return "continue screens shown";
  if (n == 449) return "continues bought";
  if (n == 450) return "no-questions bonuses found";
  if (n == 451) return "bank offers made";
  if (n == 452) return "value of bank offers made (pence)";
  return {};
}

MeterFigures DeriveFigures(const int32_t* meters, int stake) {
  MeterFigures f;
  f.gamesPaid = meters[0];
  f.continuesBought = meters[449];
  f.stakesTaken = (f.gamesPaid + f.continuesBought) * stake;
  f.prizesWon = meters[413];
  f.gamesWithPrize = meters[421];
  if (f.stakesTaken > 0) f.returnToPlayer = 100.0 * static_cast<double>(f.prizesWon) / static_cast<double>(f.stakesTaken);
  return f;
}
