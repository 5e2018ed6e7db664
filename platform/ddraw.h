// A software DirectDraw 7: 16-bit 5:6:5 surfaces in memory with a pitch, colour keys, blits,
// a flipping primary with one back buffer, locks and restores, and the DirectDraw result codes.
// The flip hands the front picture to the window (ShowFrame565). Tests can make the next
// operations fail as lost or busy surfaces do on real hardware.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

using HRESULT = int32_t;

constexpr HRESULT MakeDDResult(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }
constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDResult(130);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDResult(150);
constexpr HRESULT DDERR_INVALIDMODE = MakeDDResult(120);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDResult(215);
constexpr HRESULT DDERR_NOTFOUND = MakeDDResult(255);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDResult(430);
constexpr HRESULT DDERR_SURFACELOST = MakeDDResult(450);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDDResult(540);
constexpr HRESULT DDERR_NOTLOCKED = MakeDDResult(584);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDDResult(582);

constexpr uint32_t DDSCL_FULLSCREEN = 0x1;
constexpr uint32_t DDSCL_ALLOWREBOOT = 0x2;
constexpr uint32_t DDSCL_EXCLUSIVE = 0x10;

constexpr uint32_t DDSD_CAPS = 0x1;
constexpr uint32_t DDSD_HEIGHT = 0x2;
constexpr uint32_t DDSD_WIDTH = 0x4;
constexpr uint32_t DDSD_PITCH = 0x8;
constexpr uint32_t DDSD_BACKBUFFERCOUNT = 0x20;
constexpr uint32_t DDSD_LPSURFACE = 0x800;

constexpr uint32_t DDSCAPS_BACKBUFFER = 0x4;
constexpr uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr uint32_t DDSCAPS_FLIP = 0x10;
constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x40;
constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x200;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x800;
// This DirectDraw's own: a picture whose rows are all alike keeps one row, which every row of
// the surface is (its pitch is 0). Only for pictures written once, with rows alike, on loading.
constexpr uint32_t DDSCAPS_ROWSALIKE = 0x40000000;

constexpr uint32_t DDBLTFAST_NOCOLORKEY = 0x0;
constexpr uint32_t DDBLTFAST_SRCCOLORKEY = 0x1;
constexpr uint32_t DDBLTFAST_WAIT = 0x10;
constexpr uint32_t DDBLT_COLORFILL = 0x400;
constexpr uint32_t DDBLT_KEYSRC = 0x8000;
constexpr uint32_t DDBLT_KEYSRCOVERRIDE = 0x10000;
constexpr uint32_t DDBLT_WAIT = 0x1000000;
constexpr uint32_t DDFLIP_WAIT = 0x1;
constexpr uint32_t DDLOCK_WAIT = 0x1;
constexpr uint32_t DDLOCK_READONLY = 0x10;
constexpr uint32_t DDCKEY_SRCBLT = 0x8;

struct RECT {
  int32_t left, top, right, bottom;
};

struct DDCOLORKEY {
  uint32_t dwColorSpaceLowValue;
  uint32_t dwColorSpaceHighValue;
};

struct DDSCAPS2 {
  uint32_t dwCaps = 0;
};

struct DDSURFACEDESC2 {
  uint32_t dwFlags = 0;
  uint32_t dwHeight = 0;
  uint32_t dwWidth = 0;
  int32_t lPitch = 0;  // bytes
  uint32_t dwBackBufferCount = 0;
  void* lpSurface = nullptr;
  DDSCAPS2 ddsCaps;
};

struct DDBLTFX {
  uint32_t dwFillColor = 0;
  DDCOLORKEY ddckSrcColorkey{0, 0};
};

class IDirectDraw7;

class IDirectDrawSurface7 {
 public:
  HRESULT Lock(RECT* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event);
  HRESULT Unlock(RECT* rect);
  HRESULT BltFast(uint32_t x, uint32_t y, IDirectDrawSurface7* source, RECT* sourceRect, uint32_t flags);
  HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, uint32_t flags, DDBLTFX* fx);
  HRESULT Flip(IDirectDrawSurface7* target, uint32_t flags);
  HRESULT GetAttachedSurface(DDSCAPS2* caps, IDirectDrawSurface7** attached);
  HRESULT GetSurfaceDesc(DDSURFACEDESC2* desc);
  HRESULT SetColorKey(uint32_t flags, DDCOLORKEY* key);
  HRESULT Restore();
  uint32_t AddRef();
  uint32_t Release();

  // For tests: how often Restore was called on this surface (directly or through its primary).
  int RestoreCount() const { return restores_; }

 private:
  friend class IDirectDraw7;
  IDirectDrawSurface7(int width, int height, uint32_t caps);
  ~IDirectDrawSurface7();
  uint16_t* Row(int y) { return pixels_ + static_cast<size_t>(y) * pitchPixels_; }
  const uint16_t* Row(int y) const { return pixels_ + static_cast<size_t>(y) * pitchPixels_; }
  bool Contains(const RECT& r) const;
  void Changed();
  IDirectDrawSurface7* Pair() { return backBuffer_ ? this : partner_; }
  void Reading(const RECT& r);
  void Writing(const RECT& r, bool everyPixel);
  void Settle(const RECT& r);
  void Forgive(const RECT& r);
  bool CopyDifferences(const IDirectDrawSurface7& source);
  bool WholeCopy(const IDirectDrawSurface7& source, const RECT& s, int x, int y) const;
  void CopyOpaqueNamed(const IDirectDrawSurface7& source, const RECT& s, int x, int y);
  void BuildSpans();
  void CopyOpaque(const IDirectDrawSurface7& src, const RECT& s, int x, int y);
  void CopyKeyed(const IDirectDrawSurface7& src, const RECT& s, int x, int y, uint16_t lo, uint16_t hi);

  int width_, height_;
  int pitchPixels_;
  uint32_t caps_;
  uint16_t* pixels_ = nullptr;
  uint32_t refs_ = 1;
  int locks_ = 0;
  int restores_ = 0;
  bool hasKey_ = false;
  DDCOLORKEY key_{0, 0};
  IDirectDrawSurface7* backBuffer_ = nullptr;  // primaries only
  IDirectDrawSurface7* partner_ = nullptr;     // back buffers only: their primary

  // Primaries only: where the front and back pictures may differ. Every write to either adds
  // its rectangle; a flip leaves it as it is (the two swap, their difference does not); a whole
  // copy from one to the other copies just these.
  std::vector<RECT> differs_;
  // Primaries only: where the back buffer may differ from the picture the window shows, which
  // is what the window redraws at the next flip; and where the front has been written since the
  // window was last sent it.
  std::vector<RECT> unshown_;
  std::vector<RECT> frontWritten_;
  // Primaries only: where the back buffer is owed a copy of the front that has not been made yet.
  std::vector<RECT> owed_;

  // Names the pixels' content: every write gives a new name, a whole copy takes the source's,
  // so a surface already holding what it is asked to copy skips the copy. It travels with the
  // pixels through a flip; idle frames then cost no copy of the screen.
  uint64_t content_ = 0;

  // Runs of drawn pixels of each row, for keyed copies from pictures that never change after
  // loading: made on the first keyed copy after a change, like a run-length accelerated blit.
  bool spansValid_ = false;
  uint16_t spanKeyLo_ = 0, spanKeyHi_ = 0;
  std::vector<uint32_t> rowSpans_;  // per row: index of its first span; one extra at the end
  std::vector<uint16_t> spans_;     // pairs (start, length)
};

class IDirectDraw7 {
 public:
  HRESULT SetCooperativeLevel(void* window, uint32_t flags);
  HRESULT SetDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t refresh, uint32_t flags);
  HRESULT CreateSurface(DDSURFACEDESC2* desc, IDirectDrawSurface7** surface, void* outer);
  uint32_t Release();

 private:
  friend class IDirectDraw;
  IDirectDraw7() = default;
  uint32_t refs_ = 1;
  uint32_t width_ = 0, height_ = 0;
};

// The first interface DirectDrawCreate yields; only good for asking for IDirectDraw7.
class IDirectDraw {
 public:
  HRESULT QueryInterface7(IDirectDraw7** device);
  uint32_t Release();

 private:
  friend HRESULT DirectDrawCreate(void* driver, IDirectDraw** device, void* outer);
  IDirectDraw() = default;
  uint32_t refs_ = 1;
};

HRESULT DirectDrawCreate(void* driver, IDirectDraw** device, void* outer);

// Fault injection for tests. The next `count` calls of Lock, Blt, BltFast and Flip, on any
// surface, return `result` and do nothing else.
void DDInjectFault(HRESULT result, int count);
// The next `count` calls of Restore fail.
void DDFailRestores(int count);
// Call number `n` (1 = the next) of DirectDrawCreate, SetCooperativeLevel, SetDisplayMode,
// CreateSurface or GetAttachedSurface fails; 0 turns this off.
void DDFailSetupCall(int n);
// Clears every pending fault.
void DDClearFaults();
// Surfaces and devices alive now.
int DDLiveObjects();
