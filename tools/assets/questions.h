// The 48 question files, made from the plain-text question bank.
#pragma once
#include <string>
#include <vector>

#include "tools/assets/files.h"

struct BankEntry {
  int category;  // 1..24
  bool answer;   // true statements go to the odd files, false ones to the even files
  std::string text;
  int line;           // in the bank text
  std::string where;  // "01.txt line 5" (or "line 5" in a text of no named files), for messages
};

// The joined bank's format: "# ..." comments and blank lines are skipped; "== N ..." starts
// category N; "T text # reason" and "F text # reason" are true and false statements, and the
// reason (for fact checkers) is dropped here. Throws with the line number on errors.
std::vector<BankEntry> ParseBank(const std::string& text);

// The bank source: NN.txt holds category NN; computed.txt has its own "== N" lines.
struct BankFile {
  std::string name;  // relative to the bank folder, "/" between folders
  std::string text;
};
std::string JoinBank(const std::vector<BankFile>& files);
// The bank source files of a folder, read as above; throws if it holds none.
std::vector<BankFile> ReadBankFolder(const std::string& folder);
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
// The bank source compiled into the program, and joined.
std::vector<BankFile> BuiltInBankFiles();
std::string BuiltInBank();
