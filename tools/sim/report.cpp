#include "tools/sim/report.h"

#include <cmath>

void SimTotals::Add(const ModelGameResult& r) {
  games += 1;
  stakes += r.stakes;
  prizes += r.prize;
  won += r.won;
  picks += r.picks;
  questions += r.questions;
  wrong += r.wrong;
  offersMade += r.offersMade;
  offersTaken += r.offersTaken;
  continues += r.continued;
  byBand[r.band] += 1;
  byRow[r.row] += 1;
  prizeByRow[r.row] += r.prize;
  batchStakes += r.stakes;
  batchPrizes += r.prize;
}

void SimTotals::CloseBatch() {
  if (batchStakes > 0) batchReturn.push_back(static_cast<double>(batchPrizes) / batchStakes);
  batchStakes = batchPrizes = 0;
}

double ReturnToPlayer(const SimTotals& t) {
  return t.stakes > 0 ? static_cast<double>(t.prizes) / t.stakes : 0.0;
}

Interval ReturnInterval(const SimTotals& t) {
  double rtp = ReturnToPlayer(t);
  size_t n = t.batchReturn.size();
  if (n < 2) return {rtp, rtp};
  double mean = 0;
  for (double b : t.batchReturn) mean += b;
  mean /= n;
  double var = 0;
  for (double b : t.batchReturn) var += (b - mean) * (b - mean);
  var /= (n - 1);
  // Student t quantile for n - 1 degrees of freedom (Cornish-Fisher), 1.96 in the limit.
  double z = 1.959964, df = static_cast<double>(n - 1);
  double q = z + (z * z * z + z) / (4 * df) +
             (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96 * df * df);
  double half = q * std::sqrt(var / n);
  return {rtp - half, rtp + half};
}

namespace {
double Share(int64_t part, int64_t whole) { return whole > 0 ? static_cast<double>(part) / whole : 0.0; }
}  // namespace

void PrintTotals(std::FILE* out, const SimTotals& t, float finalBalance) {
  Interval ci = ReturnInterval(t);
  std::fprintf(out, "games: %lld\n", static_cast<long long>(t.games));
  std::fprintf(out, "stakes: %lld\n", static_cast<long long>(t.stakes));
  std::fprintf(out, "prizes: %lld\n", static_cast<long long>(t.prizes));
  std::fprintf(out, "return_to_player_percent: %.2f\n", 100 * ReturnToPlayer(t));
  std::fprintf(out, "return_to_player_percent_ci95: %.2f %.2f\n", 100 * ci.low, 100 * ci.high);
  std::fprintf(out, "games_won: %lld (%.4f)\n", static_cast<long long>(t.won), Share(t.won, t.games));
  std::fprintf(out, "mean_picks: %.3f\n", Share(t.picks, t.games));
  std::fprintf(out, "mean_questions: %.3f\n", Share(t.questions, t.games));
  std::fprintf(out, "offers_made: %lld\n", static_cast<long long>(t.offersMade));
  std::fprintf(out, "offers_taken: %lld\n", static_cast<long long>(t.offersTaken));
  std::fprintf(out, "continues_bought: %lld\n", static_cast<long long>(t.continues));
  for (int b = 0; b < 7; ++b)
    std::fprintf(out, "band_%d: %.4f\n", b, Share(t.byBand[b], t.games));
  for (int r = 0; r < 4; ++r)
    std::fprintf(out, "row_%d: %.4f mean_prize %.2f\n", r, Share(t.byRow[r], t.games),
                 Share(t.prizeByRow[r], t.byRow[r]));
  std::fprintf(out, "final_balance: %.2f\n", static_cast<double>(finalBalance));
}
