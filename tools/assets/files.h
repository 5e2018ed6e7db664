// The files of the data tree: the game's names to paths under the output folder, and the picture
// file formats the game reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/assets/raster.h"

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);
void PutTag(Bytes& b, const char* fourcc);
void Set32(Bytes& b, size_t at, uint32_t v);

// 24-bit BMP, bottom row first, rows padded to four bytes as every BMP reader expects.
Bytes EncodeBmp(const Image& img);
// 24-bit PCX of three run-length planes per line (red, green, blue); the width must be even.
Bytes EncodePcx(const Image& img);
Bytes EncodePng(const Image& img);

// Writes the file beside its place and renames it there, making folders as needed. Throws.
void WriteFile(const std::string& path, const Bytes& bytes);

class Tree {
 public:
  explicit Tree(std::string root) : root_(std::move(root)) {}
  // name uses the game's backslashes; folders are made as needed. Throws on failure.
  void write(const std::string& name, const Bytes& bytes);
  std::string path(const std::string& name) const;
  const std::string& root() const { return root_; }
  size_t files() const { return files_; }
  uint64_t bytes() const { return bytes_; }

 private:
  std::string root_;
  size_t files_ = 0;
  uint64_t bytes_ = 0;
};
