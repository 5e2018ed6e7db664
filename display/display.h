// The screen: back buffer, two canvases, keyed and clipped drawing of picture frames, presents.
#pragma once
#include <cstdint>

// A picture as a vertical strip of equal frames; the surface belongs to its AssetTable row.
struct Sprite {
  int32_t width = 0;
  int32_t frameHeight = 0;
  int32_t assetRow = 0;
  int32_t frameCount = 0;
};

// Right and bottom exclusive.
struct ClipBox {
  int32_t left, right, top, bottom;
};

constexpr ClipBox kFullScreen{0, 800, 0, 600};
constexpr uint16_t kTransparent = 0xF81F;
constexpr int kKeyed = 2;
constexpr int kOpaque = 0;

bool InitDisplay();
bool ReleaseDisplay();
void DrawImage(Sprite& sprite, int frame, int x, int y, const ClipBox* clip, int keyed);
void DrawImageToCanvas(int canvas, Sprite& sprite, int frame, int x, int y, const ClipBox* clip, int keyed);
void SaveToCanvas(int canvas, int left, int top, int right, int bottom);
void DrawCanvas(int canvas, int offsetX, int offsetY, int keyed, int left, int top, int right, int bottom);
void ClearBackBuffer();
void FlipAndWait();
void CopyFrontToBack();
void Present();
void ReleaseImages();
// One picture's surface, for a picture shown once (it is loaded again if drawn again).
void ReleaseImage(int assetId);
