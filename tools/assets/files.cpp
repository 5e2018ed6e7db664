#include "tools/assets/files.h"

#include "platform/png.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutTag(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

Bytes EncodeBmp(const Image& img) {
  const uint32_t w = img.width(), h = img.height();
  const uint32_t row = (w * 3 + 3) & ~3u;
  Bytes b;
  b.reserve(54 + row * h);
  b.push_back('B'), b.push_back('M');
  Put32(b, 54 + row * h), Put32(b, 0), Put32(b, 54);
  Put32(b, 40), Put32(b, w), Put32(b, h), Put16(b, 1), Put16(b, 24), Put32(b, 0);
  Put32(b, row * h), Put32(b, 2835), Put32(b, 2835), Put32(b, 0), Put32(b, 0);
  for (int y = int(h) - 1; y >= 0; --y) {
    for (uint32_t x = 0; x < w; ++x) {
      Rgb c = img.at(int(x), y);
      b.push_back(c.b), b.push_back(c.g), b.push_back(c.r);
    }
    for (uint32_t p = w * 3; p < row; ++p) b.push_back(0);
  }
  return b;
}

Bytes EncodePcx(const Image& img) {
  const int w = img.width(), h = img.height();
  if (w % 2) throw std::runtime_error("a PCX line must hold an even number of bytes");
  Bytes b(128, 0);
  b[0] = 10, b[1] = 5, b[2] = 1, b[3] = 8;
  auto set16 = [&b](int at, int v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); };
  set16(8, w - 1), set16(10, h - 1), set16(12, 72), set16(14, 72);
  b[65] = 3;
  set16(66, w), set16(68, 1);
  std::vector<uint8_t> plane(w);
  for (int y = 0; y < h; ++y) {
    for (int p = 0; p < 3; ++p) {
      for (int x = 0; x < w; ++x) {
        Rgb c = img.at(x, y);
        plane[x] = p == 0 ? c.r : p == 1 ? c.g : c.b;
      }
      // Runs stop at the end of each plane's line.
      for (int x = 0; x < w;) {
        int run = 1;
        while (x + run < w && run < 63 && plane[x + run] == plane[x]) ++run;
        if (run > 1 || plane[x] >= 0xC0) b.push_back(uint8_t(0xC0 | run));
        b.push_back(plane[x]);
        x += run;
      }
    }
  }
  return b;
}

Bytes EncodePng(const Image& img) {
  Bytes out;
  bool ok = EncodePngRgb(img.width(), img.height(), [&img](int y, uint8_t* rgb) {
    for (int x = 0; x < img.width(); ++x) {
      Rgb c = img.at(x, y);
      rgb[3 * x] = c.r, rgb[3 * x + 1] = c.g, rgb[3 * x + 2] = c.b;
    }
  }, out);
  if (!ok) throw std::runtime_error("cannot encode the PNG");
  return out;
}

std::string Tree::path(const std::string& name) const {
  std::string p = name;
  for (char& c : p)
    if (c == '\\') c = '/';
  return root_ + "/" + p;
}

void Tree::write(const std::string& name, const Bytes& bytes) {
  WriteFile(path(name), bytes);
  ++files_;
  bytes_ += bytes.size();
}

void WriteFile(const std::string& where, const Bytes& bytes) {
  std::filesystem::path p(where);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  // Write beside and rename, so a reader never sees half a file.
  std::filesystem::path tmp = p;
  tmp += ".part";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + p.string());
  }
  std::filesystem::rename(tmp, p, ec);
  if (ec) throw std::runtime_error("cannot write " + p.string() + ": " + ec.message());
}
