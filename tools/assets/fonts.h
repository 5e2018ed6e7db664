// The bitmap fonts, and the game's own way of measuring and wrapping text with them.
#pragma once
#include <string>
#include <vector>

#include "tools/assets/tree.h"

// Glyph widths as the game measures a 96-frame font picture.
std::vector<int> GlyphWidths(const Image& font);
// Lines the game's layout makes of text in a box of this width.
int LayoutLines(const std::vector<int>& widths, const std::string& text, int boxWidth);
// The 96-glyph pictures; the question font is sized so that every question fits its box.
std::vector<Picture> MakeFonts(Typesetter& type, const std::vector<std::string>& questions);
