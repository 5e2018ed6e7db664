#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// An 8-bit RGB PNG through libpng, the same bytes for the same picture on every run. `row`
// fills the width * 3 bytes of line y; rows are asked for top to bottom, one at a time.
bool EncodePngRgb(int width, int height, const std::function<void(int y, uint8_t* rgb)>& row,
                  std::vector<uint8_t>& out);

// Writes a picture of 5:6:5 pixels as an 8-bit RGB PNG, the channels widened by bit replication.
bool WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels);
