// What the journal costs the game: an event is one synced commit (a touch, a pick), a balance
// reading repeated while a screen waits is counted in memory, a game's stake opens its row.
// Run it where the cabinet's disk is: it journals into a folder made in the working folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "machine/journal.h"

namespace {
struct Folder {
  std::filesystem::path old = std::filesystem::current_path(), path;
  Folder() {
    char pattern[] = "bench-journal-XXXXXX";
    path = std::filesystem::absolute(mkdtemp(pattern));
    std::filesystem::current_path(path);
  }
  ~Folder() {
    JournalClose();
    std::filesystem::current_path(old);
    std::filesystem::remove_all(path);
  }
};

void StartGame() {
  JournalBeforeStake({{"random", "3 0"}, {"band", 2}});
  JournalCreditSending("CUSE,50\r\n");
  JournalCredit("CUSE,50\r\n", "CTEL,450\r\n", "done");
  JournalStake(50, false, true);
  JournalPlayStarts();
}

void BM_Touch(benchmark::State& state) {
  Folder folder;
  JournalOpen();
  StartGame();
  for (auto _ : state) JournalTouch(476, 340);
  state.SetLabel(JournalInUse() ? "synced commit" : "JOURNAL FAILED");
}
BENCHMARK(BM_Touch)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_RepeatedReading(benchmark::State& state) {
  Folder folder;
  JournalOpen();
  StartGame();
  for (auto _ : state) JournalCredit("CGET\r\n", "CTEL,450\r\n", "done");
}
BENCHMARK(BM_RepeatedReading)->Unit(benchmark::kNanosecond);

// A whole game's journal: the stake, 200 events, the end (about what a played game writes).
void BM_Game(benchmark::State& state) {
  Folder folder;
  JournalOpen();
  for (auto _ : state) {
    StartGame();
    for (int i = 0; i < 200; ++i) JournalTouch(i, i);
    JournalGameEnds("lost", 0, false, 450, 0, 0);
  }
}
BENCHMARK(BM_Game)->Unit(benchmark::kMillisecond)->MinTime(3.0);
}  // namespace
