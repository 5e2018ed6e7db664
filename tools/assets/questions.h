// The 48 question files, made from the plain-text question bank.
#pragma once
#include <string>
#include <vector>

#include "tools/assets/files.h"

struct BankEntry {
  int category;  // 1..24
  bool answer;   // true statements go to the odd files, false ones to the even files
  std::string text;
  int line;  // in the bank text, for messages
};

// The bank's format: "# ..." comments and blank lines are skipped; "== N ..." starts category N;
// "T text" and "F text" are true and false statements. Throws with the line number on errors.
std::vector<BankEntry> ParseBank(const std::string& text);
// Everything the game's reader and the no-repeat rule need: printable ASCII without "#" or "*",
// at most 199 characters, no duplicates, at least `minimum` of each answer in every category.
void CheckBank(const std::vector<BankEntry>& bank, int minimum);

// Greedy longest match over the 128 word codes.
std::string CompressQuestion(const std::string& text);
// Plain lines, each followed by a line feed, enciphered from the file's first byte.
Bytes EncipherQuestionLines(const std::vector<std::string>& plainLines);
// Statements compressed, each followed by "*", then enciphered as above.
Bytes EncodeQuestionFile(const std::vector<std::string>& lines);
std::string QuestionFileName(int index);  // 1..48, the game's own name

void WriteQuestionFiles(Tree& tree, const std::vector<BankEntry>& bank);
// The bank compiled into the program.
std::string BuiltInBank();
