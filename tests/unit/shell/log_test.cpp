#include <gtest/gtest.h>

#include <fstream>
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

// '#' in the shape stands for any digit; everything else must match exactly.
bool HasShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '#' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
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
  EXPECT_TRUE(HasShape(log,
                       "##/##/#### ##:##:## - Quibblo Version 1.0.0.1 - Start of Log\n\n"
                       "##/##/#### ##:##:## - value = <42>\n"))
      << log;
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
