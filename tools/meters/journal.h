// What the operator's page needs from the game journal (data/journal.db), read without writing
// anything: the return to player game by game, and the last games.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct JournalGame {
  int64_t number = 0;
  std::string started, ended, state;  // state: playing, finished or interrupted
  std::optional<int64_t> band;
  int64_t stake = 0;  // pence, continues included
  int64_t continues = 0;
  std::string outcome;
  int64_t prize = 0;  // pence
  std::string paid;   // paid, owed or none
};

struct ChartPoint {
  double x = 0, y = 0;
};

struct JournalSummary {
  bool available = false;
  std::string problem;  // why not, when not available
  int64_t games = 0, stakes = 0, prizes = 0;
  int64_t owedGames = 0, owedPrizes = 0;  // prizes not yet paid out
  std::string firstStarted, lastStarted;
  // x: game number, y: prizes over stakes in percent of all games up to it
  std::vector<ChartPoint> returnOverTime;
  std::vector<JournalGame> lastGames;  // oldest first
};

// Adds one game, in number order, to the summary; the last `lastCount` are kept whole.
void AddJournalGame(JournalSummary& s, const JournalGame& g, size_t lastCount);
// After the last game: thins the series to at most `maxPoints` points, the first and last kept.
void FinishReturnSeries(JournalSummary& s, size_t maxPoints);

// Reads the journal at `path` read-only. A missing file, a file that is not SQLite, or one
// without the games table gives available = false and the reason.
JournalSummary ReadJournal(const std::string& path, size_t lastCount = 20, size_t maxPoints = 500);

// The journal beside a record file: data/morvane.rec -> data/journal.db.
std::string JournalBeside(const std::string& recordPath);
