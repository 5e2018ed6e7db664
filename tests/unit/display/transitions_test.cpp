#include "display/transitions.h"
#include "display_fixture.h"

namespace {
// The fade arithmetic exactly as the game blends: per channel, integer division truncating toward
// zero, clamped to the channel's range.
uint16_t Reference(uint16_t now, uint16_t old, int p, bool keyed) {
  if (keyed && now == kTransparent) return kTransparent;
  auto mix = [&](int o, int n, int top) {
    int v = o + (n - o) * p / 100;
    return v < 0 ? 0 : v > top ? top : v;
  };
  int r = mix(old >> 11, now >> 11, 31), g = mix((old >> 5) & 63, (now >> 5) & 63, 63), b = mix(old & 31, now & 31, 31);
  return static_cast<uint16_t>((r << 11) + (g << 5) + b);
}

uint16_t Pack(int r, int g, int b) { return static_cast<uint16_t>((r << 11) | (g << 5) | b); }

void FillCanvas(int canvas, const std::function<uint16_t(int, int)>& pixel) {
  DDSURFACEDESC2 d;
  ASSERT_EQ(Canvases[canvas]->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] = pixel(x, y);
  Canvases[canvas]->Unlock(nullptr);
}

using FadeTest = DisplayTest;

// Every pair of channel values (all 64 x 64 greens, all 32 x 32 reds and blues) at every
// percent, keyed and not, through the real fade path.
TEST_F(FadeTest, EveryPercentAndChannelPairMatchesTheReferenceArithmetic) {
  auto newPixel = [](int x, int y) {
    int k = (y * 800 + x) % 4096;
    if (k == 4095) return kTransparent;
    return Pack((k / 32) % 32, k / 64, (k * 7 / 32) % 32);
  };
  auto oldPixel = [](int x, int y) {
    int k = (y * 800 + x) % 4096;
    return Pack(k % 32, k % 64, (k * 7) % 32);
  };
  FillCanvas(1, oldPixel);
  FillCanvas(0, newPixel);
  CaptureCanvas(1, nullptr);
  CaptureCanvas(0, nullptr);
  for (int keyed : {0, kKeyed})
    for (int p = 0; p <= 100; ++p) {
      BlendCanvas(p, nullptr, keyed);
      DDSURFACEDESC2 d;
      ASSERT_EQ(Canvases[0]->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
      int bad = 0;
      for (int y = 0; y < 600 && !bad; ++y)
        for (int x = 0; x < 800; ++x) {
          uint16_t got = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x];
          uint16_t want = Reference(newPixel(x, y), oldPixel(x, y), p, keyed);
          if (got != want) {
            ADD_FAILURE() << "p=" << p << " keyed=" << keyed << " at " << x << "," << y << ": " << got << " vs " << want;
            bad = 1;
            break;
          }
        }
      Canvases[0]->Unlock(nullptr);
      ASSERT_FALSE(bad);
    }
  // The single-pixel form used by the tail of each row agrees as well.
  for (int p = 0; p <= 100; ++p)
    for (int k = 0; k < 4096; ++k)
      ASSERT_EQ(BlendedPixel(newPixel(k, 0), oldPixel(k, 0), p, 0), Reference(newPixel(k, 0), oldPixel(k, 0), p, false));
}

TEST_F(FadeTest, EndsShowOldAndNewAndRed31To0Gives16At49) {
  FillCanvas(1, [](int, int) { return Pack(31, 10, 3); });
  FillCanvas(0, [](int, int) { return Pack(0, 50, 20); });
  CaptureCanvas(1, &kFullScreen);
  CaptureCanvas(0, &kFullScreen);
  BlendCanvas(0, &kFullScreen, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 3, 3), Pack(31, 10, 3));
  BlendCanvas(49, &kFullScreen, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 3, 3) >> 11, 16);
  BlendCanvas(100, &kFullScreen, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 799, 599), Pack(0, 50, 20));
}

TEST_F(FadeTest, TransparentNewPixelsKeepTheOldScreenThroughAKeyedFade) {
  FillCanvas(1, [](int, int) { return kRed; });
  FillCanvas(0, [](int x, int) { return x < 400 ? kTransparent : kBlue; });
  CaptureCanvas(1, nullptr);
  CaptureCanvas(0, nullptr);
  FillSurface(BackBuffer, kGreen);  // the old screen as shown
  for (int p : {0, 30, 70, 100}) {
    BlendCanvas(p, nullptr, kKeyed);
    EXPECT_EQ(PixelAt(BackBuffer, 10, 10), kGreen) << p;
    EXPECT_EQ(PixelAt(Canvases[0], 10, 10), kTransparent) << p;
  }
  EXPECT_EQ(PixelAt(BackBuffer, 500, 10), kBlue);
}

TEST_F(FadeTest, OutOfRangePercentsAndPlacesOutsideTheBoxAreUntouched) {
  FillCanvas(1, [](int, int) { return kRed; });
  FillCanvas(0, [](int, int) { return kBlue; });
  ClipBox box{100, 200, 50, 60};
  CaptureCanvas(1, &box);
  CaptureCanvas(0, &box);
  FillSurface(BackBuffer, kWhite);
  BlendCanvas(101, &box, kKeyed);
  BlendCanvas(-1, &box, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 150, 55), kWhite);
  EXPECT_EQ(PixelAt(Canvases[0], 150, 55), kBlue);

  BlendCanvas(0, &box, kKeyed);
  EXPECT_EQ(PixelAt(BackBuffer, 100, 50), kRed);
  EXPECT_EQ(PixelAt(BackBuffer, 199, 59), kRed);
  for (auto [x, y] : {std::pair{99, 55}, {200, 55}, {150, 49}, {150, 60}}) {
    EXPECT_EQ(PixelAt(BackBuffer, x, y), kWhite) << x << "," << y;
    EXPECT_EQ(PixelAt(Canvases[0], x, y), kBlue) << x << "," << y;
  }
  // A box reaching off the screen is cut to it.
  ClipBox wide{-50, 900, 590, 700};
  CaptureCanvas(1, &wide);
  CaptureCanvas(0, &wide);
  BlendCanvas(0, &wide, kOpaque);
  EXPECT_EQ(PixelAt(BackBuffer, 0, 599), kRed);
  EXPECT_EQ(PixelAt(BackBuffer, 799, 590), kRed);
}

TEST_F(FadeTest, ALockThatCannotBeRestoredReleasesTheDisplay) {
  DDInjectFault(DDERR_SURFACELOST, 1);
  CaptureCanvas(1, nullptr);
  EXPECT_EQ(Canvases[1]->RestoreCount(), 1);
  DDInjectFault(DDERR_WASSTILLDRAWING, 2);
  CaptureCanvas(1, nullptr);
  EXPECT_NE(Canvases[1], nullptr);
  DDInjectFault(DDERR_SURFACELOST, 1);
  DDFailRestores(1);
  BlendCanvas(50, nullptr, kKeyed);
  EXPECT_EQ(Canvases[0], nullptr);
  BlendCanvas(50, nullptr, kKeyed);  // nothing left to use
  CaptureCanvas(0, nullptr);
}
}  // namespace
