// Bitmap fonts (pictures of 96 glyph frames) and text laid out in a box, wrapped at spaces.
#pragma once
#include <cstdint>

constexpr int kFontSlots = 8;
constexpr int kGlyphs = 96;
constexpr int kMaxTextLines = 100;

// Options the caller sets just before WriteText. TextCentred and TextTarget are reset by every
// WriteText; TextMiddle stays until the caller clears it.
extern uint8_t TextCentred;
extern uint8_t TextMiddle;
extern int32_t TextTarget;  // -1: the back buffer; 0 or 1: that canvas

// Widths of each font slot's glyphs, measured on the slot's first WriteText (0 until then).
extern int32_t GlyphWidths[kFontSlots][kGlyphs];

// The last layout: line count minus one, and per line its width and the text position just
// after its last word.
struct TextLayout {
  int32_t lastLine = 0;
  int32_t width[kMaxTextLines] = {};
  int32_t end[kMaxTextLines] = {};
};
extern TextLayout Layout;

// Frame of a character byte: 0xA3 (the pound sign) is 95; other bytes are b - 32; -1 for none.
int GlyphFrame(uint8_t c);
// The font slot of a font id; ids without a slot use font 12's.
int FontSlot(int32_t fontId);

void MeasureFont(int32_t fontId);
void LayoutText(const char* text, int32_t boxWidth, int slot);
void WriteText(const char* text, int32_t x, int32_t y, int32_t boxWidth, int32_t boxHeight, int32_t fontId);
