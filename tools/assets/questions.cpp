#include "tools/assets/questions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "questions/question_files.h"

std::vector<BankEntry> ParseBank(const std::string& text) {
  std::vector<BankEntry> out;
  std::istringstream in(text);
  std::string s;
  int category = 0, line = 0, fileStart = 0;
  std::string file;  // the source file the joined text came from, when it says so
  while (std::getline(in, s)) {
    ++line;
    if (s.rfind("# file: ", 0) == 0) {
      file = s.substr(8);
      if (!file.empty() && file.back() == '\r') file.pop_back();
      fileStart = line;
      continue;
    }
    std::string where = file.empty() ? "line " + std::to_string(line)
                                     : file + " line " + std::to_string(line - fileStart);
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (s.empty() || s[0] == '#') continue;
    auto fail = [&where](const std::string& why) {
      throw std::runtime_error("question bank " + where + ": " + why);
    };
    if (s.rfind("==", 0) == 0) {
      if (std::sscanf(s.c_str() + 2, "%d", &category) != 1 || category < 1 || category > 24)
        fail("a category is numbered 1 to 24");
      continue;
    }
    if (s.size() < 3 || (s[0] != 'T' && s[0] != 'F') || s[1] != ' ') fail("expected \"T text\" or \"F text\"");
    if (category == 0) fail("statement before the first \"== N\" category line");
    // The reason after " # " is for the people who check the bank, not for the player.
    std::string text = s.substr(2, s.find(" # ") == std::string::npos ? std::string::npos : s.find(" # ") - 2);
    out.push_back({category, s[0] == 'T', text, line, where});
  }
  return out;
}

std::string JoinBank(const std::vector<BankFile>& files) {
  std::map<std::string, const BankFile*> byName;
  for (const auto& f : files) byName[f.name] = &f;
  std::string out;
  auto add = [&out](const BankFile& f) {
    out += "# file: " + f.name + "\n" + f.text;
    if (!f.text.empty() && f.text.back() != '\n') out += '\n';
  };
  for (int c = 1; c <= 24; ++c) {
    char own[16];
    std::snprintf(own, sizeof own, "%02d.txt", c);
    auto f = byName.find(own);
    if (f == byName.end()) continue;
    out += "== " + std::to_string(c) + "\n";
    add(*f->second);
  }
  if (byName.count("computed.txt")) add(*byName["computed.txt"]);
  return out;
}

std::vector<BankFile> ReadBankFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<BankFile> files;
  std::error_code error;
  for (const auto& e : fs::recursive_directory_iterator(folder, error)) {
    if (!e.is_regular_file() || e.path().extension() != ".txt") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error("cannot read " + e.path().string());
    files.push_back({fs::relative(e.path(), folder).generic_string(), text.str()});
  }
  if (error) throw std::runtime_error("cannot read the bank folder " + folder + ": " + error.message());
  if (files.empty()) throw std::runtime_error("no bank files (NN.txt) in " + folder);
  std::sort(files.begin(), files.end(), [](const BankFile& a, const BankFile& b) { return a.name < b.name; });
  return files;
}

std::string BuiltInBank() { return JoinBank(BuiltInBankFiles()); }

void CheckBank(const std::vector<BankEntry>& bank, int minimum) {
  std::set<std::string> seen;
  int counts[25][2] = {};
  for (const auto& e : bank) {
    auto fail = [&e](const std::string& why) {
      throw std::runtime_error("question bank " + e.where + ": " + why);
    };
    for (unsigned char c : e.text)
      if (c < 32 || c > 126 || c == '#' || c == '*') fail("only printable ASCII without \"#\" or \"*\"");
    if (e.text.size() > kQuestionSize - 1) fail("longer than 199 characters");
    if (e.text.front() == ' ' || e.text.back() == ' ') fail("leading or trailing space");
    if (!seen.insert(e.text).second) fail("the same statement twice");
    counts[e.category][e.answer ? 1 : 0]++;
  }
  for (int c = 1; c <= 24; ++c)
    for (int a = 0; a < 2; ++a)
      if (counts[c][a] < minimum)
        throw std::runtime_error("question bank: category " + std::to_string(c) + " has " +
                                 std::to_string(counts[c][a]) + (a ? " true" : " false") +
                                 " statements, fewer than " + std::to_string(minimum));
}

std::string CompressQuestion(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    int best = -1;
    size_t bestLength = 0;
    for (int code = 0; code < 128; ++code) {
      size_t n = std::strlen(QuestionWords[code]);
      if (n > bestLength && text.compare(i, n, QuestionWords[code]) == 0) best = code, bestLength = n;
    }
    if (best < 0) {
      out += text[i++];
    } else {
      out += char(128 + best);
      i += bestLength;
    }
  }
  return out;
}

Bytes EncipherQuestionLines(const std::vector<std::string>& plainLines) {
  Bytes out;
  for (const auto& line : plainLines) {
    std::string plain = line + "\n";
    // The key position is the byte's place in the whole file, so it runs on across lines.
    for (unsigned char p : plain) {
      uint32_t n = uint32_t(out.size());
      out.push_back(p < 8 || p > 247 ? p : uint8_t((p - 8 + QuestionKey[n % kQuestionKeyLength]) % 240 + 8));
    }
  }
  return out;
}

Bytes EncodeQuestionFile(const std::vector<std::string>& lines) {
  std::vector<std::string> plain;
  for (const auto& text : lines) plain.push_back(CompressQuestion(text) + "*");
  return EncipherQuestionLines(plain);
}

std::string QuestionFileName(int index) {
  char name[64];
  std::snprintf(name, sizeof name, "Questions\\trueorfalse\\Data%02d.pck", index);
  return name;
}

void WriteQuestionFiles(Tree& tree, const std::vector<BankEntry>& bank) {
  for (int i = 1; i <= kQuestionFileCount; ++i) {
    int category = (i + 1) / 2;
    bool answer = i % 2 == 1;
    std::vector<std::string> lines;
    for (const auto& e : bank)
      if (e.category == category && e.answer == answer) lines.push_back(e.text);
    tree.write(QuestionFileName(i), EncodeQuestionFile(lines));
  }
}
