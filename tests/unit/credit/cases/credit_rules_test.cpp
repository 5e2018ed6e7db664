#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sqlite3.h>

#include <filesystem>

#include "credit/ledger.h"
#include "credit/protocol.h"

using namespace credit;
namespace fs = std::filesystem;

namespace {
TEST(Protocol, AcceptsExactlyTheGamesRequests) {
  EXPECT_EQ(ParseRequest("CGET").verb, Verb::CreditGet);
  EXPECT_EQ(ParseRequest("BGET").verb, Verb::BankGet);
  EXPECT_EQ(ParseRequest("TERM").verb, Verb::Term);
  Request r = ParseRequest("CUSE,50");
  EXPECT_EQ(r.verb, Verb::CreditUse);
  EXPECT_EQ(r.amount, 50);
  EXPECT_EQ(ParseRequest("BADD,999999").amount, 999999);
  EXPECT_EQ(ParseRequest("CADD,5").verb, Verb::CreditAdd);
}

TEST(Protocol, RefusesEverythingElse) {
  for (const char* bad : {"", "cget", "CGET ", "CGET,1", "XGET", "cuse,50", "CUSE", "CUSE,",
                          "CUSE,0", "CUSE,-5", "CUSE,+5", "CUSE, 5", "CUSE,5 ", "CUSE,5x",
                          "CUSE,1000000", "CUSE,99999999999999999999", "BADD,1.5", "TERM,1"}) {
    Request r = ParseRequest(bad);
    EXPECT_EQ(r.verb, Verb::Invalid) << bad;
    EXPECT_FALSE(r.reason.empty()) << bad;
  }
  EXPECT_EQ(ParseRequest(std::string(65, 'C')).reason, "line too long");
  // Leading zeros are not the game's: refused, never read as the number they spell.
  for (const char* zeros : {"BADD,000100", "CUSE,050", "CADD,0", "CADD,00", "BADD,0999999"})
    EXPECT_EQ(ParseRequest(zeros).reason, "bad amount") << zeros;
  EXPECT_EQ(ParseAmount("0100"), -1);
  EXPECT_EQ(ParseAmount("100"), 100);
  EXPECT_EQ(Refusal("bad amount"), "FAIL,bad amount\r\n");
}

TEST(Rules, SpendTakesCreditFirstThenBank) {
  Decision d = Decide(Movement::Spend, 50, {30, 20, 0});
  ASSERT_TRUE(d.accepted);
  EXPECT_EQ(d.after.credit, 0);
  EXPECT_EQ(d.after.bank, 0);
  d = Decide(Movement::Spend, 50, {80, 20, 0});
  EXPECT_EQ(d.after.credit, 30);
  EXPECT_EQ(d.after.bank, 20);
  d = Decide(Movement::Spend, 51, {30, 20, 700});  // the amount held for payout is not spendable
  EXPECT_FALSE(d.accepted);
}

TEST(Rules, PrizesAreNeverRefusedAndWhatCannotBeReadIsHeld) {
  Decision d = Decide(Movement::AddBank, 300, {0, 9800, 5});
  ASSERT_TRUE(d.accepted);
  EXPECT_EQ(d.after.bank, 9999);
  EXPECT_EQ(d.after.payoutDue, 106);
  d = Decide(Movement::AddCredit, 50, {9990, 0, 0});
  ASSERT_TRUE(d.accepted);
  EXPECT_EQ(d.after.credit, 9999);
  EXPECT_EQ(d.after.payoutDue, 41);
}

TEST(Rules, APrizeThatWouldTakePayoutDuePastItsLimitIsRefused) {
  EXPECT_FALSE(Decide(Movement::AddBank, 300, {0, 9800, 0}, 100).accepted);
  Decision d = Decide(Movement::AddBank, 300, {0, 9800, 0}, 101);  // exactly to the limit
  ASSERT_TRUE(d.accepted);
  EXPECT_EQ(d.after.payoutDue, 101);
  d = Decide(Movement::AddCredit, 2, {9998, 0, 101}, 101);
  EXPECT_FALSE(d.accepted);
  EXPECT_EQ(d.reason, "payout limit reached");
  // Past a limit lowered since: what still reads in full is paid, nothing more is held.
  EXPECT_TRUE(Decide(Movement::AddCredit, 1, {9998, 0, 500}, 100).accepted);
  EXPECT_FALSE(Decide(Movement::AddBank, 2, {0, 9998, 500}, 100).accepted);
  EXPECT_TRUE(Decide(Movement::Spend, 50, {100, 0, 500}, 100).accepted);
}

TEST(Rules, InsertStopsBelowWhatTheGameCanRead) {
  EXPECT_TRUE(Decide(Movement::Insert, 9999, {0, 0, 0}).accepted);
  EXPECT_FALSE(Decide(Movement::Insert, 1, {9999, 0, 0}).accepted);
  EXPECT_FALSE(Decide(Movement::Insert, 0, {0, 0, 0}).accepted);
  Decision d = Decide(Movement::Collect, 0, {10, 300, 40});
  EXPECT_EQ(d.after.credit, 10);
  EXPECT_EQ(d.after.bank, 0);
  EXPECT_EQ(d.after.payoutDue, 0);
}

TEST(LedgerFile, EveryMovementIsJournalledAndBalances) {
  fs::path path = fs::temp_directory_path() / "quibblo-credit-unit.db";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
  {
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.Open(path.string(), error)) << error;
    EXPECT_TRUE(ledger.Apply(Source::Operator, Movement::Insert, 500).accepted);
    EXPECT_TRUE(ledger.Apply(Source::Game, Movement::Spend, 50).accepted);
    EXPECT_FALSE(ledger.Apply(Source::Game, Movement::Spend, 451).accepted);
    EXPECT_TRUE(ledger.Apply(Source::Game, Movement::AddBank, 9999).accepted);
    EXPECT_TRUE(ledger.Apply(Source::Game, Movement::AddBank, 100).accepted);
    Balances before;
    EXPECT_TRUE(ledger.Apply(Source::Operator, Movement::Collect, 0, &before).accepted);
    EXPECT_EQ(before.bank + before.payoutDue, 10099);
    EXPECT_TRUE(ledger.Apply(Source::Operator, Movement::Collect, 0).accepted);  // nothing to pay
  }
  Ledger ledger;
  std::string error;
  ASSERT_TRUE(ledger.Open(path.string(), error)) << error;
  Balances b;
  ASSERT_TRUE(ledger.Read(b));
  EXPECT_EQ(b.credit, 450);
  EXPECT_EQ(b.bank, 0);
  std::vector<JournalRow> rows;
  ASSERT_TRUE(ledger.Journal(rows));
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1].command, "CUSE");
  EXPECT_EQ(rows[1].source, "game");
  EXPECT_EQ(rows[4].command, "collect");
  EXPECT_EQ(rows[4].amount, 10099);
  EXPECT_TRUE(ledger.Balanced(error)) << error;
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
}

TEST(LedgerFile, IsItsOwnersAloneAndAReaderMakesNothing) {
  fs::path path = fs::temp_directory_path() / "quibblo-credit-unit-private.db";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
  std::string error;
  {
    Ledger reader;
    EXPECT_FALSE(reader.Open(path.string(), error, true));
    EXPECT_FALSE(fs::exists(path));
  }
  mode_t old = umask(0);
  {
    Ledger ledger;
    ASSERT_TRUE(ledger.Open(path.string(), error)) << error;
    EXPECT_TRUE(ledger.Apply(Source::Game, Movement::AddBank, 120).accepted);
    for (const char* suffix : {"", "-wal", "-shm"})
      EXPECT_EQ(fs::status(path.string() + suffix).permissions(), fs::perms::owner_read | fs::perms::owner_write)
          << suffix;
    Ledger reader;  // beside the writer, through its log
    Balances b;
    ASSERT_TRUE(reader.Open(path.string(), error, true)) << error;
    ASSERT_TRUE(reader.Read(b));
    EXPECT_EQ(b.bank, 120);
    EXPECT_FALSE(reader.Apply(Source::Game, Movement::AddBank, 5).accepted);
  }
  umask(old);
  Ledger ledger;
  ASSERT_TRUE(ledger.Open(path.string(), error, true)) << error;
  std::vector<JournalRow> rows;
  ASSERT_TRUE(ledger.Journal(rows));
  EXPECT_EQ(rows.size(), 1u);
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
}
TEST(LedgerFile, HeldBalancesFollowEveryCommitWhoeverMakesIt) {
  fs::path path = fs::temp_directory_path() / "quibblo-credit-unit-held.db";
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
  std::string error;
  Ledger server, op;
  ASSERT_TRUE(server.Open(path.string(), error)) << error;
  ASSERT_TRUE(op.Open(path.string(), error)) << error;
  Balances b;
  ASSERT_TRUE(server.Current(b));
  EXPECT_EQ(b.credit, 0);
  int64_t reloads = server.Reloads();
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(server.Current(b));
  EXPECT_EQ(server.Reloads(), reloads) << "nothing changed: no query should read the file";

  // Another connection's commit shows at the next look, however many come in a row.
  for (int64_t credit = 10; credit <= 30; credit += 10) {
    ASSERT_TRUE(op.Apply(Source::Operator, Movement::Insert, 10).accepted);
    ASSERT_TRUE(server.Current(b));
    EXPECT_EQ(b.credit, credit);
  }
  // Its own commits are known without reading them back.
  ASSERT_TRUE(server.Apply(Source::Game, Movement::Spend, 5).accepted);
  ASSERT_TRUE(server.Apply(Source::Game, Movement::AddBank, 70).accepted);
  EXPECT_FALSE(server.Apply(Source::Game, Movement::Spend, 1000).accepted);
  ASSERT_TRUE(server.Current(b));
  EXPECT_EQ(b.credit, 25);
  EXPECT_EQ(b.bank, 70);
  // Another commit just before one of its own: the own one starts from it.
  ASSERT_TRUE(op.Apply(Source::Operator, Movement::Insert, 100).accepted);
  ASSERT_TRUE(server.Apply(Source::Game, Movement::AddCredit, 1).accepted);
  ASSERT_TRUE(server.Current(b));
  EXPECT_EQ(b.credit, 126);
  ASSERT_TRUE(op.Apply(Source::Operator, Movement::Collect, 0).accepted);
  ASSERT_TRUE(server.Current(b));
  EXPECT_EQ(b.bank, 0);

  // A writer outside the program, after emptying the log, so the log starts over from its head.
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "UPDATE balances SET credit = credit + 1 WHERE id = 1", nullptr, nullptr,
                           nullptr), SQLITE_OK);
    ASSERT_TRUE(server.Current(b));
    EXPECT_EQ(b.credit, 127 + round);
  }
  sqlite3_close(raw);
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix);
}
}  // namespace
