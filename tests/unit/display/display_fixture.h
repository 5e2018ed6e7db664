// Shared helpers of the display tests: a scratch working directory with small picture files at
// the game's names, an initialised display, and pixel access to its surfaces.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "display/assets.h"
#include "display/display.h"
#include "display/surfaces.h"
#include "platform/clock.h"
#include "platform/ddraw.h"
#include "platform/files.h"

struct Rgb {
  uint8_t r, g, b;
};
using PixelFn = std::function<Rgb(int x, int y)>;  // y counts from the top

inline void WriteBytes(const std::string& gameName, const std::vector<uint8_t>& bytes) {
  std::string path = ResolvePath(gameName.c_str());
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A 24-bit BMP. `padded` rows are rounded up to four bytes as standard files are; `offset` is
// where the pixels start (the gap is filled with junk bytes).
inline std::vector<uint8_t> MakeBmp(int w, int h, const PixelFn& pixel, bool padded = true, uint32_t offset = 54) {
  size_t stride = padded ? (static_cast<size_t>(w) * 3 + 3) & ~size_t{3} : static_cast<size_t>(w) * 3;
  std::vector<uint8_t> b(offset + stride * h, 0xEE);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 6, 0);
  Put32(b, 10, offset);
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(w));
  Put32(b, 22, static_cast<uint32_t>(h));
  Put16(b, 26, 1);
  Put16(b, 28, 24);
  Put32(b, 30, 0);
  Put32(b, 34, static_cast<uint32_t>(stride * h));  // the image size
  for (int fileRow = 0; fileRow < h; ++fileRow) {
    size_t at = offset + fileRow * stride;
    for (int x = 0; x < w; ++x) {
      Rgb c = pixel(x, h - 1 - fileRow);
      b[at + x * 3] = c.b;
      b[at + x * 3 + 1] = c.g;
      b[at + x * 3 + 2] = c.r;
    }
  }
  return b;
}

inline std::vector<uint8_t> PcxHeader(int w, int ymin, int ymax) {
  std::vector<uint8_t> b(128, 0);
  b[0] = 10;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  Put16(b, 6, static_cast<uint32_t>(ymin));
  Put16(b, 10, static_cast<uint32_t>(ymax));
  Put16(b, 8, static_cast<uint32_t>(w - 1));
  b[65] = 3;
  Put16(b, 66, static_cast<uint32_t>(w));
  return b;
}

// A run-length PCX: runs of equal values within each plane line, literal bytes where allowed.
inline std::vector<uint8_t> MakePcx(int w, int h, const PixelFn& pixel) {
  std::vector<uint8_t> b = PcxHeader(w, 0, h - 1);
  for (int y = 0; y < h; ++y)
    for (int plane = 0; plane < 3; ++plane) {
      auto value = [&](int x) {
        Rgb c = pixel(x, y);
        return plane == 0 ? c.r : plane == 1 ? c.g : c.b;
      };
      for (int x = 0; x < w;) {
        uint8_t v = value(x);
        int run = 1;
        while (x + run < w && run < 63 && value(x + run) == v) ++run;
        if (run > 1 || v >= 192) {
          b.push_back(static_cast<uint8_t>(0xC0 | run));
          b.push_back(v);
        } else {
          b.push_back(v);
        }
        x += run;
      }
    }
  return b;
}

// Reads one pixel of a surface.
inline uint16_t PixelAt(IDirectDrawSurface7* surface, int x, int y) {
  DDSURFACEDESC2 desc;
  if (surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return 0xDEAD;
  auto* base = static_cast<const uint8_t*>(desc.lpSurface);
  uint16_t v = reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(y) * desc.lPitch)[x];
  surface->Unlock(nullptr);
  return v;
}

inline void FillSurface(IDirectDrawSurface7* surface, uint16_t colour) {
  DDBLTFX fx;
  fx.dwFillColor = colour;
  ASSERT_EQ(surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
}

// Runs each test in a fresh scratch directory with the display up, on the virtual clock.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!VirtualClockInUse()) UseVirtualClock(1000);
    char pattern[] = "/tmp/quibblo-display-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    DDClearFaults();
    ASSERT_TRUE(InitDisplay());
    PaceDeadline = 0;
    for (Sprite& s : Sprites) s = Sprite{};
  }
  void TearDown() override {
    DDClearFaults();
    ReleaseImages();
    ReleaseDisplay();
    EXPECT_EQ(DDLiveObjects(), 0);
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::string dir_;
  std::filesystem::path old_;
};

constexpr uint16_t kRed = 0xF800, kGreen = 0x07E0, kBlue = 0x001F, kWhite = 0xFFFF;
inline Rgb Solid(uint16_t c) {
  return Rgb{static_cast<uint8_t>((c >> 11) << 3), static_cast<uint8_t>(((c >> 5) & 63) << 2),
             static_cast<uint8_t>((c & 31) << 3)};
}
