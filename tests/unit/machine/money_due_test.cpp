#include "machine/money_due.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "fake_server.h"
#include "machine/credit_link.h"
#include "machine/meters.h"
#include "support/temp_dir.h"

namespace {
ScriptedReply Reply(std::string text) { return {{std::move(text)}, false}; }
const ScriptedReply kHangUp{{}, true};  // the request is read, then the line goes dead

void WriteText(const char* path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

class MoneyDueTest : public ::testing::Test {
 protected:
  TempWorkDir dir_;
  void SetUp() override {
    std::memset(Meters, 0, sizeof Meters);
    PayoutBalance = 0;
    GamePrize = 0;
    Stake = 50;
    Due = {};
    unsetenv("QUIBBLO_CREDIT_UID");
  }
  MoneyDue OnDisk() {
    MoneyDue due;
    EXPECT_TRUE(ReadDueFile(due));
    return due;
  }
};

TEST(Judging, ReadingsBeforeAndAfterTellWhetherACommandWasApplied) {
  EXPECT_EQ(JudgeAdd(100, 200, 300), Outcome::Applied);
  EXPECT_EQ(JudgeAdd(100, 200, 100), Outcome::NotApplied);
  EXPECT_EQ(JudgeAdd(100, 200, 0), Outcome::Unknown);        // collected meanwhile
  EXPECT_EQ(JudgeAdd(9950, 100, 9999), Outcome::Applied);    // the reading stops at 9999
  EXPECT_EQ(JudgeAdd(9999, 100, 9999), Outcome::Unknown);    // no reading can tell
  EXPECT_EQ(JudgeSpend(70, 50, 20), Outcome::Applied);
  EXPECT_EQ(JudgeSpend(70, 50, 70), Outcome::NotApplied);
  EXPECT_EQ(JudgeSpend(70, 50, 570), Outcome::Unknown);      // money inserted meanwhile
}

TEST(DueText, ReadsBackWhatItWritesAndRefusesWhatItDoesNotKnow) {
  MoneyDue d;
  d.game = true;
  d.stake = 50;
  d.stakeMeter = 449;
  d.stakeCredit = 30;
  d.stakeBank = 100;
  d.stakeMeterBefore = 7;
  d.stakeTaken = true;
  d.prize = 255;
  d.prizeTotalBefore = -3;
  d.bank = {200, 9000, true};
  d.credit = {55, 0, false};
  MoneyDue back;
  ASSERT_TRUE(ParseDue(FormatDue(d), back));
  EXPECT_EQ(FormatDue(back), FormatDue(d));
  EXPECT_EQ(FormatDue(back), "game\nstake 50 449 30 100 7 1\nprize 255 -3\nbank 200 9000 1\ncredit 55 0 0\n");
  EXPECT_FALSE(ParseDue("bank 200\n", back));
  EXPECT_FALSE(ParseDue("stake 50 999 0 0 0 0\n", back));  // no such meter
  EXPECT_FALSE(ParseDue("owe 5\n", back));
  EXPECT_TRUE(ParseDue("", back));
  EXPECT_EQ(FormatDue(back), "");
}

TEST_F(MoneyDueTest, APrizeWhoseReplyWasLostButWhichWasAppliedIsNotPaidAgain) {
  TcpFakeServer server({{Reply("BTEL,100\r\n"), kHangUp}, {Reply("BTEL,300\r\n")}});
  ASSERT_EQ(ReconnectCreditServer(), true);
  PayPrize(200);
  EXPECT_EQ(Due.bank.amount, 0);
  EXPECT_EQ(server.Received(), "BGET\r\nBADD,200\r\nBGET\r\n");
}

TEST_F(MoneyDueTest, APrizeWhoseCommandNeverArrivedIsPaidOnce) {
  TcpFakeServer server({{Reply("BTEL,100\r\n"), kHangUp},
                        {Reply("BTEL,100\r\n"), Reply("BTEL,100\r\n"), Reply("BTEL,300\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  PayPrize(200);
  EXPECT_EQ(Due.bank.amount, 0);
  EXPECT_EQ(server.Received(), "BGET\r\nBADD,200\r\nBGET\r\nBGET\r\nBADD,200\r\n");
}

TEST_F(MoneyDueTest, ARefusedPrizeStaysOwedOnDiskAndIsPaidAtTheNextStart) {
  {
    TcpFakeServer server({{Reply("BTEL,0\r\n"), Reply("FAIL,payout cap\r\n"), Reply("CTEL,0\r\n"),
                           Reply("CTEL,5\r\n")}});
    ASSERT_TRUE(ReconnectCreditServer());
    PayPrize(505);
    int32_t owed = 0;
    EXPECT_EQ(MachineService(&owed), Service::CallAttendant);
    EXPECT_EQ(owed, 500);
    EXPECT_FALSE(PayForGame());  // nothing is staked while a prize is owed
    server.Received();
  }
  EXPECT_EQ(FormatDue(OnDisk()), "prize 505 0\nbank 500 0 0\n");
  Due = {};  // a new run
  TcpFakeServer server({{Reply("BTEL,0\r\n"), Reply("BTEL,500\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  RecoverDue();
  EXPECT_EQ(Meters[413], 505);  // booked once, by the run that pays it
  EXPECT_EQ(MachineService(), Service::Open);
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
  EXPECT_EQ(server.Received(), "BGET\r\nBADD,500\r\n");
}

TEST_F(MoneyDueTest, AGameKilledWhilePayingIsBookedAndPaidWithoutPayingTwice) {
  // Killed after BADD was sent (and applied) and before the credit part went out.
  WriteText("data/morvane.due", "game\nprize 255 40\nbank 200 40 1\ncredit 55 10 0\n");
  Meters[413] = 40;
  TcpFakeServer server({{Reply("BTEL,240\r\n"), Reply("CTEL,10\r\n"), Reply("CTEL,65\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  RecoverDue();
  EXPECT_EQ(Meters[413], 295);
  EXPECT_EQ(Meters[421], 1);
  EXPECT_FLOAT_EQ(PayoutBalance, 255.0f);
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
  EXPECT_EQ(server.Received(), "BGET\r\nCGET\r\nCADD,55\r\n");
}

TEST_F(MoneyDueTest, AGameWhosePrizeWasAlreadyBookedIsNotBookedAgain) {
  WriteText("data/morvane.due", "prize 100 40\n");
  Meters[413] = 140;
  RecoverDue();
  EXPECT_EQ(Meters[413], 140);
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
}

TEST_F(MoneyDueTest, AStakeTakenForAGameThatWasKilledIsBookedAtTheNextStart) {
  // Killed after the server took the stake and before the record held it.
  WriteText("data/morvane.due", "stake 50 0 450 600 3 1\n");
  Meters[0] = 3;
  RecoverDue();
  EXPECT_EQ(Meters[0], 4);
  EXPECT_EQ(Meters[423], 1);
  EXPECT_FLOAT_EQ(PayoutBalance, -15.0f);
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
  RecoverDue();  // and only once
  EXPECT_EQ(Meters[0], 4);
}

TEST_F(MoneyDueTest, AStakeWhoseReplyWasLostStartsTheGameItPaidFor) {
  TcpFakeServer server({{Reply("CTEL,50\r\n"), Reply("BTEL,0\r\n"), kHangUp},
                        {Reply("CTEL,0\r\n"), Reply("BTEL,0\r\n"), Reply("BTEL,0\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  EXPECT_TRUE(PayForGame());
  EXPECT_EQ(Meters[0], 1);
  EXPECT_EQ(Meters[422], 1);
  EXPECT_EQ(server.Received(), "CGET\r\nBGET\r\nCUSE,50\r\nCGET\r\nBGET\r\nBGET\r\n");
  EXPECT_EQ(FormatDue(OnDisk()), "game\n");
}

TEST_F(MoneyDueTest, AStakeThatNeverArrivedStartsNothing) {
  TcpFakeServer server({{Reply("CTEL,50\r\n"), Reply("BTEL,0\r\n"), kHangUp},
                        {Reply("CTEL,50\r\n"), Reply("BTEL,0\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  EXPECT_FALSE(PayForGame());
  EXPECT_EQ(Meters[0], 0);
  EXPECT_FLOAT_EQ(PayoutBalance, 0.0f);
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
  server.Received();
}

TEST_F(MoneyDueTest, AStakeTakenWhileTheServerWentAwayIsHandedBackLater) {
  {
    TcpFakeServer server({{Reply("CTEL,50\r\n"), Reply("BTEL,0\r\n"), kHangUp}, {kHangUp}});
    ASSERT_TRUE(ReconnectCreditServer());
    EXPECT_FALSE(PayForGame());
    EXPECT_EQ(MachineService(), Service::OutOfService);
    server.Received();
  }
  EXPECT_EQ(OnDisk().stake, 50);
  Due = {};  // the next run finds the stake taken and no game for it
  TcpFakeServer server({{Reply("CTEL,0\r\n"), Reply("BTEL,0\r\n"), Reply("CTEL,0\r\n"), Reply("CTEL,50\r\n")}});
  ASSERT_TRUE(ReconnectCreditServer());
  RecoverDue();
  EXPECT_EQ(Meters[0], 0);
  EXPECT_EQ(server.Received(), "CGET\r\nBGET\r\nCGET\r\nCADD,50\r\n");
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
}

TEST_F(MoneyDueTest, TheLinkTrustsOnlyAServerOfTheExpectedAccount) {
  TcpFakeServer server({{Reply("CTEL,7\r\n")}, {Reply("CTEL,7\r\n")}});
  std::string why;
  setenv("QUIBBLO_CREDIT_UID", std::to_string(getuid() + 1).c_str(), 1);
  EXPECT_EQ(ConnectCreditServer(why), 2);
  EXPECT_NE(why.find("not trusted"), std::string::npos) << why;
  EXPECT_FALSE(CreditLinkUp());
  setenv("QUIBBLO_CREDIT_UID", std::to_string(getuid()).c_str(), 1);
  EXPECT_EQ(ConnectCreditServer(why), 0);
  EXPECT_EQ(ReadCredit(), 7);
  unsetenv("QUIBBLO_CREDIT_UID");
  EXPECT_EQ(server.Received(), "CGET\r\n");  // the untrusted connection was told nothing
}
}  // namespace
