// The game's bitmap fonts: 96 glyph frames (codes 32 to 126, then the pound sign) on the
// transparent colour, rendered from DejaVu. The game measures each glyph's width from its ink,
// so every glyph starts a few columns into its cell: that is the space between letters.
#include <algorithm>
#include <cmath>

#include "tools/assets/fonts.h"
#include "tools/assets/tree.h"

namespace {

struct FontLook {
  int id;
  Face face;
  int size;
  int cellHeight;
  int baseline;  // row of the baseline in the cell
  Rgb colour;
  int outline;
  Rgb outlineColour;
  Rgb background;  // what the text is written on: the edges are smoothed against it
  int pad;         // columns before the ink
};

Image RenderFont(Typesetter& type, const FontLook& f) {
  std::vector<TextMask> fill(96), edge(96);
  int cell = 2;
  for (int g = 0; g < 96; ++g) {
    uint32_t cp = g == 95 ? 0xA3 : uint32_t(32 + g);
    fill[g] = type.glyph(f.face, f.size, cp);
    edge[g] = f.outline ? Dilate(fill[g], f.outline) : fill[g];
    int left = std::max(0, -fill[g].originX);  // the face's own left bearing
    fill[g].originX = f.pad + f.outline + left;  // now: the column of the mask's left edge
    cell = std::max(cell, fill[g].originX + fill[g].width + f.outline + 1);
  }
  cell += cell % 2;  // PCX lines hold an even number of bytes
  std::vector<Image> frames;
  for (int g = 0; g < 96; ++g) {
    Image img(cell, f.cellHeight, f.background);
    std::vector<uint8_t> cover(size_t(cell) * f.cellHeight, 0);
    auto put = [&](const TextMask& m, int x, int y, Rgb c) {
      CompositeMask(img, m, x, y, c);
      for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
          if (img.inside(x + i, y + j)) {
            uint8_t& a = cover[size_t(y + j) * cell + x + i];
            a = std::max(a, m.at(i, j));
          }
    };
    int x = fill[g].originX, y = f.baseline - fill[g].baseline;
    if (f.outline) put(edge[g], x - f.outline, y - f.outline, f.outlineColour);
    put(fill[g], x, y, f.colour);
    for (int j = 0; j < f.cellHeight; ++j)
      for (int i = 0; i < cell; ++i)
        if (cover[size_t(j) * cell + i] < 80) img.at(i, j) = kKey;
    frames.push_back(std::move(img));
  }
  return Image::Stack(frames);
}

const Rgb kQuestionBackground = Hex(0xFFF6DA);

}  // namespace

std::vector<int> GlyphWidths(const Image& font) {
  // As the game measures: the rightmost non-transparent column (column 0 never counts) plus one,
  // and the space half the cell.
  int cellH = font.height() / 96;
  std::vector<int> widths(96);
  for (int g = 0; g < 96; ++g) {
    int extent = 0;
    for (int r = 0; r < cellH; ++r)
      for (int c = font.width() - 1; c >= 1; --c)
        if (!IsKeyColour(font.at(c, g * cellH + r))) {
          extent = std::max(extent, c);
          break;
        }
    widths[g] = extent + 1;
  }
  widths[0] = font.width() / 2;
  return widths;
}

int LayoutLines(const std::vector<int>& widths, const std::string& text, int boxWidth) {
  auto width = [&](unsigned char c) {
    int g = c == 0xA3 ? 95 : c - 32;
    return g >= 0 && g < 96 ? widths[g] : 0;
  };
  int lines = 1, line = 0;
  size_t p = 0;
  while (p < text.size()) {
    size_t end = p;
    int word = 0;
    do word += width(text[end++]);
    while (end < text.size() && text[end] != ' ');
    if (line + word > boxWidth && line > 0) {
      for (size_t i = p; i < end && text[i] == ' '; ++i) word -= width(' ');
      ++lines, line = 0;
    }
    line += word;
    p = end;
  }
  return lines;
}

std::vector<Picture> MakeFonts(Typesetter& type, const std::vector<std::string>& questions) {
  // The question font: the largest size at which every question of the bank fits its box of
  // 536 x 191 (about 150 characters at once).
  FontLook question{14, Face::SansBold, 24, 0, 0, Hex(0x18183A), 0, {}, kQuestionBackground, 2};
  Image questionFont;
  for (int size = 26; size >= 14; --size) {
    question.size = size;
    question.baseline = type.ascender(Face::SansBold, size) + 1;
    question.cellHeight = question.baseline - type.descender(Face::SansBold, size) + 1;
    questionFont = RenderFont(type, question);
    auto widths = GlyphWidths(questionFont);
    bool fits = true;
    for (const auto& q : questions)
      fits = fits && LayoutLines(widths, q, 536) * question.cellHeight <= 191;
    if (fits) break;
  }

  const FontLook looks[] = {
      {12, Face::SansBold, 20, 26, 20, Hex(0xFFFFFF), 1, Hex(0x18183A), Hex(0x12245A), 1},
      {13, Face::Sans, 16, 20, 15, Hex(0xF8C944), 0, {}, Hex(0x12245A), 1},
      {15, Face::MonoBold, 20, 26, 20, Hex(0x2040C0), 0, {}, kQuestionBackground, 1},
      // Shortfall on the continue panel: a box of 82 x 42.
      {16, Face::SansBold, 30, 42, 33, Hex(0xFFE14A), 1, Hex(0x000000), Hex(0x140C38), 2},
      {22, Face::SansBold, 32, 40, 32, Hex(0xF8C944), 2, Hex(0x7C1616), Hex(0x0A1430), 2},
      // Win amounts: written without centring at the top of a box 111 high.
      {23, Face::SansBold, 50, 111, 74, Hex(0xF8C944), 2, Hex(0x7C1616), Hex(0x1A0A30), 2},
      // The bank's offer, centred in a box of 344 x 43.
      {30, Face::SansBold, 32, 43, 34, Hex(0xF8C944), 1, Hex(0x000000), Hex(0x051A0C), 2},
  };
  std::vector<Picture> out;
  auto add = [&out](int id, Image img) {
    for (const auto& n : kPictureNames)
      if (n.id == id) out.push_back({id, n.name, n.kind, 96, std::move(img)});
  };
  add(14, std::move(questionFont));
  for (const auto& f : looks) add(f.id, RenderFont(type, f));
  return out;
}
