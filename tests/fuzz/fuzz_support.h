// What the file-reading fuzz targets share: a working folder of their own, since the game reads
// its files by fixed names relative to the working directory.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Moves into a fresh folder under the temporary directory, removed again at exit.
inline void EnterScratchFolder(const char* name) {
  static std::string folder;
  const char* tmp = std::getenv("TMPDIR");
  folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
  if (!mkdtemp(folder.data()) || chdir(folder.c_str()) != 0) {
    std::perror("fuzz scratch folder");
    std::abort();
  }
  std::atexit([] { std::system(("rm -rf '" + folder + "'").c_str()); });
}

inline void WriteFile(const char* path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::perror(path);
    std::abort();
  }
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

}  // namespace fuzz
