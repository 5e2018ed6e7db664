// The question files the tool writes, read back through the game's own reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "questions/question_files.h"
#include "tools/assets/questions.h"

namespace {

class QuestionCodec : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("quibblo-codec-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Save(const Bytes& bytes) {
    std::string path = (dir_ / "Data.pck").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  // Every line of the file as the game deciphers it, and the count IndexQuestionFiles stores.
  std::vector<std::string> ReadLines(const std::string& path, int* count) {
    std::vector<std::string> lines;
    EXPECT_TRUE(OpenQuestionFile(path.c_str()));
    int calls = 0;
    for (bool atEnd = false; !atEnd;) {
      atEnd = ReadQuestionLine();
      ++calls;
      if (!atEnd) lines.push_back(QuestionLine());
    }
    CloseQuestionFile();
    *count = calls > 0 ? calls - 1 : 0;
    return lines;
  }

  static std::string Expand(const std::string& line) {
    char out[600];
    ExpandQuestionText(line.c_str(), out, sizeof out);
    return out;
  }

  std::filesystem::path dir_;
};

TEST_F(QuestionCodec, TwoLinesCountTwoAndReadBackAsWritten) {
  int count = 0;
  auto lines = ReadLines(Save(EncipherQuestionLines({"A*x", "B*"})), &count);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "A*x");
  EXPECT_EQ(lines[1], "B*");
}

TEST_F(QuestionCodec, TabHashAndCarriageReturnReachTheReaderUnchanged) {
  int count = 0;
  auto lines = ReadLines(Save(EncipherQuestionLines({"A\tB#C\rD*"})), &count);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Expand(lines[0]), "A B\x7f" "CD*");
}

TEST_F(QuestionCodec, TheSameLineEnciphersDifferentlyFurtherOn) {
  Bytes b = EncipherQuestionLines({"Same line*", "Same line*"});
  ASSERT_EQ(b.size(), 22u);
  EXPECT_NE(Bytes(b.begin(), b.begin() + 11), Bytes(b.begin() + 11, b.end()));
}

TEST_F(QuestionCodec, CompressionTakesTheLongestWordAtEachPlace) {
  EXPECT_EQ(CompressQuestion("Which the"), std::string("\x80\x89"));
  // "What " (5 letters) rather than "Wh" and "at"; then "is" as one code.
  EXPECT_EQ(CompressQuestion("What is"), std::string("\x81\xA6"));
  EXPECT_EQ(Expand(CompressQuestion("Which the")), "Which the");
  // Characters no word covers stay as they are.
  EXPECT_EQ(CompressQuestion("9 x 7 = 63?"), "9 x 7 = 63?");
}

TEST_F(QuestionCodec, EveryBankStatementComesBackExactly) {
  auto bank = ParseBank(BuiltInBank());
  std::vector<std::string> texts;
  for (const auto& e : bank) texts.push_back(e.text);
  int count = 0;
  auto lines = ReadLines(Save(EncodeQuestionFile(texts)), &count);
  ASSERT_EQ(count, int(texts.size()));
  ASSERT_EQ(lines.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(Expand(lines[i]), texts[i] + "*") << "bank line " << bank[i].line;
    EXPECT_LT(lines[i].size(), texts[i].size() + 1) << "not compressed: " << texts[i];
  }
}

TEST(QuestionBank, HoldsEnoughDistinctStatementsInEveryCategory) {
  // Throws with the bank's line number on anything the game could not use.
  auto bank = ParseBank(BuiltInBank());
  EXPECT_NO_THROW(CheckBank(bank, 20));
}

TEST(QuestionBank, RejectsWhatTheFilesCannotHold) {
  auto check = [](const std::string& text) {
    std::string bank = "== 1\n";
    for (int i = 0; i < 20; ++i) bank += "T true " + std::to_string(i) + "\nF false " + std::to_string(i) + "\n";
    for (int c = 2; c <= 24; ++c) {
      bank += "== " + std::to_string(c) + "\n";
      for (int i = 0; i < 20; ++i)
        bank += "T t" + std::to_string(c) + " " + std::to_string(i) + "\nF f" + std::to_string(c) + " " +
                std::to_string(i) + "\n";
    }
    bank += "== 3\n" + text + "\n";
    try {
      CheckBank(ParseBank(bank), 20);
      return std::string("accepted");
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(check("T An honest statement."), "accepted");
  EXPECT_NE(check("T A star * inside.").find("line"), std::string::npos);
  EXPECT_NE(check("T A hash#inside.").find("#"), std::string::npos);
  // The reason after " # " is dropped, so it may say anything.
  EXPECT_EQ(check("T An honest statement. # a reason with * and #"), "accepted");
  EXPECT_NE(check("T Money in \xA3 pounds.").find("ASCII"), std::string::npos);
  EXPECT_NE(check("T " + std::string(200, 'x')).find("199"), std::string::npos);
  EXPECT_NE(check("T t3 5").find("twice"), std::string::npos);
  EXPECT_NE(check("Q not a statement").find("expected"), std::string::npos);
  EXPECT_THROW(CheckBank(ParseBank("== 1\nT only one\n"), 20), std::runtime_error);
  EXPECT_THROW(ParseBank("T before any category\n"), std::runtime_error);
  EXPECT_THROW(ParseBank("== 25\n"), std::runtime_error);
}

TEST(QuestionBank, JoinsTheSourceFilesAndDropsTheReasons) {
  std::string joined = JoinBank({{"computed.txt", "== 2\nF 2 plus 2 is 5. # 2 + 2 = 4\n"},
                                 {"02.txt", "T Own file. # no line end after it"},
                                 {"03.txt", "# a comment\nF Third. # x\n"},
                                 {"notes/25.txt", "T Not a category file. # x\n"},
                                 {"01.txt", "T First # of all. # the first \" # \" starts the reason\n"}});
  auto bank = ParseBank(joined);
  ASSERT_EQ(bank.size(), 4u);
  // Categories in order, each from its own file, the computed ones last; other files are not read.
  EXPECT_EQ(bank[0].category, 1);
  EXPECT_EQ(bank[0].text, "First");
  EXPECT_EQ(bank[1].category, 2);
  EXPECT_EQ(bank[1].text, "Own file.");
  EXPECT_EQ(bank[2].category, 3);
  EXPECT_FALSE(bank[2].answer);
  EXPECT_EQ(bank[3].category, 2);
  EXPECT_EQ(bank[3].text, "2 plus 2 is 5.");
  // Messages name the source file and its own line.
  EXPECT_EQ(bank[3].where, "computed.txt line 2");
  try {
    ParseBank(JoinBank({{"01.txt", "T fine. # x\nQ broken\n"}}));
    ADD_FAILURE() << "accepted a broken line";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("01.txt line 2"), std::string::npos) << e.what();
  }
  // The built-in bank is the folder's files joined the same way, with no reason left over.
  for (const auto& e : ParseBank(BuiltInBank())) EXPECT_EQ(e.text.find(" # "), std::string::npos) << e.text;
  EXPECT_THROW(ReadBankFolder("/nonexistent-bank-folder"), std::runtime_error);
}

}  // namespace
