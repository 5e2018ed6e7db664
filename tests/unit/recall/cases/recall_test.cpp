#include "tools/recall/recall.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
using namespace recall;
using nlohmann::json;

EventRow Event(int64_t ms, const char* kind, json detail) { return {0, ms, kind, std::move(detail)}; }

Money M(double when, const char* command, int64_t amount, bool certain = true) {
  Money m;
  m.when = when;
  m.command = command;
  m.amount = amount;
  m.certain = certain;
  return m;
}

TEST(Times, IsoTimesWithAZoneAnOffsetOrNoneAreSecondsSinceTheEpoch) {
  EXPECT_EQ(ParseTime("1970-01-01T00:00:00Z"), 0.0);
  EXPECT_EQ(ParseTime("2026-12-08T19:07:34+00:00"), ParseTime("2026-12-08T19:07:34Z"));
  EXPECT_EQ(*ParseTime("2026-12-08T20:07:34+01:00"), *ParseTime("2026-12-08T19:07:34Z"));
  EXPECT_EQ(*ParseTime("2026-12-08T18:37:34-00:30"), *ParseTime("2026-12-08T19:07:34Z"));
  EXPECT_DOUBLE_EQ(*ParseTime("2026-12-08T19:07:34.250Z") - *ParseTime("2026-12-08T19:07:34Z"), 0.25);
  EXPECT_EQ(*ParseTime("2024-03-01T00:00Z") - *ParseTime("2024-02-28T00:00Z"), 2 * 86400.0);  // a leap year
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(ParseTime("2026-12-08"), ParseTime("2026-12-08T00:00:00Z"));
  EXPECT_EQ(ParseTime("2026-12-08 19:07"), ParseTime("2026-12-08T19:07:00Z"));
  for (const char* bad : {"", "yesterday", "2026-13-01", "2026-12-8", "2026-12-08T25:00", "2026-12-08T19:07:34+1",
                          "2026-12-08T19:07:34Zulu", "2026-12-08T19"})
    EXPECT_FALSE(ParseTime(bad)) << bad;
}

TEST(Matching, MovementsOneSideLacksAreReportedAndNearbyEqualOnesPair) {
  std::vector<Money> journalOnly, ledgerOnly;
  // A stake the ledger took with no game, and a prize the journal paid that the ledger lacks.
  MatchMoney({M(100, "CUSE", 50), M(200, "BADD", 200), M(201, "CADD", 5)},
             {M(101, "CUSE", 50), M(150, "CUSE", 50), M(202, "CADD", 5)}, 120, journalOnly, ledgerOnly);
  ASSERT_EQ(journalOnly.size(), 1u);
  EXPECT_EQ(journalOnly[0].command, "BADD");
  ASSERT_EQ(ledgerOnly.size(), 1u);
  EXPECT_EQ(ledgerOnly[0].when, 150);

  // Same command and amount but too far apart, or another amount: not the same movement.
  MatchMoney({M(100, "CUSE", 50), M(300, "CADD", 5)}, {M(400, "CUSE", 50), M(300, "CADD", 6)}, 120, journalOnly,
             ledgerOnly);
  EXPECT_EQ(journalOnly.size(), 2u);
  EXPECT_EQ(ledgerOnly.size(), 2u);

  // Each ledger row pairs once, with the nearest: the stake missing is the one named, not its neighbour.
  MatchMoney({M(100, "CUSE", 50), M(200, "CUSE", 50)}, {M(195, "CUSE", 50)}, 120, journalOnly, ledgerOnly);
  ASSERT_EQ(journalOnly.size(), 1u);
  EXPECT_EQ(journalOnly[0].when, 100);
  MatchMoney({M(100, "CUSE", 50)}, {M(30, "CUSE", 50), M(95, "CUSE", 50), M(180, "CUSE", 50)}, 120, journalOnly,
             ledgerOnly);
  EXPECT_TRUE(journalOnly.empty());
  ASSERT_EQ(ledgerOnly.size(), 2u);
  EXPECT_EQ(ledgerOnly[0].when + ledgerOnly[1].when, 210);

  // A command whose reply was lost may or may not be in the ledger; it never takes a row a sure one needs.
  MatchMoney({M(100, "BADD", 100, false), M(105, "BADD", 100)}, {M(101, "BADD", 100)}, 120, journalOnly, ledgerOnly);
  EXPECT_TRUE(journalOnly.empty());
  EXPECT_TRUE(ledgerOnly.empty());
  MatchMoney({M(100, "BADD", 100, false)}, {M(101, "BADD", 100), M(102, "BADD", 100)}, 120, journalOnly, ledgerOnly);
  EXPECT_EQ(ledgerOnly.size(), 1u);
}

std::vector<EventRow> Story() {
  return {Event(10, "start", {{"stake", 50}, {"random", "3 0"}}),
          Event(10, "credit", {{"request", "CUSE,50"}, {"reply", "CTEL,450"}, {"result", "done"}, {"time", "t1"}}),
          Event(20, "credit", {{"request", "CGET"}, {"reply", "CTEL,450"}, {"result", "done"}, {"repeat", 9},
                               {"last_ms", 900}}),
          Event(1000, "play", json::object()),
          Event(1500, "touch", {{"x", 1}, {"y", 2}}),
          Event(1600, "question", {{"text", "Cats say quack."}, {"truth", false}}),
          Event(1700, "answer", {{"said", "false"}, {"right", true}}),
          Event(2000, "pick", {{"box", 3}, {"value", 5}}),
          Event(2500, "end", {{"outcome", "lost"}, {"prize", 0}, {"screen", "ab"}, {"credit", 450}}),
          Event(9000, "credit", {{"request", "CADD,5"}, {"reply", "CTEL,455"}, {"result", "done"}})};
}

TEST(Plans, APlanHoldsTheStateTouchesAndExchangesUpToTheEndWithTimesFromPlay) {
  json plan = MakePlan(Story(), "/shots");
  EXPECT_EQ(plan["state"]["random"], "3 0");
  EXPECT_EQ(plan["shots"], "/shots");
  EXPECT_EQ(plan["touches"], json::parse(R"([{"ms": 500, "x": 1, "y": 2}])"));
  ASSERT_EQ(plan["credit"].size(), 2u);  // the payment after the game is no part of it
  EXPECT_EQ(plan["credit"][0]["ms"], -990);
  EXPECT_EQ(plan["credit"][1]["last_ms"], -100);
  EXPECT_EQ(plan["credit"][1]["request"], "CGET");
}

TEST(Comparing, TheFirstDecisionOrPaymentThatDiffersIsNamed) {
  auto recorded = Story();
  auto replayed = Story();
  EXPECT_EQ(FirstDifference(recorded, replayed), "");
  // Times, touches, readings and the balances after are not what a replay must reach.
  for (auto& e : replayed) e.ms += 7;
  replayed[1].detail["time"] = "t2";
  replayed[2].detail["repeat"] = 3;
  replayed[4].detail["x"] = 99;
  replayed[8].detail["credit"] = 0;
  EXPECT_EQ(FirstDifference(recorded, replayed), "");

  replayed[7].detail["value"] = 6;
  EXPECT_EQ(FirstDifference(recorded, replayed),
            R"(recorded pick {"box":3,"value":5}, replayed pick {"box":3,"value":6})");
  replayed = Story();
  replayed[1].detail["request"] = "CUSE,60";
  EXPECT_NE(FirstDifference(recorded, replayed).find("recorded credit {\"request\":\"CUSE,50\""), std::string::npos);
  replayed = Story();
  replayed[8].detail["screen"] = "cd";
  EXPECT_NE(FirstDifference(recorded, replayed).find("replayed end"), std::string::npos);
  replayed = Story();
  replayed.resize(6);
  EXPECT_EQ(FirstDifference(recorded, replayed), R"(the replay ended before the recorded answer {"right":true,"said":"false"})");
  // An interrupted game is reached when the replay gets as far as it went.
  recorded.resize(8);
  EXPECT_EQ(FirstDifference(recorded, Story()), "");
}

class Files : public ::testing::Test {
 protected:
  std::string dir_ = [] {
    char pattern[] = "/tmp/quibblo-recall-test-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  void TearDown() override { std::filesystem::remove_all(dir_); }
};

TEST_F(Files, AMissingDamagedForeignOrLinkedFileIsToldApart) {
  sqlite3* db;
  std::string why;
  EXPECT_EQ(OpenReadOnly(dir_ + "/none.db", "games", kGameColumns, &db, why), kExitMissing);
  std::ofstream(dir_ + "/junk.db") << std::string(2048, 'j');
  EXPECT_EQ(OpenReadOnly(dir_ + "/junk.db", "games", kGameColumns, &db, why), kExitDamaged);
  EXPECT_NE(why.find("not a database"), std::string::npos) << why;
  sqlite3* other;
  sqlite3_open((dir_ + "/other.db").c_str(), &other);
  sqlite3_exec(other, "CREATE TABLE games(number INTEGER)", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(OpenReadOnly(dir_ + "/other.db", "games", kGameColumns, &db, why), kExitDamaged);
  EXPECT_EQ(OpenReadOnly(dir_ + "/other.db", "games", "number", &db, why), kExitOk);
  sqlite3_close_v2(db);
  std::filesystem::create_symlink(dir_ + "/other.db", dir_ + "/link.db");
  EXPECT_EQ(OpenReadOnly(dir_ + "/link.db", "games", "number", &db, why), kExitDamaged);
}
}  // namespace
