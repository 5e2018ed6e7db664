#include "platform/options.h"

#include "cli/cli.h"
#include "platform/touch_record.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

PlatformOptions Options;

namespace {
const char kDescription[] =
    "Quibblo, the touch-screen quiz-and-boxes prize game. It runs in the working folder, which\n"
    "holds the data tree (Graphic_resource/, sounds/, Questions/) and where it writes data/ (the\n"
    "record file) and ~system/ (the event log); it needs the credit server (quibblo-credit serve)\n"
    "on 127.0.0.1 port 6667. With no options it is the cabinet program: full screen, real clock,\n"
    "real audio. The options change only the platform underneath, never a rule, time or amount.";

const char kFooter[] =
    "Touch script: one event a line, times in milliseconds of the program's clock since it\n"
    "started; blank lines and lines starting with # are skipped.\n"
    "  <ms> touch <x> <y>    a press at screen position (x, y)\n"
    "  <ms> shot <file.png>  save the screen as a PNG file\n"
    "  <ms> close            the window's destroy message\n"
    "\n"
    "Exit codes:\n"
    "  0   normal end (or the ~system folders could not be made)\n"
    "  2   no credit server          1   no socket\n"
    "  -1  no window                 -6  no display\n"
    "  -7  question files unreadable -8  no sound system\n"
    "  64  a malformed option, touch script or replay plan, or a --record file that\n"
    "      cannot be created, before anything is connected\n"
    "  3   with --replay: the game sent the credit server what the recorded game did not\n"
    "Set QUIBBLO_DEBUG=1 to see the game's debugger output on standard error.\n";

bool ParseUnsigned(const std::string& text, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v > UINT32_MAX) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

bool ParseInt(const std::string& text, int& out) {
  if (text.empty() || text.size() > 6) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  out = std::atoi(text.c_str());
  return true;
}

}  // namespace

bool ParseTouchScript(const std::string& text, std::vector<ScriptEvent>& events, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  uint32_t last = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty() || w[0][0] == '#') continue;
    auto bad = [&](const char* why) {
      error = "line " + std::to_string(number) + ": " + why + ": " + line;
      return false;
    };
    ScriptEvent e{};
    if (!ParseUnsigned(w[0], e.ms)) return bad("expected a time in milliseconds");
    if (e.ms < last) return bad("times must not go backwards");
    if (w.size() < 2) return bad("expected an event after the time");
    if (w[1] == "touch") {
      if (w.size() != 4 || !ParseInt(w[2], e.x) || !ParseInt(w[3], e.y)) return bad("expected: <ms> touch <x> <y>");
      if (e.x < -32768 || e.x > 32767 || e.y < -32768 || e.y > 32767) return bad("position out of range");
      e.kind = ScriptEvent::Touch;
    } else if (w[1] == "shot") {
      if (w.size() != 3) return bad("expected: <ms> shot <file.png>");
      e.kind = ScriptEvent::Shot;
      e.file = w[2];
    } else if (w[1] == "close") {
      if (w.size() != 2) return bad("expected: <ms> close");
      e.kind = ScriptEvent::Close;
    } else {
      return bad("unknown event");
    }
    last = e.ms;
    events.push_back(e);
  }
  return true;
}

int ParseOptions(int argc, char** argv) {
  Options = PlatformOptions{};
  CLI::App app(kDescription, "quibblo");
  app.footer(kFooter);
  app.add_flag("--windowed", Options.windowed, "an 800 x 600 window instead of the full screen");
  app.add_flag("--headless", Options.headless,
               "no window and no audio device; everything is still drawn in memory, and sounds "
               "\"play\" for their real length on the clock");
  std::string clockStart, monkeySeed;
  CLI::Option* clock =
      app.add_option("--virtual-clock", clockStart,
                     "a deterministic millisecond clock that moves one step per read, starting at "
                     "START (default 0); the same touch script gives the same screenshots, record and "
                     "ledger")
          ->type_name("[=START]")
          ->expected(0, 1);
  app.add_option("--touches", Options.touchesFile, "a script of touches, screenshots and close events (below)")
      ->type_name("FILE");
  app.add_option("--record", Options.recordFile,
                 "write the session's touches and closes (and a script's screenshots) to FILE as a "
                 "touch script, each line as it happens, with its time on the program's clock; "
                 "--touches FILE plays it again")
      ->type_name("FILE");
  CLI::Option* monkey =
      app.add_option("--monkey", monkeySeed, "random touches at random moments, reproducible from SEED "
                                             "(0 to 4294967295), for soak tests")
          ->type_name("SEED");
  app.add_option("--replay", Options.replayPlan,
                 "play one journalled game again from the plan quibblo-recall writes: its state at the "
                 "stake, its touches and the credit server's recorded replies (no network), then end")
      ->type_name("PLAN");
  if (int code = cli::Parse(app, argc, argv); code >= 0) return code == 0 ? 0 : kUsageExit;
  auto fail = [&](const std::string& message) { return cli::Fail(app, message); };
  if (clock->count() > 0) {
    Options.virtualClock = true;
    if (!clockStart.empty() && !ParseUnsigned(clockStart, Options.clockStart))
      return fail("--virtual-clock: bad clock start \"" + clockStart + "\" (0 to 4294967295 milliseconds)");
  }
  if (monkey->count() > 0) {
    if (!ParseUnsigned(monkeySeed, Options.monkeySeed)) return fail("--monkey needs a seed (0 to 4294967295)");
    Options.monkey = true;
  }
  if (Options.touchesFile.empty() && app.count("--touches")) return fail("--touches needs a file");
  if (!Options.touchesFile.empty()) {
    std::ifstream f(Options.touchesFile, std::ios::binary);
    if (!f) return fail("cannot read touch script " + Options.touchesFile + ": " + std::strerror(errno));
    std::stringstream text;
    text << f.rdbuf();
    std::string error;
    if (!ParseTouchScript(text.str(), Options.script, error)) {
      std::fprintf(stderr, "quibblo: %s: %s\n", Options.touchesFile.c_str(), error.c_str());
      return kUsageExit;
    }
  }
  if (Options.recordFile.empty() && app.count("--record")) return fail("--record needs a file");
  StopTouchRecord();
  if (!Options.recordFile.empty()) {
    // The script was read above, so recording over the file being played is safe.
    std::string commandLine = "quibblo", error;
    for (int i = 1; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    if (!StartTouchRecord(Options.recordFile, commandLine, error)) {
      std::fprintf(stderr, "quibblo: %s\n", error.c_str());
      return kUsageExit;
    }
  }
  return -1;
}
