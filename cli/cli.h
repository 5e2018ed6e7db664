// Every program's command line goes through CLI11, so `--opt VALUE` and `--opt=VALUE` behave
// alike everywhere, and a bad command line ends the same way: named on standard error, exit 64.
#pragma once
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

namespace cli {

constexpr int kUsageExit = 64;

// Parses the command line: -1 to go on, 0 after --help (printed on standard output), or 64
// after a malformed one, with what is wrong on standard error.
inline int Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << app.get_name() << ": " << e.what() << "\n"
              << "usage: " << app.get_name() << " --help tells every command and option\n";
    return kUsageExit;
  }
}

// A bad value found after parsing (a range CLI11 cannot check, a missing combination).
inline int Fail(const CLI::App& app, const std::string& message) {
  std::cerr << app.get_name() << ": " << message << "\n"
            << "usage: " << app.get_name() << " --help tells every command and option\n";
  return kUsageExit;
}

}  // namespace cli
