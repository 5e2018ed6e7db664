// Games per second of the payout simulator's model game (one core); quibblo-sim needs a
// million games in under ten seconds.
#include <benchmark/benchmark.h>

#include "game/model_game.h"
#include "game/offer_rules.h"
#include "game/payout.h"
#include "game/state.h"
#include "machine/meters.h"
#include "shell/timers.h"

namespace {
void ModelGames(benchmark::State& state, double accuracy, OfferPolicy policy) {
  SeedRandom(1);
  PayoutBalance = 0.0f;
  ClearGameTargets();
  ModelPlayer player;
  player.accuracy = accuracy;
  player.offers = policy;
  player.Seed(1);
  for (auto _ : state) {
    ModelGameResult r = PlayModelGame(player);
    benchmark::DoNotOptimize(r);
  }
  state.counters["games_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void OfferComputation(benchmark::State& state) {
  uint8_t inPlay[20] = {};
  for (int i = 9; i < 20; ++i) inPlay[i] = 1;
  for (auto _ : state) {
    OfferFigures f = ComputeOffer(PrizeRows[0], inPlay, 1, 500);
    benchmark::DoNotOptimize(f);
  }
}
}  // namespace

BENCHMARK_CAPTURE(ModelGames, accuracy_075_leave, 0.75, OfferPolicy::Leave);
BENCHMARK_CAPTURE(ModelGames, accuracy_100_leave, 1.0, OfferPolicy::Leave);
BENCHMARK_CAPTURE(ModelGames, accuracy_050_take_first, 0.5, OfferPolicy::TakeFirst);
BENCHMARK(OfferComputation);
