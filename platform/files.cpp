#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `want` ignoring case, or `want` itself.
std::string MatchEntry(const std::string& dir, const std::string& want) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return want;
  std::string found = want;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, want.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}
}  // namespace

std::string ResolvePath(const char* name) {
  std::string path(name ? name : "");
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || Exists(path)) return path;
  std::string out;
  size_t pos = 0;
  if (path[0] == '/') {
    out = "/";
    pos = 1;
  }
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    std::string dir = out;
    if (!dir.empty() && dir != "/") dir.pop_back();  // drop trailing slash for opendir
    std::string candidate = out + part;
    if (part != "." && part != ".." && !Exists(candidate)) candidate = out + MatchEntry(dir, part);
    out = candidate;
    if (slash < path.size()) out += '/';
  }
  return out;
}

std::FILE* OpenFile(const char* name, const char* mode) {
  return std::fopen(ResolvePath(name).c_str(), mode);
}

bool FileExists(const char* name) { return Exists(ResolvePath(name)); }

long FileSize(const char* name) {
  struct stat st;
  if (stat(ResolvePath(name).c_str(), &st) != 0) return -1;
  return static_cast<long>(st.st_size);
}

bool MakeDirectory(const char* name) {
  std::string path = ResolvePath(name);
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ClearReadOnly(const char* name) {
  std::string path = ResolvePath(name);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  return chmod(path.c_str(), st.st_mode | S_IWUSR) == 0;
}

bool DeleteFile(const char* name) { return unlink(ResolvePath(name).c_str()) == 0; }

bool SyncFile(std::FILE* file) {
  if (!file || std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

bool ReplaceFile(const char* from, const char* to) {
  std::string target = ResolvePath(to);
  if (rename(ResolvePath(from).c_str(), target.c_str()) != 0) return false;
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

namespace {
std::string Reason(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// The folder part and the last name of a resolved path.
void Split(const std::string& path, std::string& folder, std::string& base) {
  size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? "" : path.substr(0, slash);
  base = slash == std::string::npos ? path : path.substr(slash + 1);
}

// Walks `folder` one name at a time from the working folder, never through a link; with
// `make`, missing parts are made and `made` tells whether any was.
int OpenFolder(const std::string& folder, bool make, bool& made, std::string& why) {
  made = false;
  int fd = open(folder.size() && folder[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  size_t pos = 0;
  while (fd >= 0 && pos < folder.size()) {
    size_t slash = folder.find('/', pos);
    if (slash == std::string::npos) slash = folder.size();
    std::string part = folder.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty() || part == ".") continue;
    if (make && mkdirat(fd, part.c_str(), 0755) == 0) made = true;
    int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    if (next < 0) why = Reason("cannot open folder", folder);
    close(fd);
    errno = error;
    fd = next;
  }
  return fd;
}

bool WriteWhole(int fd, const void* bytes, size_t size) {
  const char* p = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

bool SaveFileSafely(const char* name, const char* temp, const void* bytes, size_t size, std::string& why) {
  std::string path = ResolvePath(name), folder, base, tempFolder, tempBase;
  Split(path, folder, base);
  Split(ResolvePath(temp), tempFolder, tempBase);
  bool made;
  int dir = OpenFolder(folder, true, made, why);
  if (dir < 0) return false;
  // A temporary left by a save cut short, or planted as a link, is removed, never followed.
  unlinkat(dir, tempBase.c_str(), 0);
  int fd = openat(dir, tempBase.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  if (!ok) why = Reason("cannot create", tempFolder + "/" + tempBase);
  if (ok && !(WriteWhole(fd, bytes, size) && fsync(fd) == 0)) {
    why = Reason("cannot write", tempFolder + "/" + tempBase);
    ok = false;
  }
  if (fd >= 0 && close(fd) != 0 && ok) {
    why = Reason("cannot write", tempFolder + "/" + tempBase);
    ok = false;
  }
  if (ok && renameat(dir, tempBase.c_str(), dir, base.c_str()) != 0) {
    why = Reason("cannot replace", path);
    ok = false;
  }
  if (!ok) unlinkat(dir, tempBase.c_str(), 0);
  if (ok && fsync(dir) != 0) {
    why = Reason("cannot sync folder", folder);
    ok = false;
  }
  close(dir);
  if (ok && made) {
    // The new folder's own entry lives in the folder above it.
    std::string above, ignored;
    Split(folder, above, ignored);
    bool again;
    int up = OpenFolder(above, false, again, why);
    ok = up >= 0 && fsync(up) == 0;
    if (up >= 0) close(up);
  }
  return ok;
}

bool ReadFileSafely(const char* name, std::string& bytes, std::string& why) {
  bytes.clear();
  why.clear();
  std::string path = ResolvePath(name), folder, base;
  Split(path, folder, base);
  bool made;
  int dir = OpenFolder(folder, false, made, why);
  if (dir < 0) {
    if (errno == ENOENT) why.clear();
    return false;
  }
  int fd = openat(dir, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno != ENOENT) why = Reason("cannot open", path);
  close(dir);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) why = path + ": not a regular file";
  char buffer[4096];
  while (ok) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = Reason("cannot read", path);
      ok = false;
    }
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ok;
}

bool DeleteFileSafely(const char* name) {
  std::string path = ResolvePath(name), folder, base, why;
  Split(path, folder, base);
  bool made;
  int dir = OpenFolder(folder, false, made, why);
  if (dir < 0) return errno == ENOENT;
  bool gone = unlinkat(dir, base.c_str(), 0) == 0 || errno == ENOENT;
  if (gone) fsync(dir);
  close(dir);
  return gone;
}

std::FILE* OpenLogFileSafely(const char* name) {
  std::string path = ResolvePath(name), folder, base, why;
  Split(path, folder, base);
  bool made;
  int dir = OpenFolder(folder, false, made, why);
  if (dir < 0) return nullptr;
  int fd = openat(dir, base.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  close(dir);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "w");
  if (!f) close(fd);
  return f;
}

LocalTime GetLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string LocalTimeText(bool milliseconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm tm{};
  localtime_r(&now.tv_sec, &tm);
  char text[48], zone[8];
  size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  if (milliseconds) n += std::snprintf(text + n, sizeof text - n, ".%03ld", now.tv_nsec / 1000000);
  // +0100 -> +01:00
  if (std::strftime(zone, sizeof zone, "%z", &tm) == 5)
    std::snprintf(text + n, sizeof text - n, "%.3s:%.2s", zone, zone + 3);
  return text;
}

bool PathHasNoLinks(const char* name, std::string& why) {
  std::string path = ResolvePath(name);
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string part = path.substr(0, end);
    struct stat st;
    if (lstat(part.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      why = part + " is a symbolic link";
      return false;
    }
    if (end == std::string::npos) return true;
  }
}

bool DebugOutputWanted() {
  static const char* setting = std::getenv("QUIBBLO_DEBUG");
  static const bool wanted = setting && *setting && std::strcmp(setting, "0") != 0;
  return wanted;
}

void OutputDebugString(const char* text) {
  if (DebugOutputWanted() && text) std::fputs(text, stderr);
}
