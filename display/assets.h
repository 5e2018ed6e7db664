// The table of every picture of the game, and their program-wide Sprites.
#pragma once
#include <cstdint>

#include "display/display.h"

class IDirectDrawSurface7;

constexpr int32_t kKindBmp = 1;
constexpr int32_t kKindPcx = 2;
constexpr int kAssetCount = 56;

struct AssetRow {
  int32_t id;
  const char* path;
  int32_t kind;
  IDirectDrawSurface7* surface;  // null until loaded, and again after ReleaseImages
};

// Rows for ids 1 to 56 in order, then a terminating row with id 0.
extern AssetRow AssetTable[kAssetCount + 1];

// Sprites[id] is the Sprite of asset id (1 to 56); index 0 is unused.
extern Sprite Sprites[57];

// The frame count each picture is loaded with (fonts have 96); 0 for pictures never loaded.
int16_t AssetFrames(int assetId);

void LoadAssets();
// The first picture the game draws whose file cannot be loaded, or 0 when all can.
int FirstBrokenPicture(const char*& reason);
