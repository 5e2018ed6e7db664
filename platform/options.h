// The platform's command line. These options change only the platform under the game.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ScriptEvent {
  enum Kind { Touch, Shot, Close } kind;
  uint32_t ms;
  int x = 0, y = 0;
  std::string file;
};

struct PlatformOptions {
  bool windowed = false;
  bool headless = false;
  bool virtualClock = false;
  uint32_t clockStart = 0;
  std::string touchesFile;
  std::string recordFile;  // --record: the session's events are written there as a touch script
  std::vector<ScriptEvent> script;
  bool monkey = false;
  uint32_t monkeySeed = 0;
  std::string replayPlan;  // a game to play again instead of the cabinet's menu
};

extern PlatformOptions Options;

constexpr int kUsageExit = 64;

// Fills `Options`. Returns -1 to go on, or the exit code to end with (0 after --help,
// 64 after a malformed option or script, or a --record file that cannot be created, reported on
// standard error).
int ParseOptions(int argc, char** argv);

// Reads a touch script; on failure returns false with a message naming the line.
bool ParseTouchScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error);
