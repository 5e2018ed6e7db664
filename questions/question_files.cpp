#include "questions/question_files.h"

#include <cstdio>
#include <cstring>

#include "game/payout.h"
#include "game/state.h"
#include "platform/files.h"
#include "shell/timers.h"

#define QUESTION_ROW(i, two) \
  {"Questions\\trueorfalse\\Data" two ".pck", ((i) + 1) / 2, (i) % 2 ? " TRUE " : " FALSE", (i) % 2, 0, 0}

QuestionFileRow QuestionFiles[kQuestionFileCount + 1] = {
    QUESTION_ROW(1, "01"),  QUESTION_ROW(2, "02"),  QUESTION_ROW(3, "03"),  QUESTION_ROW(4, "04"),
    QUESTION_ROW(5, "05"),  QUESTION_ROW(6, "06"),  QUESTION_ROW(7, "07"),  QUESTION_ROW(8, "08"),
    QUESTION_ROW(9, "09"),  QUESTION_ROW(10, "10"), QUESTION_ROW(11, "11"), QUESTION_ROW(12, "12"),
    QUESTION_ROW(13, "13"), QUESTION_ROW(14, "14"), QUESTION_ROW(15, "15"), QUESTION_ROW(16, "16"),
    QUESTION_ROW(17, "17"), QUESTION_ROW(18, "18"), QUESTION_ROW(19, "19"), QUESTION_ROW(20, "20"),
    QUESTION_ROW(21, "21"), QUESTION_ROW(22, "22"), QUESTION_ROW(23, "23"), QUESTION_ROW(24, "24"),
    QUESTION_ROW(25, "25"), QUESTION_ROW(26, "26"), QUESTION_ROW(27, "27"), QUESTION_ROW(28, "28"),
    QUESTION_ROW(29, "29"), QUESTION_ROW(30, "30"), QUESTION_ROW(31, "31"), QUESTION_ROW(32, "32"),
    QUESTION_ROW(33, "33"), QUESTION_ROW(34, "34"), QUESTION_ROW(35, "35"), QUESTION_ROW(36, "36"),
    QUESTION_ROW(37, "37"), QUESTION_ROW(38, "38"), QUESTION_ROW(39, "39"), QUESTION_ROW(40, "40"),
    QUESTION_ROW(41, "41"), QUESTION_ROW(42, "42"), QUESTION_ROW(43, "43"), QUESTION_ROW(44, "44"),
    QUESTION_ROW(45, "45"), QUESTION_ROW(46, "46"), QUESTION_ROW(47, "47"), QUESTION_ROW(48, "48"),
    {nullptr, 0, nullptr, 0, 0, 0},
};
#undef QUESTION_ROW

const uint8_t QuestionKey[kQuestionKeyLength] = {
    0x38, 0xBA, 0x52, 0x53, 0xB3, 0x71, 0x45, 0x1E, 0xBF, 0xEC, 0x01, 0x22, 0x77, 0x14, 0x52, 0x0D,
    0x2F, 0x54, 0x58, 0xED, 0x34, 0x5A, 0xB3, 0x9C, 0x03, 0xC6, 0x6D, 0xF0, 0x90, 0xF4, 0x31, 0xE1,
    0x14, 0xED, 0x98, 0x33, 0xDB, 0xC7, 0xA0, 0x83, 0xA5, 0xD4, 0x0C, 0x86, 0x42, 0x4C, 0x7A, 0xE2,
    0xB9, 0x96, 0x36, 0xD6, 0x7B, 0xE1, 0xEC, 0x5A, 0x64, 0x26, 0x83, 0x78, 0xF0, 0xF8, 0xD1, 0x37,
    0x02, 0xD4, 0x6C, 0x76, 0xBB, 0x8A, 0x1A, 0x60, 0xC6, 0x58, 0xC4, 0xE9, 0x67, 0x95, 0x92, 0xA8,
    0x33, 0x11, 0xF7, 0x0C, 0x12, 0x45, 0xFF, 0xD7, 0x5A, 0x67, 0x79, 0x15, 0x6F,
};

const char* const QuestionWords[128] = {
    "Which ", "What ", "Who ", "Where ", "In ", "which ", "what ", "was ",
    "were ", "the", "e ", "he", "s ", "th", "n ", "er",
    "in", "an", "d ", "t ", "ic", "on", "hi", "es",
    "ch", "ar", "h ", "Wh", "re", " o", "or", "as",
    "at", "r ", "en", "st", " i", "ha", "is", "y ",
    "f ", " a", "of", "le", "ri", "te", "al", "nd",
    "ng", "se", "it", "ed", "ea", "ou", "la", " f",
    "wa", " '", "me", " s", "ll", "o ", "ra", "am",
    " c", "li", "ne", "nt", "19", "ti", "el", "to",
    " S", " B", "il", "ro", "wh", "ho", "rs", "a ",
    "l ", "Th", " C", "ve", " h", "na", " d", "co",
    "di", "de", "ie", "ta", " T", "ma", "id", " M",
    "ur", "ol", "rt", "et", " m", " b", "ia", "ir",
    "fi", "' ", "un", " A", "ce", "om", " p", "ow",
    "m ", "ac", "io", "ge", "si", " 1", "g ", "ad",
    "tr", "us", " W", "ca", "rd", "be", " P", ", ",
};

const int32_t QuestionKeyTable[20][5] = {
    {1, 1, 1, 1, 1},      {15, 2, 2, 1, 1},     {16, 3, 3, 2, 1},     {17, 4, 4, 2, 2},
    {18, 5, 5, 3, 2},     {19, 15, 6, 3, 2},    {20, 16, 7, 4, 3},    {21, 17, 8, 5, 3},
    {22, 18, 9, 6, 3},    {23, 19, 10, 7, 4},   {24, 20, 15, 8, 4},   {15, 21, 16, 9, 4},
    {16, 22, 17, 10, 5},  {17, 23, 18, 11, 6},  {18, 24, 19, 12, 7},  {19, 15, 20, 13, 8},
    {20, 16, 21, 14, 9},  {21, 17, 22, 15, 10}, {22, 18, 23, 16, 11}, {23, 19, 24, 17, 11},
};

char sQuestion[kQuestionSize];
char sOldQuestion[kQuestionSize];

namespace {
constexpr uint8_t kLineFeed = 10;
constexpr char kHash = '#';
constexpr char kShownHash = 127;
// Enough for a full line buffer of codes that each expand to the longest word.
constexpr int kExpandedSize = kLineBufferSize * 6 + 1;
// Random redraws before the repeat rule falls back to scanning the file.
constexpr int kRedrawLimit = 64;

std::FILE* openFile = nullptr;
uint32_t bytesRead = 0;  // n: runs on across lines, reset only by opening
char lineBuffer[kLineBufferSize];
int32_t currentAnswer = 0;

const QuestionFileRow* FindRow(int32_t key, int32_t answer) {
  for (const QuestionFileRow* row = QuestionFiles; row->path; ++row)
    if (row->key == key && row->answer == answer) return row;
  return nullptr;
}

// Line `index` of the row's file, expanded and cut at its last "*", into sQuestion.
// False when the file cannot be opened.
bool ReadQuestionAt(const QuestionFileRow& row, int32_t index) {
  if (!OpenQuestionFile(row.path)) return false;
  for (int32_t i = 0; i < index; ++i) ReadQuestionLine();
  ReadQuestionLine();
  CloseQuestionFile();

  static char expanded[kExpandedSize];
  ExpandQuestionText(lineBuffer, expanded, kExpandedSize);
  if (char* star = std::strrchr(expanded, '*')) *star = '\0';
  // Text beyond the 199 characters the screen holds is cut.
  size_t length = std::strlen(expanded);
  if (length > sizeof sQuestion - 1) length = sizeof sQuestion - 1;
  std::memcpy(sQuestion, expanded, length);
  sQuestion[length] = '\0';
  return true;
}

// The first line of the row's file that differs from sOldQuestion, if there is one.
void ScanForNewQuestion(const QuestionFileRow& row) {
  for (int32_t i = 0; i < row.lineCount; ++i) {
    if (!ReadQuestionAt(row, i)) return;
    if (std::strcmp(sQuestion, sOldQuestion) != 0) return;
  }
}
}  // namespace

uint8_t DecipherQuestionByte(uint8_t stored, uint32_t n) {
  if (stored < 8 || stored > 247) return stored;
  int shifted = (stored - 8 - QuestionKey[n % kQuestionKeyLength]) % 240;
  if (shifted < 0) shifted += 240;
  return static_cast<uint8_t>(shifted + 8);
}

uint8_t EncipherQuestionByte(uint8_t plain, uint32_t n) {
  if (plain < 8 || plain > 247) return plain;
  return static_cast<uint8_t>((plain - 8 + QuestionKey[n % kQuestionKeyLength]) % 240 + 8);
}

bool OpenQuestionFile(const char* path) {
  CloseQuestionFile();
  openFile = OpenFile(path, "rb");
  bytesRead = 0;
  lineBuffer[0] = '\0';
  return openFile != nullptr;
}

void CloseQuestionFile() {
  if (openFile) std::fclose(openFile);
  openFile = nullptr;
}

bool ReadQuestionLine() {
  int length = 0;
  if (!openFile) {
    lineBuffer[0] = '\0';
    return true;
  }
  for (;;) {
    int c = std::fgetc(openFile);
    if (c == EOF) {
      lineBuffer[length] = '\0';
      return true;
    }
    uint8_t b = DecipherQuestionByte(static_cast<uint8_t>(c), bytesRead);
    bytesRead += 1;
    if (b == kLineFeed) {
      lineBuffer[length] = '\0';
      return false;
    }
    // A line longer than the buffer is cut; its rest is still read so that the counter
    // stays in step for the lines after it.
    if (length < kLineBufferSize - 1) lineBuffer[length++] = static_cast<char>(b);
  }
}

const char* QuestionLine() { return lineBuffer; }

void ExpandQuestionText(const char* line, char* out, int size) {
  if (size <= 0) return;
  int used = 0;
  auto append = [&](const char* text) {
    for (; *text && used < size - 1; ++text) out[used++] = *text;
  };
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(line); *p; ++p) {
    char one[2] = {static_cast<char>(*p), '\0'};
    if (*p >= 128)
      append(QuestionWords[*p - 128]);
    else if (*p == '\t')
      append(" ");
    else if (*p == kHash)
      one[0] = kShownHash, append(one);
    else if (*p >= 32)
      append(one);
  }
  out[used] = '\0';
}

bool IndexQuestionFiles() {
  for (QuestionFileRow* row = QuestionFiles; row->path; ++row) {
    if (!OpenQuestionFile(row->path)) return false;  // the caller ends the game, display and all
    int32_t count = 0;
    bool atEnd = false;
    while (!atEnd) {
      atEnd = ReadQuestionLine();
      count += 1;
    }
    row->lineCount = count > 0 ? count - 1 : 0;
    CloseQuestionFile();
  }
  return true;
}

void LoadQuestion(int32_t key, int32_t answer) {
  const QuestionFileRow* row = FindRow(key, answer);
  if (!row) {
    std::snprintf(sQuestion, sizeof sQuestion, "NOT FOUND! %d, %d", key, answer);
    return;
  }
  int32_t index = row->lineCount > 0 ? static_cast<int32_t>(RandomBelow(static_cast<uint32_t>(row->lineCount))) : 0;
  // A file that has gone since start-up reads like a missing category.
  if (!ReadQuestionAt(*row, index))
    std::snprintf(sQuestion, sizeof sQuestion, "NOT FOUND! %d, %d", key, answer);
}

int32_t CurrentQuestionCategory() {
  int32_t pick = PickNumber < 1 ? 1 : (PickNumber > 20 ? 20 : PickNumber);
  int32_t level = GameTargets.QuestionLevel > 4 ? 4 : GameTargets.QuestionLevel;
  return QuestionKeyTable[pick - 1][level];
}

void PickQuestion() {
  currentAnswer = RandomBelow(2) != 0 ? 1 : 0;
  int32_t key = CurrentQuestionCategory();

  LoadQuestion(key, currentAnswer);
  // A file with a single distinct question would redraw for ever: after a bounded number of
  // redraws take the first different line, or repeat when the file has none.
  for (int redraws = 0; std::strcmp(sQuestion, sOldQuestion) == 0; ++redraws) {
    if (redraws == kRedrawLimit) {
      if (const QuestionFileRow* row = FindRow(key, currentAnswer)) ScanForNewQuestion(*row);
      break;
    }
    LoadQuestion(key, currentAnswer);
  }

  DebugTrace("sQuestion = %s\n", sQuestion);
  DebugTrace("sOldQuestion = %s\n", sOldQuestion);
  std::memcpy(sOldQuestion, sQuestion, sizeof sOldQuestion);
}

const char* QuestionText() { return sQuestion; }

int32_t QuestionAnswer() { return currentAnswer; }
