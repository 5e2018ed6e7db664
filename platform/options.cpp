#include "platform/options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

PlatformOptions Options;

namespace {
const char* kUsage =
    "usage: quibblo [options]\n"
    "  --windowed               an 800 x 600 window instead of the full screen\n"
    "  --headless               no window and no audio device\n"
    "  --virtual-clock[=START]  a deterministic clock starting at START milliseconds\n"
    "  --touches FILE           a script of touches, screenshots and close events\n"
    "  --monkey SEED            random touches at random moments, reproducible from SEED\n"
    "  --help                   this text\n";

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

int Fail(const std::string& message) {
  std::fprintf(stderr, "quibblo: %s\n%s", message.c_str(), kUsage);
  return kUsageExit;
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
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--windowed") {
      Options.windowed = true;
    } else if (a == "--headless") {
      Options.headless = true;
    } else if (a == "--virtual-clock") {
      Options.virtualClock = true;
    } else if (a.rfind("--virtual-clock=", 0) == 0) {
      Options.virtualClock = true;
      if (!ParseUnsigned(a.substr(16), Options.clockStart)) return Fail("bad clock start in " + a);
    } else if (a == "--touches") {
      if (!value(Options.touchesFile)) return Fail("--touches needs a file");
    } else if (a == "--monkey") {
      std::string seed;
      if (!value(seed) || !ParseUnsigned(seed, Options.monkeySeed)) return Fail("--monkey needs a seed (0 to 4294967295)");
      Options.monkey = true;
    } else {
      return Fail("unknown option " + a);
    }
  }
  if (!Options.touchesFile.empty()) {
    std::ifstream f(Options.touchesFile, std::ios::binary);
    if (!f) return Fail("cannot read touch script " + Options.touchesFile + ": " + std::strerror(errno));
    std::stringstream text;
    text << f.rdbuf();
    std::string error;
    if (!ParseTouchScript(text.str(), Options.script, error)) {
      std::fprintf(stderr, "quibblo: %s: %s\n", Options.touchesFile.c_str(), error.c_str());
      return kUsageExit;
    }
  }
  return -1;
}
