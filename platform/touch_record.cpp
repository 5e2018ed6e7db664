#include "platform/touch_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
int recordFd = -1;
std::string recordPath;

bool WriteAll(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(recordFd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

bool StartTouchRecord(const std::string& path, const std::string& commandLine, std::string& error) {
  StopTouchRecord();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot create the touch record " + path + ": " + std::strerror(errno);
    return false;
  }
  recordFd = fd;
  recordPath = path;
  // A newline in an argument would end the comment and start a line the script reader refuses.
  std::string line = "# touches of the session started as: " + commandLine;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  if (!WriteAll(line + "\n")) {
    error = "cannot write the touch record " + path + ": " + std::strerror(errno);
    StopTouchRecord();
    return false;
  }
  return true;
}

void StopTouchRecord() {
  if (recordFd >= 0) ::close(recordFd);
  recordFd = -1;
}

bool TouchRecordOpen() { return recordFd >= 0; }

std::string TouchScriptLine(const ScriptEvent& e) {
  std::string line = std::to_string(e.ms);
  switch (e.kind) {
    case ScriptEvent::Touch: line += " touch " + std::to_string(e.x) + " " + std::to_string(e.y); break;
    case ScriptEvent::Shot: line += " shot " + e.file; break;
    case ScriptEvent::Close: line += " close"; break;
  }
  return line + "\n";
}

void RecordScriptEvent(const ScriptEvent& e) {
  if (recordFd < 0) return;
  if (WriteAll(TouchScriptLine(e))) return;
  std::fprintf(stderr, "quibblo: cannot write the touch record %s (%s): the session goes on unrecorded\n",
               recordPath.c_str(), std::strerror(errno));
  StopTouchRecord();
}
