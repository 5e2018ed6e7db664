#include "shell/log.h"

#include <cstdarg>
#include <cstdio>

#include "platform/files.h"

namespace {
constexpr const char* kLogFile = "~system/logs/Quibblo.txt";
constexpr const char* kVersion = "1.0.0.1";
constexpr int kEntrySize = 1000;
std::FILE* logFile = nullptr;
}  // namespace

int MakeSystemDirectories() {
  // All three are always tried, in order.
  bool ok = MakeDirectory("~system");
  ok = MakeDirectory("~system/logs") && ok;
  ok = MakeDirectory("~system/upload") && ok;
  return ok ? 0 : -1;
}

int OpenLog() {
  logFile = OpenLogFileSafely(kLogFile);
  if (!logFile) return -1;
  LogWrite("Quibblo Version %s - Start of Log\n\n", kVersion);
  return 0;
}

int LogWrite(const char* format, ...) {
  if (!format || !logFile) return 0;
  char buffer[kEntrySize];
  LocalTime t = GetLocalTime();
  std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d:%02d - ", t.day, t.month, t.year, t.hour, t.minute,
                t.second);
  std::fputs(buffer, logFile);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);  // a longer entry is cut, still terminated
  va_end(args);
  std::fputs(buffer, logFile);
  std::fflush(logFile);
  OutputDebugString(buffer);
  return 0;
}

int CloseLog() {
  if (!logFile) return -1;
  std::fclose(logFile);
  logFile = nullptr;
  return 0;
}
