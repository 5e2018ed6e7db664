#pragma once
#include <cstdint>

// Writes a picture of 5:6:5 pixels as an 8-bit RGB PNG, the channels widened by bit replication.
bool WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels);
