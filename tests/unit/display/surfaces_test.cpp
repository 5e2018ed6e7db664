#include "display_fixture.h"
#include "display/images.h"
#include "platform/clock.h"

namespace {
// Asset 17's file: 20 x 30 in three frames of 10 rows; frame f is of colour kFrameColour[f].
constexpr uint16_t kFrameColour[3] = {kRed, kGreen, kBlue};

class DrawTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    WriteBytes(AssetTable[16].path, MakeBmp(20, 30, [](int, int y) { return Solid(kFrameColour[y / 10]); }));
    LoadSprite(sprite, 17, 3);
    ClearBackBuffer();
  }
  // Bounding box of the pixels of `colour` in the back buffer: {left, right, top, bottom}, or all -1.
  ClipBox Found(uint16_t colour) {
    ClipBox box{-1, -1, -1, -1};
    DDSURFACEDESC2 d;
    EXPECT_EQ(BackBuffer->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x)
        if (reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] == colour) {
          if (box.left < 0 || x < box.left) box.left = x;
          if (x + 1 > box.right) box.right = x + 1;
          if (box.top < 0) box.top = y;
          box.bottom = y + 1;
        }
    BackBuffer->Unlock(nullptr);
    return box;
  }
  Sprite sprite;
};

void ExpectBox(const ClipBox& got, ClipBox want) {
  EXPECT_EQ(got.left, want.left);
  EXPECT_EQ(got.right, want.right);
  EXPECT_EQ(got.top, want.top);
  EXPECT_EQ(got.bottom, want.bottom);
}

TEST_F(DrawTest, FramesAreStackedStripsAndClipToTheBox) {
  EXPECT_EQ(sprite.width, 20);
  EXPECT_EQ(sprite.frameHeight, 10);
  EXPECT_EQ(sprite.assetRow, 16);
  ClipBox clip{100, 200, 100, 200};
  DrawImage(sprite, 1, 150, 150, &clip, kOpaque);
  ExpectBox(Found(kGreen), {150, 170, 150, 160});

  // Wholly left of, right of, above and below the box: nothing.
  ClearBackBuffer();
  DrawImage(sprite, 0, 80, 150, &clip, kOpaque);
  DrawImage(sprite, 0, 200, 150, &clip, kOpaque);
  DrawImage(sprite, 0, 150, 90, &clip, kOpaque);
  DrawImage(sprite, 0, 150, 200, &clip, kOpaque);
  ExpectBox(Found(kRed), {-1, -1, -1, -1});

  // Partly outside: cut at the box.
  DrawImage(sprite, 0, 190, 195, &clip, kOpaque);
  ExpectBox(Found(kRed), {190, 200, 195, 200});
}

TEST_F(DrawTest, LeftEdgeLosesColumnsAndExactRightEdgeDrawsWhole) {
  DrawImage(sprite, 2, -10, 5, nullptr, kOpaque);
  ExpectBox(Found(kBlue), {0, 10, 5, 15});
  ClearBackBuffer();
  ClipBox clip{0, 300, 0, 600};
  DrawImage(sprite, 2, 280, 0, &clip, kOpaque);  // right edge exactly on 300
  ExpectBox(Found(kBlue), {280, 300, 0, 10});
  ClearBackBuffer();
  DrawImage(sprite, 2, 790, 595, nullptr, kOpaque);  // no box: the screen
  ExpectBox(Found(kBlue), {790, 800, 595, 600});
}

TEST_F(DrawTest, OnlyTheCanvasCallClampsAGivenRightEdgeToTheScreen) {
  ClipBox wide{0, 900, 0, 600};
  DrawImage(sprite, 0, 790, 0, &wide, kOpaque);  // would run off the back buffer: the blit fails
  ExpectBox(Found(kRed), {-1, -1, -1, -1});
  FillSurface(Canvases[0], 0);
  DrawImageToCanvas(0, sprite, 0, 790, 0, &wide, kOpaque);
  EXPECT_EQ(PixelAt(Canvases[0], 799, 0), kRed);
  EXPECT_EQ(PixelAt(Canvases[0], 789, 0), 0);
}

TEST_F(DrawTest, FramesPastThePictureDrawNothing) {
  DrawImage(sprite, 3, 0, 0, nullptr, kOpaque);
  DrawImage(sprite, -1, 0, 0, nullptr, kOpaque);
  DrawImage(sprite, 0x7FFFFFFF, 0, 0, nullptr, kOpaque);
  ExpectBox(Found(kRed), {-1, -1, -1, -1});
  ExpectBox(Found(kBlue), {-1, -1, -1, -1});
}

TEST_F(DrawTest, KeyedDrawingSkipsColoursThatConvertToTheTransparentOne) {
  WriteBytes(AssetTable[17].path, MakeBmp(3, 1, [](int x, int) {
               return x == 0 ? Rgb{255, 0, 255} : x == 1 ? Rgb{250, 2, 249} : Rgb{255, 4, 255};
             }));
  Sprite keyed;
  LoadSprite(keyed, 18, 1);
  FillSurface(BackBuffer, kGreen);
  DrawImage(keyed, 0, 10, 10, nullptr, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 10, 10), kGreen);
  EXPECT_EQ(PixelAt(BackBuffer, 11, 10), kGreen);
  EXPECT_EQ(PixelAt(BackBuffer, 12, 10), 0xF83F);
  DrawImage(keyed, 0, 10, 10, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 10, 10), kTransparent);
  EXPECT_EQ(PixelAt(BackBuffer, 11, 10), kTransparent);
}

TEST_F(DrawTest, DrawCanvasShiftsAndClipsInProportion) {
  // Canvas 0 row r has colour r + 1, so the source row of every screen row can be read back.
  DDSURFACEDESC2 d;
  ASSERT_EQ(Canvases[0]->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] =
          static_cast<uint16_t>(x == 100 ? kTransparent : y + 1);
  Canvases[0]->Unlock(nullptr);
  FillSurface(BackBuffer, kWhite);

  DrawCanvas(0, 0, -50, kKeyed, 16, 0, 611, 443);
  EXPECT_EQ(PixelAt(BackBuffer, 16, 0), 51);     // canvas row 50 in screen row 0
  EXPECT_EQ(PixelAt(BackBuffer, 610, 442), 493);  // canvas row 492 in screen row 442
  EXPECT_EQ(PixelAt(BackBuffer, 16, 443), kWhite);
  EXPECT_EQ(PixelAt(BackBuffer, 15, 0), kWhite);
  EXPECT_EQ(PixelAt(BackBuffer, 611, 0), kWhite);
  EXPECT_EQ(PixelAt(BackBuffer, 100, 10), kWhite);  // keyed out
  DrawCanvas(0, 0, -50, kOpaque, 16, 0, 611, 443);
  EXPECT_EQ(PixelAt(BackBuffer, 100, 10), kTransparent);

  // Shifted right past the screen edge: the destination is cut, nothing wraps.
  FillSurface(BackBuffer, kWhite);
  DrawCanvas(0, 30, 0, kOpaque, 0, 0, 800, 600);
  EXPECT_EQ(PixelAt(BackBuffer, 29, 0), kWhite);
  EXPECT_EQ(PixelAt(BackBuffer, 30, 7), 8);
  EXPECT_EQ(PixelAt(BackBuffer, 799, 599), 600);
}

TEST_F(DrawTest, SaveToCanvasAndPresentKeepTheShownPictureInTheBackBuffer) {
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  SaveToCanvas(1, 0, 0, 800, 600);
  EXPECT_EQ(PixelAt(Canvases[1], 5, 5), kRed);
  Present();
  EXPECT_EQ(PixelAt(FrontSurface, 5, 5), kRed);
  EXPECT_EQ(PixelAt(BackBuffer, 5, 5), kRed);
  ClearBackBuffer();
  EXPECT_EQ(PixelAt(BackBuffer, 5, 5), 0);
  EXPECT_EQ(PixelAt(FrontSurface, 5, 5), kRed);
}

TEST_F(DrawTest, PresentsArePacedFifteenMillisecondsApartAndTheFirstDoesNotWait) {
  uint32_t before = timeGetTime();
  Present();
  uint32_t afterFirst = timeGetTime();
  EXPECT_LT(afterFirst - before, 5u);
  Present();
  uint32_t afterSecond = timeGetTime();
  EXPECT_GE(afterSecond - afterFirst, 15u);
  EXPECT_LT(afterSecond - afterFirst, 20u);
}

TEST_F(DrawTest, DrawingASpriteWhosePictureIsNotLoadedLoadsIt) {
  WriteBytes(AssetTable[18].path, MakeBmp(4, 8, [](int, int) { return Solid(kBlue); }));
  Sprite lazy;
  ReadSpriteInfo(lazy, 19, 2);
  EXPECT_EQ(AssetTable[18].surface, nullptr);
  EXPECT_EQ(lazy.frameHeight, 4);
  DrawImage(lazy, 1, 0, 0, nullptr, kOpaque);
  EXPECT_NE(AssetTable[18].surface, nullptr);
  EXPECT_EQ(PixelAt(BackBuffer, 3, 3), kBlue);
  EXPECT_EQ(PixelAt(BackBuffer, 3, 4), 0);
}

// ---- lost and busy surfaces ----

TEST_F(DrawTest, BusyAndLostBlitsAreRetriedAfterRestoringTheRightSurface) {
  int frontBefore = FrontSurface->RestoreCount();
  DDInjectFault(DDERR_WASSTILLDRAWING, 3);
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), kRed);
  EXPECT_EQ(FrontSurface->RestoreCount(), frontBefore);

  DDInjectFault(DDERR_SURFACELOST, 2);
  DrawImage(sprite, 1, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), kGreen);
  EXPECT_EQ(FrontSurface->RestoreCount(), frontBefore + 2);

  int canvasBefore = Canvases[1]->RestoreCount();
  DDInjectFault(DDERR_SURFACELOST, 1);
  DrawImageToCanvas(1, sprite, 2, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(Canvases[1], 0, 0), kBlue);
  EXPECT_EQ(Canvases[1]->RestoreCount(), canvasBefore + 1);

  DDInjectFault(DDERR_SURFACELOST, 1);
  SaveToCanvas(0, 0, 0, 800, 600);
  EXPECT_EQ(PixelAt(Canvases[0], 0, 0), kGreen);
  EXPECT_EQ(Canvases[0]->RestoreCount(), 1);

  int backBefore = BackBuffer->RestoreCount();
  DDInjectFault(DDERR_SURFACELOST, 1);
  ClearBackBuffer();
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), 0);
  EXPECT_EQ(BackBuffer->RestoreCount(), backBefore + 1);
}

TEST_F(DrawTest, OtherFailuresGiveUpWithNothingDrawn) {
  DDInjectFault(DDERR_GENERIC, 1);
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), 0);
  EXPECT_NE(BackBuffer, nullptr);
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 0), kRed);
}

TEST_F(DrawTest, AFailedRestoreReleasesTheDisplayOnlyWhenAPictureIsDrawn) {
  DDInjectFault(DDERR_SURFACELOST, 1);
  DDFailRestores(1);
  DrawCanvas(1, 0, 0, kOpaque, 0, 0, 800, 600);
  EXPECT_NE(BackBuffer, nullptr);
  DDInjectFault(DDERR_SURFACELOST, 1);
  DDFailRestores(1);
  ClearBackBuffer();
  EXPECT_NE(BackBuffer, nullptr);

  DDInjectFault(DDERR_SURFACELOST, 1);
  DDFailRestores(1);
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  EXPECT_EQ(BackBuffer, nullptr);
  EXPECT_EQ(FrontSurface, nullptr);
  EXPECT_EQ(Canvases[0], nullptr);
  EXPECT_EQ(Device, nullptr);
}

TEST_F(DrawTest, AFlipOnALostFrontRestoresAndFlipsOnceMore) {
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  DDInjectFault(DDERR_SURFACELOST, 1);
  FlipAndWait();
  EXPECT_EQ(FrontSurface->RestoreCount(), 1);
  EXPECT_EQ(PixelAt(FrontSurface, 0, 0), kRed);

  DDInjectFault(DDERR_SURFACELOST, 1);
  DDFailRestores(1);
  FlipAndWait();
  EXPECT_EQ(FrontSurface, nullptr);
}

TEST_F(DrawTest, AfterTheDisplayIsReleasedEverythingIsQuietAndPresentsStillPace) {
  ReleaseDisplay();
  DrawImage(sprite, 0, 0, 0, nullptr, kOpaque);
  DrawImageToCanvas(0, sprite, 0, 0, 0, nullptr, kOpaque);
  SaveToCanvas(1, 0, 0, 800, 600);
  DrawCanvas(0, 0, 0, kKeyed, 0, 0, 800, 600);
  ClearBackBuffer();
  Present();
  uint32_t t = timeGetTime();
  Present();
  EXPECT_GE(timeGetTime() - t, 15u);
  Sprite other;
  LoadSprite(other, 19, 1);  // no device: fails quietly
  EXPECT_EQ(AssetTable[18].surface, nullptr);
  EXPECT_FALSE(ReleaseDisplay());
}

TEST(InitDisplayTest, EveryFailingStepReleasesWhatWasMade) {
  for (int step = 1; step <= 7; ++step) {
    DDFailSetupCall(step);
    EXPECT_FALSE(InitDisplay()) << "step " << step;
    EXPECT_EQ(DDLiveObjects(), 0) << "step " << step;
    EXPECT_EQ(BackBuffer, nullptr);
  }
  DDFailSetupCall(0);
  ASSERT_TRUE(InitDisplay());
  EXPECT_NE(Canvases[1], nullptr);
  EXPECT_EQ(TransparentKey.dwColorSpaceLowValue, 0xF81Fu);
  EXPECT_EQ(TransparentKey.dwColorSpaceHighValue, 0xF81Fu);
  EXPECT_EQ(DisplayDepth, 16);
  ReleaseDisplay();
  EXPECT_EQ(DDLiveObjects(), 0);
}
}  // namespace
