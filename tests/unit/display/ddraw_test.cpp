#include <algorithm>
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

// A surface's pixels read back through a lock, row by row, as one picture of width * height.
std::vector<uint16_t> ReadBack(IDirectDrawSurface7* s) {
  DDSURFACEDESC2 d;
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
  std::vector<uint16_t> out(static_cast<size_t>(d.dwWidth) * d.dwHeight);
  for (uint32_t y = 0; y < d.dwHeight; ++y)
    std::memcpy(&out[y * d.dwWidth], static_cast<const uint8_t*>(d.lpSurface) + y * d.lPitch, d.dwWidth * 2);
  s->Unlock(nullptr);
  return out;
}

// Random pictures of many kinds of transparency: none, all, alternating pixels, sparse or dense
// dots, and runs short and long, so runs start and end everywhere a clip can fall.
std::vector<uint16_t> RandomPicture(std::mt19937& rng, int w, int h, int kind, uint16_t key) {
  std::vector<uint16_t> p(static_cast<size_t>(w) * h);
  auto colour = [&] {
    uint16_t v;
    do v = static_cast<uint16_t>(rng());
    while (v == key);
    return v;
  };
  int mean = 1 + static_cast<int>(rng() % 400);
  for (int y = 0; y < h; ++y) {
    bool clear = rng() % 2 == 0;
    int left = 0;
    for (int x = 0; x < w; ++x) {
      bool k;
      switch (kind) {
        case 0: k = false; break;
        case 1: k = true; break;
        case 2: k = (x + y) % 2 == 0; break;
        case 3: k = rng() % 50 == 0; break;
        case 4: k = rng() % 50 != 0; break;
        default:  // runs of random lengths around a mean
          if (left-- <= 0) {
            clear = !clear;
            left = static_cast<int>(rng() % (2 * mean));
          }
          k = clear;
      }
      p[static_cast<size_t>(y) * w + x] = k ? key : colour();
    }
  }
  return p;
}

// The target's expected picture after a keyed copy: each source pixel copied unless within the key.
void ModelKeyedCopy(std::vector<uint16_t>& target, int targetW, const std::vector<uint16_t>& source, int sourceW,
                    const RECT& r, int x, int y, uint16_t lo, uint16_t hi) {
  for (int sy = r.top; sy < r.bottom; ++sy)
    for (int sx = r.left; sx < r.right; ++sx) {
      uint16_t v = source[static_cast<size_t>(sy) * sourceW + sx];
      if (v < lo || v > hi) target[static_cast<size_t>(y + sy - r.top) * targetW + x + sx - r.left] = v;
    }
}

// A frame of `w` x `h` at (x, y), which may hang off any edge of the target, clipped as the
// display clips it; false when nothing is left.
bool ClipToTarget(int tw, int th, RECT& r, int& x, int& y) {
  if (x < 0) r.left -= x, x = 0;
  if (y < 0) r.top -= y, y = 0;
  r.right = std::min<int32_t>(r.right, r.left + tw - x);
  r.bottom = std::min<int32_t>(r.bottom, r.top + th - y);
  return r.left < r.right && r.top < r.bottom;
}

// Keyed copies from pictures go through packed runs; they must agree with a pixel loop for any
// picture, key range, source rectangle and target position, and keep agreeing after the picture
// is changed through a lock, by a copy into it, or given another key.
TEST(DDrawTest, KeyedCopiesFromPicturesMatchAPixelLoop) {
  Device7 dev;
  std::mt19937 rng(11);
  const int tw = 700, th = 90;
  IDirectDrawSurface7* target = dev.Make(tw, th, DDSCAPS_OFFSCREENPLAIN);
  IDirectDrawSurface7* other = dev.Make(tw, th, DDSCAPS_OFFSCREENPLAIN);
  std::vector<uint16_t> model(static_cast<size_t>(tw) * th);
  for (int picture = 0; picture < 40; ++picture) {
    int w = 1 + static_cast<int>(rng() % (picture % 4 == 0 ? 700 : 90)), h = 1 + static_cast<int>(rng() % 60);
    uint16_t lo = kTransparent, hi = kTransparent;
    if (picture % 3 == 2) {  // a key that is a range of colours
      lo = static_cast<uint16_t>(rng() % 0x8000);
      hi = static_cast<uint16_t>(lo + rng() % 0x4000);
    }
    std::vector<uint16_t> pixels = RandomPicture(rng, w, h, picture % 6, lo);
    IDirectDrawSurface7* source = dev.Make(w, h, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
    Paint(source, [&](int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; });
    DDCOLORKEY key{lo, hi};
    source->SetColorKey(DDCKEY_SRCBLT, &key);
    FillSurface(target, 0x1234);
    std::fill(model.begin(), model.end(), 0x1234);
    for (int trial = 0; trial < 30; ++trial) {
      RECT r;
      r.left = static_cast<int32_t>(rng() % w);
      r.right = r.left + 1 + static_cast<int32_t>(rng() % (w - r.left));
      r.top = static_cast<int32_t>(rng() % h);
      r.bottom = r.top + 1 + static_cast<int32_t>(rng() % (h - r.top));
      if (trial % 5 == 0) r = RECT{0, 0, w, h};
      int x = static_cast<int>(rng() % (tw + w)) - w, y = static_cast<int>(rng() % (th + h)) - h;
      if (trial % 7 == 0) x = tw - (r.right - r.left);  // flush with the right edge
      if (!ClipToTarget(tw, th, r, x, y)) continue;
      if (trial % 2) {
        ASSERT_EQ(target->BltFast(x, y, source, &r, DDBLTFAST_SRCCOLORKEY), DD_OK);
        ModelKeyedCopy(model, tw, pixels, w, r, x, y, lo, hi);
      } else {  // a key given with the copy instead of the picture's
        DDBLTFX fx;
        // One end of the range moved at a time, so a cache that looks at only one end is caught.
        if (trial % 4 == 0)
          fx.ddckSrcColorkey = {static_cast<uint16_t>(lo / 2), hi};
        else
          fx.ddckSrcColorkey = {lo, static_cast<uint16_t>(hi + (hi < 0xFF00 ? 0xFF : 0))};
        RECT d{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
        ASSERT_EQ(target->Blt(&d, source, &r, DDBLT_KEYSRCOVERRIDE, &fx), DD_OK);
        ModelKeyedCopy(model, tw, pixels, w, r, x, y, static_cast<uint16_t>(fx.ddckSrcColorkey.dwColorSpaceLowValue),
                       static_cast<uint16_t>(fx.ddckSrcColorkey.dwColorSpaceHighValue));
      }
      ASSERT_EQ(ReadBack(target), model) << "picture " << picture << " trial " << trial << " rect " << r.left << ","
                                         << r.top << "-" << r.right << "," << r.bottom << " at " << x << "," << y;
      switch (trial % 10) {
        case 3: {  // part of the picture rewritten through a lock
          RECT part{0, static_cast<int32_t>(rng() % h), w, 0};
          part.bottom = part.top + 1 + static_cast<int32_t>(rng() % (h - part.top));
          std::vector<uint16_t> fresh = RandomPicture(rng, w, h, static_cast<int>(rng() % 6), lo);
          DDSURFACEDESC2 d;
          ASSERT_EQ(source->Lock(&part, &d, DDLOCK_WAIT, nullptr), DD_OK);
          for (int yy = part.top; yy < part.bottom; ++yy)
            for (int xx = 0; xx < w; ++xx) {
              uint16_t v = fresh[static_cast<size_t>(yy) * w + xx];
              reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.lpSurface) + (yy - part.top) * d.lPitch)[xx] = v;
              pixels[static_cast<size_t>(yy) * w + xx] = v;
            }
          source->Unlock(nullptr);
          break;
        }
        case 6: {  // another surface copied into the picture
          FillSurface(other, static_cast<uint16_t>(rng() % 2 ? lo : 0x0777));
          uint16_t v = PixelAt(other, 0, 0);
          RECT part{0, 0, static_cast<int32_t>(1 + rng() % w), static_cast<int32_t>(1 + rng() % h)};
          ASSERT_EQ(source->BltFast(0, 0, other, &part, 0), DD_OK);
          for (int yy = 0; yy < part.bottom; ++yy)
            for (int xx = 0; xx < part.right; ++xx) pixels[static_cast<size_t>(yy) * w + xx] = v;
          break;
        }
        case 9:  // a new key for the picture
          lo = hi = static_cast<uint16_t>(rng() % 2 ? pixels[rng() % pixels.size()] : kTransparent);
          key = {lo, hi};
          source->SetColorKey(DDCKEY_SRCBLT, &key);
          break;
      }
    }
    source->Release();
  }
  target->Release();
  other->Release();
}

// The widest picture's runs and gaps are as long as a row can be.
TEST(DDrawTest, KeyedCopiesOfTheWidestPictureCopyEveryDrawnPixel) {
  Device7 dev;
  const int w = 32768;
  IDirectDrawSurface7* source = dev.Make(w, 3, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
  IDirectDrawSurface7* target = dev.Make(w, 3, DDSCAPS_OFFSCREENPLAIN);
  std::vector<uint16_t> pixels(static_cast<size_t>(w) * 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < w; ++x)
      pixels[static_cast<size_t>(y) * w + x] =
          y == 1 && (x == 0 || x == w - 1) ? kTransparent : static_cast<uint16_t>(x * 7 + y);
  Paint(source, [&](int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; });
  DDCOLORKEY key{kTransparent, kTransparent};
  source->SetColorKey(DDCKEY_SRCBLT, &key);
  std::vector<uint16_t> model(pixels.size(), 0x1234);
  FillSurface(target, 0x1234);
  for (RECT r : {RECT{0, 0, w, 3}, RECT{1, 0, w - 1, 3}, RECT{32766, 0, w, 3}, RECT{5, 1, 32767, 2}}) {
    ASSERT_EQ(target->BltFast(static_cast<uint32_t>(r.left), static_cast<uint32_t>(r.top), source, &r,
                              DDBLTFAST_SRCCOLORKEY),
              DD_OK);
    ModelKeyedCopy(model, w, pixels, w, r, r.left, r.top, kTransparent, kTransparent);
    ASSERT_EQ(ReadBack(target), model) << r.left << "-" << r.right;
    FillSurface(target, 0x1234);
    std::fill(model.begin(), model.end(), 0x1234);
  }
  source->Release();
  target->Release();
}

// A picture that keeps one row for all its rows copies, keyed and plain, exactly as the same
// picture kept whole.
TEST(DDrawTest, PicturesWithRowsAlikeCopyLikeTheSamePictureKeptWhole) {
  Device7 dev;
  std::mt19937 rng(5);
  for (int kind = 0; kind < 6; ++kind) {
    int w = kind == 5 ? 800 : 1 + static_cast<int>(rng() % 300), h = 2 + static_cast<int>(rng() % 80);
    std::vector<uint16_t> row = RandomPicture(rng, w, 1, kind, kTransparent);
    IDirectDrawSurface7* alike = dev.Make(w, h, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY | DDSCAPS_ROWSALIKE);
    IDirectDrawSurface7* whole = dev.Make(w, h, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
    DDSURFACEDESC2 desc;
    ASSERT_EQ(alike->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.lPitch, 0);
    Paint(alike, [&](int x, int) { return row[x]; });
    Paint(whole, [&](int x, int) { return row[x]; });
    DDCOLORKEY key{kTransparent, kTransparent};
    alike->SetColorKey(DDCKEY_SRCBLT, &key);
    whole->SetColorKey(DDCKEY_SRCBLT, &key);
    const int tw = 800, th = 100;
    IDirectDrawSurface7* a = dev.Make(tw, th, DDSCAPS_OFFSCREENPLAIN);
    IDirectDrawSurface7* b = dev.Make(tw, th, DDSCAPS_OFFSCREENPLAIN);
    for (int trial = 0; trial < 40; ++trial) {
      RECT r{static_cast<int32_t>(rng() % w), static_cast<int32_t>(rng() % h), 0, 0};
      r.right = r.left + 1 + static_cast<int32_t>(rng() % (w - r.left));
      r.bottom = r.top + 1 + static_cast<int32_t>(rng() % (h - r.top));
      if (trial == 0) r = RECT{0, 0, w, h};
      int x = static_cast<int>(rng() % tw) - 20, y = static_cast<int>(rng() % th) - 20;
      if (!ClipToTarget(tw, th, r, x, y)) continue;
      uint32_t flags = trial % 3 == 0 ? 0 : DDBLTFAST_SRCCOLORKEY;
      FillSurface(a, 0x4321);
      FillSurface(b, 0x4321);
      ASSERT_EQ(a->BltFast(x, y, alike, &r, flags), DD_OK);
      ASSERT_EQ(b->BltFast(x, y, whole, &r, flags), DD_OK);
      std::vector<uint16_t> got = ReadBack(a);
      ASSERT_EQ(got, ReadBack(b)) << "kind " << kind << " trial " << trial;
      // And both are right: every row of the copy is the one row.
      std::vector<uint16_t> model(static_cast<size_t>(tw) * th, 0x4321);
      for (int yy = r.top; yy < r.bottom; ++yy)
        for (int xx = r.left; xx < r.right; ++xx)
          if (!flags || row[xx] != kTransparent) model[static_cast<size_t>(y + yy - r.top) * tw + x + xx - r.left] = row[xx];
      ASSERT_EQ(got, model) << "kind " << kind << " trial " << trial;
    }
    for (auto* s : {alike, whole, a, b}) s->Release();
  }
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
