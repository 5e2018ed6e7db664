// A picture file as the game loads it: the header check and decoder on the bytes, then the same
// bytes as a file of the asset table through ReadSpriteInfo and LoadSprite onto a picture surface.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "display/assets.h"
#include "display/display.h"
#include "display/images.h"
#include "display/surfaces.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/options.h"

namespace fuzz {

using SizeReader = bool (*)(const uint8_t*, size_t, int32_t&, int32_t&);
using Decoder = bool (*)(const uint8_t*, size_t, Picture565&);

inline void StartPictureFuzzing(const char* name) {
  Options.headless = true;
  EnterScratchFolder(name);
  std::filesystem::create_directories("Graphic_resource/Menu");
}

inline int FuzzPicture(const uint8_t* data, size_t size, int assetId, SizeReader readSize, Decoder decode) {
  int32_t width = 0, height = 0;
  bool sized = readSize(data, size, width, height);
  Picture565 picture;
  bool decoded = decode(data, size, picture);
  if (decoded) {
    if (!sized || picture.width != width || picture.height != height) std::abort();
    if (width < 1 || height < 1 || int64_t{width} * height > kMaxPicturePixels) std::abort();
    if (picture.pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) std::abort();
  }

  AssetRow& row = AssetTable[assetId - 1];
  WriteFile(ResolvePath(row.path).c_str(), data, size);
  Sprite info{};
  ReadSpriteInfo(info, assetId, 3);
  if (sized && (info.width != width || info.frameHeight != height / 3)) std::abort();
  // Loading onto a surface needs the display; a failed load releases it, so only pictures that
  // decode are loaded (and must then load).
  if (!decoded) return 0;
  if (!Device && !InitDisplay()) std::abort();
  Sprite loaded{};
  LoadSprite(loaded, assetId, 1);
  if (!Device || !row.surface || loaded.width != width || loaded.frameHeight != height) std::abort();
  row.surface->Release();
  row.surface = nullptr;
  return 0;
}

}  // namespace fuzz
