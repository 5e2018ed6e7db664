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

LocalTime GetLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void OutputDebugString(const char* text) {
  static const char* setting = std::getenv("QUIBBLO_DEBUG");
  static const bool wanted = setting && *setting && std::strcmp(setting, "0") != 0;
  if (wanted && text) std::fputs(text, stderr);
}
