#include "platform/png.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return rgb;
}

TEST(Png, RgbRowsReadBackExactlyAndTheBytesNeverChange) {
  const int w = 37, h = 11;
  auto row = [](int y, uint8_t* rgb) {
    for (int x = 0; x < w; ++x) {
      rgb[3 * x] = static_cast<uint8_t>(x * 7 + y);
      rgb[3 * x + 1] = static_cast<uint8_t>(255 - y * 13);
      rgb[3 * x + 2] = static_cast<uint8_t>(x ^ y);
    }
  };
  std::vector<uint8_t> first, second;
  ASSERT_TRUE(EncodePngRgb(w, h, row, first));
  ASSERT_TRUE(EncodePngRgb(w, h, row, second));
  EXPECT_EQ(first, second);
  int dw = 0, dh = 0;
  std::vector<uint8_t> back = Decode(first, dw, dh);
  ASSERT_EQ(dw, w);
  ASSERT_EQ(dh, h);
  std::vector<uint8_t> line(3 * w);
  for (int y = 0; y < h; ++y) {
    row(y, line.data());
    EXPECT_TRUE(std::equal(line.begin(), line.end(), back.begin() + 3 * w * y)) << "row " << y;
  }
  std::vector<uint8_t> none;
  EXPECT_FALSE(EncodePngRgb(0, 5, row, none));
  EXPECT_TRUE(none.empty());
}

TEST(Png, ScreenPixelsWidenByBitReplicationAndHonourThePitch) {
  // White, pure red, pure green, pure blue, and one pixel of padding the pitch skips.
  const uint16_t pixels[] = {0xFFFF, 0xF800, 0x07E0, 0x001F, 0x1234,
                             0x0000, 0x0841, 0x8410, 0xFFFF, 0x4321};
  std::string path = testing::TempDir() + "quibblo-png-test.png";
  ASSERT_TRUE(WritePng565(path.c_str(), pixels, 4, 2, 5));
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> file{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  std::remove(path.c_str());
  int w = 0, h = 0;
  std::vector<uint8_t> rgb = Decode(file, w, h);
  ASSERT_EQ(rgb.size(), 24u);
  const uint8_t expected[] = {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255,
                              0, 0, 0, 8, 8, 8, 132, 130, 132, 255, 255, 255};
  EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), expected));
  EXPECT_FALSE(WritePng565("/nonexistent/folder/shot.png", pixels, 4, 2, 5));
}
}  // namespace
