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

// Files of the working folder opened without following symbolic links on any part of their
// path, so nothing written can land outside it. Names as above; the folder of a saved file is
// made when missing. Failures give the reason in `why`.
// Writes `size` bytes to `temp` (beside `name`), syncs it and renames it over `name`, then syncs
// the folder (and the working folder too when the folder is new).
bool SaveFileSafely(const char* name, const char* temp, const void* bytes, size_t size, std::string& why);
// The whole of a regular file; false when it is missing (why empty) or cannot be read.
bool ReadFileSafely(const char* name, std::string& bytes, std::string& why);
bool DeleteFileSafely(const char* name);  // true when it is gone
// Opened for writing and truncated, for a log; nullptr when it cannot be.
std::FILE* OpenLogFileSafely(const char* name);

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime GetLocalTime();
// The wall clock as ISO 8601 local time with its offset, e.g. 2026-12-08T19:07:34+00:00, or
// with milliseconds, 2026-12-08T19:07:34.250+00:00.
std::string LocalTimeText(bool milliseconds = false);
// True when no part of the path of `name` that exists is a symbolic link; `why` names the first.
bool PathHasNoLinks(const char* name, std::string& why);

// The system debugger output: standard error when QUIBBLO_DEBUG is set (and not 0), otherwise nowhere.
void OutputDebugString(const char* text);
bool DebugOutputWanted();  // callers skip formatting what would go nowhere
