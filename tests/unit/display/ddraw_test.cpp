#include <cstring>
#include <random>

#include "display_fixture.h"
#include "platform/window.h"

namespace {
struct Device7 {
  IDirectDraw7* dd = nullptr;
  Device7() {
    IDirectDraw* first = nullptr;
    EXPECT_EQ(DirectDrawCreate(nullptr, &first, nullptr), DD_OK);
    first->QueryInterface7(&dd);
    first->Release();
    dd->SetDisplayMode(800, 600, 16, 0, 0);
  }
  ~Device7() { dd->Release(); }
  IDirectDrawSurface7* Make(int w, int h, uint32_t caps) {
    DDSURFACEDESC2 desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = static_cast<uint32_t>(w);
    desc.dwHeight = static_cast<uint32_t>(h);
    desc.ddsCaps.dwCaps = caps;
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &s, nullptr), DD_OK);
    return s;
  }
  // The primary surface with its one back buffer, as the display makes them.
  void MakeFlippingPair(IDirectDrawSurface7*& front, IDirectDrawSurface7*& back) {
    DDSURFACEDESC2 desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    ASSERT_EQ(dd->CreateSurface(&desc, &front, nullptr), DD_OK);
    DDSCAPS2 caps;
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);
  }
};

void Paint(IDirectDrawSurface7* s, const std::function<uint16_t(int, int)>& pixel) {
  DDSURFACEDESC2 d;
  ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  for (uint32_t y = 0; y < d.dwHeight; ++y)
    for (uint32_t x = 0; x < d.dwWidth; ++x)
      reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] =
          pixel(static_cast<int>(x), static_cast<int>(y));
  s->Unlock(nullptr);
}

// Keyed copies from pictures (which keep runs of drawn pixels) and from plain surfaces (pixel
// by pixel) agree with a naive copy, for sparse, dense and blocky transparency and any sub-rectangle.
TEST(DDrawTest, KeyedCopiesMatchANaiveCopyWhateverTheTransparencyLooksLike) {
  Device7 dev;
  std::mt19937 rng(7);
  const int w = 203, h = 61;
  std::vector<uint16_t> pixels(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      bool clear = y < 20 ? rng() % 2 == 0 : y < 40 ? (x / 13 + y) % 3 == 0 : x > 100;
      pixels[y * w + x] = clear ? kTransparent : static_cast<uint16_t>(rng() % 0xF000 + 1);
    }
  auto pixel = [&](int x, int y) { return pixels[y * w + x]; };
  IDirectDrawSurface7* picture = dev.Make(w, h, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* plain = dev.Make(w, h, DDSCAPS_OFFSCREENPLAIN);
  Paint(picture, pixel);
  Paint(plain, pixel);
  DDCOLORKEY key{kTransparent, kTransparent};
  picture->SetColorKey(DDCKEY_SRCBLT, &key);
  plain->SetColorKey(DDCKEY_SRCBLT, &key);
  IDirectDrawSurface7* a = dev.Make(300, 100, DDSCAPS_OFFSCREENPLAIN);
  IDirectDrawSurface7* b = dev.Make(300, 100, DDSCAPS_OFFSCREENPLAIN);

  for (int trial = 0; trial < 200; ++trial) {
    RECT r;
    r.left = static_cast<int32_t>(rng() % w);
    r.right = r.left + 1 + static_cast<int32_t>(rng() % (w - r.left));
    r.top = static_cast<int32_t>(rng() % h);
    r.bottom = r.top + 1 + static_cast<int32_t>(rng() % (h - r.top));
    uint32_t x = rng() % 90, y = rng() % 39;
    FillSurface(a, 0x1234);
    FillSurface(b, 0x1234);
    ASSERT_EQ(a->BltFast(x, y, picture, &r, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    ASSERT_EQ(b->BltFast(x, y, plain, &r, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    for (int yy = 0; yy < 100; ++yy)
      for (int xx = 0; xx < 300; ++xx) {
        int sx = xx - static_cast<int>(x) + r.left, sy = yy - static_cast<int>(y) + r.top;
        bool inside = sx >= r.left && sx < r.right && sy >= r.top && sy < r.bottom;
        uint16_t want = inside && pixel(sx, sy) != kTransparent ? pixel(sx, sy) : 0x1234;
        ASSERT_EQ(PixelAt(a, xx, yy), want) << "trial " << trial << " at " << xx << "," << yy;
        ASSERT_EQ(PixelAt(b, xx, yy), want) << "trial " << trial << " at " << xx << "," << yy;
      }
  }
  // A picture changed through a lock is copied as it is now, not as it was.
  Paint(picture, [](int, int) { return static_cast<uint16_t>(0x0042); });
  ASSERT_EQ(a->BltFast(0, 0, picture, nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
  EXPECT_EQ(PixelAt(a, 150, 50), 0x0042);
  for (auto* s : {picture, plain, a, b}) s->Release();
}

TEST(DDrawTest, RectanglesOutsideEitherSurfaceFailAndLocksBlockBlits) {
  Device7 dev;
  IDirectDrawSurface7* pic = dev.Make(10, 10, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* dst = dev.Make(20, 20, DDSCAPS_OFFSCREENPLAIN);
  RECT beyond{0, 5, 10, 11}, empty{3, 3, 3, 8}, whole{0, 0, 10, 10};
  EXPECT_EQ(dst->BltFast(0, 0, pic, &beyond, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(0, 0, pic, &empty, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(11, 0, pic, &whole, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(0xFFFFFFFFu, 0, pic, &whole, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->BltFast(10, 10, pic, &whole, 0), DD_OK);
  EXPECT_EQ(dst->BltFast(0, 0, pic, &whole, DDBLTFAST_SRCCOLORKEY), DDERR_NOCOLORKEY);
  RECT big{0, 0, 20, 20};
  EXPECT_EQ(dst->Blt(&big, pic, &whole, 0, nullptr), DDERR_UNSUPPORTED);  // no stretching
  DDSURFACEDESC2 d;
  ASSERT_EQ(pic->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_EQ(d.lPitch % 2, 0);
  EXPECT_GE(d.lPitch, 20);
  EXPECT_EQ(dst->BltFast(0, 0, pic, &whole, 0), DDERR_SURFACEBUSY);
  EXPECT_EQ(pic->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(pic->Unlock(nullptr), DD_OK);
  EXPECT_EQ(pic->Unlock(nullptr), DDERR_NOTLOCKED);
  pic->Release();
  dst->Release();

  DDSURFACEDESC2 huge;
  huge.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  huge.dwWidth = huge.dwHeight = 60000;
  IDirectDrawSurface7* none = nullptr;
  EXPECT_EQ(dev.dd->CreateSurface(&huge, &none, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(none, nullptr);
}

TEST(DDrawTest, FlipSwapsTheFrontAndBackPictures) {
  Device7 dev;
  IDirectDrawSurface7 *front = nullptr, *back = nullptr;
  dev.MakeFlippingPair(front, back);
  ASSERT_TRUE(front && back);
  FillSurface(back, kRed);
  FillSurface(front, kBlue);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(PixelAt(front, 799, 599), kRed);
  EXPECT_EQ(PixelAt(back, 0, 0), kBlue);
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
  back->Release();
  front->Release();
}

// What the window shows, rebuilt from only the places each frame says changed.
std::vector<uint16_t> windowPicture(800 * 600);
size_t windowPixelsSent = 0;
void RedrawWindow(const uint16_t* pixels, int pitch, const RECT* changed, int count) {
  if (!pixels) return;
  auto copy = [&](int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
      std::memcpy(&windowPicture[y * 800 + left], pixels + y * pitch + left, (right - left) * 2);
    windowPixelsSent += static_cast<size_t>(right - left) * (bottom - top);
  };
  if (count < 0) return copy(0, 0, 800, 600);
  for (int i = 0; i < count; ++i) copy(changed[i].left, changed[i].top, changed[i].right, changed[i].bottom);
}

// Whole copies skip the work when the target already holds the source's picture, and a copy
// between the front and back pictures copies only where they differ; any sequence of fills,
// keyed and plain copies, writes through locks and flips must still leave every surface as a
// plain model says.
TEST(DDrawTest, SkippedAndPartialCopiesNeverLeaveAStalePicture) {
  Device7 dev;
  IDirectDrawSurface7* s[3] = {};
  dev.MakeFlippingPair(s[0], s[1]);
  ASSERT_TRUE(s[0] && s[1]);
  s[2] = dev.Make(800, 600, DDSCAPS_OFFSCREENPLAIN);
  using Picture = std::vector<uint16_t>;
  Picture model[3] = {Picture(800 * 600), Picture(800 * 600), Picture(800 * 600)};
  IDirectDrawSurface7* sprite = dev.Make(40, 30, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  Paint(sprite, [](int x, int y) { return (x + y) % 3 == 0 ? kTransparent : static_cast<uint16_t>(x * 64 + y); });
  DDCOLORKEY key{kTransparent, kTransparent};
  sprite->SetColorKey(DDCKEY_SRCBLT, &key);
  std::mt19937 rng(7);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  WatchFrames(RedrawWindow);
  windowPixelsSent = 0;
  int presents = 0;
  auto checkWindow = [&](int round) {
    ++presents;
    ASSERT_EQ(windowPicture, model[0]) << "the window missed a change in round " << round;
  };
  for (int round = 0; round < 200; ++round) {
    for (int step = 0; step < 10; ++step) {
      int a = pick(3), b = pick(3);
      switch (pick(7)) {
        case 4: {  // a keyed picture
          int x = pick(760), y = pick(570);
          ASSERT_EQ(s[a]->BltFast(x, y, sprite, nullptr, DDBLTFAST_SRCCOLORKEY), DD_OK);
          for (int yy = 0; yy < 30; ++yy)
            for (int xx = 0; xx < 40; ++xx)
              if ((xx + yy) % 3 != 0) model[a][(y + yy) * 800 + x + xx] = static_cast<uint16_t>(xx * 64 + yy);
          break;
        }
        case 5: {  // pixels written through a lock on a small rectangle
          RECT r{pick(790), pick(590), 0, 0};
          r.right = r.left + 1 + pick(10);
          r.bottom = r.top + 1 + pick(10);
          DDSURFACEDESC2 d;
          ASSERT_EQ(s[a]->Lock(&r, &d, DDLOCK_WAIT, nullptr), DD_OK);
          uint16_t v = static_cast<uint16_t>(rng());
          for (int y = 0; y < r.bottom - r.top; ++y)
            for (int x = 0; x < r.right - r.left; ++x) {
              reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch)[x] = v;
              model[a][(r.top + y) * 800 + r.left + x] = v;
            }
          s[a]->Unlock(nullptr);
          break;
        }
        case 6:  // the screen's present: flip, then carry the new front back
          ASSERT_EQ(s[0]->Flip(nullptr, DDFLIP_WAIT), DD_OK);
          std::swap(model[0], model[1]);
          checkWindow(round);
          ASSERT_EQ(s[1]->BltFast(0, 0, s[0], nullptr, DDBLTFAST_WAIT), DD_OK);
          model[1] = model[0];
          break;
        case 0: {  // a small fill
          RECT r{pick(700), pick(500), 0, 0};
          r.right = r.left + 1 + pick(100);
          r.bottom = r.top + 1 + pick(100);
          DDBLTFX fx;
          fx.dwFillColor = static_cast<uint16_t>(rng());
          ASSERT_EQ(s[a]->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
          for (int y = r.top; y < r.bottom; ++y)
            std::fill(model[a].begin() + y * 800 + r.left, model[a].begin() + y * 800 + r.right,
                      static_cast<uint16_t>(fx.dwFillColor));
          break;
        }
        case 1:  // a whole copy, the way a frame is carried from front to back
          if (a == b) break;
          ASSERT_EQ(s[b]->BltFast(0, 0, s[a], nullptr, DDBLTFAST_WAIT), DD_OK);
          model[b] = model[a];
          break;
        case 2: {  // a partial copy, also within one surface
          RECT r{0, 0, 800, 300};
          ASSERT_EQ(s[b]->BltFast(0, 300, s[a], &r, DDBLTFAST_WAIT), DD_OK);
          std::copy(model[a].begin(), model[a].begin() + 800 * 300, model[b].begin() + 800 * 300);
          break;
        }
        default:
          ASSERT_EQ(s[0]->Flip(nullptr, DDFLIP_WAIT), DD_OK);
          std::swap(model[0], model[1]);
          checkWindow(round);
      }
    }
    for (int i = 0; i < 3; ++i) {
      DDSURFACEDESC2 d;
      ASSERT_EQ(s[i]->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
      for (int y = 0; y < 600; ++y)
        ASSERT_EQ(std::memcmp(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, &model[i][y * 800], 1600), 0)
            << "surface " << i << " row " << y << " after round " << round;
      s[i]->Unlock(nullptr);
    }
  }
  WatchFrames(nullptr);
  // Frames draw a few small things, so most presents send far less than the whole screen.
  EXPECT_LT(windowPixelsSent, static_cast<size_t>(presents) * 800 * 600 / 2);
  for (auto* surface : {sprite, s[2], s[1], s[0]}) surface->Release();
}
}  // namespace
