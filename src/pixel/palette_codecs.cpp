// Codecs of the palettized formats. Encoding searches the whole palette for the nearest entry
// per pixel (squared distance; the lowest index wins ties); nothing is cached between pixels.
#include <cfloat>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/codec_support.h"

namespace vellomir {
namespace {

using namespace codec;

// The palette split into channel planes, so the distance loop over all 256 entries runs
// several entries per instruction. Rebuilt for every row (1K floats, no allocation) so it
// always reflects the codec's current palette.
struct PalettePlanes {
  explicit PalettePlanes(const FloatColor (&palette)[256]) {
    for (int i = 0; i < 256; ++i) {
      r[i] = palette[i].r;
      g[i] = palette[i].g;
      b[i] = palette[i].b;
      a[i] = palette[i].a;
    }
  }
  alignas(16) float r[256];
  alignas(16) float g[256];
  alignas(16) float b[256];
  alignas(16) float a[256];
};

// Index of the palette entry nearest to c over r, g, b (and a when withAlpha): the first
// entry whose squared distance is strictly below every earlier one, starting from the largest
// finite float, so of equally near entries the lowest index wins and a colour whose distance
// to every entry is not below that bound (NaN, overflow) stores index 0.
template <bool withAlpha>
uint32_t NearestEntry(const PalettePlanes& planes, const FloatColor& c) {
  alignas(16) float distance[256];
  for (int i = 0; i < 256; ++i) {
    const float dr = c.r - planes.r[i];
    const float dg = c.g - planes.g[i];
    const float db = c.b - planes.b[i];
    float d = dr * dr + dg * dg + db * db;
    if constexpr (withAlpha) {
      const float da = c.a - planes.a[i];
      d += da * da;
    }
    distance[i] = d;
  }
  // The smallest distance, then the first entry that has it.
  float best = FLT_MAX;
#if defined(__SSE2__)
  // minps(d, m) keeps m when d is NaN, exactly like the scalar rule; the minimum itself is
  // exact, so splitting it across lanes and accumulators cannot change the result.
  __m128 m0 = _mm_set1_ps(FLT_MAX), m1 = m0, m2 = m0, m3 = m0;
  for (int i = 0; i < 256; i += 16) {
    m0 = _mm_min_ps(_mm_load_ps(distance + i), m0);
    m1 = _mm_min_ps(_mm_load_ps(distance + i + 4), m1);
    m2 = _mm_min_ps(_mm_load_ps(distance + i + 8), m2);
    m3 = _mm_min_ps(_mm_load_ps(distance + i + 12), m3);
  }
  __m128 m = _mm_min_ps(_mm_min_ps(m0, m1), _mm_min_ps(m2, m3));
  m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
  m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
  best = _mm_cvtss_f32(m);
  if (!(best < FLT_MAX)) return 0;
  const __m128 wanted = _mm_set1_ps(best);
  for (uint32_t i = 0;; i += 4) {
    const int hits = _mm_movemask_ps(_mm_cmpeq_ps(_mm_load_ps(distance + i), wanted));
    if (hits != 0) return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
#else
  for (int i = 0; i < 256; ++i) best = distance[i] < best ? distance[i] : best;
  if (!(best < FLT_MAX)) return 0;
  uint32_t index = 0;
  while (distance[index] != best) ++index;
  return index;
#endif
}

// Index 0-7: the palette entry gives all four channels. Encoding does not dither.
class P8Codec final : public PixelCodec {
 public:
  explicit P8Codec(const ImageDesc& desc) : PixelCodec(desc, 8, Unsigned) {}

  void DecodeRow(uint32_t y, uint32_t z, FloatColor* row) override {
    const uint8_t* p = RowAddress(y, z);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x) row[x] = palette[p[x]];
    if (colorKey != 0) ApplyColorKey(row);
  }

  void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) override {
    if (sourceRange != 0) row = ConvertRange(row);
    uint8_t* p = RowAddress(y, z);
    const PalettePlanes planes(palette);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x)
      p[x] = static_cast<uint8_t>(NearestEntry<true>(planes, row[x]));
  }
};

// Index 0-7 (colour from the palette), A 8-15 (alpha stored in the pixel).
class A8P8Codec final : public PixelCodec {
 public:
  explicit A8P8Codec(const ImageDesc& desc) : PixelCodec(desc, 16, Unsigned) {}

  void DecodeRow(uint32_t y, uint32_t z, FloatColor* row) override {
    const uint8_t* p = RowAddress(y, z);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x, p += 2) {
      const FloatColor& e = palette[p[0]];
      row[x] = {e.r, e.g, e.b, static_cast<float>(p[1]) * kInv255};
    }
    if (colorKey != 0) ApplyColorKey(row);
  }

  void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) override {
    if (sourceRange != 0) row = ConvertRange(row);
    uint8_t* p = RowAddress(y, z);
    const float* t = ditherTable[y & 3] + (z & 3);
    const PalettePlanes planes(palette);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x, p += 2) {
      const uint32_t index = NearestEntry<false>(planes, row[x]);
      Store16(p, (EncodeUnsigned(row[x].a, 255.0f, t[x & 3]) << 8) | index);
    }
  }
};

}  // namespace

std::unique_ptr<PixelCodec> MakeP8Codec(const ImageDesc& d) { return AllocateObject<P8Codec>(d); }
std::unique_ptr<PixelCodec> MakeA8P8Codec(const ImageDesc& d) {
  return AllocateObject<A8P8Codec>(d);
}

}  // namespace vellomir
