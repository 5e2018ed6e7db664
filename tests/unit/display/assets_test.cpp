#include <set>

#include "display/images.h"
#include "display_fixture.h"

namespace {
const std::set<int> kFull = {3, 4, 12, 30, 13, 16, 42, 43, 44, 45, 46, 47, 49, 48, 50, 28, 51, 52, 53, 54, 55, 56};
const std::set<int> kHeader = {2, 5, 7, 8, 9, 10, 11, 6, 17, 18, 19, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41};

// Every picture LoadAssets touches, 8 pixels wide and 2 x its frame count high.
void WriteTree(int skip = 0) {
  for (int id = 1; id <= kAssetCount; ++id) {
    if (id == skip || AssetFrames(id) == 0) continue;
    int h = 2 * AssetFrames(id);
    auto pixel = [id](int, int) { return Rgb{static_cast<uint8_t>(id * 4), 0, 0}; };
    WriteBytes(AssetTable[id - 1].path, AssetTable[id - 1].kind == kKindPcx ? MakePcx(8, h, pixel) : MakeBmp(8, h, pixel));
  }
}

using AssetsTest = DisplayTest;

TEST_F(AssetsTest, TheTableNamesEachIdInOrderAndEndsWithId0) {
  for (int i = 0; i < kAssetCount; ++i) EXPECT_EQ(AssetTable[i].id, i + 1);
  EXPECT_EQ(AssetTable[kAssetCount].id, 0);
  EXPECT_STREQ(AssetTable[16].path, "Graphic_resource\\Main\\TestMain2.BMP");
  EXPECT_EQ(AssetTable[14].kind, kKindPcx);
  EXPECT_EQ(kFull.size() + kHeader.size(), 43u);
}

TEST_F(AssetsTest, LoadAssetsLoadsSomePicturesAndOnlyMeasuresTheOthers) {
  WriteTree();
  LoadAssets();
  ASSERT_NE(BackBuffer, nullptr);
  for (int id = 1; id <= kAssetCount; ++id) {
    bool prepared = kFull.count(id) || kHeader.count(id);
    EXPECT_EQ(AssetTable[id - 1].surface != nullptr, kFull.count(id) == 1) << id;
    if (prepared) {
      EXPECT_EQ(Sprites[id].width, 8) << id;
      EXPECT_EQ(Sprites[id].frameHeight, 2) << id;
      EXPECT_EQ(Sprites[id].frameCount, AssetFrames(id)) << id;
      EXPECT_EQ(Sprites[id].assetRow, id - 1) << id;
    } else {
      EXPECT_EQ(Sprites[id].width, 0) << id;  // 1, 14, 15, 20... belong to their screens
    }
  }
  DrawImage(Sprites[17], 0, 0, 0, nullptr, kOpaque);
  EXPECT_NE(AssetTable[16].surface, nullptr);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), To565(68, 0, 0));
}

TEST_F(AssetsTest, AMissingPictureReleasesTheDisplayAndLoadingCarriesOn) {
  WriteTree(5);
  LoadAssets();
  EXPECT_EQ(BackBuffer, nullptr);
  EXPECT_EQ(Sprites[5].width, 0);
  EXPECT_EQ(Sprites[41].frameHeight, 2);  // header-only steps still fill their Sprites
  EXPECT_EQ(AssetTable[2].surface, nullptr);  // nothing can be loaded without a display
  DrawImage(Sprites[17], 0, 0, 0, nullptr, kOpaque);
  Present();
}
}  // namespace
