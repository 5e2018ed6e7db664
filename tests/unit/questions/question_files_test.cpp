#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "game/payout.h"
#include "game/state.h"
#include "questions/question_files.h"
#include "shell/timers.h"

namespace fs = std::filesystem;

namespace {
// The file maker's side of the cipher, written from the rule rather than from the reader.
std::string Encipher(const std::string& plain) {
  std::string out;
  for (size_t n = 0; n < plain.size(); ++n) {
    unsigned p = static_cast<unsigned char>(plain[n]);
    if (p >= 8 && p <= 247) p = (p - 8 + QuestionKey[n % 93]) % 240 + 8;
    out += static_cast<char>(p);
  }
  return out;
}

class QuestionFilesTest : public ::testing::Test {
 protected:
  fs::path dir, old;

  void SetUp() override {
    old = fs::current_path();
    char pattern[] = "/tmp/quibblo-questions-XXXXXX";
    dir = mkdtemp(pattern);
    fs::create_directories(dir / "questions" / "TrueOrFalse");  // case differs on purpose
    fs::current_path(dir);
    for (int i = 1; i <= 48; ++i) {
      std::string lines;
      for (int k = 0; k < 3; ++k)
        lines += "File " + std::to_string(i) + " line " + std::to_string(k) + "*\n";
      Write(i, lines);
    }
    std::memset(sOldQuestion, 0, sizeof sOldQuestion);
  }
  void TearDown() override {
    fs::current_path(old);
    fs::remove_all(dir);
  }

  void Write(int i, const std::string& plain) {
    char name[32];
    std::snprintf(name, sizeof name, "Data%02d.pck", i);
    std::FILE* f = std::fopen((dir / "questions" / "TrueOrFalse" / name).c_str(), "wb");
    std::string stored = Encipher(plain);
    std::fwrite(stored.data(), 1, stored.size(), f);
    std::fclose(f);
  }

  // Every line of file i, as LoadQuestion reads them.
  std::vector<std::string> AllQuestions(int i) {
    EXPECT_TRUE(IndexQuestionFiles());
    std::vector<std::string> out;
    for (int32_t k = 0; k < QuestionFiles[i - 1].lineCount; ++k) {
      OpenQuestionFile(QuestionFiles[i - 1].path);
      for (int32_t j = 0; j <= k; ++j) ReadQuestionLine();
      CloseQuestionFile();
      char text[600];
      ExpandQuestionText(QuestionLine(), text, sizeof text);
      std::string s = text;
      out.push_back(s.substr(0, s.rfind('*')));
    }
    return out;
  }
};
}  // namespace

TEST(QuestionTable, RowsKeysAndAnswers) {
  EXPECT_STREQ(QuestionFiles[0].path, "Questions\\trueorfalse\\Data01.pck");
  EXPECT_STREQ(QuestionFiles[47].path, "Questions\\trueorfalse\\Data48.pck");
  EXPECT_EQ(QuestionFiles[48].path, nullptr);
  EXPECT_EQ(QuestionFiles[0].key, 1);
  EXPECT_EQ(QuestionFiles[0].answer, 1);
  EXPECT_STREQ(QuestionFiles[0].label, " TRUE ");
  EXPECT_EQ(QuestionFiles[1].key, 1);
  EXPECT_EQ(QuestionFiles[1].answer, 0);
  EXPECT_STREQ(QuestionFiles[1].label, " FALSE");
  EXPECT_EQ(QuestionFiles[28].key, 15);  // Data29
  EXPECT_EQ(QuestionFiles[47].key, 24);
  EXPECT_EQ(QuestionKeyTable[5][1], 15);
  EXPECT_EQ(QuestionKeyTable[19][4], 11);
  for (uint8_t b : QuestionKey) EXPECT_NE(b, 0);
}

TEST(QuestionCipher, InverseOfEachOtherAndWordCodesPassThrough) {
  for (uint32_t n : {0u, 1u, 92u, 93u, 100000u})
    for (int p = 0; p < 256; ++p) {
      uint8_t stored = EncipherQuestionByte(static_cast<uint8_t>(p), n);
      ASSERT_EQ(DecipherQuestionByte(stored, n), p);
      if (p < 8 || p > 247) ASSERT_EQ(stored, p);
      else ASSERT_TRUE(stored >= 8 && stored <= 247);
    }
}

TEST(QuestionExpansion, CodesTabHashAndControlBytes) {
  char out[200];
  const char which[] = {static_cast<char>(128), static_cast<char>(137), '*', 0};
  ExpandQuestionText(which, out, sizeof out);
  EXPECT_STREQ(out, "Which the*");
  ExpandQuestionText("a\tb#c\rd\x01", out, sizeof out);
  EXPECT_STREQ(out, "a b\x7f" "cd");
  const char last[] = {static_cast<char>(255), static_cast<char>(250), 0};
  ExpandQuestionText(last, out, sizeof out);
  EXPECT_STREQ(out, ",  W");
  ExpandQuestionText("abcdef", out, 4);  // cut to the output, terminated
  EXPECT_STREQ(out, "abc");
}

TEST_F(QuestionFilesTest, LineCountsAndTheLastStar) {
  Write(1, "A*x\nB*\n");
  Write(2, "A*B*\n");
  Write(3, "one*\ntwo*");  // no final line feed: the last line is never chosen
  Write(4, "");
  ASSERT_TRUE(IndexQuestionFiles());
  EXPECT_EQ(QuestionFiles[0].lineCount, 2);
  EXPECT_EQ(QuestionFiles[1].lineCount, 1);
  EXPECT_EQ(QuestionFiles[2].lineCount, 1);
  EXPECT_EQ(QuestionFiles[3].lineCount, 0);
  EXPECT_EQ(QuestionFiles[4].lineCount, 3);
  EXPECT_EQ(AllQuestions(1), (std::vector<std::string>{"A", "B"}));
  SeedRandom(1);
  LoadQuestion(1, 0);  // Data02
  EXPECT_STREQ(QuestionText(), "A*B");
  for (int i = 0; i < 20; ++i) {
    LoadQuestion(2, 1);  // Data03
    EXPECT_STREQ(QuestionText(), "one");
  }
}

TEST_F(QuestionFilesTest, CarriageReturnLinesReadLikeBareLineFeeds) {
  Write(5, "Alpha\tbeta #1*\r\nGamma*\r\n");
  EXPECT_EQ(AllQuestions(5), (std::vector<std::string>{"Alpha beta \x7f" "1", "Gamma"}));
}

TEST_F(QuestionFilesTest, TheCounterRunsAcrossLines) {
  std::string line = "Same line*\n";
  std::string stored = Encipher(line + line);
  EXPECT_NE(stored.substr(0, line.size()), stored.substr(line.size()));
  Write(6, line + line);
  EXPECT_EQ(AllQuestions(6), (std::vector<std::string>{"Same line", "Same line"}));
  // Read from its own start, the second line's bytes do not decipher to the text.
  std::FILE* f = std::fopen("questions/TrueOrFalse/Data07.pck", "wb");
  std::string second = stored.substr(line.size());
  std::fwrite(second.data(), 1, second.size(), f);
  std::fclose(f);
  ASSERT_TRUE(OpenQuestionFile("Questions\\trueorfalse\\Data07.pck"));
  ReadQuestionLine();
  CloseQuestionFile();
  EXPECT_STRNE(QuestionLine(), "Same line*");
}

TEST_F(QuestionFilesTest, CategoryFollowsPickAndLevel) {
  ASSERT_TRUE(IndexQuestionFiles());
  PickNumber = 6;
  GameTargets.QuestionLevel = 1;
  SeedRandom(9);
  int trues = 0;
  for (int i = 0; i < 400; ++i) {
    PickQuestion();
    std::string text = QuestionText();
    if (QuestionAnswer() == 1) {
      ++trues;
      EXPECT_EQ(text.rfind("File 29 ", 0), 0u) << text;
    } else {
      EXPECT_EQ(text.rfind("File 30 ", 0), 0u) << text;
    }
  }
  EXPECT_NEAR(trues, 200, 40);
}

TEST_F(QuestionFilesTest, NeverTheSameQuestionTwiceInARow) {
  ASSERT_TRUE(IndexQuestionFiles());
  GameTargets.QuestionLevel = 0;
  SeedRandom(4);
  std::string previous;
  for (int game = 0; game < 3; ++game) {
    for (PickNumber = 1; PickNumber <= 20; ++PickNumber) {
      PickQuestion();
      EXPECT_NE(previous, QuestionText());
      EXPECT_STREQ(sOldQuestion, QuestionText());
      previous = QuestionText();
    }
  }
}

TEST_F(QuestionFilesTest, ASingleDistinctQuestionDoesNotHangThePick) {
  Write(1, "Only one*\nOnly one*\n");
  Write(2, "Only no*\n");
  Write(3, "Twin*\nTwin*\nTwin*\nOther*\n");
  ASSERT_TRUE(IndexQuestionFiles());
  GameTargets.QuestionLevel = 0;
  PickNumber = 1;
  SeedRandom(1);
  for (int i = 0; i < 10; ++i) {
    PickQuestion();
    EXPECT_STREQ(QuestionText(), QuestionAnswer() ? "Only one" : "Only no");
  }
  // With a second question in the file the repeat rule still holds.
  GameTargets.QuestionLevel = 3;  // pick 3 at level 3 is category 2: Data03 / Data04
  PickNumber = 3;
  for (uint32_t seed = 1; seed < 40; ++seed) {
    std::strcpy(sOldQuestion, "Twin");
    SeedRandom(seed);
    PickQuestion();
    if (QuestionAnswer() == 1) {
      EXPECT_STREQ(QuestionText(), "Other");
    }
  }
}

TEST_F(QuestionFilesTest, MissingFilesAndCategories) {
  ASSERT_TRUE(IndexQuestionFiles());
  LoadQuestion(25, 1);
  EXPECT_STREQ(QuestionText(), "NOT FOUND! 25, 1");
  fs::remove(dir / "questions" / "TrueOrFalse" / "Data48.pck");
  LoadQuestion(24, 0);  // gone since start-up
  EXPECT_STREQ(QuestionText(), "NOT FOUND! 24, 0");
  EXPECT_FALSE(IndexQuestionFiles());
}

TEST_F(QuestionFilesTest, OverlongLinesAreCutWithoutLosingTheNextLine) {
  std::string longLine(700, 'a');
  std::string words(600, static_cast<char>(128));  // 600 x "Which "
  Write(8, longLine + "*\n" + words + "*\nNext*\n");
  std::vector<std::string> all = AllQuestions(8);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], "Next");
  EXPECT_EQ(all[0].size(), 503u);  // no star survived the cut
  SeedRandom(3);
  for (int i = 0; i < 30; ++i) {
    LoadQuestion(4, 0);
    EXPECT_LE(std::strlen(QuestionText()), 199u);
  }
}
