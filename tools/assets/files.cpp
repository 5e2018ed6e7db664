#include "tools/assets/files.h"

#include <zlib.h>

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

static void Chunk(Bytes& out, const char* type, const Bytes& data) {
  auto be32 = [&out](uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
  };
  be32(uint32_t(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  be32(uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

Bytes EncodePng(const Image& img) {
  const int w = img.width(), h = img.height();
  // Rows are compressed as they are made, so only the compressed picture is held in memory.
  z_stream z{};
  if (deflateInit(&z, 6) != Z_OK) throw std::runtime_error("cannot compress the PNG");
  Bytes packed, row(size_t(w) * 3 + 1);
  unsigned char buffer[1 << 16];
  for (int y = 0; y <= h; ++y) {
    if (y < h) {
      row[0] = 0;
      for (int x = 0; x < w; ++x) {
        Rgb c = img.at(x, y);
        row[1 + 3 * size_t(x)] = c.r, row[2 + 3 * size_t(x)] = c.g, row[3 + 3 * size_t(x)] = c.b;
      }
      z.next_in = row.data(), z.avail_in = uInt(row.size());
    }
    int flush = y < h ? Z_NO_FLUSH : Z_FINISH, status;
    do {
      z.next_out = buffer, z.avail_out = sizeof buffer;
      status = deflate(&z, flush);
      packed.insert(packed.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  }
  deflateEnd(&z);
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  for (uint32_t v : {uint32_t(w), uint32_t(h)})
    for (int i = 3; i >= 0; --i) ihdr.push_back(uint8_t(v >> (8 * i)));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  Chunk(out, "IHDR", ihdr);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});
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
