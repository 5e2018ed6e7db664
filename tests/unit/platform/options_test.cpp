#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/options.h"

namespace {
int Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quibblo");
  return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()));
}

TEST(Options, PlatformSwitches) {
  EXPECT_EQ(Parse({"--headless", "--virtual-clock=4294967000", "--monkey", "17", "--windowed"}), -1);
  EXPECT_TRUE(Options.headless);
  EXPECT_TRUE(Options.windowed);
  EXPECT_TRUE(Options.virtualClock);
  EXPECT_EQ(Options.clockStart, 4294967000u);
  EXPECT_TRUE(Options.monkey);
  EXPECT_EQ(Options.monkeySeed, 17u);
  EXPECT_EQ(Parse({"--virtual-clock"}), -1);
  EXPECT_EQ(Options.clockStart, 0u);
}

TEST(Options, ValuesJoinedOrSeparate) {
  char script[] = "/tmp/quibblo-options-XXXXXX";
  int fd = mkstemp(script);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "10 close\n", 9), 9);
  close(fd);
  EXPECT_EQ(Parse({"--monkey=17", std::string("--touches=").append(script).c_str(), "--virtual-clock", "250"}), -1);
  EXPECT_EQ(Options.monkeySeed, 17u);
  EXPECT_EQ(Options.script.size(), 1u);
  EXPECT_EQ(Options.clockStart, 250u);
  EXPECT_EQ(Parse({"--monkey", "18", "--touches", script, "--virtual-clock=251"}), -1);
  EXPECT_EQ(Options.monkeySeed, 18u);
  EXPECT_EQ(Options.script.size(), 1u);
  EXPECT_EQ(Options.clockStart, 251u);
  unlink(script);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"--help"}), 0);
  std::string help = testing::internal::GetCapturedStdout();
  for (const char* part : {"--touches FILE", "--monkey SEED", "Exit codes:", "64", "<ms> touch <x> <y>"})
    EXPECT_NE(help.find(part), std::string::npos) << part;
}

TEST(Options, MalformedOptionsExitWithUsageCode) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse({"--bogus"}), 64);
  EXPECT_EQ(Parse({"--monkey"}), 64);
  EXPECT_EQ(Parse({"--monkey", "-1"}), 64);
  EXPECT_EQ(Parse({"--virtual-clock=12x"}), 64);
  EXPECT_EQ(Parse({"--virtual-clock=4294967296"}), 64);
  EXPECT_EQ(Parse({"--touches"}), 64);
  EXPECT_EQ(Parse({"--touches="}), 64);
  EXPECT_EQ(Parse({"--monkey="}), 64);
  EXPECT_EQ(Parse({"--windowed", "stray"}), 64);
  EXPECT_EQ(Parse({"--touches", "/nonexistent/script.txt"}), 64);
  testing::internal::GetCapturedStderr();
}

TEST(TouchScript, ReadsEventsSkippingBlanksAndComments) {
  std::vector<ScriptEvent> events;
  std::string error;
  ASSERT_TRUE(ParseTouchScript("# a demo\n\n100 touch 400 300\r\n  \n250 shot out/a.png\n250 close\n", events, error))
      << error;
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].kind, ScriptEvent::Touch);
  EXPECT_EQ(events[0].ms, 100u);
  EXPECT_EQ(events[0].x, 400);
  EXPECT_EQ(events[0].y, 300);
  EXPECT_EQ(events[1].kind, ScriptEvent::Shot);
  EXPECT_EQ(events[1].file, "out/a.png");
  EXPECT_EQ(events[2].kind, ScriptEvent::Close);
}

TEST(TouchScript, ErrorsNameTheLine) {
  const char* bad[] = {
      "10 touch 1 2\nten touch 1 2\n",   // time not a number
      "10 touch 1 2\n20 tap 1 2\n",      // unknown event
      "10 touch 1 2\n20 touch 1\n",      // missing y
      "10 touch 1 2\n20 touch 1 2 3\n",  // extra word
      "10 touch 1 2\n20 shot\n",         // missing file
      "10 touch 1 2\n5 close\n",         // time going backwards
      "10 touch 1 2\n20 touch 99999 2\n",
      "10 touch 1 2\n-20 close\n",
  };
  for (const char* text : bad) {
    std::vector<ScriptEvent> events;
    std::string error;
    EXPECT_FALSE(ParseTouchScript(text, events, error)) << text;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  }
}
}  // namespace
