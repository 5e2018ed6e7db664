#include "display/display.h"

#include <cstdio>

#include "display/assets.h"
#include "display/images.h"
#include "display/surfaces.h"
#include "shell/timers.h"

IDirectDraw7* Device = nullptr;
IDirectDrawSurface7* FrontSurface = nullptr;
IDirectDrawSurface7* BackBuffer = nullptr;
IDirectDrawSurface7* Canvases[2] = {nullptr, nullptr};
DDCOLORKEY TransparentKey{0, 0};
int32_t DisplayDepth = 0;
uint32_t PaceDeadline = 0;

namespace {
constexpr uint32_t kPaceMs = 15;

void ReleaseSurface(IDirectDrawSurface7*& surface) {
  if (!surface) return;
  surface->Release();
  surface = nullptr;
}

bool MakeCanvas(IDirectDrawSurface7*& canvas) {
  DDSURFACEDESC2 desc;
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = kScreenWidth;
  desc.dwHeight = kScreenHeight;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  return Device->CreateSurface(&desc, &canvas, nullptr) == DD_OK;
}

// Repeats a blit while the device is busy or a surface is lost, restoring `restore` after each
// loss. Yields false when that restore failed.
template <typename Blit>
bool BlitWithRetry(Blit blit, IDirectDrawSurface7* restore) {
  for (;;) {
    HRESULT result = blit();
    if (result == DDERR_WASSTILLDRAWING) continue;
    if (result != DDERR_SURFACELOST) return true;
    if (restore->Restore() != DD_OK) return false;
  }
}

IDirectDrawSurface7* PictureOf(Sprite& sprite) {
  if (sprite.assetRow < 0 || sprite.assetRow >= kAssetCount) return nullptr;
  AssetRow& row = AssetTable[sprite.assetRow];
  if (!row.surface) LoadSprite(sprite, row.id, static_cast<int16_t>(sprite.frameCount));
  return row.surface;
}

// The source rectangle of a frame and its target corner after clipping; false when nothing
// of it is left. Sums are 64-bit so absurd frame numbers simply fall outside the picture.
bool ClipFrame(const Sprite& sprite, int frame, int& x, int& y, const ClipBox& clip, RECT& source) {
  int64_t left = 0, right = sprite.width;
  int64_t top = int64_t{frame} * sprite.frameHeight, bottom = top + sprite.frameHeight;
  int64_t px = x, py = y;
  if (px < clip.left) {
    left += clip.left - px;
    px = clip.left;
  }
  if (py < clip.top) {
    top += clip.top - py;
    py = clip.top;
  }
  if (px + (right - left) >= clip.right) right -= px + (right - left) - clip.right;
  if (py + (bottom - top) >= clip.bottom) bottom -= py + (bottom - top) - clip.bottom;
  if (left >= right || top >= bottom) return false;
  if (top < INT32_MIN || bottom > INT32_MAX) return false;
  source = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
            static_cast<int32_t>(bottom)};
  x = static_cast<int>(px);
  y = static_cast<int>(py);
  return true;
}

uint32_t FastFlags(int keyed) { return DDBLTFAST_WAIT | (keyed ? DDBLTFAST_SRCCOLORKEY : 0); }

void DrawFrame(IDirectDrawSurface7* target, IDirectDrawSurface7* restore, Sprite& sprite, int frame, int x, int y,
               const ClipBox& clip, int keyed) {
  RECT source;
  if (!ClipFrame(sprite, frame, x, y, clip, source)) return;
  IDirectDrawSurface7* picture = AssetTable[sprite.assetRow].surface;
  auto blit = [&] {
    return target->BltFast(static_cast<uint32_t>(x), static_cast<uint32_t>(y), picture, &source, FastFlags(keyed));
  };
  if (!BlitWithRetry(blit, restore)) ReleaseDisplay();
}

// Moves one edge of `moved` in proportion when the matching edge of `clipped` leaves the screen.
void ClipPair(RECT& clipped, RECT& moved, int64_t clippedW, int64_t clippedH, int64_t movedW, int64_t movedH) {
  if (clipped.left < 0) {
    moved.left += static_cast<int32_t>(-int64_t{clipped.left} * movedW / clippedW);
    clipped.left = 0;
  }
  if (clipped.top < 0) {
    moved.top += static_cast<int32_t>(-int64_t{clipped.top} * movedH / clippedH);
    clipped.top = 0;
  }
  if (clipped.right > kScreenWidth) {
    moved.right -= static_cast<int32_t>((int64_t{clipped.right} - kScreenWidth) * movedW / clippedW);
    clipped.right = kScreenWidth;
  }
  if (clipped.bottom > kScreenHeight) {
    moved.bottom -= static_cast<int32_t>((int64_t{clipped.bottom} - kScreenHeight) * movedH / clippedH);
    clipped.bottom = kScreenHeight;
  }
}

int64_t NonZero(int64_t v) { return v == 0 ? 1 : v; }
}  // namespace

bool LockSurface(IDirectDrawSurface7* surface, DDSURFACEDESC2& desc) {
  if (!surface) return false;
  for (;;) {
    HRESULT result = surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (result == DD_OK) return true;
    if (result == DDERR_WASSTILLDRAWING) continue;
    if (result == DDERR_SURFACELOST && surface->Restore() == DD_OK) continue;
    ReleaseDisplay();
    return false;
  }
}

bool InitDisplay() {
  ReleaseDisplay();  // a second call starts afresh instead of leaking the first display
  IDirectDraw* first = nullptr;
  DDSURFACEDESC2 desc;
  DDSCAPS2 caps;
  if (DirectDrawCreate(nullptr, &first, nullptr) != DD_OK) goto failed;
  if (first->QueryInterface7(&Device) != DD_OK) {
    first->Release();
    goto failed;
  }
  first->Release();
  if (Device->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT) != DD_OK)
    goto failed;
  DisplayDepth = 16;
  if (Device->SetDisplayMode(kScreenWidth, kScreenHeight, DisplayDepth, 0, 0) != DD_OK) goto failed;

  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  desc.dwBackBufferCount = 1;
  if (Device->CreateSurface(&desc, &FrontSurface, nullptr) != DD_OK) goto failed;
  caps.dwCaps = DDSCAPS_BACKBUFFER;
  if (FrontSurface->GetAttachedSurface(&caps, &BackBuffer) != DD_OK) goto failed;
  if (!MakeCanvas(Canvases[0]) || !MakeCanvas(Canvases[1])) goto failed;

  TransparentKey = {kTransparent, kTransparent};
  return true;

failed:
  ReleaseDisplay();
  return false;
}

bool ReleaseDisplay() {
  ReleaseSurface(BackBuffer);
  ReleaseSurface(FrontSurface);
  ReleaseSurface(Canvases[0]);
  ReleaseSurface(Canvases[1]);
  if (Device) {
    Device->Release();
    Device = nullptr;
  }
  return false;
}

void DrawImage(Sprite& sprite, int frame, int x, int y, const ClipBox* clip, int keyed) {
  if (!BackBuffer || !PictureOf(sprite) || !BackBuffer) return;  // a failed load may release it
  std::fflush(nullptr);  // the log reaches the disk before anything that might crash
  DrawFrame(BackBuffer, FrontSurface, sprite, frame, x, y, clip ? *clip : kFullScreen, keyed);
}

void DrawImageToCanvas(int canvas, Sprite& sprite, int frame, int x, int y, const ClipBox* clip, int keyed) {
  if (canvas < 0 || canvas > 1 || !Canvases[canvas]) return;
  if (!PictureOf(sprite) || !Canvases[canvas]) return;
  ClipBox box = kFullScreen;
  if (clip) {
    box = *clip;
    if (box.right > kScreenWidth) box.right = kScreenWidth;
  }
  DrawFrame(Canvases[canvas], Canvases[canvas], sprite, frame, x, y, box, keyed);
}

void SaveToCanvas(int canvas, int left, int top, int right, int bottom) {
  if (canvas < 0 || canvas > 1 || !Canvases[canvas] || !BackBuffer) return;
  IDirectDrawSurface7* target = Canvases[canvas];
  RECT source{left, top, right, bottom};
  auto blit = [&] {
    return target->BltFast(static_cast<uint32_t>(left), static_cast<uint32_t>(top), BackBuffer, &source,
                           DDBLTFAST_WAIT);
  };
  if (!BlitWithRetry(blit, target)) ReleaseDisplay();
}

void DrawCanvas(int canvas, int offsetX, int offsetY, int keyed, int left, int top, int right, int bottom) {
  if (canvas < 0 || canvas > 1 || !Canvases[canvas] || !BackBuffer) return;
  RECT dest{left, top, right, bottom};
  RECT source{static_cast<int32_t>(int64_t{left} - offsetX), static_cast<int32_t>(int64_t{top} - offsetY),
              static_cast<int32_t>(int64_t{right} - offsetX), static_cast<int32_t>(int64_t{bottom} - offsetY)};
  int64_t sw = NonZero(int64_t{source.right} - source.left), sh = NonZero(int64_t{source.bottom} - source.top);
  int64_t dw = NonZero(int64_t{dest.right} - dest.left), dh = NonZero(int64_t{dest.bottom} - dest.top);
  ClipPair(source, dest, sw, sh, dw, dh);
  ClipPair(dest, source, dw, dh, sw, sh);

  DDBLTFX fx;
  fx.ddckSrcColorkey = TransparentKey;
  uint32_t flags = DDBLT_WAIT | (keyed ? DDBLT_KEYSRCOVERRIDE : 0);
  IDirectDrawSurface7* from = Canvases[canvas];
  BlitWithRetry([&] { return BackBuffer->Blt(&dest, from, &source, flags, &fx); }, BackBuffer);
}

void ClearBackBuffer() {
  if (!BackBuffer) return;
  DDBLTFX fx;
  fx.dwFillColor = 0;
  BlitWithRetry([&] { return BackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx); },
                BackBuffer);
}

void FlipAndWait() {
  if (FrontSurface) {
    if (FrontSurface->Flip(nullptr, DDFLIP_WAIT) == DDERR_SURFACELOST) {
      if (FrontSurface->Restore() != DD_OK) {
        ReleaseDisplay();
        return;
      }
      FrontSurface->Flip(nullptr, DDFLIP_WAIT);
    }
  }
  do PumpMessages();
  while (!DeadlinePassed(PaceDeadline));
  StartDeadline(PaceDeadline, kPaceMs);
}

void CopyFrontToBack() {
  if (!FrontSurface || !BackBuffer) return;
  RECT whole{0, 0, kScreenWidth, kScreenHeight};
  BackBuffer->BltFast(0, 0, FrontSurface, &whole, DDBLTFAST_WAIT);
}

void Present() {
  FlipAndWait();
  CopyFrontToBack();
}

void ReleaseImage(int assetId) {
  for (AssetRow* row = AssetTable; row->id != 0; ++row)
    if (row->id == assetId) ReleaseSurface(row->surface);
}

void ReleaseImages() {
  for (AssetRow* row = AssetTable; row->id != 0; ++row) ReleaseSurface(row->surface);
}
