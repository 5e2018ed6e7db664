#include "machine/replay.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "platform/options.h"
#include "support/temp_dir.h"

namespace {
using nlohmann::json;

json Exchange(int64_t ms, const char* request, const char* reply, const char* result = "done") {
  return {{"ms", ms}, {"request", request}, {"reply", reply}, {"result", result}};
}

class ReplayTest : public ::testing::Test {
 protected:
  TempWorkDir dir_;
  void TearDown() override {
    ReplayEnd();
    Options = PlatformOptions{};
  }
  bool Load(const json& plan) {
    std::ofstream("plan.json") << plan.dump();
    std::string why;
    return ReplayLoad("plan.json", why);
  }
  std::string Ask(const char* request) {
    std::string reply, result;
    if (!ReplayAnswer(request, reply, result)) return "(none)";
    return reply + " " + result;
  }
  void Wait(uint32_t ms) {
    for (uint32_t start = ClockSinceStart(); ClockSinceStart() - start < ms;) timeGetTime();
  }
};

TEST_F(ReplayTest, MoneyCommandsAreAnsweredInTheirOrderAndAnyOtherCommandLeavesTheRecordedGame) {
  ASSERT_TRUE(Load({{"state", json::object()},
                    {"credit", {Exchange(-5, "CGET", "CTEL,500"), Exchange(-5, "CUSE,50", "CTEL,450"),
                                Exchange(9000, "BADD,100", "", "lost"), Exchange(9100, "BADD,100", "BTEL,100")}}}));
  EXPECT_TRUE(ReplayActive());
  EXPECT_EQ(Ask("CUSE,50\r\n"), "CTEL,450 done");
  EXPECT_EQ(Ask("BADD,100\r\n"), " lost");
  EXPECT_EQ(ReplayDeparture(), "");
  EXPECT_EQ(Ask("CADD,100\r\n"), "(none)");
  EXPECT_EQ(ReplayDeparture(), "the game sent CADD,100 where the recorded game sent BADD,100");
  EXPECT_EQ(Ask("BADD,100\r\n"), "BTEL,100 done");
  EXPECT_EQ(Ask("CUSE,50\r\n"), "(none)");
  // The first departure is the one named.
  EXPECT_EQ(ReplayDeparture(), "the game sent CADD,100 where the recorded game sent BADD,100");
}

TEST_F(ReplayTest, AReadingGivesTheBalanceAsItStoodThenBetweenMoneyCommands) {
  UseVirtualClock(1000);
  ASSERT_TRUE(Load({{"state", json::object()},
                    {"credit", {Exchange(-10, "CGET", "CTEL,500"), Exchange(-10, "BGET", "BTEL,7"),
                                Exchange(-9, "CUSE,50", "CTEL,450"), Exchange(100, "CGET", "CTEL,450"),
                                Exchange(3000, "CGET", "CTEL,950"),  // money inserted at a continue
                                Exchange(3500, "CUSE,50", "CTEL,900")}}}));
  // Before play: the first reading since the last money command.
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,500 done");
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,500 done");
  EXPECT_EQ(Ask("CUSE,50\r\n"), "CTEL,450 done");
  // No bank reading was recorded since the stake: the last word on the bank stands.
  EXPECT_EQ(Ask("BGET\r\n"), "BTEL,7 done");
  ReplayPlayStarts();
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,450 done");  // earlier than any reading: the first
  Wait(2000);
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,450 done");
  Wait(1200);
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,950 done");
  EXPECT_EQ(Ask("CUSE,50\r\n"), "CTEL,900 done");
  // After the last command the credit is what its reply said.
  EXPECT_EQ(Ask("CGET\r\n"), "CTEL,900 done");
  EXPECT_EQ(ReplayDeparture(), "");
}

TEST_F(ReplayTest, TouchesGoIntoTheScriptFromTheStartOfPlayEachAfterAScreenshot) {
  UseVirtualClock(0);
  ASSERT_TRUE(Load({{"state", json::object()},
                    {"shots", "/tmp/shots"},
                    {"touches", {{{"ms", -40}, {"x", 1}, {"y", 2}}, {{"ms", 250}, {"x", 3}, {"y", 4}}}}}));
  Wait(5000);
  uint32_t base = ClockSinceStart();
  ReplayPlayStarts();
  const auto& s = Options.script;
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].kind, ScriptEvent::Shot);
  EXPECT_EQ(s[0].file, "/tmp/shots/touch-001.png");
  EXPECT_EQ(s[1].kind, ScriptEvent::Touch);
  EXPECT_EQ(s[1].ms, base);  // made before play: at its start
  EXPECT_EQ(s[1].x, 1);
  EXPECT_EQ(s[3].ms, base + 250);
  EXPECT_EQ(s[3].y, 4);
  EXPECT_EQ(s[2].file, "/tmp/shots/touch-002.png");
}

TEST_F(ReplayTest, APlanThatIsNotOneIsRefusedWithTheReason) {
  std::string why;
  EXPECT_FALSE(ReplayLoad("missing.json", why));
  EXPECT_EQ(why, "cannot read missing.json");
  for (const char* text : {"not json", "[]", "{\"credit\": []}", "{\"state\": {}, \"touches\": [{\"ms\": 1}]}",
                           "{\"state\": {}, \"credit\": [{\"ms\": \"soon\"}]}"}) {
    std::ofstream("plan.json") << text;
    why.clear();
    EXPECT_FALSE(ReplayLoad("plan.json", why)) << text;
    EXPECT_NE(why.find("plan.json is not a replay plan"), std::string::npos) << why;
    EXPECT_FALSE(ReplayActive());
  }
}
}  // namespace
