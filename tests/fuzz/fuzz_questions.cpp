// Any bytes as an enciphered question file: deciphering, line counting at start-up, reading and
// expanding a question, and the rule that no question is asked twice in a row.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "game/payout.h"
#include "game/state.h"
#include "questions/question_files.h"
#include "shell/timers.h"

namespace {
// Category 1 is asked at the first pick at question level 0; its false and true files are the
// first two of the table.
constexpr int kFuzzedFiles = 2;

size_t DecipheredLineFeeds(const uint8_t* data, size_t size) {
  size_t count = 0;
  for (size_t n = 0; n < size; ++n) count += DecipherQuestionByte(data[n], static_cast<uint32_t>(n)) == '\n';
  return count;
}

void CheckText(const char* text, size_t room) {
  if (!std::memchr(text, '\0', room)) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder("fuzz_questions");
  std::filesystem::create_directories("Questions/trueorfalse");
  // The other files hold one short question each, so that start-up finds every file.
  const uint8_t plain[] = "Is this a question?*\n";
  uint8_t stored[sizeof plain - 1];
  for (size_t n = 0; n < sizeof stored; ++n) stored[n] = EncipherQuestionByte(plain[n], static_cast<uint32_t>(n));
  for (int i = kFuzzedFiles; i < kQuestionFileCount; ++i) {
    std::string path = QuestionFiles[i].path;
    for (char& c : path)
      if (c == '\\') c = '/';
    fuzz::WriteFile(path.c_str(), stored, sizeof stored);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t n = 0; n < size; ++n)
    if (DecipherQuestionByte(EncipherQuestionByte(data[n], static_cast<uint32_t>(n)), static_cast<uint32_t>(n)) != data[n])
      std::abort();

  for (int i = 0; i < kFuzzedFiles; ++i) {
    std::string path = QuestionFiles[i].path;
    for (char& c : path)
      if (c == '\\') c = '/';
    fuzz::WriteFile(path.c_str(), data, size);
  }
  if (!IndexQuestionFiles()) std::abort();
  if (static_cast<size_t>(QuestionFiles[0].lineCount) != DecipheredLineFeeds(data, size)) std::abort();

  // The raw bytes as one line of text, expanded into outputs of several sizes.
  std::string line(reinterpret_cast<const char*>(data), size);
  static char out[kLineBufferSize * 6 + 1];
  for (int room : {1, 2, 7, kQuestionSize, static_cast<int>(sizeof out)}) {
    std::memset(out, 'x', sizeof out);
    ExpandQuestionText(line.c_str(), out, room);
    CheckText(out, static_cast<size_t>(room));
  }

  SeedRandom(static_cast<uint32_t>(size));
  PickNumber = 1;
  GameTargets.QuestionLevel = 0;
  sOldQuestion[0] = '\0';
  for (int i = 0; i < 3; ++i) {
    PickQuestion();
    CheckText(sQuestion, sizeof sQuestion);
    if (QuestionAnswer() != 0 && QuestionAnswer() != 1) std::abort();
  }
  LoadQuestion(1, 1);
  CheckText(sQuestion, sizeof sQuestion);
  LoadQuestion(99, 0);  // no such category
  if (std::strncmp(sQuestion, "NOT FOUND!", 10) != 0) std::abort();
  return 0;
}
