#include <cstring>

#include "display/fonts.h"
#include "display/images.h"
#include "display_fixture.h"

namespace {
constexpr int kCell = 40;  // cells 40 x 40
constexpr int kFont = 16;  // font slot 7

// Glyph g is drawn in colour 0x0100 + g from column 0 to its ink extent; the rest is transparent.
uint16_t GlyphColour(int g) { return static_cast<uint16_t>(0x0100 + g); }
int InkExtent(int g, int row) {
  if (g == 0) return kCell - 1;  // the space is drawn all over, so its placing can be seen
  if (g == 1) return -1;         // '!' has no ink at all
  if (g == 'E' - 32) return row == 3 ? 25 : 5;
  if (g == 'W' - 32) return 38;
  return 9;  // width 10
}

class FontTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    std::memset(GlyphWidths, 0, sizeof GlyphWidths);
    TextCentred = TextMiddle = 0;
    TextTarget = -1;
    WriteBytes(AssetTable[kFont - 1].path, MakeBmp(kCell, kCell * kGlyphs, [](int x, int y) {
                 int g = y / kCell;
                 return x <= InkExtent(g, y % kCell) ? Solid(GlyphColour(g)) : Rgb{255, 0, 255};
               }));
    LoadSprite(Sprites[kFont], kFont, kGlyphs);
    ClearBackBuffer();
  }
  uint16_t At(int x, int y) { return PixelAt(BackBuffer, x, y); }
  uint16_t Colour(char c) { return GlyphColour(GlyphFrame(static_cast<uint8_t>(c))); }
};

TEST_F(FontTest, GlyphWidthsAreMeasuredOnceFromTheInk) {
  WriteText("", 0, 0, 100, 100, kFont);
  EXPECT_EQ(GlyphWidths[7][0], 20);  // half the cell, whatever its pixels
  EXPECT_EQ(GlyphWidths[7][1], 1);   // no ink at all
  EXPECT_EQ(GlyphWidths[7]['A' - 32], 10);
  EXPECT_EQ(GlyphWidths[7]['E' - 32], 26);  // widest row counts
  EXPECT_EQ(GlyphWidths[0][33], 0);         // other slots untouched
}

TEST_F(FontTest, AFontWithoutItsPictureIsMeasuredLater) {
  ReleaseImages();
  WriteText("A", 0, 0, 100, 100, kFont);  // draws, and so loads, the picture
  EXPECT_EQ(GlyphWidths[7][33], 0);
  WriteText("A", 0, 0, 100, 100, kFont);
  EXPECT_EQ(GlyphWidths[7][33], 10);
}

TEST_F(FontTest, PlainTextStartsAtTheCornerAndAdvancesByGlyphWidth) {
  WriteText("AB", 100, 50, 300, 100, kFont);
  EXPECT_EQ(At(100, 50), Colour('A'));
  EXPECT_EQ(At(109, 89), Colour('A'));
  EXPECT_EQ(At(110, 50), Colour('B'));
  EXPECT_EQ(At(120, 50), 0);
  EXPECT_EQ(At(99, 50), 0);
}

TEST_F(FontTest, WordsWrapAtSpacesAndTheSpaceClosesTheLine) {
  // "AB" is 20 wide and " CD" 40: a 59-pixel box is just too narrow for both.
  WriteText("AB CD", 100, 50, 59, 200, kFont);
  EXPECT_EQ(Layout.lastLine, 1);
  EXPECT_EQ(Layout.width[0], 20);
  EXPECT_EQ(Layout.width[1], 20);
  EXPECT_EQ(Layout.end[0], 2);
  EXPECT_EQ(Layout.end[1], 5);
  EXPECT_EQ(At(120, 50), Colour(' '));  // the space after the B, on line 0
  EXPECT_EQ(At(100, 90), Colour('C'));  // line 1 at advance 0
  EXPECT_EQ(At(110, 90), Colour('D'));

  ClearBackBuffer();
  WriteText("AB CD", 100, 50, 60, 200, kFont);  // wide enough: one line
  EXPECT_EQ(Layout.lastLine, 0);
  EXPECT_EQ(Layout.width[0], 60);
  EXPECT_EQ(At(140, 50), Colour('C'));
}

TEST_F(FontTest, AWordWiderThanTheBoxStandsAloneOnItsLine) {
  WriteText("AB WWW CD", 0, 0, 45, 200, kFont);
  EXPECT_EQ(Layout.lastLine, 2);
  EXPECT_EQ(Layout.width[1], 117);
  EXPECT_EQ(Layout.width[2], 20);
  EXPECT_EQ(At(116, 40), Colour('W'));  // past the box's right edge
}

TEST_F(FontTest, CentringPlacesEachLineAndTheBlock) {
  TextCentred = 1;
  WriteText("AB CD", 100, 50, 59, 191, kFont);
  // Two lines of 40 in 191: (191 - 80) / 2 = 55 below y; each line (59 - 20) / 2 = 19 in.
  EXPECT_EQ(At(119, 105), Colour('A'));
  EXPECT_EQ(At(118, 105), 0);
  EXPECT_EQ(At(119, 104), 0);
  EXPECT_EQ(At(119, 145), Colour('C'));
  EXPECT_EQ(TextCentred, 0);

  ClearBackBuffer();
  TextMiddle = 1;
  WriteText("AB CD", 100, 50, 59, 191, kFont);
  EXPECT_EQ(At(100, 105), Colour('A'));  // vertical only
  EXPECT_EQ(TextMiddle, 1);              // the caller clears it

  ClearBackBuffer();
  WriteText("AB CD", 100, 200, 59, 20, kFont);  // taller than the box: starts above it
  EXPECT_EQ(At(100, 170), Colour('A'));
  TextMiddle = 0;
}

TEST_F(FontTest, PoundSignAndDeleteBothDrawTheLastGlyph) {
  WriteText("\xA3", 0, 0, 100, 100, kFont);
  EXPECT_EQ(At(0, 0), GlyphColour(95));
  ClearBackBuffer();
  WriteText("\x7F", 0, 0, 100, 100, kFont);
  EXPECT_EQ(At(0, 0), GlyphColour(95));
  ClearBackBuffer();
  WriteText("\x1F\xB0" "A", 0, 0, 100, 100, kFont);  // bytes without glyphs: nothing, no width
  EXPECT_EQ(At(0, 0), Colour('A'));
  EXPECT_EQ(Layout.width[0], 10);
}

TEST_F(FontTest, TextTargetDrawsOnACanvasOnceThenResets) {
  FillSurface(Canvases[0], 0);
  TextTarget = 0;
  WriteText("A", 10, 10, 100, 100, kFont);
  EXPECT_EQ(PixelAt(Canvases[0], 10, 10), Colour('A'));
  EXPECT_EQ(At(10, 10), 0);
  EXPECT_EQ(TextTarget, -1);
  WriteText("B", 10, 10, 100, 100, kFont);
  EXPECT_EQ(At(10, 10), Colour('B'));
  EXPECT_EQ(PixelAt(Canvases[0], 10, 10), Colour('A'));
}

TEST_F(FontTest, OtherFontIdsUseFont12AndManyLinesStopAtTheLast) {
  EXPECT_EQ(FontSlot(99), 0);
  EXPECT_EQ(FontSlot(23), 6);
  std::string many;
  for (int i = 0; i < 150; ++i) many += "AB ";
  WriteText(many.c_str(), 0, 0, 25, 600, kFont);
  EXPECT_EQ(Layout.lastLine, kMaxTextLines - 1);
  EXPECT_EQ(Layout.end[kMaxTextLines - 1], static_cast<int32_t>(many.size()));
}
}  // namespace
