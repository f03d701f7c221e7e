// The packed halving routines and the first-use choice of the 32-bit ones.
#include "blit/packed_halving.h"

#include <cstring>
#include <type_traits>

#include "math/dispatch.h"
#include "platform/api/d3d8_types.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellomir {

namespace {

template <class T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
inline void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// Rounding constant of a mask: 2 at the lowest bit of every run of set bits, so each channel
// under the mask becomes (sum + 2) >> 2.
constexpr uint64_t RoundingFor(uint64_t mask) { return (mask & ~(mask << 1)) << 1; }

// Channels are split between two complementary masks so that neighbouring channels under one
// mask are separated by at least two bits: the sum of four values (two extra bits) can then
// never carry into the next channel. Sums are formed in a type twice as wide as the pixel, so
// the topmost channel keeps its carries too. Bits in neither mask are written as 0.
template <class Pixel, uint64_t kMask1, uint64_t kMask2>
int HalveMasked(void* dst, const void* src, uint32_t srcWidth, uint32_t srcHeight,
                uint32_t srcPitch, uint32_t dstPitch) {
  using Wide = std::conditional_t<sizeof(Pixel) == 4, uint64_t, uint32_t>;
  constexpr Wide m1 = static_cast<Wide>(kMask1);
  constexpr Wide m2 = static_cast<Wide>(kMask2);
  constexpr Wide r1 = static_cast<Wide>(RoundingFor(kMask1));
  constexpr Wide r2 = static_cast<Wide>(RoundingFor(kMask2));
  constexpr size_t kSize = sizeof(Pixel);

  const uint32_t w = srcWidth / 2;
  const uint32_t h = srcHeight / 2;
  const uint8_t* rowA = static_cast<const uint8_t*>(src);
  uint8_t* out = static_cast<uint8_t*>(dst);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* a = rowA;
    const uint8_t* b = rowA + srcPitch;
    uint8_t* d = out;
    for (uint32_t x = 0; x < w; ++x) {
      const Wide a0 = Load<Pixel>(a);
      const Wide a1 = Load<Pixel>(a + kSize);
      const Wide b0 = Load<Pixel>(b);
      const Wide b1 = Load<Pixel>(b + kSize);
      const Wide s1 = (a0 & m1) + (a1 & m1) + (b0 & m1) + (b1 & m1);
      const Wide s2 = (a0 & m2) + (a1 & m2) + (b0 & m2) + (b1 & m2);
      const Wide v = (((s1 + r1) >> 2) & m1) | (((s2 + r2) >> 2) & m2);
      Store<Pixel>(d, static_cast<Pixel>(v));
      a += 2 * kSize;
      b += 2 * kSize;
      d += kSize;
    }
    rowA += 2 * static_cast<size_t>(srcPitch);
    out += dstPitch;
  }
  return 0;
}

// Fills both slots on first use and runs the routine now in the slot it was called through.
template <int kSlot>
int FirstUseHalving(void* dst, const void* src, uint32_t srcWidth, uint32_t srcHeight,
                    uint32_t srcPitch, uint32_t dstPitch);

bool VectorHalvingAvailable() {
#if defined(__SSE2__)
  return IsMmxEnabled() != 0;
#else
  return false;  // no vector routine on this processor family
#endif
}

template <int kSlot>
int FirstUseHalving(void* dst, const void* src, uint32_t srcWidth, uint32_t srcHeight,
                    uint32_t srcPitch, uint32_t dstPitch) {
  if (VectorHalvingAvailable()) {
    HalvingDispatch[0] = HalveRgb32Vector;
    HalvingDispatch[1] = HalveRgb32Vector;
  } else {
    HalvingDispatch[0] = HalveA8R8G8B8;
    HalvingDispatch[1] = HalveX8R8G8B8;
  }
  return HalvingDispatch[kSlot](dst, src, srcWidth, srcHeight, srcPitch, dstPitch);
}

}  // namespace

PackedHalvingRoutine HalvingDispatch[2] = {FirstUseHalving<0>, FirstUseHalving<1>};

namespace blit_testing {
void ResetHalvingDispatch() {
  HalvingDispatch[0] = FirstUseHalving<0>;
  HalvingDispatch[1] = FirstUseHalving<1>;
}
}  // namespace blit_testing

// Masks per format (bit layouts from high to low):
int HalveR5G6B5(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0xF81F, 0x07E0>(d, s, w, h, sp, dp);  // R5 G6 B5
}
int HalveX1R5G5B5(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0x7C1F, 0x03E0>(d, s, w, h, sp, dp);  // X1 R5 G5 B5
}
// The 1-bit alpha shares its mask with green; (count + 2) >> 2 makes it 1 exactly when at
// least two of the four alpha bits are set.
int HalveA1R5G5B5(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0x7C1F, 0x83E0>(d, s, w, h, sp, dp);
}
int HalveA4R4G4B4(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0x0F0F, 0xF0F0>(d, s, w, h, sp, dp);
}
int HalveR3G3B2(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint8_t, 0xE3, 0x1C>(d, s, w, h, sp, dp);  // R3 G3 B2
}
int HalveA8(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint8_t, 0xFF, 0x00>(d, s, w, h, sp, dp);
}
int HalveA8R3G3B2(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0xFF1C, 0x00E3>(d, s, w, h, sp, dp);  // A8 R3 G3 B2
}
int HalveX4R4G4B4(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0x0F0F, 0x00F0>(d, s, w, h, sp, dp);
}
int HalveA8L8(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint16_t, 0x00FF, 0xFF00>(d, s, w, h, sp, dp);
}
int HalveA4L4(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint8_t, 0x0F, 0xF0>(d, s, w, h, sp, dp);
}
int HalveA8R8G8B8(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint32_t, 0x00FF00FF, 0xFF00FF00>(d, s, w, h, sp, dp);
}
int HalveX8R8G8B8(void* d, const void* s, uint32_t w, uint32_t h, uint32_t sp, uint32_t dp) {
  return HalveMasked<uint32_t, 0x00FF00FF, 0x0000FF00>(d, s, w, h, sp, dp);
}

int HalveRgb32Vector(void* dst, const void* src, uint32_t srcWidth, uint32_t srcHeight,
                     uint32_t srcPitch, uint32_t dstPitch) {
#if defined(__SSE2__)
  if (srcWidth % 4 != 0) return HalveA8R8G8B8(dst, src, srcWidth, srcHeight, srcPitch, dstPitch);
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi16(2);
  const uint32_t steps = srcWidth / 4;
  const uint32_t h = srcHeight / 2;
  const uint8_t* rowA = static_cast<const uint8_t*>(src);
  uint8_t* out = static_cast<uint8_t*>(dst);
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* a = rowA;
    const uint8_t* b = rowA + srcPitch;
    uint8_t* d = out;
    for (uint32_t i = 0; i < steps; ++i) {
      // Four pixels of each row, bytes widened to 16-bit lanes: lo = pixels 0, 1; hi = 2, 3.
      const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
      const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
      const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
      const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
      // Pair each pixel with its right-hand neighbour: [p0, p2] + [p1, p3].
      const __m128i even = _mm_unpacklo_epi64(lo, hi);
      const __m128i odd = _mm_unpackhi_epi64(lo, hi);
      const __m128i mean = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(even, odd), two), 2);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(mean, zero));
      a += 16;
      b += 16;
      d += 8;
    }
    rowA += 2 * static_cast<size_t>(srcPitch);
    out += dstPitch;
  }
  return 0;
#else
  return HalveA8R8G8B8(dst, src, srcWidth, srcHeight, srcPitch, dstPitch);
#endif
}

PackedHalvingRoutine PackedHalvingFor(uint32_t format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
      return HalvingDispatch[0];
    case D3DFMT_X8R8G8B8:
      return HalvingDispatch[1];
    case D3DFMT_R5G6B5:
      return HalveR5G6B5;
    case D3DFMT_X1R5G5B5:
      return HalveX1R5G5B5;
    case D3DFMT_A1R5G5B5:
      return HalveA1R5G5B5;
    case D3DFMT_A4R4G4B4:
      return HalveA4R4G4B4;
    case D3DFMT_R3G3B2:
      return HalveR3G3B2;
    case D3DFMT_A8:
    case D3DFMT_L8:
      return HalveA8;
    case D3DFMT_A8R3G3B2:
      return HalveA8R3G3B2;
    case D3DFMT_X4R4G4B4:
      return HalveX4R4G4B4;
    case D3DFMT_A8L8:
      return HalveA8L8;
    case D3DFMT_A4L4:
      return HalveA4L4;
    default:
      return nullptr;
  }
}

}  // namespace vellomir
