#include "machine/journal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "machine/money_due.h"
#include "support/temp_dir.h"

namespace {
using nlohmann::json;

// A second, reading connection, as the operator's recall is.
struct Reader {
  sqlite3* db = nullptr;
  Reader() { sqlite3_open_v2("data/journal.db", &db, SQLITE_OPEN_READWRITE, nullptr); }
  ~Reader() { sqlite3_close_v2(db); }
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(s); ++i) {
        const unsigned char* t = sqlite3_column_text(s, i);
        row.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
      }
      rows.push_back(row);
    }
    sqlite3_finalize(s);
    return rows;
  }
  std::string One(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() ? "" : rows[0][0];
  }
};

// A money command as the credit link journals it: before it goes, and with its outcome.
void Money(const char* request, const char* reply, const char* result) {
  JournalCreditSending(request);
  JournalCredit(request, reply, result);
}

class JournalTest : public ::testing::Test {
 protected:
  TempWorkDir dir_;
  void SetUp() override { JournalKeepGames = 10000; }
  void TearDown() override { JournalClose(); }

  // A paid game up to its play: the stake's readings and command, then play.
  void StartGame(int32_t stake = 50) {
    JournalBeforeStake({{"random", "3 0 1 2"}, {"band", 2}});
    JournalCredit("CGET\r\n", "CTEL,500\r\n", "done");
    JournalCredit("BGET\r\n", "BTEL,0\r\n", "done");
    Money("CUSE,50\r\n", "CTEL,450\r\n", "done");
    JournalStake(stake, false, true);
    JournalPlayStarts();
  }
  void PlayGame(int32_t prize = 0) {
    StartGame();
    JournalRecord("pick", {{"box", 3}});
    if (prize) JournalPrize(prize);
    JournalGameEnds(prize ? "won" : "lost", prize, false, 450, 0, 0x1234);
  }
};

TEST_F(JournalTest, TheGamesTableHasTheColumnsOtherProgramsRead) {
  ASSERT_TRUE(JournalOpen());
  Reader r;
  std::vector<std::string> names;
  for (auto& row : r.Rows("PRAGMA table_info(games)")) names.push_back(row[1]);
  EXPECT_EQ(names, (std::vector<std::string>{"number", "started", "ended", "state", "band", "payout_balance", "stake",
                                             "continues", "outcome", "prize", "paid"}));
  EXPECT_EQ(r.One("PRAGMA journal_mode"), "wal");
  // Opening again keeps what is there.
  PlayGame();
  JournalClose();
  ASSERT_TRUE(JournalOpen());
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM games"), "1");
}

TEST_F(JournalTest, AGameIsOneRowWithItsStoryFromTheStakeToThePayment) {
  ASSERT_TRUE(JournalOpen());
  Reader r;
  StartGame();
  EXPECT_EQ(JournalGame(), 1);
  EXPECT_EQ(r.Rows("SELECT state, stake, continues, paid FROM games")[0],
            (std::vector<std::string>{"playing", "50", "0", "none"}));
  // The started time is local time with its offset, to the second.
  EXPECT_TRUE(std::regex_match(r.One("SELECT started FROM games"),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));
  // Balance readings while a screen waits: runs of the same reading, each balance on its own.
  for (int i = 0; i < 50; ++i) {
    JournalCredit("CGET\r\n", "CTEL,450\r\n", "done");
    JournalCredit("BGET\r\n", "BTEL,0\r\n", "done");
  }
  JournalCredit("CGET\r\n", "CTEL,500\r\n", "done");  // money came in
  Money("CUSE,50\r\n", "CTEL,450\r\n", "done");
  JournalStake(50, true, true);
  JournalPrize(150);
  Money("BADD,100\r\n", "", "lost");
  JournalGameEnds("won", 150, true, 450, 100, 0xabcdef);
  EXPECT_EQ(JournalGame(), 0);

  EXPECT_EQ(r.Rows("SELECT state, stake, continues, outcome, prize, paid, ended IS NOT NULL FROM games")[0],
            (std::vector<std::string>{"finished", "100", "1", "won", "150", "owed", "1"}));
  std::vector<std::string> kinds;
  for (auto& row : r.Rows("SELECT kind FROM events WHERE game = 1 ORDER BY seq")) kinds.push_back(row[0]);
  EXPECT_EQ(kinds, (std::vector<std::string>{"start", "credit", "credit", "credit", "credit", "play", "credit",
                                             "credit", "credit", "credit", "credit", "continue", "prize", "credit",
                                             "credit", "end"}));
  // Each money command is there before its outcome.
  auto stake = r.Rows("SELECT json_extract(detail, '$.request'), json_extract(detail, '$.result') FROM events"
                      " WHERE game = 1 AND detail LIKE '%CUSE%' ORDER BY seq");
  EXPECT_EQ(stake, (std::vector<std::vector<std::string>>{
                       {"CUSE,50", "sent"}, {"CUSE,50", "done"}, {"CUSE,50", "sent"}, {"CUSE,50", "done"}}));
  auto start = json::parse(r.One("SELECT detail FROM events WHERE kind = 'start'"));
  EXPECT_EQ(start["stake"], 50);
  EXPECT_EQ(start["random"], "3 0 1 2");
  auto runs = r.Rows("SELECT detail FROM events WHERE kind = 'credit' AND detail LIKE '%GET%' AND seq > 6");
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(json::parse(runs[0][0])["repeat"], 50);
  EXPECT_EQ(json::parse(runs[1][0])["repeat"], 50);
  EXPECT_EQ(json::parse(runs[2][0])["reply"], "CTEL,500");
  auto lost = json::parse(r.One("SELECT detail FROM events WHERE detail LIKE '%BADD%' AND detail LIKE '%lost%'"));
  EXPECT_EQ(lost["result"], "lost");
  EXPECT_EQ(lost["request"], "BADD,100");  // without the line end
  // Stakes come a fraction of a second apart: their times must tell them apart from the ledger's.
  EXPECT_TRUE(std::regex_match(lost["time"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
  EXPECT_EQ(json::parse(r.One("SELECT detail FROM events WHERE kind = 'end'"))["screen"], "0000000000abcdef");

  // Paid from the menu later: the payment belongs to the game, which is then paid.
  JournalCredit("CGET\r\n", "CTEL,450\r\n", "done");  // menu readings are not kept
  Money("BADD,100\r\n", "BTEL,100\r\n", "done");
  JournalOwedPaid();
  EXPECT_EQ(r.One("SELECT paid FROM games"), "paid");
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events WHERE game = 1 AND seq > 16 AND kind = 'credit'"), "2");
  EXPECT_EQ(r.One("SELECT kind FROM events WHERE game = 1 ORDER BY seq DESC LIMIT 1"), "paid_later");
}

TEST_F(JournalTest, ARefusedStakeLeavesNoGameAndNothingIsKeptBetweenGames) {
  ASSERT_TRUE(JournalOpen());
  Reader r;
  JournalBeforeStake({{"band", 1}});
  JournalCredit("CGET\r\n", "CTEL,20\r\n", "done");
  Money("CUSE,50\r\n", "FAIL,short\r\n", "refused");
  JournalStake(50, false, false);
  JournalRecord("pick", {{"box", 1}});
  JournalTouch(10, 10);
  JournalPrize(100);
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM games"), "0");
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events"), "0");
  // A continue without a game, or one not taken, changes nothing either.
  PlayGame();
  JournalStake(50, true, true);
  EXPECT_EQ(r.One("SELECT stake FROM games"), "50");
  // The next stake's exchanges are its own, not the last game's.
  StartGame();
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events WHERE game = 2 AND kind = 'credit'"), "4");
  JournalGameEnds("lost", 0, false, 0, 0, 0);
  // A stake whose reply was lost and that was not taken makes no game, but what it sent stays
  // with the game before, for the match against the ledger.
  JournalBeforeStake({{"band", 1}});
  Money("CUSE,50\r\n", "", "lost");
  EXPECT_EQ(r.One("SELECT state FROM games WHERE number = 3"), "playing");  // killed here, it would show
  JournalStake(50, false, false);
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM games"), "2");
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events WHERE game = 3"), "0");
  EXPECT_EQ(r.Rows("SELECT json_extract(detail, '$.result') FROM events WHERE game = 2 ORDER BY seq DESC LIMIT 2"),
            (std::vector<std::vector<std::string>>{{"lost"}, {"sent"}}));
  StartGame();
  EXPECT_EQ(JournalGame(), 3);
}

TEST_F(JournalTest, AGameLeftPlayingIsMarkedInterruptedWithWhatTheDueFileHeld) {
  ASSERT_TRUE(JournalOpen());
  PlayGame(55);
  StartGame();
  JournalPrize(200);
  JournalClose();  // the cabinet stops here

  ASSERT_TRUE(JournalOpen());
  MoneyDue before;
  before.game = true;
  before.prize = 200;
  before.bank.amount = 200;
  MoneyDue after;
  after.bank.amount = 200;
  JournalMarkInterrupted(before, after, true);
  Reader r;
  EXPECT_EQ(r.Rows("SELECT number, state, prize, paid FROM games ORDER BY number"),
            (std::vector<std::vector<std::string>>{{"1", "finished", "55", "paid"}, {"2", "interrupted", "200", "owed"}}));
  auto d = json::parse(r.One("SELECT detail FROM events WHERE kind = 'interrupted'"));
  EXPECT_EQ(d["due_before"], FormatDue(before));
  EXPECT_EQ(d["due_after"], FormatDue(after));
  // Marking again finds nothing to mark; the next game takes the next number.
  JournalMarkInterrupted(before, after, false);
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events WHERE kind = 'interrupted'"), "1");
  StartGame();
  EXPECT_EQ(JournalGame(), 3);
  EXPECT_EQ(r.One("SELECT MIN(seq) FROM events WHERE game = 3"), "1");

  // With no prize the game owes nothing, whatever else is owed.
  JournalClose();
  ASSERT_TRUE(JournalOpen());
  JournalMarkInterrupted(MoneyDue{}, MoneyDue{}, true);
  EXPECT_EQ(r.Rows("SELECT state, prize, paid FROM games WHERE number = 3")[0],
            (std::vector<std::string>{"interrupted", "0", "none"}));
}

TEST_F(JournalTest, OnlyTheNewestGamesAreKept) {
  JournalKeepGames = 3;
  ASSERT_TRUE(JournalOpen());
  for (int i = 0; i < 5; ++i) PlayGame();
  Reader r;
  EXPECT_EQ(r.Rows("SELECT MIN(number), MAX(number), COUNT(*) FROM games")[0],
            (std::vector<std::string>{"3", "5", "3"}));
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM events WHERE game < 3"), "0");
  JournalClose();
  ASSERT_TRUE(JournalOpen());
  PlayGame();
  EXPECT_EQ(r.One("SELECT MAX(number) FROM games"), "6");
  EXPECT_EQ(r.One("SELECT MIN(number) FROM games"), "4");
}

TEST_F(JournalTest, ADamagedForeignOrLinkedJournalIsRefusedAndLeftAsItIs) {
  std::filesystem::create_directories("data");
  {
    std::ofstream("data/journal.db") << std::string(4096, 'x');
    EXPECT_FALSE(JournalOpen());
    EXPECT_FALSE(JournalInUse());
    PlayGame();  // the game goes on without it
    std::ifstream in("data/journal.db");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(4096, 'x'));
  }
  std::filesystem::remove("data/journal.db");
  {
    sqlite3* other;
    sqlite3_open("data/journal.db", &other);
    sqlite3_exec(other, "CREATE TABLE games(id INTEGER, name TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_FALSE(JournalOpen());
  }
  std::filesystem::remove("data/journal.db");
  {
    std::ofstream("elsewhere.db") << "";
    std::filesystem::create_symlink("../elsewhere.db", "data/journal.db");
    EXPECT_FALSE(JournalOpen());
    EXPECT_EQ(std::filesystem::file_size("elsewhere.db"), 0u);
  }
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenIsLeftAndTheGameGoesOn) {
  ASSERT_TRUE(JournalOpen());
  PlayGame();
  Reader r;
  sqlite3_busy_timeout(r.db, 0);
  ASSERT_EQ(sqlite3_exec(r.db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  StartGame();  // the stake's commit waits, then gives up
  EXPECT_FALSE(JournalInUse());
  JournalRecord("pick", {{"box", 1}});
  JournalGameEnds("lost", 0, false, 0, 0, 0);
  sqlite3_exec(r.db, "ROLLBACK", nullptr, nullptr, nullptr);
  EXPECT_EQ(r.One("SELECT COUNT(*) FROM games"), "1");
  EXPECT_EQ(r.One("SELECT state FROM games"), "finished");
}
}  // namespace
