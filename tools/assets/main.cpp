// quibblo-assets --out DIR: writes the game's complete data tree into DIR.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/cli.h"
#include "tools/assets/questions.h"
#include "tools/assets/tree.h"

int main(int argc, char** argv) {
  CLI::App app("Writes the Quibblo game's data tree (pictures, fonts, sounds, clips, question files) into DIR, "
               "the same bytes on every run.",
               "quibblo-assets");
  app.footer(
      "The tree: Graphic_resource/ (BMP and PCX pictures, fonts, clips in avis/), sounds/ (WAV) and\n"
      "Questions/trueorfalse/Data01.pck to Data48.pck, made from the question bank.\n"
      "\n"
      "Exit codes:\n"
      "  0   the tree is written\n"
      "  1   a bad question bank, or DIR cannot be written (nothing is left half-written)\n"
      "  64  a malformed command line\n");
  std::string out, bankFile, sheet;
  bool noSheet = false;
  app.add_option("--out", out, "the folder to write the tree into (required)")->type_name("DIR")->required();
  app.add_option("--bank", bankFile, "question bank to use instead of the built-in one: a folder of NN.txt files, or one text with \"== N\" category lines")->type_name("FILE");
  CLI::Option* sheetOption =
      app.add_option("--sheet", sheet, "where to write the contact sheet of all pictures (default DIR/contact_sheet.png)")
          ->type_name("FILE");
  app.add_flag("--no-sheet", noSheet, "write no contact sheet")->excludes(sheetOption);
  if (int code = cli::Parse(app, argc, argv); code >= 0) return code;
  if (out.empty()) return cli::Fail(app, "--out needs a folder");
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
