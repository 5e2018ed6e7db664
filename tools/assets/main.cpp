// quibblo-assets --out DIR: writes the game's complete data tree into DIR.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/assets/questions.h"
#include "tools/assets/tree.h"

namespace {
void Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: quibblo-assets --out DIR [--bank PATH] [--sheet FILE | --no-sheet]\n"
               "  Writes the game's data tree (pictures, fonts, sounds, clips, question files) into DIR,\n"
               "  the same bytes on every run.\n"
               "  --bank PATH   question bank to use instead of the built-in one: a folder of\n"
               "                NN.txt files, or one text with \"== N\" category lines\n"
               "  --sheet FILE  where to write the contact sheet of all pictures\n"
               "                (default DIR/contact_sheet.png)\n"
               "  --no-sheet    write no contact sheet\n");
}
}  // namespace

int main(int argc, char** argv) {
  std::string out, bankFile, sheet;
  bool noSheet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& to) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quibblo-assets: %s needs a value\n", a.c_str());
        std::exit(64);
      }
      to = argv[++i];
    };
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else if (a == "--out") {
      value(out);
    } else if (a == "--bank") {
      value(bankFile);
    } else if (a == "--sheet") {
      value(sheet);
    } else if (a == "--no-sheet") {
      noSheet = true;
    } else {
      std::fprintf(stderr, "quibblo-assets: unknown option %s\n", a.c_str());
      Usage(stderr);
      return 64;
    }
  }
  if (out.empty()) {
    Usage(stderr);
    return 64;
  }
  if (sheet.empty() && !noSheet) sheet = out + "/contact_sheet.png";
  if (noSheet) sheet.clear();
  try {
    std::string bank = BuiltInBank();
    if (!bankFile.empty() && std::filesystem::is_directory(bankFile)) {
      bank = JoinBank(ReadBankFolder(bankFile));
    } else if (!bankFile.empty()) {
      std::ifstream f(bankFile, std::ios::binary);
      if (!f) throw std::runtime_error("cannot read " + bankFile);
      std::stringstream s;
      s << f.rdbuf();
      bank = s.str();
    }
    auto start = std::chrono::steady_clock::now();
    TreeReport r = WriteTree(out, bank, sheet);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("quibblo-assets: %zu files, %.1f MB in %s, %.2f s\n", r.files, r.bytes / 1e6, out.c_str(), seconds);
    if (!r.contactSheet.empty()) std::printf("contact sheet: %s\n", r.contactSheet.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quibblo-assets: %s\n", e.what());
    return 1;
  }
  return 0;
}
