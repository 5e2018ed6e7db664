#include "machine/credit_link.h"

#include <gtest/gtest.h>

#include <cstring>

#include <chrono>
#include <filesystem>

#include "fake_server.h"
#include "machine/meters.h"
#include "machine/money_due.h"
#include "support/temp_dir.h"

namespace {
ScriptedReply Reply(std::string text) { return {{std::move(text)}, false}; }

class CreditLinkTest : public ::testing::Test {
 protected:
  TempWorkDir dir_;  // the due file and the record go under data/ here
  void SetUp() override {
    // Reconnections find nobody, whatever runs on the machine's own port.
    int probe = NetListen("127.0.0.1", 0);
    CreditServerPort = NetLocalPort(probe);
    NetClose(probe);
    Due = {};
    std::memset(Meters, 0, sizeof Meters);
    PayoutBalance = 0;
    GamePrize = 0;
    Stake = 50;
  }
};

TEST_F(CreditLinkTest, QueriesReadTheValueAfterTheTag) {
  FakeServer server({Reply("CTEL,250\r\n"), Reply("BTEL,9999\r\n"), Reply("CTEL,0\r\n")});
  EXPECT_EQ(QueryCredit(), 250);
  EXPECT_EQ(ReadBank(), 9999);
  EXPECT_EQ(ReadCredit(), 0);
  EXPECT_EQ(server.Received(), "CGET\r\nBGET\r\nCGET\r\n");
}

TEST_F(CreditLinkTest, ReadingsOfTenThousandOrMoreShowAsZero) {
  FakeServer server({Reply("CTEL,10000\r\n"), Reply("BTEL,10000\r\n"), Reply("CTEL,65536\r\n"),
                     Reply("CTEL,70001\r\n")});
  EXPECT_EQ(ReadCredit(), 0);
  EXPECT_EQ(QueryBank(), 10000);
  EXPECT_EQ(QueryCredit(), 0);     // low 16 bits of 65536
  EXPECT_EQ(QueryCredit(), 4465);  // low 16 bits of 70001
}

TEST_F(CreditLinkTest, WrongTagsAndMalformedRepliesFail) {
  FakeServer server({Reply("FAIL,insufficient\r\n"), Reply("ctel,250\r\n"), Reply("BTEL,5\r\n"),
                     Reply("CTEL250\r\n"), Reply("CT\r\n"), Reply("FAIL,no\r\n"),
                     Reply("BTEL\r\n")});
  EXPECT_EQ(QueryCredit(), 65535);
  EXPECT_EQ(QueryCredit(), 65535);  // lower case is not the tag
  EXPECT_EQ(QueryCredit(), 65535);  // the bank's tag for a credit query
  EXPECT_EQ(QueryCredit(), 65535);  // right tag, no comma
  EXPECT_EQ(ReadCredit(), 0);
  EXPECT_FALSE(SpendCredit(50));
  EXPECT_FALSE(AddBank(100));
}

TEST_F(CreditLinkTest, ClosedConnectionFailsEveryLaterCommand) {
  FakeServer server({{{}, true}});
  EXPECT_EQ(QueryCredit(), 65535);
  EXPECT_EQ(ReadBank(), 0);
  EXPECT_FALSE(AddCredit(5));
}

TEST_F(CreditLinkTest, SplitRepliesAndLeftoverBytesKeepRepliesOnTheirRequests) {
  // A reply in three pieces, then one followed by stray bytes that must not become the next reply.
  FakeServer server({{{"CT", "EL,2", "50\r\n"}, false},
                     Reply("BTEL,700\r\nCTEL,9\r\n"),
                     {{"", "CTEL,1\r\n"}, false},
                     Reply("BTEL,33\r\n")});
  EXPECT_EQ(QueryCredit(), 250);
  EXPECT_EQ(QueryBank(), 700);
  EXPECT_EQ(QueryCredit(), 1);
  EXPECT_EQ(QueryBank(), 33);
}

TEST_F(CreditLinkTest, RepliesWithoutALineEndFailAndDropTheLink) {
  // Longer than any reply of the protocol: the stream is no longer trusted.
  {
    FakeServer server({Reply("CTEL,1" + std::string(5000, '0')), Reply("BTEL,5\r\n")});
    EXPECT_EQ(QueryCredit(), 65535);
    EXPECT_FALSE(CreditLinkUp());
    EXPECT_EQ(QueryBank(), 65535);
  }
  FakeServer server({{{"CTEL,250"}, true}});  // cut off by a hang-up
  EXPECT_EQ(QueryCredit(), 65535);
}

TEST_F(CreditLinkTest, AMuteOrTricklingServerIsAFailedCommandNotAFrozenCabinet) {
  // A reply that never ends, and one that dribbles a byte every few milliseconds for longer
  // than the reply wait: each is given one bounded wait in all.
  std::vector<std::string> drip(1500, "0");
  drip.insert(drip.begin(), "CTEL,");
  for (const ScriptedReply& reply : {ScriptedReply{{"CTEL,25"}, false}, ScriptedReply{drip, false}}) {
    FakeServer server({reply});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryCredit(), 65535);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(CreditLinkUp());
  }
}

TEST_F(CreditLinkTest, PayPrizeSplitsWholePoundsToTheBankReadingEachFirst) {
  FakeServer server({Reply("BTEL,0\r\n"), Reply("BTEL,200\r\n"), Reply("CTEL,0\r\n"), Reply("CTEL,50\r\n"),
                     Reply("BTEL,200\r\n"), Reply("BTEL,500\r\n"), Reply("CTEL,50\r\n"),
                     Reply("CTEL,125\r\n")});
  PayPrize(250);
  PayPrize(300);
  PayPrize(75);
  PayPrize(0);
  EXPECT_EQ(server.Received(), "BGET\r\nBADD,200\r\nCGET\r\nCADD,50\r\nBGET\r\nBADD,300\r\nCGET\r\nCADD,75\r\n");
  EXPECT_EQ(MachineService(), Service::OutOfService);  // the link is gone with the fake
  MoneyDue due;
  ASSERT_TRUE(ReadDueFile(due));
  EXPECT_EQ(due.bank.amount + due.credit.amount, 0);  // paid; the last prize waits for its booking
  EXPECT_EQ(due.prize, 75);
}

TEST_F(CreditLinkTest, PayForGameSpendsThenCountsByTheRawBank) {
  std::vector<ScriptedReply> script;
  for (const char* bank : {"BTEL,499\r\n", "BTEL,500\r\n", "BTEL,12000\r\n", "FAIL,down\r\n"}) {
    for (const char* r : {"CTEL,200\r\n", "BTEL,0\r\n", "CTEL,150\r\n"}) script.push_back(Reply(r));
    script.push_back(Reply(bank));
  }
  FakeServer server(script);
  GamePrize = 77;
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(PayForGame());
    GameBooked();
  }
  EXPECT_EQ(GamePrize, 0);
  EXPECT_EQ(Meters[0], 4);
  EXPECT_EQ(Meters[422], 1);
  EXPECT_EQ(Meters[423], 1);
  EXPECT_EQ(Meters[424], 2);  // 12000 and a failed query
  EXPECT_FLOAT_EQ(PayoutBalance, -60.0f);
  std::string one = "CGET\r\nBGET\r\nCUSE,50\r\nBGET\r\n";
  EXPECT_EQ(server.Received(), one + one + one + one);
}

TEST_F(CreditLinkTest, RefusedPaymentStartsNothing) {
  FakeServer server({Reply("CTEL,20\r\n"), Reply("BTEL,0\r\n"), Reply("FAIL,insufficient credit\r\n")});
  PayoutBalance = 3;
  EXPECT_FALSE(PayForGame());
  EXPECT_EQ(Meters[0], 0);
  EXPECT_EQ(Meters[422] + Meters[423] + Meters[424], 0);
  EXPECT_FLOAT_EQ(PayoutBalance, 3.0f);
  EXPECT_EQ(server.Received(), "CGET\r\nBGET\r\nCUSE,50\r\n");  // no bank query after a refusal
  EXPECT_FALSE(std::filesystem::exists("data/morvane.due"));
}

TEST_F(CreditLinkTest, TermIsSentWithoutWaitingForAReply) {
  FakeServer server({});
  SendTerm();
  EXPECT_EQ(server.Received(), "TERM\r\n");
}
}  // namespace
