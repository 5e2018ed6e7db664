// Picture files (24-bit BMP, run-length PCX) into picture surfaces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/display.h"

void ReadSpriteInfo(Sprite& sprite, int assetId, int16_t frameCount);
void LoadSprite(Sprite& sprite, int assetId, int16_t frameCount);
// Reads and decodes the picture file of an asset without touching the display; false with the
// reason when it could not be shown.
bool PictureFileLoads(int assetId, const char*& reason);

// Sides are 1 to 32767 pixels and a picture holds at most this many pixels: anything larger is
// a damaged or hostile header, not a picture of an 800 x 600 game.
constexpr int64_t kMaxPicturePixels = int64_t{16} << 20;

// A decoded picture in 5:6:5 pixels, rows top to bottom, `width` pixels apart.
struct Picture565 {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint16_t> pixels;
};

constexpr uint16_t To565(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// Header checks and sizes; false for a wrong signature, a short header or an impossible size.
bool ReadPcxSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
bool ReadBmpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
// Whole files held in memory; false (and `picture` unusable) for any damaged or short file.
bool DecodePcx(const uint8_t* data, size_t size, Picture565& picture);
bool DecodeBmp(const uint8_t* data, size_t size, Picture565& picture);
