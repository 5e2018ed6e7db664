#include "display/transitions.h"

#include <algorithm>
#include <cstring>

#include "display/surfaces.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The two pictures of a fade, kept as the screen's own 5:6:5 pixels: the channels are taken
// apart while mixing, which gives the same results as stores of separate channel values and
// moves a third of the memory.
uint16_t PixelStores[2][kScreenWidth * kScreenHeight];

namespace {
// Truncating division by 100 for |v| <= 6300: floor(v * 5243 / 2^19) is exact there, and one
// more for negative v turns the floor into truncation toward zero.
inline int32_t Mix(int32_t oldValue, int32_t newValue, int32_t percent) {
  int32_t v = (newValue - oldValue) * percent;
  return oldValue + ((v * 5243) >> 19) + (v < 0 ? 1 : 0);
}

// The fade's arithmetic, channel by channel; also the reference for the vector code.
inline uint16_t BlendPixel(uint16_t now, uint16_t old, int32_t percent) {
  int32_t r = Mix(old >> 11, now >> 11, percent);
  int32_t g = Mix((old >> 5) & 63, (now >> 5) & 63, percent);
  int32_t b = Mix(old & 31, now & 31, percent);
  return static_cast<uint16_t>((r << 11) + (g << 5) + b);
}

#if defined(__SSE2__)
// One channel of eight pixels, the channel's bits already shifted to the bottom.
inline __m128i MixChannel(__m128i oldValue, __m128i newValue, __m128i percent) {
  const __m128i magic = _mm_set1_epi16(5243);
  __m128i v = _mm_mullo_epi16(_mm_sub_epi16(newValue, oldValue), percent);
  __m128i q = _mm_srai_epi16(_mm_mulhi_epi16(v, magic), 3);
  q = _mm_sub_epi16(q, _mm_srai_epi16(v, 15));
  return _mm_add_epi16(oldValue, q);
}

void BlendRow(uint16_t* out, const uint16_t* now, const uint16_t* old, int count, int32_t percent, bool keyed) {
  const __m128i p = _mm_set1_epi16(static_cast<int16_t>(percent));
  const __m128i mask5 = _mm_set1_epi16(31), mask6 = _mm_set1_epi16(63);
  const __m128i key = _mm_set1_epi16(static_cast<int16_t>(kTransparent));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(now + i));
    __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(old + i));
    __m128i r = MixChannel(_mm_srli_epi16(o, 11), _mm_srli_epi16(n, 11), p);
    __m128i g = MixChannel(_mm_and_si128(_mm_srli_epi16(o, 5), mask6), _mm_and_si128(_mm_srli_epi16(n, 5), mask6), p);
    __m128i b = MixChannel(_mm_and_si128(o, mask5), _mm_and_si128(n, mask5), p);
    __m128i mixed = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
    if (keyed) {
      __m128i clear = _mm_cmpeq_epi16(n, key);
      mixed = _mm_or_si128(_mm_and_si128(clear, key), _mm_andnot_si128(clear, mixed));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), mixed);
  }
  for (; i < count; ++i) out[i] = keyed && now[i] == kTransparent ? kTransparent : BlendPixel(now[i], old[i], percent);
}
#else
void BlendRow(uint16_t* out, const uint16_t* now, const uint16_t* old, int count, int32_t percent, bool keyed) {
  for (int i = 0; i < count; ++i)
    out[i] = keyed && now[i] == kTransparent ? kTransparent : BlendPixel(now[i], old[i], percent);
}
#endif

// The box, cut to the screen so that no store or canvas is touched outside it.
bool ScreenPart(const ClipBox* box, ClipBox& part) {
  part = box ? *box : kFullScreen;
  part.left = std::max(part.left, 0);
  part.top = std::max(part.top, 0);
  part.right = std::min(part.right, kScreenWidth);
  part.bottom = std::min(part.bottom, kScreenHeight);
  return part.left < part.right && part.top < part.bottom;
}
}  // namespace

uint16_t BlendedPixel(uint16_t now, uint16_t old, int32_t percent, int keyed) {
  if (keyed && now == kTransparent) return kTransparent;
  return BlendPixel(now, old, percent);
}

void CaptureCanvas(int canvas, const ClipBox* box) {
  if (canvas < 0 || canvas > 1 || !Canvases[canvas]) return;
  ClipBox part;
  if (!ScreenPart(box, part)) return;
  IDirectDrawSurface7* surface = Canvases[canvas];
  DDSURFACEDESC2 desc;
  if (!LockSurface(surface, desc)) return;
  const auto* base = static_cast<const uint8_t*>(desc.lpSurface);
  size_t bytes = static_cast<size_t>(part.right - part.left) * 2;
  for (int y = part.top; y < part.bottom; ++y) {
    const auto* row = reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(y) * desc.lPitch);
    std::memcpy(&PixelStores[canvas][y * kScreenWidth + part.left], row + part.left, bytes);
  }
  surface->Unlock(nullptr);
}

void BlendCanvas(int32_t percent, const ClipBox* box, int keyed) {
  if (percent < 0 || percent > 100) return;
  if (!Canvases[0]) return;
  ClipBox part;
  if (!ScreenPart(box, part)) return;
  IDirectDrawSurface7* surface = Canvases[0];
  DDSURFACEDESC2 desc;
  if (!LockSurface(surface, desc)) return;
  auto* base = static_cast<uint8_t*>(desc.lpSurface);
  for (int y = part.top; y < part.bottom; ++y) {
    auto* row = reinterpret_cast<uint16_t*>(base + static_cast<size_t>(y) * desc.lPitch);
    size_t at = static_cast<size_t>(y) * kScreenWidth + part.left;
    BlendRow(row + part.left, &PixelStores[0][at], &PixelStores[1][at], part.right - part.left, percent, keyed != 0);
  }
  surface->Unlock(nullptr);
  DrawCanvas(0, 0, 0, keyed, part.left, part.top, part.right, part.bottom);
}
