// Pictures for the display benchmarks, written as files into a scratch directory and loaded the
// way the game loads them.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "platform/files.h"

namespace bench_display {

struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kKey{255, 0, 255};

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline std::vector<uint8_t> Bmp(int w, int h, const std::function<Rgb(int, int)>& pixel) {
  size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> b(54 + stride * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(w));
  Put32(b, 22, static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = 24;
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) {
      Rgb c = pixel(x, h - 1 - row);
      uint8_t* p = &b[54 + row * stride + x * 3];
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  return b;
}

inline std::vector<uint8_t> Pcx(int w, int h, const std::function<Rgb(int, int)>& pixel) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 10;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  b[10] = static_cast<uint8_t>((h - 1) & 0xFF);
  b[11] = static_cast<uint8_t>((h - 1) >> 8);
  b[65] = 3;
  b[66] = static_cast<uint8_t>(w & 0xFF);
  b[67] = static_cast<uint8_t>(w >> 8);
  for (int y = 0; y < h; ++y)
    for (int plane = 0; plane < 3; ++plane)
      for (int x = 0; x < w;) {
        auto value = [&](int at) {
          Rgb c = pixel(at, y);
          return plane == 0 ? c.r : plane == 1 ? c.g : c.b;
        };
        uint8_t v = value(x);
        int run = 1;
        while (x + run < w && run < 63 && value(x + run) == v) ++run;
        if (run > 1 || v >= 192) b.push_back(static_cast<uint8_t>(0xC0 | run));
        b.push_back(v);
        x += run;
      }
  return b;
}

// A board-like picture: a grid of opaque boxes with transparent gaps (about 30% transparent).
inline Rgb Boxes(int x, int y) {
  bool gap = x % 114 >= 94 || y % 84 >= 64;
  return gap ? kKey : Rgb{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x + y)};
}
// A panel: an opaque ellipse on a transparent field.
inline Rgb Panel(int x, int y) {
  double dx = (x - 400) / 380.0, dy = (y - 300) / 280.0;
  return dx * dx + dy * dy > 1 ? kKey : Rgb{static_cast<uint8_t>(x * 3), 40, static_cast<uint8_t>(y)};
}
inline Rgb Photo(int x, int y) { return Rgb{static_cast<uint8_t>(x ^ y), static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 5)}; }

// A scratch working directory that is removed again.
struct ScratchDir {
  std::filesystem::path old, dir;
  ScratchDir() {
    char pattern[] = "/tmp/quibblo-bench-XXXXXX";
    dir = mkdtemp(pattern);
    old = std::filesystem::current_path();
    std::filesystem::current_path(dir);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
  }
};

inline void WriteAsset(int id, const std::vector<uint8_t>& bytes) {
  std::string path = ResolvePath(AssetTable[id - 1].path);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace bench_display
