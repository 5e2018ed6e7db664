#include "display/images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/assets.h"
#include "display/surfaces.h"
#include "platform/files.h"
#include "shell/log.h"

namespace {
constexpr size_t kPcxHeaderSize = 128;
constexpr size_t kBmpHeaderSize = 54;  // file header 14 + information header 40
constexpr long kMaxFileBytes = 128L << 20;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool SaneSize(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= 32767 && height <= 32767 && width * height <= kMaxPicturePixels;
}

int FindRow(int assetId) {
  for (int i = 0; AssetTable[i].id != 0; ++i)
    if (AssetTable[i].id == assetId) return i;
  return -1;
}

// A load that fails releases the display. The first such failure is logged with the file's
// name, so an operator looking at a dark screen can find the damaged or missing picture.
void LoadFailed(int assetId, const char* path, const char* reason) {
  bool displayWasUp = Device || FrontSurface || BackBuffer || Canvases[0] || Canvases[1];
  if (displayWasUp) {
    if (path)
      LogWrite("Picture %s failed to load (%s); display released\n", path, reason);
    else
      LogWrite("Picture id %d is not in the asset table; display released\n", assetId);
  }
  ReleaseDisplay();
}

void FillSprite(Sprite& sprite, int32_t width, int32_t height, int row, int16_t frameCount) {
  sprite.width = width;
  sprite.frameHeight = height / frameCount;
  sprite.assetRow = row;
  sprite.frameCount = frameCount;
}

bool ReadHeader(const char* path, uint8_t* header, size_t size) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return false;
  size_t got = std::fread(header, 1, size, file);
  std::fclose(file);
  return got == size;
}

// The whole file, or false when it cannot be opened, read, or is larger than any picture.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, const char*& reason) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) {
    reason = "cannot open the file";
    return false;
  }
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  if (size < 0 || size > kMaxFileBytes || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    reason = size > kMaxFileBytes ? "file too large" : "cannot read the file";
    return false;
  }
  bytes.resize(static_cast<size_t>(size));
  size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  if (got != bytes.size()) {
    reason = "cannot read the file";
    return false;
  }
  return true;
}

bool RowsAlike(const Picture565& picture) {
  const size_t width = static_cast<size_t>(picture.width);
  const uint16_t* first = picture.pixels.data();
  for (int32_t y = 1; y < picture.height; ++y)
    if (std::memcmp(first, first + static_cast<size_t>(y) * width, width * 2) != 0) return false;
  return true;
}

bool MakePictureSurface(AssetRow& row, const Picture565& picture) {
  DDSURFACEDESC2 desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = static_cast<uint32_t>(picture.width);
  desc.dwHeight = static_cast<uint32_t>(picture.height);
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  // A picture of one colour (the canvas-clearing one is a whole screen of it) keeps one row.
  if (picture.height > 1 && RowsAlike(picture)) desc.ddsCaps.dwCaps |= DDSCAPS_ROWSALIKE;
  if (Device->CreateSurface(&desc, &row.surface, nullptr) != DD_OK) return false;
  DDCOLORKEY key{kTransparent, kTransparent};
  row.surface->SetColorKey(DDCKEY_SRCBLT, &key);

  DDSURFACEDESC2 locked;
  if (!LockSurface(row.surface, locked)) {
    // LockSurface has released the display; a surface with no picture in it must not stay.
    LogWrite("Picture %s failed to load (surface lock failed); display released\n", row.path);
    row.surface->Release();
    row.surface = nullptr;
    return false;
  }
  auto* base = static_cast<uint8_t*>(locked.lpSurface);
  size_t rowBytes = static_cast<size_t>(picture.width) * 2;
  for (int32_t y = 0; y < picture.height; ++y)
    std::memcpy(base + static_cast<size_t>(y) * static_cast<size_t>(locked.lPitch),
                picture.pixels.data() + static_cast<size_t>(y) * picture.width, rowBytes);
  row.surface->Unlock(nullptr);
  return true;
}
}  // namespace

bool ReadPcxSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  if (size < kPcxHeaderSize) return false;
  if (data[0] != 10 || data[1] != 5 || data[2] != 1 || data[3] != 8) return false;
  int64_t w = U16(data + 66);
  int64_t h = int64_t{U16(data + 10)} - U16(data + 6) + 1;
  if (!SaneSize(w, h)) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

bool ReadBmpSize(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  if (size < kBmpHeaderSize) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;
  int64_t w = static_cast<int32_t>(U32(data + 18));
  int64_t h = static_cast<int32_t>(U32(data + 22));
  if (!SaneSize(w, h)) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

bool DecodePcx(const uint8_t* data, size_t size, Picture565& picture) {
  if (!ReadPcxSize(data, size, picture.width, picture.height)) return false;
  const size_t width = static_cast<size_t>(picture.width);
  // The shortest coding of a plane line is one two-byte run per 63 columns (or one byte per
  // column): a file shorter than that is cut off, whatever its header promises.
  const size_t shortestLine = std::min(width, 2 * ((width + 62) / 63));
  if (size - kPcxHeaderSize < shortestLine * 3 * static_cast<size_t>(picture.height)) return false;
  picture.pixels.assign(width * static_cast<size_t>(picture.height), 0);
  const uint8_t* in = data + kPcxHeaderSize;
  const uint8_t* end = data + size;
  static constexpr int kShift[3] = {11, 5, 0};
  static constexpr int kDrop[3] = {3, 2, 3};
  for (int32_t y = 0; y < picture.height; ++y) {
    uint16_t* line = picture.pixels.data() + static_cast<size_t>(y) * width;
    for (int plane = 0; plane < 3; ++plane) {
      const int shift = kShift[plane], drop = kDrop[plane];
      size_t column = 0;
      while (column < width) {
        if (in == end) return false;
        uint8_t byte = *in++;
        if (byte >= 192) {
          if (in == end) return false;
          size_t run = byte & 63u;
          auto part = static_cast<uint16_t>((*in++ >> drop) << shift);
          // A run past the line's end is cut there; its remainder is dropped.
          size_t stop = std::min(width, column + run);
          for (size_t i = column; i < stop; ++i) line[i] |= part;
          column += run;
        } else {
          line[column++] |= static_cast<uint16_t>((byte >> drop) << shift);
        }
      }
    }
  }
  return true;
}

bool DecodeBmp(const uint8_t* data, size_t size, Picture565& picture) {
  if (!ReadBmpSize(data, size, picture.width, picture.height)) return false;
  const size_t width = static_cast<size_t>(picture.width), height = static_cast<size_t>(picture.height);
  // Rows are padded to four bytes, as the format has it, and start where the header says. A
  // writer that left the padding out says so in the header's image size (width x 3 x height);
  // what follows the pixels, padding or not, never decides.
  size_t offset = U32(data + 10);
  if (offset < kBmpHeaderSize || offset > size) offset = kBmpHeaderSize;
  const size_t available = size - offset;
  const size_t packed = width * 3;
  const size_t padded = (packed + 3) & ~size_t{3};
  const size_t stride = U32(data + 34) == packed * height ? packed : padded;
  if (available / stride < height) return false;

  picture.pixels.resize(width * height);
  for (size_t fileRow = 0; fileRow < height; ++fileRow) {
    const uint8_t* in = data + offset + fileRow * stride;
    uint16_t* out = picture.pixels.data() + (height - 1 - fileRow) * width;  // bottom row first
    for (size_t x = 0; x < width; ++x, in += 3) out[x] = To565(in[2], in[1], in[0]);
  }
  return true;
}

bool PictureFileLoads(int assetId, const char*& reason) {
  int row = FindRow(assetId);
  if (row < 0) {
    reason = "not in the asset table";
    return false;
  }
  const AssetRow& asset = AssetTable[row];
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(asset.path, bytes, reason)) return false;
  Picture565 picture;
  bool decoded = asset.kind == kKindPcx ? DecodePcx(bytes.data(), bytes.size(), picture)
                                        : DecodeBmp(bytes.data(), bytes.size(), picture);
  if (!decoded) reason = "damaged, short or wrong kind of picture file";
  return decoded;
}

void ReadSpriteInfo(Sprite& sprite, int assetId, int16_t frameCount) {
  int row = FindRow(assetId);
  if (row < 0) return LoadFailed(assetId, nullptr, "");
  const AssetRow& asset = AssetTable[row];
  uint8_t header[kPcxHeaderSize];
  bool pcx = asset.kind == kKindPcx;
  size_t headerSize = pcx ? kPcxHeaderSize : kBmpHeaderSize;
  if (!ReadHeader(asset.path, header, headerSize)) return LoadFailed(assetId, asset.path, "cannot read the header");
  int32_t width, height;
  bool ok = pcx ? ReadPcxSize(header, headerSize, width, height) : ReadBmpSize(header, headerSize, width, height);
  if (!ok) return LoadFailed(assetId, asset.path, "not a picture of the expected kind or size");
  FillSprite(sprite, width, height, row, std::max<int16_t>(frameCount, 1));
}

void LoadSprite(Sprite& sprite, int assetId, int16_t frameCount) {
  int row = FindRow(assetId);
  if (row < 0) return LoadFailed(assetId, nullptr, "");
  AssetRow& asset = AssetTable[row];
  frameCount = std::max<int16_t>(frameCount, 1);
  if (asset.surface) {
    DDSURFACEDESC2 desc;
    asset.surface->GetSurfaceDesc(&desc);
    FillSprite(sprite, static_cast<int32_t>(desc.dwWidth), static_cast<int32_t>(desc.dwHeight), row, frameCount);
    return;
  }
  if (asset.kind != kKindBmp && asset.kind != kKindPcx) return LoadFailed(assetId, asset.path, "unknown kind");
  if (!Device) return LoadFailed(assetId, asset.path, "no display");

  std::vector<uint8_t> bytes;
  const char* reason = "";
  if (!ReadWholeFile(asset.path, bytes, reason)) return LoadFailed(assetId, asset.path, reason);
  Picture565 picture;
  bool decoded = asset.kind == kKindPcx ? DecodePcx(bytes.data(), bytes.size(), picture)
                                        : DecodeBmp(bytes.data(), bytes.size(), picture);
  if (!decoded) return LoadFailed(assetId, asset.path, "damaged, short or wrong kind of picture file");
  bytes = {};
  if (!MakePictureSurface(asset, picture)) return LoadFailed(assetId, asset.path, "no picture surface");
  FillSprite(sprite, picture.width, picture.height, row, frameCount);
}
