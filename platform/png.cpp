#include "platform/png.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::FILE* f, const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> head;
  Put32(head, static_cast<uint32_t>(data.size()));
  std::fwrite(head.data(), 1, 4, f);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  std::fwrite(type, 1, 4, f);
  if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
  std::vector<uint8_t> tail;
  Put32(tail, static_cast<uint32_t>(crc));
  std::fwrite(tail.data(), 1, 4, f);
}
}  // namespace

bool WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      uint16_t p = pixels ? pixels[static_cast<size_t>(y) * pitchPixels + x] : 0;
      uint8_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      raw.push_back(static_cast<uint8_t>(r << 3 | r >> 2));
      raw.push_back(static_cast<uint8_t>(g << 2 | g >> 4));
      raw.push_back(static_cast<uint8_t>(b << 3 | b >> 2));
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(size);
  if (compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return false;
  packed.resize(size);

  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::fwrite(signature, 1, 8, f);
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(width));
  Put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  Chunk(f, "IHDR", header);
  Chunk(f, "IDAT", packed);
  Chunk(f, "IEND", {});
  return std::fclose(f) == 0;
}
