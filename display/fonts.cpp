#include "display/fonts.h"

#include <cstring>

#include "display/assets.h"
#include "display/display.h"
#include "display/surfaces.h"

uint8_t TextCentred = 0;
uint8_t TextMiddle = 0;
int32_t TextTarget = -1;
int32_t GlyphWidths[kFontSlots][kGlyphs] = {};
TextLayout Layout;

namespace {
constexpr int32_t kSlotFonts[kFontSlots] = {12, 30, 13, 14, 15, 22, 23, 16};
constexpr int64_t kMaxTestedPixels = 1048576;

int32_t FontId(int32_t fontId) { return kSlotFonts[FontSlot(fontId)]; }

int32_t CharWidth(int slot, uint8_t c) {
  int frame = GlyphFrame(c);
  return frame < 0 ? 0 : GlyphWidths[slot][frame];
}

void RenderText(const char* text, int32_t x, int32_t y, int32_t boxWidth, int32_t boxHeight, int32_t fontId) {
  Sprite& font = Sprites[fontId];
  const int slot = FontSlot(fontId);
  const int32_t lineHeight = font.frameHeight;
  const int32_t lines = Layout.lastLine + 1;
  int32_t top = (TextCentred || TextMiddle) ? (boxHeight - lines * lineHeight) / 2 : 0;
  int line = 0;
  int32_t advance = 0;
  for (size_t j = 0; text[j] != '\0' && line <= Layout.lastLine; ++j) {
    auto c = static_cast<uint8_t>(text[j]);
    int32_t left = TextCentred ? (boxWidth - Layout.width[line]) / 2 : 0;
    int frame = GlyphFrame(c);
    if (frame >= 0) {
      int gx = x + advance + left, gy = y + line * lineHeight + top;
      if (TextTarget == -1)
        DrawImage(font, frame, gx, gy, nullptr, kKeyed);
      else
        DrawImageToCanvas(TextTarget, font, frame, gx, gy, nullptr, kKeyed);
    }
    // The character at a line's end (the space before the next line's first word) closes it.
    if (static_cast<int32_t>(j) < Layout.end[line]) {
      advance += CharWidth(slot, c);
    } else {
      ++line;
      advance = 0;
    }
  }
}
}  // namespace

int GlyphFrame(uint8_t c) {
  if (c == 0xA3) return 95;
  int frame = c - 32;
  return frame >= 0 && frame < kGlyphs ? frame : -1;
}

int FontSlot(int32_t fontId) {
  for (int slot = 0; slot < kFontSlots; ++slot)
    if (kSlotFonts[slot] == fontId) return slot;
  return 0;
}

void MeasureFont(int32_t fontId) {
  fontId = FontId(fontId);
  const int slot = FontSlot(fontId);
  IDirectDrawSurface7* picture = AssetTable[fontId - 1].surface;
  if (!picture) return;
  DDSURFACEDESC2 desc;
  if (!LockSurface(picture, desc)) return;
  const int cellWidth = static_cast<int>(desc.dwWidth);
  const int cellHeight = static_cast<int>(desc.dwHeight) / kGlyphs;
  const auto* base = static_cast<const uint8_t*>(desc.lpSurface);
  int64_t tested = 0;
  for (int g = 0; g < kGlyphs; ++g) {
    int32_t ink = 0;
    for (int r = 0; r < cellHeight && tested < kMaxTestedPixels; ++r) {
      const auto* row = reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(g * cellHeight + r) * desc.lPitch);
      for (int c = cellWidth - 1; c >= 1 && tested < kMaxTestedPixels; --c) {
        ++tested;
        if (row[c] != kTransparent) {
          if (c > ink) ink = c;
          break;
        }
      }
    }
    GlyphWidths[slot][g] = ink + 1;
  }
  GlyphWidths[slot][0] = cellWidth / 2;
  picture->Unlock(nullptr);
}

void LayoutText(const char* text, int32_t boxWidth, int slot) {
  const size_t length = std::strlen(text);
  const int32_t space = GlyphWidths[slot][0];
  int line = 0;
  Layout.width[0] = 0;
  Layout.end[0] = 0;
  size_t p = 0;
  while (p < length) {
    // A word runs to the next space and carries the one space in front of it.
    size_t j = p;
    int32_t word = 0;
    do word += CharWidth(slot, static_cast<uint8_t>(text[j++]));
    while (j < length && text[j] != ' ');
    // Past the last line allowed, words stay on it.
    if (Layout.width[line] + word > boxWidth && Layout.width[line] > 0 && line + 1 < kMaxTextLines) {
      for (size_t k = p; k < j && text[k] == ' '; ++k) word -= space;
      ++line;
      Layout.width[line] = 0;
    }
    Layout.width[line] += word;
    Layout.end[line] = static_cast<int32_t>(j);
    p = j;
  }
  Layout.lastLine = line;
}

void WriteText(const char* text, int32_t x, int32_t y, int32_t boxWidth, int32_t boxHeight, int32_t fontId) {
  if (!text) text = "";
  fontId = FontId(fontId);
  const int slot = FontSlot(fontId);
  if (GlyphWidths[slot][0] == 0) MeasureFont(fontId);
  LayoutText(text, boxWidth, slot);
  RenderText(text, x, y, boxWidth, boxHeight, fontId);
  TextCentred = 0;
  TextTarget = -1;
}
