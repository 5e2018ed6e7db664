#include "tools/meters/journal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {
struct TempDir {
  std::string path;
  TempDir() {
    char name[] = "/tmp/quibblo-journal-XXXXXX";
    path = mkdtemp(name);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << sql;
}

const char kSchema[] =
    "CREATE TABLE games(number INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT, state TEXT NOT NULL,"
    " band INTEGER, payout_balance INTEGER, stake INTEGER NOT NULL, continues INTEGER NOT NULL DEFAULT 0,"
    " outcome TEXT, prize INTEGER NOT NULL DEFAULT 0, paid TEXT)";

std::string MakeJournal(const TempDir& dir, const std::string& rows) {
  std::string path = dir / "journal.db";
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  Exec(db, kSchema);
  Exec(db, rows);
  sqlite3_close(db);
  return path;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

TEST(Journal, SummaryOfTheGamesInNumberOrder) {
  TempDir dir;
  // inserted out of order; game 2 still playing with no band yet, game 4 bought a continue
  std::string path = MakeJournal(dir,
      "INSERT INTO games VALUES(3,'2026-12-08T10:03:00+00:00','2026-12-08T10:04:00+00:00','finished',2,0,50,0,'won',"
      "150,'owed');"
      "INSERT INTO games VALUES(1,'2026-12-08T10:01:00+00:00','2026-12-08T10:02:00+00:00','finished',0,0,50,0,'lost',0,"
      "'none');"
      "INSERT INTO games(number,started,state,stake) VALUES(2,'2026-12-08T10:02:30+00:00','interrupted',50);"
      "INSERT INTO games VALUES(4,'2026-12-08T10:05:00+00:00',NULL,'playing',NULL,NULL,100,1,NULL,0,NULL);");
  JournalSummary s = ReadJournal(path, 2);
  ASSERT_TRUE(s.available) << s.problem;
  EXPECT_EQ(s.games, 4);
  EXPECT_EQ(s.stakes, 250);
  EXPECT_EQ(s.prizes, 150);
  EXPECT_EQ(s.owedGames, 1);
  EXPECT_EQ(s.owedPrizes, 150);
  EXPECT_EQ(s.firstStarted, "2026-12-08T10:01:00+00:00");
  EXPECT_EQ(s.lastStarted, "2026-12-08T10:05:00+00:00");
  ASSERT_EQ(s.returnOverTime.size(), 4u);
  EXPECT_EQ(s.returnOverTime[2].x, 3);
  EXPECT_DOUBLE_EQ(s.returnOverTime[2].y, 100.0);  // 150p of 150p staked
  EXPECT_DOUBLE_EQ(s.returnOverTime[3].y, 60.0);   // 150p of 250p
  ASSERT_EQ(s.lastGames.size(), 2u);
  EXPECT_EQ(s.lastGames[0].number, 3);
  EXPECT_EQ(s.lastGames[0].band, 2);
  EXPECT_EQ(s.lastGames[1].number, 4);
  EXPECT_FALSE(s.lastGames[1].band.has_value());
  EXPECT_EQ(s.lastGames[1].continues, 1);
  EXPECT_EQ(s.lastGames[1].ended, "");

  // an empty journal is available and has nothing to draw
  TempDir other;
  JournalSummary empty = ReadJournal(MakeJournal(other, "SELECT 1"));
  EXPECT_TRUE(empty.available);
  EXPECT_EQ(empty.games, 0);
  EXPECT_TRUE(empty.returnOverTime.empty());
}

TEST(Journal, WhatIsNotAJournalIsSaidAndNothingIsWritten) {
  TempDir dir;
  // missing: not made by reading it
  JournalSummary s = ReadJournal(dir / "journal.db");
  EXPECT_FALSE(s.available);
  EXPECT_NE(s.problem.find("no game journal at " + (dir / "journal.db")), std::string::npos) << s.problem;
  EXPECT_FALSE(Exists(dir / "journal.db"));

  std::ofstream(dir / "text.db") << "not a database, just words\n";
  s = ReadJournal(dir / "text.db");
  EXPECT_FALSE(s.available);
  EXPECT_NE(s.problem.find("cannot be read"), std::string::npos) << s.problem;

  std::string other = dir / "other.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
  Exec(db, "CREATE TABLE moves(x INTEGER)");
  sqlite3_close(db);
  s = ReadJournal(other);
  EXPECT_FALSE(s.available);
  EXPECT_NE(s.problem.find("no such table: games"), std::string::npos) << s.problem;

  // a name with URI characters in it is still the file of that name
  TempDir odd;
  std::string oddPath = odd / "j?mode=rw#x%41.db";
  ASSERT_EQ(std::rename(MakeJournal(odd, "INSERT INTO games(number,started,state,stake) VALUES(1,'t','finished',50)").c_str(),
                        oddPath.c_str()), 0);
  s = ReadJournal(oddPath);
  EXPECT_TRUE(s.available) << s.problem;
  EXPECT_EQ(s.games, 1);
  EXPECT_FALSE(Exists(odd / "journal.db"));
}

TEST(Journal, LongHistoriesAreThinnedKeepingBothEnds) {
  JournalSummary s;
  for (int n = 1; n <= 10000; ++n) {
    JournalGame g;
    g.number = n;
    g.stake = 50;
    g.prize = n % 10 == 0 ? 400 : 0;
    AddJournalGame(s, g, 20);
  }
  EXPECT_EQ(s.lastGames.size(), 20u);
  EXPECT_EQ(s.lastGames.front().number, 9981);
  FinishReturnSeries(s, 500);
  ASSERT_EQ(s.returnOverTime.size(), 500u);
  EXPECT_EQ(s.returnOverTime.front().x, 1);
  EXPECT_EQ(s.returnOverTime.back().x, 10000);
  EXPECT_DOUBLE_EQ(s.returnOverTime.back().y, 80.0);
  for (size_t i = 1; i < s.returnOverTime.size(); ++i) EXPECT_LT(s.returnOverTime[i - 1].x, s.returnOverTime[i].x);

  // games before any stake have no return to draw
  JournalSummary free;
  AddJournalGame(free, JournalGame{}, 0);
  EXPECT_TRUE(free.returnOverTime.empty());
  EXPECT_TRUE(free.lastGames.empty());
}

TEST(Journal, BesideTheRecordFile) {
  EXPECT_EQ(JournalBeside("data/morvane.rec"), "data/journal.db");
  EXPECT_EQ(JournalBeside("morvane.rec"), "journal.db");
  EXPECT_EQ(JournalBeside("/srv/cab/data/morvane.rec"), "/srv/cab/data/journal.db");
}
}  // namespace
