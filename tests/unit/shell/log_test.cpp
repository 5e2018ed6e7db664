#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "shell/log.h"
#include "support/temp_dir.h"

namespace {
std::string ReadLog() {
  std::ifstream f("~system/logs/Quibblo.txt");
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(EventLog, DirectoriesAreMadeAndExistingOnesAreFine) {
  TempWorkDir dir;
  EXPECT_EQ(MakeSystemDirectories(), 0);
  EXPECT_TRUE(std::filesystem::is_directory("~system/logs"));
  EXPECT_TRUE(std::filesystem::is_directory("~system/upload"));
  EXPECT_EQ(MakeSystemDirectories(), 0);
}

TEST(EventLog, AFileInTheWayIsAFailureButAllThreeAreTried) {
  TempWorkDir dir;
  std::filesystem::create_directory("~system");
  std::ofstream("~system/logs") << "not a directory";
  EXPECT_EQ(MakeSystemDirectories(), -1);
  EXPECT_TRUE(std::filesystem::is_directory("~system/upload"));
}

TEST(EventLog, WritesNothingWhenNotOpen) {
  TempWorkDir dir;
  ASSERT_EQ(MakeSystemDirectories(), 0);
  EXPECT_EQ(LogWrite("before %d\n", 1), 0);
  EXPECT_EQ(CloseLog(), -1);
  ASSERT_EQ(OpenLog(), 0);
  EXPECT_EQ(CloseLog(), 0);
  EXPECT_EQ(LogWrite("after\n"), 0);
  std::string log = ReadLog();
  EXPECT_EQ(log.find("before"), std::string::npos);
  EXPECT_EQ(log.find("after"), std::string::npos);
}

TEST(EventLog, EntriesCarryTheDatedPrefixAndAreOnDiskAtOnce) {
  TempWorkDir dir;
  ASSERT_EQ(MakeSystemDirectories(), 0);
  ASSERT_EQ(OpenLog(), 0);
  LogWrite("value = <%d>\n", 42);
  std::string log = ReadLog();  // read before closing: each entry is flushed
  std::regex line(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - Quibblo Version 1\.0\.0\.1 - Start of Log\n\n)"
                  R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d - value = <42>\n)");
  EXPECT_TRUE(std::regex_match(log, line)) << log;
  CloseLog();
}

TEST(EventLog, ReopeningTruncatesAndLongEntriesAreCut) {
  TempWorkDir dir;
  ASSERT_EQ(MakeSystemDirectories(), 0);
  ASSERT_EQ(OpenLog(), 0);
  LogWrite("first run\n");
  CloseLog();
  ASSERT_EQ(OpenLog(), 0);
  std::string big(5000, 'x');
  LogWrite("%s", big.c_str());
  CloseLog();
  std::string log = ReadLog();
  EXPECT_EQ(log.find("first run"), std::string::npos);
  size_t xs = log.find('x');
  ASSERT_NE(xs, std::string::npos);
  EXPECT_EQ(log.size() - xs, 999u);  // 1000-character buffer, terminated
}

TEST(EventLog, MissingFormatDoesNothing) {
  TempWorkDir dir;
  ASSERT_EQ(MakeSystemDirectories(), 0);
  ASSERT_EQ(OpenLog(), 0);
  size_t before = ReadLog().size();
  EXPECT_EQ(LogWrite(nullptr), 0);
  EXPECT_EQ(ReadLog().size(), before);
  CloseLog();
}
}  // namespace
