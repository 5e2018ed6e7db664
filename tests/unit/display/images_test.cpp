#include <fstream>
#include <sstream>

#include "display/images.h"
#include "display_fixture.h"
#include "shell/log.h"

namespace {
// Asset 3 is a PCX row, asset 17 a BMP row.
const char* PcxName() { return AssetTable[2].path; }
const char* BmpName() { return AssetTable[16].path; }

Rgb Pattern(int x, int y) {
  return Rgb{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(x * 3 + y)};
}

void ExpectPicture(int id, int w, int h, const PixelFn& pixel) {
  IDirectDrawSurface7* s = AssetTable[id - 1].surface;
  ASSERT_NE(s, nullptr);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb c = pixel(x, y);
      ASSERT_EQ(PixelAt(s, x, y), To565(c.r, c.g, c.b)) << x << "," << y;
    }
}

using ImagesTest = DisplayTest;

TEST_F(ImagesTest, PcxSizeComesFromBytesPerLineAndTheYRange) {
  std::vector<uint8_t> header = PcxHeader(640, 0, 479);
  Put16(header, 8, 10);  // Xmax is ignored
  WriteBytes(PcxName(), header);
  Sprite s;
  ReadSpriteInfo(s, 3, 4);
  EXPECT_EQ(s.width, 640);
  EXPECT_EQ(s.frameHeight, 120);
  EXPECT_EQ(s.assetRow, 2);
  EXPECT_EQ(s.frameCount, 4);
  EXPECT_EQ(AssetTable[2].surface, nullptr);
  EXPECT_NE(BackBuffer, nullptr);
}

TEST_F(ImagesTest, PcxRunsFillColumnsOfOnePlaneAndAreCutAtTheLineEnd) {
  std::vector<uint8_t> b = PcxHeader(6, 0, 1);
  // Line 0: red = C5 80 (five columns of 0x80) then 0x10; green a run of 63 cut at 6;
  // blue a zero-length run (writes nothing) then six literals.
  for (uint8_t v : {0xC5, 0x80, 0x10, 0xFF, 0x40, 0xC0, 0x77, 8, 16, 24, 32, 40, 48}) b.push_back(v);
  // Line 1: red 255, green 0, blue 255 everywhere: the transparent colour.
  for (uint8_t v : {0xC6, 0xFF, 0xC6, 0x00, 0xC6, 0xFF}) b.push_back(v);
  WriteBytes(PcxName(), b);
  Sprite s;
  LoadSprite(s, 3, 1);
  ASSERT_NE(AssetTable[2].surface, nullptr);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(AssetTable[2].surface, x, 0), To565(0x80, 0x40, 8 * (x + 1))) << x;
  EXPECT_EQ(PixelAt(AssetTable[2].surface, 5, 0), To565(0x10, 0x40, 48));
  for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelAt(AssetTable[2].surface, x, 1), kTransparent);
}

TEST_F(ImagesTest, PcxRoundTripsAWholePicture) {
  WriteBytes(PcxName(), MakePcx(37, 9, Pattern));
  Sprite s;
  LoadSprite(s, 3, 3);
  EXPECT_EQ(s.width, 37);
  EXPECT_EQ(s.frameHeight, 3);
  ExpectPicture(3, 37, 9, Pattern);
}

TEST_F(ImagesTest, BmpFirstFileRowIsTheBottomOfThePicture) {
  WriteBytes(BmpName(), MakeBmp(4, 2, [](int x, int y) { return x == 0 && y == 1 ? Rgb{255, 0, 0} : Rgb{0, 0, 0}; }));
  std::ifstream in(ResolvePath(BmpName()), std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(static_cast<uint8_t>(bytes[54]), 0x00);
  ASSERT_EQ(static_cast<uint8_t>(bytes[56]), 0xFF);
  Sprite s;
  LoadSprite(s, 17, 1);
  EXPECT_EQ(PixelAt(AssetTable[16].surface, 0, 1), 0xF800);
  EXPECT_EQ(PixelAt(AssetTable[16].surface, 0, 0), 0);
}

TEST_F(ImagesTest, StandardBmpRowsArePaddedToFourBytesAndStartAtTheDataOffset) {
  // A 114-pixel box: rows of 342 bytes padded to 344. Read without the padding it shears.
  WriteBytes(BmpName(), MakeBmp(114, 7, Pattern, true));
  Sprite s;
  LoadSprite(s, 17, 1);
  ExpectPicture(17, 114, 7, Pattern);

  // Pixels after a larger header (offset 138, junk before it).
  WriteBytes(AssetTable[17].path, MakeBmp(5, 3, Pattern, true, 138));
  LoadSprite(s, 18, 1);
  ExpectPicture(18, 5, 3, Pattern);
}

TEST_F(ImagesTest, UnpaddedBmpRowsAreKnownByTheHeadersImageSizeWhateverFollows) {
  std::vector<uint8_t> packed = MakeBmp(114, 7, Pattern, false);
  WriteBytes(BmpName(), packed);
  Sprite s;
  LoadSprite(s, 17, 1);
  ExpectPicture(17, 114, 7, Pattern);

  // Trailing bytes enough for padded rows do not make them padded.
  packed.resize(packed.size() + 64, 0x5A);
  WriteBytes(AssetTable[17].path, packed);
  LoadSprite(s, 18, 1);
  ExpectPicture(18, 114, 7, Pattern);
}

TEST_F(ImagesTest, BmpWithoutAnImageSizeHasPaddedRowsAndAShortOneIsRefused) {
  std::vector<uint8_t> padded = MakeBmp(114, 7, Pattern, true);
  Put32(padded, 34, 0);  // allowed for uncompressed files
  WriteBytes(BmpName(), padded);
  Sprite s;
  LoadSprite(s, 17, 1);
  ExpectPicture(17, 114, 7, Pattern);

  // Unpadded rows that do not say so are short of the padded rows.
  std::vector<uint8_t> packed = MakeBmp(114, 7, Pattern, false);
  Put32(packed, 34, 0);
  WriteBytes(AssetTable[17].path, packed);
  LoadSprite(s, 18, 1);
  EXPECT_EQ(AssetTable[17].surface, nullptr);
}

TEST_F(ImagesTest, LoadingAnIdWithASurfaceRefillsTheSpriteWithoutTheFile) {
  WriteBytes(BmpName(), MakeBmp(8, 12, Pattern));
  Sprite s;
  LoadSprite(s, 17, 1);
  std::filesystem::remove(ResolvePath(BmpName()));
  Sprite again;
  LoadSprite(again, 17, 5);
  EXPECT_EQ(again.width, 8);
  EXPECT_EQ(again.frameHeight, 2);  // 12 / 5, the last two rows unreachable
  EXPECT_EQ(again.frameCount, 5);
  EXPECT_NE(BackBuffer, nullptr);
}

TEST_F(ImagesTest, AFailedLoadReleasesTheDisplayAndLogsTheFileOnce) {
  ASSERT_EQ(MakeSystemDirectories(), 0);
  ASSERT_EQ(OpenLog(), 0);
  std::vector<uint8_t> wrong = MakeBmp(4, 4, Pattern);
  wrong[0] = 'X';
  WriteBytes(BmpName(), wrong);
  Sprite s;
  s.width = 99;
  LoadSprite(s, 17, 1);
  EXPECT_EQ(s.width, 99);  // unchanged
  EXPECT_EQ(BackBuffer, nullptr);
  EXPECT_EQ(Device, nullptr);
  LoadSprite(s, 18, 1);  // missing too, but the display is already gone: not logged again
  CloseLog();
  std::ifstream in("~system/logs/Quibblo.txt");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("Picture Graphic_resource\\Main\\TestMain2.BMP failed to load"), std::string::npos);
  EXPECT_EQ(text.str().find("BonusBoxes"), std::string::npos);
}

TEST_F(ImagesTest, WrongPcxSignatureAndUnknownIdsFail) {
  std::vector<uint8_t> b = MakePcx(4, 4, Pattern);
  b[1] = 3;  // version
  WriteBytes(PcxName(), b);
  Sprite s;
  ReadSpriteInfo(s, 3, 1);
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(BackBuffer, nullptr);
  ASSERT_TRUE(InitDisplay());
  LoadSprite(s, 57, 1);
  EXPECT_EQ(BackBuffer, nullptr);
  ASSERT_TRUE(InitDisplay());
  LoadSprite(s, 0, 1);
  EXPECT_EQ(BackBuffer, nullptr);
}

// Damaged files never read or write outside their buffers; each is a clean failure.
TEST(ImageDecodeTest, DamagedFilesAreRejected) {
  Picture565 p;
  std::vector<uint8_t> bmp = MakeBmp(10, 10, Pattern);
  // Short of even the rows without their padding.
  for (size_t cut : {size_t{0}, size_t{2}, size_t{53}, size_t{54}, size_t{54 + 299}})
    EXPECT_FALSE(DecodeBmp(bmp.data(), cut, p)) << cut;
  EXPECT_TRUE(DecodeBmp(bmp.data(), bmp.size(), p));

  auto withSize = [&](uint32_t w, uint32_t h) {
    std::vector<uint8_t> b = bmp;
    Put32(b, 18, w);
    Put32(b, 22, h);
    return b;
  };
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{60000, 60000}, {0, 10}, {10, 0}, {0xFFFFFFF6u, 10},
                      {10, 0xFFFFFFF6u}, {32767, 32767}, {0x10000 + 10, 10}})
    EXPECT_FALSE(DecodeBmp(withSize(w, h).data(), bmp.size(), p)) << w << "x" << h;

  std::vector<uint8_t> pcx = MakePcx(10, 10, Pattern);
  for (size_t cut : {size_t{0}, size_t{127}, size_t{128}, pcx.size() - 1})
    EXPECT_FALSE(DecodePcx(pcx.data(), cut, p)) << cut;
  EXPECT_TRUE(DecodePcx(pcx.data(), pcx.size(), p));
  // The shortest possible coding (runs of 63) is accepted; a byte less is cut off.
  std::vector<uint8_t> tight = PcxHeader(126, 0, 1);
  for (int i = 0; i < 2 * 3 * 2; ++i) tight.insert(tight.end(), {0xFF, 0x20});
  EXPECT_TRUE(DecodePcx(tight.data(), tight.size(), p));
  EXPECT_EQ(p.pixels[126 * 2 - 1], To565(0x20, 0x20, 0x20));
  EXPECT_FALSE(DecodePcx(tight.data(), tight.size() - 1, p));
  std::vector<uint8_t> huge = PcxHeader(60000, 0, 59999);
  EXPECT_FALSE(DecodePcx(huge.data(), huge.size(), p));
  std::vector<uint8_t> upsideDown = PcxHeader(10, 5, 3);
  EXPECT_FALSE(DecodePcx(upsideDown.data(), upsideDown.size(), p));
  std::vector<uint8_t> zeroWidth = PcxHeader(0, 0, 3);
  EXPECT_FALSE(DecodePcx(zeroWidth.data(), zeroWidth.size(), p));
}

TEST_F(ImagesTest, AnAbsurdHeaderFailsWithoutAllocatingIt) {
  std::vector<uint8_t> b = MakeBmp(4, 4, Pattern);
  Put32(b, 18, 60000);
  Put32(b, 22, 60000);
  WriteBytes(BmpName(), b);
  Sprite s;
  ReadSpriteInfo(s, 17, 1);
  EXPECT_EQ(s.width, 0);
  ASSERT_TRUE(InitDisplay());
  LoadSprite(s, 17, 1);
  EXPECT_EQ(AssetTable[16].surface, nullptr);
  EXPECT_EQ(BackBuffer, nullptr);
}
}  // namespace
