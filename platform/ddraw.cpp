#include "platform/ddraw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/window.h"

namespace {
constexpr int kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t{64} << 20;
// A row with more drawn runs than width / this is copied pixel by pixel instead.
constexpr int kSpanDensity = 16;
constexpr uint16_t kSelectRow = 0xFFFF;

HRESULT injectedFault = DD_OK;
int injectedCount = 0;
int restoreFailures = 0;
int failSetupAt = 0;
int liveObjects = 0;

bool TakeFault(HRESULT& result) {
  if (injectedCount <= 0) return false;
  --injectedCount;
  result = injectedFault;
  return true;
}

bool SetupCallFails() {
  if (failSetupAt <= 0) return false;
  return --failSetupAt == 0;
}

// Runs of a keyed picture are mostly short: copied inline, in 16-byte pieces with an
// overlapping last piece, instead of through a call; long runs go to memcpy.
inline void CopySpan(uint16_t* d, const uint16_t* s, int n) {
#if defined(__SSE2__)
  if (n >= 8 && n < 256) {
    int i = 0;
    for (; i + 8 <= n; i += 8)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    if (i < n)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 8), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 8)));
    return;
  }
  if (n < 8) {
    for (int i = 0; i < n; ++i) d[i] = s[i];
    return;
  }
#endif
  std::memcpy(d, s, static_cast<size_t>(n) * 2);
}

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// A frame writes a few panels, so a short list keeps the copies small; past that one box
// around them all is cheaper to keep than to search.
constexpr size_t kMostDifferences = 32;
// Owed copies must stay exact, so past this many they are simply made.
constexpr size_t kMostOwed = 64;

void AddDifference(std::vector<RECT>& list, const RECT& r) {
  for (const RECT& e : list)
    if (Inside(r, e)) return;
  std::erase_if(list, [&](const RECT& e) { return Inside(e, r); });
  if (list.size() < kMostDifferences) {
    list.push_back(r);
    return;
  }
  RECT box = r;
  for (const RECT& e : list) {
    box.left = std::min(box.left, e.left);
    box.top = std::min(box.top, e.top);
    box.right = std::max(box.right, e.right);
    box.bottom = std::max(box.bottom, e.bottom);
  }
  list.assign(1, box);
}

void CopyRowsSelect(uint16_t* __restrict d, const uint16_t* __restrict s, int n, uint16_t lo, uint16_t hi) {
  if (lo == hi) {
    for (int i = 0; i < n; ++i) d[i] = s[i] == lo ? d[i] : s[i];
  } else {
    for (int i = 0; i < n; ++i) d[i] = (s[i] >= lo && s[i] <= hi) ? d[i] : s[i];
  }
}
}  // namespace

void DDInjectFault(HRESULT result, int count) {
  injectedFault = result;
  injectedCount = count;
}
void DDFailRestores(int count) { restoreFailures = count; }
void DDFailSetupCall(int n) { failSetupAt = n; }
void DDClearFaults() {
  injectedCount = 0;
  restoreFailures = 0;
  failSetupAt = 0;
}
int DDLiveObjects() { return liveObjects; }

// ---- surfaces ----

IDirectDrawSurface7::IDirectDrawSurface7(int width, int height, uint32_t caps)
    : width_(width), height_(height), pitchPixels_((caps & DDSCAPS_ROWSALIKE) ? 0 : (width + 7) & ~7), caps_(caps) {
  ++liveObjects;
  Changed();
}

IDirectDrawSurface7::~IDirectDrawSurface7() {
  if (caps_ & DDSCAPS_PRIMARYSURFACE) ShowFrame565(nullptr, 0);
  if (backBuffer_) {
    backBuffer_->partner_ = nullptr;
    backBuffer_->Release();
  }
  std::free(pixels_);
  --liveObjects;
}

void IDirectDrawSurface7::Changed() {
  static uint64_t names = 0;
  spansValid_ = false;
  content_ = ++names;
}

bool IDirectDrawSurface7::WholeCopy(const IDirectDrawSurface7& source, const RECT& s, int x, int y) const {
  return &source != this && x == 0 && y == 0 && s.left == 0 && s.top == 0 && s.right == width_ &&
         s.bottom == height_ && source.width_ == width_ && source.height_ == height_;
}

// Called on the primary: the owed copies that touch r are made now.
void IDirectDrawSurface7::Settle(const RECT& r) {
  std::erase_if(owed_, [&](const RECT& e) {
    if (!Overlap(e, r)) return false;
    backBuffer_->CopyOpaque(*this, e, e.left, e.top);
    return true;
  });
}

// Called on the primary: r of the back buffer is about to be overwritten, so nothing is owed there.
void IDirectDrawSurface7::Forgive(const RECT& r) {
  std::vector<RECT> kept;
  for (const RECT& e : owed_) {
    if (!Overlap(e, r)) {
      kept.push_back(e);
      continue;
    }
    int32_t top = std::max(e.top, r.top), bottom = std::min(e.bottom, r.bottom);
    if (r.top > e.top) kept.push_back({e.left, e.top, e.right, r.top});
    if (r.bottom < e.bottom) kept.push_back({e.left, r.bottom, e.right, e.bottom});
    if (r.left > e.left) kept.push_back({e.left, top, r.left, bottom});
    if (r.right < e.right) kept.push_back({r.right, top, e.right, bottom});
  }
  owed_.swap(kept);
  if (owed_.size() > kMostOwed) Settle(RECT{0, 0, width_, height_});
}

void IDirectDrawSurface7::Reading(const RECT& r) {
  if (partner_) partner_->Settle(r);
}

void IDirectDrawSurface7::Writing(const RECT& r, bool everyPixel) {
  Changed();
  IDirectDrawSurface7* pair = Pair();
  if (!pair) return;
  if (partner_ && everyPixel)
    pair->Forgive(r);
  else
    pair->Settle(r);  // the back buffer still owes what the front holds there now
  AddDifference(pair->differs_, r);
  AddDifference(partner_ ? pair->unshown_ : pair->frontWritten_, r);
}

// The copy that carries a frame between the front and back pictures touches only where they
// differ; onto the back buffer it is not even made until something reads or partly overwrites
// the back there, since the next frame usually draws most of those places over again.
bool IDirectDrawSurface7::CopyDifferences(const IDirectDrawSurface7& source) {
  IDirectDrawSurface7* pair = Pair();
  if (!pair || pair != const_cast<IDirectDrawSurface7&>(source).Pair()) return false;
  Changed();
  if (partner_) {
    // From here the two pictures are the same, owed copies included, so the next frame's
    // differences start empty.
    pair->owed_.insert(pair->owed_.end(), pair->differs_.begin(), pair->differs_.end());
    pair->differs_.clear();
    // The back is now the front (owed copies are made before the front changes there), which
    // differs from the window's picture only where the front was written since the flip.
    pair->unshown_ = pair->frontWritten_;
    if (pair->owed_.size() > kMostOwed) pair->Settle(RECT{0, 0, width_, height_});
    return true;
  }
  pair->Settle(RECT{0, 0, width_, height_});
  for (const RECT& r : differs_) {
    CopyOpaque(source, r, r.left, r.top);
    AddDifference(frontWritten_, r);
  }
  differs_.clear();
  return true;
}

void IDirectDrawSurface7::CopyOpaqueNamed(const IDirectDrawSurface7& source, const RECT& s, int x, int y) {
  bool whole = WholeCopy(source, s, x, y);
  if (whole && content_ == source.content_) return;
  if (!(whole && CopyDifferences(source))) {
    const_cast<IDirectDrawSurface7&>(source).Reading(s);
    Writing(RECT{x, y, x + (s.right - s.left), y + (s.bottom - s.top)}, true);
    CopyOpaque(source, s, x, y);
  }
  if (whole) content_ = source.content_;
}

bool IDirectDrawSurface7::Contains(const RECT& r) const {
  return r.left >= 0 && r.top >= 0 && r.right <= width_ && r.bottom <= height_;
}

uint32_t IDirectDrawSurface7::AddRef() { return ++refs_; }

uint32_t IDirectDrawSurface7::Release() {
  uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT IDirectDrawSurface7::Lock(RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void*) {
  HRESULT fault;
  if (TakeFault(fault)) return fault;
  if (!desc) return DDERR_INVALIDPARAMS;
  if (locks_ > 0) return DDERR_SURFACEBUSY;
  RECT r = rect ? *rect : RECT{0, 0, width_, height_};
  if (IsEmpty(r) || !Contains(r)) return DDERR_INVALIDRECT;
  ++locks_;
  Reading(r);
  if (!(flags & DDLOCK_READONLY)) Writing(r, false);
  desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE | DDSD_CAPS;
  desc->dwWidth = static_cast<uint32_t>(r.right - r.left);
  desc->dwHeight = static_cast<uint32_t>(r.bottom - r.top);
  desc->lPitch = pitchPixels_ * 2;
  desc->lpSurface = Row(r.top) + r.left;
  desc->ddsCaps.dwCaps = caps_;
  return DD_OK;
}

HRESULT IDirectDrawSurface7::Unlock(RECT*) {
  if (locks_ == 0) return DDERR_NOTLOCKED;
  --locks_;
  return DD_OK;
}

HRESULT IDirectDrawSurface7::BltFast(uint32_t x, uint32_t y, IDirectDrawSurface7* source, RECT* sourceRect,
                                     uint32_t flags) {
  HRESULT fault;
  if (TakeFault(fault)) return fault;
  if (!source) return DDERR_INVALIDPARAMS;
  if (locks_ > 0 || source->locks_ > 0) return DDERR_SURFACEBUSY;
  RECT s = sourceRect ? *sourceRect : RECT{0, 0, source->width_, source->height_};
  if (IsEmpty(s) || !source->Contains(s)) return DDERR_INVALIDRECT;
  int64_t right = int64_t{x} + (s.right - s.left), bottom = int64_t{y} + (s.bottom - s.top);
  if (right > width_ || bottom > height_) return DDERR_INVALIDRECT;
  if ((flags & DDBLTFAST_SRCCOLORKEY) && !source->hasKey_) return DDERR_NOCOLORKEY;

  int dx = static_cast<int>(x), dy = static_cast<int>(y);
  if (flags & DDBLTFAST_SRCCOLORKEY) {
    source->Reading(s);
    Writing(RECT{dx, dy, static_cast<int32_t>(right), static_cast<int32_t>(bottom)}, false);
    CopyKeyed(*source, s, dx, dy, static_cast<uint16_t>(source->key_.dwColorSpaceLowValue),
              static_cast<uint16_t>(source->key_.dwColorSpaceHighValue));
    return DD_OK;
  }
  CopyOpaqueNamed(*source, s, dx, dy);
  return DD_OK;
}

void IDirectDrawSurface7::CopyOpaque(const IDirectDrawSurface7& source, const RECT& s, int x, int y) {
  int w = s.right - s.left, h = s.bottom - s.top;
  // Whole rows of surfaces laid out alike are one block.
  if (w == width_ && w == source.width_ && pitchPixels_ == source.pitchPixels_ && pitchPixels_ > 0 &&
      &source != this) {
    std::memcpy(Row(y), source.Row(s.top), static_cast<size_t>(h) * pitchPixels_ * 2);
    return;
  }
  size_t bytes = static_cast<size_t>(w) * 2;
  if (&source != this) {
    for (int i = 0; i < h; ++i) std::memcpy(Row(y + i) + x, source.Row(s.top + i) + s.left, bytes);
  } else if (y > s.top) {  // rows of one surface may overlap: copy away from the overlap
    for (int i = h - 1; i >= 0; --i) std::memmove(Row(y + i) + x, source.Row(s.top + i) + s.left, bytes);
  } else {
    for (int i = 0; i < h; ++i) std::memmove(Row(y + i) + x, source.Row(s.top + i) + s.left, bytes);
  }
}

HRESULT IDirectDrawSurface7::Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, uint32_t flags,
                                 DDBLTFX* fx) {
  HRESULT fault;
  if (TakeFault(fault)) return fault;
  if (locks_ > 0) return DDERR_SURFACEBUSY;
  RECT d = destRect ? *destRect : RECT{0, 0, width_, height_};
  if (IsEmpty(d) || !Contains(d)) return DDERR_INVALIDRECT;

  if (flags & DDBLT_COLORFILL) {
    if (!fx) return DDERR_INVALIDPARAMS;
    Writing(d, true);
    uint16_t colour = static_cast<uint16_t>(fx->dwFillColor);
    for (int yy = d.top; yy < d.bottom; ++yy) std::fill(Row(yy) + d.left, Row(yy) + d.right, colour);
    return DD_OK;
  }

  if (!source) return DDERR_INVALIDPARAMS;
  if (source->locks_ > 0) return DDERR_SURFACEBUSY;
  RECT s = sourceRect ? *sourceRect : RECT{0, 0, source->width_, source->height_};
  if (IsEmpty(s) || !source->Contains(s)) return DDERR_INVALIDRECT;
  if (s.right - s.left != d.right - d.left || s.bottom - s.top != d.bottom - d.top) return DDERR_UNSUPPORTED;

  const DDCOLORKEY* key = nullptr;
  if (flags & DDBLT_KEYSRCOVERRIDE) {
    if (!fx) return DDERR_INVALIDPARAMS;
    key = &fx->ddckSrcColorkey;
  } else if (flags & DDBLT_KEYSRC) {
    if (!source->hasKey_) return DDERR_NOCOLORKEY;
    key = &source->key_;
  }
  if (key) {
    source->Reading(s);
    Writing(d, false);
    CopyKeyed(*source, s, d.left, d.top, static_cast<uint16_t>(key->dwColorSpaceLowValue),
              static_cast<uint16_t>(key->dwColorSpaceHighValue));
    return DD_OK;
  }
  CopyOpaqueNamed(*source, s, d.left, d.top);
  return DD_OK;
}

void IDirectDrawSurface7::BuildSpans() {
  rowSpans_.assign(static_cast<size_t>(height_) + 1, 0);
  spans_.clear();
  uint16_t lo = spanKeyLo_, hi = spanKeyHi_;
  for (int y = 0; y < height_; ++y) {
    rowSpans_[y] = static_cast<uint32_t>(spans_.size());
    const uint16_t* row = Row(y);
    size_t first = spans_.size();
    int x = 0;
    while (x < width_) {
      while (x < width_ && row[x] >= lo && row[x] <= hi) ++x;
      int start = x;
      while (x < width_ && !(row[x] >= lo && row[x] <= hi)) ++x;
      if (x > start) {
        spans_.push_back(static_cast<uint16_t>(start));
        spans_.push_back(static_cast<uint16_t>(x - start));
      }
    }
    if ((spans_.size() - first) / 2 > static_cast<size_t>(width_ / kSpanDensity + 1)) {
      spans_.resize(first);
      spans_.push_back(kSelectRow);
      spans_.push_back(0);
    }
  }
  rowSpans_[height_] = static_cast<uint32_t>(spans_.size());
  spansValid_ = true;
}

void IDirectDrawSurface7::CopyKeyed(const IDirectDrawSurface7& src, const RECT& s, int x, int y, uint16_t lo,
                                    uint16_t hi) {
  int w = s.right - s.left, h = s.bottom - s.top;
  IDirectDrawSurface7& source = const_cast<IDirectDrawSurface7&>(src);
  // Pictures are never written after loading, so their runs are worth keeping.
  bool useSpans = (source.caps_ & DDSCAPS_SYSTEMMEMORY) && &source != this;
  if (useSpans && (!source.spansValid_ || source.spanKeyLo_ != lo || source.spanKeyHi_ != hi)) {
    source.spanKeyLo_ = lo;
    source.spanKeyHi_ = hi;
    source.BuildSpans();
  }
  for (int i = 0; i < h; ++i) {
    uint16_t* d = Row(y + i);
    const uint16_t* srow = source.Row(s.top + i);
    if (!useSpans) {
      // Rows of one surface never overlap unless source and target are the same picture.
      if (&source == this) {
        for (int k = 0; k < w; ++k) {
          uint16_t v = srow[s.left + k];
          if (v < lo || v > hi) d[x + k] = v;
        }
      } else {
        CopyRowsSelect(d + x, srow + s.left, w, lo, hi);
      }
      continue;
    }
    const uint16_t* span = source.spans_.data() + source.rowSpans_[s.top + i];
    const uint16_t* end = source.spans_.data() + source.rowSpans_[s.top + i + 1];
    if (span != end && span[0] == kSelectRow) {
      CopyRowsSelect(d + x, srow + s.left, w, lo, hi);
      continue;
    }
    for (; span != end; span += 2) {
      int a = span[0], b = a + span[1];
      if (a >= s.right) break;
      a = std::max(a, s.left);
      b = std::min(b, s.right);
      if (a < b) CopySpan(d + x + (a - s.left), srow + a, b - a);
    }
  }
}

HRESULT IDirectDrawSurface7::Flip(IDirectDrawSurface7*, uint32_t) {
  HRESULT fault;
  if (TakeFault(fault)) return fault;
  if (!backBuffer_) return DDERR_NOTFLIPPABLE;
  if (locks_ > 0 || backBuffer_->locks_ > 0) return DDERR_SURFACEBUSY;
  Settle(RECT{0, 0, width_, height_});
  std::swap(pixels_, backBuffer_->pixels_);
  std::swap(content_, backBuffer_->content_);
  spansValid_ = backBuffer_->spansValid_ = false;
  ShowFrame565(pixels_, pitchPixels_, unshown_.data(), static_cast<int>(unshown_.size()));
  // The new back is the old front: it differs from what the window now shows where the window
  // was just redrawn and where the old front was written meanwhile.
  for (const RECT& r : frontWritten_) AddDifference(unshown_, r);
  frontWritten_.clear();
  return DD_OK;
}

HRESULT IDirectDrawSurface7::GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** attached) {
  if (!caps || !attached) return DDERR_INVALIDPARAMS;
  if (SetupCallFails()) return DDERR_GENERIC;
  if (!(caps->dwCaps & DDSCAPS_BACKBUFFER) || !backBuffer_) return DDERR_NOTFOUND;
  backBuffer_->AddRef();
  *attached = backBuffer_;
  return DD_OK;
}

HRESULT IDirectDrawSurface7::GetSurfaceDesc(DDSURFACEDESC2* desc) {
  if (!desc) return DDERR_INVALIDPARAMS;
  desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_CAPS;
  desc->dwWidth = static_cast<uint32_t>(width_);
  desc->dwHeight = static_cast<uint32_t>(height_);
  desc->lPitch = pitchPixels_ * 2;
  desc->lpSurface = nullptr;
  desc->ddsCaps.dwCaps = caps_;
  return DD_OK;
}

HRESULT IDirectDrawSurface7::SetColorKey(uint32_t flags, DDCOLORKEY* key) {
  if (!(flags & DDCKEY_SRCBLT)) return DDERR_UNSUPPORTED;
  hasKey_ = key != nullptr;
  if (key) key_ = *key;
  Changed();
  return DD_OK;
}

HRESULT IDirectDrawSurface7::Restore() {
  ++restores_;
  if (backBuffer_) ++backBuffer_->restores_;
  if (restoreFailures > 0) {
    --restoreFailures;
    return DDERR_GENERIC;
  }
  return DD_OK;
}

// ---- devices ----

HRESULT DirectDrawCreate(void*, IDirectDraw** device, void*) {
  if (!device) return DDERR_INVALIDPARAMS;
  *device = nullptr;
  if (SetupCallFails()) return DDERR_GENERIC;
  *device = new IDirectDraw();
  ++liveObjects;
  return DD_OK;
}

HRESULT IDirectDraw::QueryInterface7(IDirectDraw7** device) {
  if (!device) return DDERR_INVALIDPARAMS;
  *device = new IDirectDraw7();
  ++liveObjects;
  return DD_OK;
}

uint32_t IDirectDraw::Release() {
  uint32_t left = --refs_;
  if (left == 0) {
    --liveObjects;
    delete this;
  }
  return left;
}

uint32_t IDirectDraw7::Release() {
  uint32_t left = --refs_;
  if (left == 0) {
    --liveObjects;
    delete this;
  }
  return left;
}

HRESULT IDirectDraw7::SetCooperativeLevel(void*, uint32_t) {
  if (SetupCallFails()) return DDERR_GENERIC;
  return DD_OK;
}

HRESULT IDirectDraw7::SetDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t, uint32_t) {
  if (SetupCallFails()) return DDERR_GENERIC;
  if (bitsPerPixel != 16 || width == 0 || height == 0 || width > 4096 || height > 4096) return DDERR_INVALIDMODE;
  width_ = width;
  height_ = height;
  return DD_OK;
}

HRESULT IDirectDraw7::CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** surface, void*) {
  if (!desc || !surface) return DDERR_INVALIDPARAMS;
  *surface = nullptr;
  if (SetupCallFails()) return DDERR_GENERIC;
  uint32_t caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : 0;
  bool primary = caps & DDSCAPS_PRIMARYSURFACE;
  if (primary) caps &= ~DDSCAPS_ROWSALIKE;  // the screen is drawn on
  int64_t w, h;
  if (primary) {
    if (width_ == 0) return DDERR_INVALIDPARAMS;  // no display mode yet
    w = width_;
    h = height_;
  } else {
    if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
    w = desc->dwWidth;
    h = desc->dwHeight;
  }
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) return DDERR_INVALIDPARAMS;

  auto make = [&](uint32_t surfaceCaps) -> IDirectDrawSurface7* {
    auto* s = new (std::nothrow) IDirectDrawSurface7(static_cast<int>(w), static_cast<int>(h), surfaceCaps);
    if (!s) return nullptr;
    size_t rowPixels = static_cast<size_t>((w + 7) & ~int64_t{7});
    size_t bytes = rowPixels * (s->pitchPixels_ == 0 ? 1 : static_cast<size_t>(h)) * 2;
    bytes = (bytes + 63) & ~size_t{63};
    s->pixels_ = static_cast<uint16_t*>(std::aligned_alloc(64, bytes));
    if (!s->pixels_) {
      delete s;
      return nullptr;
    }
    std::memset(s->pixels_, 0, bytes);
    return s;
  };
  IDirectDrawSurface7* made = make(caps);
  if (!made) return DDERR_OUTOFMEMORY;
  if (primary && (caps & DDSCAPS_FLIP) && (desc->dwFlags & DDSD_BACKBUFFERCOUNT) && desc->dwBackBufferCount >= 1) {
    made->backBuffer_ = make((caps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_COMPLEX)) | DDSCAPS_BACKBUFFER);
    if (!made->backBuffer_) {
      made->Release();
      return DDERR_OUTOFMEMORY;
    }
    made->backBuffer_->partner_ = made;
  }
  *surface = made;
  return DD_OK;
}
