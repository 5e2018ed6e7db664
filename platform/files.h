// Files as the game names them: backslash paths relative to the working directory, found
// whatever the case of the names on disk (data trees are often copied from case-blind systems).
#pragma once
#include <cstdio>
#include <string>

// The real path of a name as the game writes it: backslashes become slashes and each component that does not
// exist as written is matched against the directory's entries ignoring case. Components that
// match nothing are kept as written, so the result is also right for a file about to be made.
std::string ResolvePath(const char* name);

std::FILE* OpenFile(const char* name, const char* mode);
bool FileExists(const char* name);
long FileSize(const char* name);  // -1 when it cannot be read
bool MakeDirectory(const char* name);  // true when made or already a directory
bool ClearReadOnly(const char* name);
bool DeleteFile(const char* name);
// Flushes a file written through OpenFile all the way to the disk.
bool SyncFile(std::FILE* file);
// Renames `from` over `to` in one step and makes the rename itself survive a power cut.
bool ReplaceFile(const char* from, const char* to);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime GetLocalTime();

// The system debugger output: standard error when QUIBBLO_DEBUG is set (and not 0), otherwise nowhere.
void OutputDebugString(const char* text);
