// The enciphered, word-compressed true/false question files: their table, reading one
// question of a category, and the rule that no question is asked twice in a row.
#pragma once
#include <cstdint>

constexpr int kQuestionFileCount = 48;
constexpr int kQuestionKeyLength = 93;
constexpr int kLineBufferSize = 504;
constexpr int kQuestionSize = 200;

struct QuestionFileRow {
  const char* path;
  int32_t key;  // category 1..24
  const char* label;
  int32_t answer;  // 1: every statement is true
  int32_t spare;
  int32_t lineCount;  // filled in by IndexQuestionFiles
};

// 48 rows and a last row with a null path.
extern QuestionFileRow QuestionFiles[kQuestionFileCount + 1];
// The cipher key; the asset tool makes the files with this same key.
extern const uint8_t QuestionKey[kQuestionKeyLength];
// Texts of the word codes 128..255, indexed by code - 128.
extern const char* const QuestionWords[128];
// Category by pick number 1..20 (row pick - 1) and QuestionLevel 0..4.
extern const int32_t QuestionKeyTable[20][5];
// The category of the question asked now, from PickNumber and QuestionLevel (both clamped).
int32_t CurrentQuestionCategory();

extern char sQuestion[kQuestionSize];
extern char sOldQuestion[kQuestionSize];

// One byte of a file at position n (bytes read since the file was opened).
uint8_t DecipherQuestionByte(uint8_t stored, uint32_t n);
uint8_t EncipherQuestionByte(uint8_t plain, uint32_t n);

// Opens a question file by the name the game gives it (one file is open at a time) and resets the
// byte counter; false when it cannot be opened.
bool OpenQuestionFile(const char* path);
void CloseQuestionFile();
// Reads and deciphers one line of the open file into the line buffer, without its line
// feed. Returns true when the end of the file was reached.
bool ReadQuestionLine();
const char* QuestionLine();
// Expands word codes, tabs and "#" of a deciphered line; the output holds `size` bytes.
void ExpandQuestionText(const char* line, char* out, int size);

bool IndexQuestionFiles();
void LoadQuestion(int32_t key, int32_t answer);
void PickQuestion();
const char* QuestionText();
int32_t QuestionAnswer();
