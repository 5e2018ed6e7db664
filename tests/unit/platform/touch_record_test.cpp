#include "platform/touch_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/options.h"

namespace {
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct TempPath {
  std::string path;
  TempPath() {
    char name[] = "/tmp/quibblo-record-XXXXXX";
    int fd = mkstemp(name);
    close(fd);
    path = name;
  }
  ~TempPath() {
    StopTouchRecord();
    unlink(path.c_str());
  }
};

ScriptEvent Event(ScriptEvent::Kind kind, uint32_t ms, int x = 0, int y = 0, std::string file = {}) {
  return {kind, ms, x, y, file};
}

TEST(TouchRecord, WhatIsWrittenReadsBackAsTheSameScript) {
  TempPath file;
  std::string error;
  // a newline in an argument must not end the comment line
  ASSERT_TRUE(StartTouchRecord(file.path, "quibblo --touches 'odd\nname' --record r.txt", error)) << error;
  std::vector<ScriptEvent> written = {
      Event(ScriptEvent::Touch, 0, 0, 0),           Event(ScriptEvent::Touch, 17, 799, 599),
      Event(ScriptEvent::Touch, 17, -3, 32767),     Event(ScriptEvent::Shot, 4000, 0, 0, "shots/a.png"),
      Event(ScriptEvent::Close, 4294967295u),
  };
  for (const ScriptEvent& e : written) RecordScriptEvent(e);
  StopTouchRecord();

  std::string text = ReadFile(file.path);
  EXPECT_EQ(text.rfind("# touches of the session started as: quibblo --touches 'odd name' --record r.txt\n", 0), 0u)
      << text;
  std::vector<ScriptEvent> read;
  ASSERT_TRUE(ParseTouchScript(text, read, error)) << error << "\n" << text;
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].kind, written[i].kind) << i;
    EXPECT_EQ(read[i].ms, written[i].ms) << i;
    EXPECT_EQ(read[i].x, written[i].x) << i;
    EXPECT_EQ(read[i].y, written[i].y) << i;
    EXPECT_EQ(read[i].file, written[i].file) << i;
  }
}

TEST(TouchRecord, EachLineIsInTheFileAsSoonAsItIsRecorded) {
  TempPath file;
  std::string error;
  ASSERT_TRUE(StartTouchRecord(file.path, "quibblo", error)) << error;
  RecordScriptEvent(Event(ScriptEvent::Touch, 120, 400, 300));
  // read while still open: nothing may wait in a buffer for a crash to lose
  EXPECT_EQ(ReadFile(file.path), "# touches of the session started as: quibblo\n120 touch 400 300\n");
  RecordScriptEvent(Event(ScriptEvent::Close, 130));
  EXPECT_EQ(ReadFile(file.path), "# touches of the session started as: quibblo\n120 touch 400 300\n130 close\n");
  // a new session empties the file
  ASSERT_TRUE(StartTouchRecord(file.path, "quibblo", error)) << error;
  EXPECT_EQ(ReadFile(file.path), "# touches of the session started as: quibblo\n");
  StopTouchRecord();
  RecordScriptEvent(Event(ScriptEvent::Touch, 140, 1, 1));  // closed: nothing written, no crash
  EXPECT_EQ(ReadFile(file.path), "# touches of the session started as: quibblo\n");
}

TEST(TouchRecord, AFullDiskIsSeenAtStartUp) {
  std::string error;
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  // the header goes out at once, so a full disk is seen at start-up
  EXPECT_FALSE(StartTouchRecord("/dev/full", "quibblo", error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  EXPECT_FALSE(TouchRecordOpen());
}

int Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quibblo");
  return ParseOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()));
}

TEST(TouchRecord, OptionOpensTheFileOrRefusesBeforeAnythingStarts) {
  TempPath file;
  {
    std::ofstream script(file.path);
    script << "100 touch 5 6\n200 close\n";
  }
  // recording over the script being played: the script was read first
  EXPECT_EQ(Parse({"--headless", "--touches", file.path.c_str(), "--record", file.path.c_str()}), -1);
  EXPECT_EQ(Options.script.size(), 2u);
  EXPECT_TRUE(TouchRecordOpen());
  EXPECT_EQ(ReadFile(file.path).rfind("# touches of the session started as: quibblo --headless --touches ", 0), 0u);
  EXPECT_EQ(Parse({"--headless"}), -1);
  EXPECT_FALSE(TouchRecordOpen());  // a later start without --record records nothing

  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse({"--record", "/nonexistent/folder/r.txt"}), 64);
  EXPECT_EQ(Parse({"--record="}), 64);
  EXPECT_EQ(Parse({"--record"}), 64);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot create the touch record /nonexistent/folder/r.txt"), std::string::npos) << said;
  EXPECT_FALSE(TouchRecordOpen());

  testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"--help"}), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("--record FILE"), std::string::npos);
}
}  // namespace
