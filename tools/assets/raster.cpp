#include "tools/assets/raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>

bool IsKeyColour(Rgb c) { return (c.r >> 3) == 31 && (c.g >> 2) == 0 && (c.b >> 3) == 31; }

Rgb Mix(Rgb a, Rgb b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  auto m = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (y - x) * t)); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

Rgb Shade(Rgb c, float factor) {
  if (factor >= 1.0f) return Mix(c, Rgb{255, 255, 255}, factor - 1.0f);
  return Mix(Rgb{0, 0, 0}, c, factor);
}


// Drawn colours never turn into holes: a colour that converts to the key gets a touch of green.
static Rgb Solid(Rgb c) {
  if (IsKeyColour(c)) c.g = 4;
  return c;
}

Image::Image(int width, int height, Rgb fill) : w_(width), h_(height), px_(size_t(width) * height, fill) {}

void Image::blend(int x, int y, Rgb c, float a) {
  if (!inside(x, y) || a <= 0.0f) return;
  Rgb& d = at(x, y);
  if (d == kKey) {
    if (a >= 0.5f) d = Solid(c);
    return;
  }
  d = Solid(a >= 1.0f ? c : Mix(d, c, a));
}

void Image::fill(Rgb c) { std::fill(px_.begin(), px_.end(), c); }

void Image::fillRect(int x, int y, int w, int h, Rgb c) {
  for (int j = std::max(0, y); j < std::min(h_, y + h); ++j)
    for (int i = std::max(0, x); i < std::min(w_, x + w); ++i) at(i, j) = c == kKey ? c : Solid(c);
}

void Image::gradientRect(int x, int y, int w, int h, Rgb top, Rgb bottom) {
  for (int j = 0; j < h; ++j) fillRect(x, y + j, w, 1, Mix(top, bottom, h > 1 ? float(j) / (h - 1) : 0));
}

void Image::roundRect(float x, float y, float w, float h, float r,
                      const std::function<Rgb(int, int)>& paint) {
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  int x1 = int(std::ceil(x + w)), y1 = int(std::ceil(y + h));
  for (int j = y0; j < y1; ++j) {
    for (int i = x0; i < x1; ++i) {
      float px = i + 0.5f, py = j + 0.5f;
      // Coverage along the straight edges, then the distance to the corner's centre.
      float cov = std::clamp(std::min({px - x + 0.5f, x + w - px + 0.5f}), 0.0f, 1.0f) *
                  std::clamp(std::min({py - y + 0.5f, y + h - py + 0.5f}), 0.0f, 1.0f);
      float cx = std::clamp(px, x + r, x + w - r), cy = std::clamp(py, y + r, y + h - r);
      float d = std::hypot(px - cx, py - cy);
      if (d > 0) cov = std::min(cov, std::clamp(r - d + 0.5f, 0.0f, 1.0f));
      if (cov > 0) blend(i, j, paint(i, j), cov);
    }
  }
}

void Image::roundRect(float x, float y, float w, float h, float r, Rgb c) {
  roundRect(x, y, w, h, r, [c](int, int) { return c; });
}

void Image::ellipse(float cx, float cy, float rx, float ry, Rgb c) {
  float rmin = std::min(rx, ry);
  for (int j = int(cy - ry - 1); j <= int(cy + ry + 1); ++j) {
    for (int i = int(cx - rx - 1); i <= int(cx + rx + 1); ++i) {
      float dx = (i + 0.5f - cx) / rx, dy = (j + 0.5f - cy) / ry;
      float d = (std::sqrt(dx * dx + dy * dy) - 1.0f) * rmin;
      float cov = std::clamp(0.5f - d, 0.0f, 1.0f);
      if (cov > 0) blend(i, j, c, cov);
    }
  }
}

void Image::ring(float cx, float cy, float radius, float thickness, Rgb c) {
  for (int j = int(cy - radius - 2); j <= int(cy + radius + 2); ++j) {
    for (int i = int(cx - radius - 2); i <= int(cx + radius + 2); ++i) {
      float d = std::fabs(std::hypot(i + 0.5f - cx, j + 0.5f - cy) - radius);
      float cov = std::clamp(thickness / 2 - d + 0.5f, 0.0f, 1.0f);
      if (cov > 0) blend(i, j, c, cov);
    }
  }
}

static bool InsidePolygon(const std::vector<Point>& p, float x, float y) {
  bool in = false;
  for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    if ((p[i].y > y) != (p[j].y > y) &&
        x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      in = !in;
  }
  return in;
}

void Image::polygon(const std::vector<Point>& points, Rgb c, int samples) {
  if (points.size() < 3) return;
  float minx = points[0].x, maxx = minx, miny = points[0].y, maxy = miny;
  for (auto& p : points) {
    minx = std::min(minx, p.x), maxx = std::max(maxx, p.x);
    miny = std::min(miny, p.y), maxy = std::max(maxy, p.y);
  }
  int x0 = std::max(0, int(std::floor(minx))), x1 = std::min(w_ - 1, int(std::ceil(maxx)));
  int y0 = std::max(0, int(std::floor(miny))), y1 = std::min(h_ - 1, int(std::ceil(maxy)));
  int total = samples * samples;
  for (int j = y0; j <= y1; ++j) {
    for (int i = x0; i <= x1; ++i) {
      int hits = 0;
      for (int sy = 0; sy < samples; ++sy)
        for (int sx = 0; sx < samples; ++sx)
          hits += InsidePolygon(points, i + (sx + 0.5f) / samples, j + (sy + 0.5f) / samples);
      if (hits) blend(i, j, c, float(hits) / total);
    }
  }
}

void Image::line(float x0, float y0, float x1, float y1, float width, Rgb c) {
  float dx = x1 - x0, dy = y1 - y0, len = std::hypot(dx, dy);
  if (len == 0) return;
  float nx = -dy / len * width / 2, ny = dx / len * width / 2;
  polygon({{x0 + nx, y0 + ny}, {x1 + nx, y1 + ny}, {x1 - nx, y1 - ny}, {x0 - nx, y0 - ny}}, c);
}

void Image::paste(const Image& src, int x, int y) {
  for (int j = 0; j < src.h_; ++j)
    for (int i = 0; i < src.w_; ++i)
      if (inside(x + i, y + j) && !(src.at(i, j) == kKey)) at(x + i, y + j) = src.at(i, j);
}

Image Image::crop(int x, int y, int w, int h) const {
  Image out(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (inside(x + i, y + j)) out.at(i, j) = at(x + i, y + j);
  return out;
}

Image Image::Stack(const std::vector<Image>& frames) {
  Image out(frames.at(0).w_, frames.at(0).h_ * int(frames.size()));
  for (size_t f = 0; f < frames.size(); ++f) {
    if (frames[f].w_ != out.w_ || frames[f].h_ != frames[0].h_)
      throw std::runtime_error("frames of one picture differ in size");
    std::copy(frames[f].px_.begin(), frames[f].px_.end(), out.px_.begin() + f * frames[0].px_.size());
  }
  return out;
}

Image Image::scaled(int w, int h) const {
  Image out(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) out.at(i, j) = at(i * w_ / w, j * h_ / h);
  return out;
}

void CompositeMask(Image& img, const TextMask& m, int x, int y, Rgb c) {
  for (int j = 0; j < m.height; ++j)
    for (int i = 0; i < m.width; ++i)
      if (uint8_t a = m.at(i, j)) img.blend(x + i, y + j, c, a / 255.0f);
}

TextMask Dilate(const TextMask& m, int r) {
  TextMask out = m;
  out.width = m.width + 2 * r, out.height = m.height + 2 * r;
  out.originX += r, out.baseline += r, out.inkTop += r, out.inkBottom += r;
  out.alpha.assign(size_t(out.width) * out.height, 0);
  for (int j = 0; j < out.height; ++j) {
    for (int i = 0; i < out.width; ++i) {
      int best = 0;
      for (int dy = -r; dy <= r; ++dy) {
        int sy = j - r + dy;
        if (sy < 0 || sy >= m.height) continue;
        for (int dx = -r; dx <= r; ++dx) {
          int sx = i - r + dx;
          if (sx < 0 || sx >= m.width || dx * dx + dy * dy > r * r + r) continue;
          best = std::max<int>(best, m.at(sx, sy));
        }
      }
      out.alpha[size_t(j) * out.width + i] = uint8_t(best);
    }
  }
  return out;
}

namespace {
const char* kFaceFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSerif.ttf",
                            "DejaVuSerif-Bold.ttf", "DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"};
const char* kFontDirs[] = {"/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/dejavu/",
                           "/usr/local/share/fonts/dejavu/"};

std::vector<uint32_t> Decode(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      out.push_back(c), i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      out.push_back(((c & 0x1Fu) << 6) | (uint8_t(s[i + 1]) & 0x3Fu)), i += 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      out.push_back(((c & 0x0Fu) << 12) | ((uint8_t(s[i + 1]) & 0x3Fu) << 6) | (uint8_t(s[i + 2]) & 0x3Fu)),
          i += 3;
    } else {
      i += 1;
    }
  }
  return out;
}
}  // namespace

struct Typesetter::Impl {
  FT_Library lib = nullptr;
  FT_Face faces[6] = {};
  struct Glyph {
    int left, top, advance;
    TextMask bitmap;
  };
  std::map<std::tuple<int, int, uint32_t>, Glyph> cache;

  FT_Face face(Face f, int size) {
    FT_Face ft = faces[int(f)];
    FT_Set_Pixel_Sizes(ft, 0, size);
    return ft;
  }

  const Glyph& glyph(Face f, int size, uint32_t cp) {
    auto key = std::make_tuple(int(f), size, cp);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    FT_Face ft = face(f, size);
    Glyph g{0, 0, 0, {}};
    if (FT_Get_Char_Index(ft, cp) != 0 && FT_Load_Char(ft, cp, FT_LOAD_RENDER) == 0) {
      FT_GlyphSlot s = ft->glyph;
      g.left = s->bitmap_left, g.top = s->bitmap_top, g.advance = int(s->advance.x >> 6);
      g.bitmap.width = int(s->bitmap.width), g.bitmap.height = int(s->bitmap.rows);
      g.bitmap.alpha.resize(size_t(g.bitmap.width) * g.bitmap.height);
      for (int j = 0; j < g.bitmap.height; ++j)
        for (int i = 0; i < g.bitmap.width; ++i)
          g.bitmap.alpha[size_t(j) * g.bitmap.width + i] = s->bitmap.buffer[j * s->bitmap.pitch + i];
    }
    return cache.emplace(key, std::move(g)).first->second;
  }
};

Typesetter::Typesetter() : impl_(std::make_unique<Impl>()) {
  if (FT_Init_FreeType(&impl_->lib)) throw std::runtime_error("FreeType cannot start");
  for (int f = 0; f < 6; ++f) {
    for (const char* dir : kFontDirs) {
      std::string path = std::string(dir) + kFaceFiles[f];
      if (FT_New_Face(impl_->lib, path.c_str(), 0, &impl_->faces[f]) == 0) break;
      impl_->faces[f] = nullptr;
    }
    if (!impl_->faces[f])
      throw std::runtime_error(std::string("font not found: ") + kFaceFiles[f] +
                               " (install the Debian package fonts-dejavu-core)");
  }
}

Typesetter::~Typesetter() {
  for (FT_Face f : impl_->faces)
    if (f) FT_Done_Face(f);
  FT_Done_FreeType(impl_->lib);
}

int Typesetter::ascender(Face f, int size) { return int(impl_->face(f, size)->size->metrics.ascender >> 6); }
int Typesetter::descender(Face f, int size) { return int(impl_->face(f, size)->size->metrics.descender >> 6); }

int Typesetter::advance(Face f, int size, const std::string& text) {
  int x = 0;
  for (uint32_t cp : Decode(text)) x += impl_->glyph(f, size, cp).advance;
  return x;
}

TextMask Typesetter::glyph(Face f, int size, uint32_t cp) {
  const auto& g = impl_->glyph(f, size, cp);
  TextMask m = g.bitmap;
  m.originX = -g.left, m.baseline = g.top;
  m.inkTop = 0, m.inkBottom = m.height;
  return m;
}

TextMask Typesetter::render(Face f, int size, const std::string& text) {
  auto cps = Decode(text);
  int asc = ascender(f, size), desc = -descender(f, size);
  int pad = size / 2 + 2;
  TextMask m;
  m.width = advance(f, size, text) + 2 * pad;
  m.height = asc + desc + 2 * pad;
  m.originX = pad, m.baseline = pad + asc;
  m.alpha.assign(size_t(m.width) * m.height, 0);
  int pen = m.originX;
  for (uint32_t cp : cps) {
    const auto& g = impl_->glyph(f, size, cp);
    for (int j = 0; j < g.bitmap.height; ++j)
      for (int i = 0; i < g.bitmap.width; ++i) {
        int x = pen + g.left + i, y = m.baseline - g.top + j;
        if (x < 0 || y < 0 || x >= m.width || y >= m.height) continue;
        uint8_t& a = m.alpha[size_t(y) * m.width + x];
        a = std::max(a, g.bitmap.at(i, j));
      }
    pen += g.advance;
  }
  m.inkTop = m.height, m.inkBottom = 0;
  for (int j = 0; j < m.height; ++j)
    for (int i = 0; i < m.width; ++i)
      if (m.at(i, j)) m.inkTop = std::min(m.inkTop, j), m.inkBottom = std::max(m.inkBottom, j + 1);
  if (m.inkTop > m.inkBottom) m.inkTop = m.inkBottom = m.baseline;
  return m;
}

void Typesetter::draw(Image& img, const std::string& text, int x, int baseline, const TextStyle& s) {
  TextMask m = render(s.face, s.size, text);
  int left = x - m.originX, top = baseline - m.baseline;
  if (s.shadow) {
    TextMask sh = s.outline ? Dilate(m, s.outline) : m;
    CompositeMask(img, sh, left - s.outline + s.shadow, top - s.outline + s.shadow, s.shadowColour);
  }
  if (s.outline) CompositeMask(img, Dilate(m, s.outline), left - s.outline, top - s.outline, s.outlineColour);
  CompositeMask(img, m, left, top, s.colour);
}

int Typesetter::fitSize(const std::string& text, const TextStyle& s, int maxWidth) {
  int size = s.size;
  while (size > 6 && advance(s.face, size, text) + 2 * s.outline > maxWidth) --size;
  return size;
}

void Typesetter::centred(Image& img, const std::string& text, int cx, int cy, TextStyle s, int maxWidth) {
  s.size = fitSize(text, s, maxWidth);
  TextMask m = render(s.face, s.size, text);
  // Capital letters and digits centre on their own height, so "TRUE" and "95P" sit alike.
  int capTop = m.baseline - int(std::lround(s.size * 0.73));
  int mid = (capTop + m.baseline) / 2;
  int x = cx - (advance(s.face, s.size, text)) / 2;
  draw(img, text, x, cy + (m.baseline - mid), s);
}
