#include "platform/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace {
struct Sink {
  std::vector<uint8_t>* out;
  const std::function<void(int, uint8_t*)>* row;
  uint8_t* line;
};

void Append(png_structp png, png_bytep data, size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  sink->out->insert(sink->out->end(), data, data + length);
}

void Flush(png_structp) {}

// libpng reports errors by longjmp: nothing in this frame has a destructor to skip.
bool WriteRows(png_structp png, png_infop info, Sink* sink, int width, int height) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, sink, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Fixed settings and no time or text chunks: the bytes depend on the picture alone.
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    (*sink->row)(y, sink->line);
    png_write_row(png, sink->line);
  }
  png_write_end(png, info);
  return true;
}
}  // namespace

bool EncodePngRgb(int width, int height, const std::function<void(int y, uint8_t* rgb)>& row,
                  std::vector<uint8_t>& out) {
  out.clear();
  if (width <= 0 || height <= 0) return false;
  std::vector<uint8_t> line(static_cast<size_t>(width) * 3);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  Sink sink{&out, &row, line.data()};
  bool ok = info && WriteRows(png, info, &sink, width, height);
  png_destroy_write_struct(&png, info ? &info : nullptr);
  if (!ok) out.clear();
  return ok;
}

bool WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels) {
  std::vector<uint8_t> bytes;
  bool encoded = EncodePngRgb(width, height, [&](int y, uint8_t* rgb) {
    for (int x = 0; x < width; ++x) {
      uint16_t p = pixels ? pixels[static_cast<size_t>(y) * pitchPixels + x] : 0;
      uint8_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      rgb[3 * x] = static_cast<uint8_t>(r << 3 | r >> 2);
      rgb[3 * x + 1] = static_cast<uint8_t>(g << 2 | g >> 4);
      rgb[3 * x + 2] = static_cast<uint8_t>(b << 3 | b >> 2);
    }
  }, bytes);
  if (!encoded) return false;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}
