// Pictures in memory while the data tree is made: 8-bit RGB with the game's transparent colour,
// simple anti-aliased shapes and FreeType text.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// Pure magenta is the transparent colour; anything the 5:6:5 conversion maps onto 0xF81F is too.
constexpr Rgb kKey{255, 0, 255};
bool IsKeyColour(Rgb c);
Rgb Mix(Rgb a, Rgb b, float t);  // a at t = 0, b at t = 1
Rgb Shade(Rgb c, float factor);  // factor > 1 lightens towards white, < 1 darkens
constexpr Rgb Hex(uint32_t v) { return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

struct Point {
  float x, y;
};

class Image {
 public:
  Image() = default;
  Image(int width, int height, Rgb fill = kKey);

  int width() const { return w_; }
  int height() const { return h_; }
  Rgb& at(int x, int y) { return px_[size_t(y) * w_ + x]; }
  Rgb at(int x, int y) const { return px_[size_t(y) * w_ + x]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }

  // Coverage a (0..1) of colour c over the pixel. Over the transparent colour there is nothing
  // to blend with, so the pixel becomes c from half coverage up and stays transparent below.
  void blend(int x, int y, Rgb c, float a);
  void fill(Rgb c);
  void fillRect(int x, int y, int w, int h, Rgb c);
  void gradientRect(int x, int y, int w, int h, Rgb top, Rgb bottom);
  // A rounded rectangle painted by paint(x, y), anti-aliased at its rounded corners.
  void roundRect(float x, float y, float w, float h, float radius,
                 const std::function<Rgb(int, int)>& paint);
  void roundRect(float x, float y, float w, float h, float radius, Rgb c);
  void ellipse(float cx, float cy, float rx, float ry, Rgb c);
  void ring(float cx, float cy, float radius, float thickness, Rgb c);
  void polygon(const std::vector<Point>& points, Rgb c, int samples = 4);
  void line(float x0, float y0, float x1, float y1, float width, Rgb c);
  // Copies src with its top-left corner at (x, y); transparent pixels of src are skipped.
  void paste(const Image& src, int x, int y);
  // The band of rows [top, top + height) as a picture of its own.
  Image crop(int x, int y, int w, int h) const;
  // Frames of equal size stacked top to bottom into one strip.
  static Image Stack(const std::vector<Image>& frames);
  // Nearest-neighbour scaling, used only for overviews.
  Image scaled(int w, int h) const;

 private:
  int w_ = 0, h_ = 0;
  std::vector<Rgb> px_;
};

// An 8-bit coverage map of rendered text with its pen origin.
struct TextMask {
  int width = 0, height = 0;
  int originX = 0;   // pen start, in mask columns
  int baseline = 0;  // baseline, in mask rows
  int inkTop = 0, inkBottom = 0;  // rows holding ink, inkBottom exclusive
  std::vector<uint8_t> alpha;
  uint8_t at(int x, int y) const { return alpha[size_t(y) * width + x]; }
};

enum class Face { Sans, SansBold, Serif, SerifBold, Mono, MonoBold };

struct TextStyle {
  Face face = Face::SansBold;
  int size = 20;  // pixels per em
  Rgb colour{255, 255, 255};
  int outline = 0;  // pixels of outline around the letters
  Rgb outlineColour{0, 0, 0};
  int shadow = 0;  // offset of a drop shadow, 0 for none
  Rgb shadowColour{0, 0, 0};
};

// FreeType over the DejaVu faces; one instance for the whole run.
class Typesetter {
 public:
  Typesetter();
  ~Typesetter();
  Typesetter(const Typesetter&) = delete;
  Typesetter& operator=(const Typesetter&) = delete;

  // Text is UTF-8. Characters the face lacks are left out.
  TextMask render(Face face, int size, const std::string& text);
  int advance(Face face, int size, const std::string& text);
  // The glyph of one character code, for the game's bitmap fonts.
  TextMask glyph(Face face, int size, uint32_t codepoint);
  int ascender(Face face, int size);
  int descender(Face face, int size);  // negative below the baseline

  // Draws text with its pen at (x, baseline).
  void draw(Image& img, const std::string& text, int x, int baseline, const TextStyle& style);
  // Draws text centred on (cx, cy) by its ink; shrinks the size until it fits maxWidth.
  void centred(Image& img, const std::string& text, int cx, int cy, TextStyle style,
               int maxWidth = 100000);
  // Largest size not above style.size at which the text is at most maxWidth wide.
  int fitSize(const std::string& text, const TextStyle& style, int maxWidth);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

void CompositeMask(Image& img, const TextMask& mask, int x, int y, Rgb c);
TextMask Dilate(const TextMask& mask, int radius);
