// Shared pieces of the per-format codecs: little-endian loads and stores, the rounding rule,
// the decode factors, the luminance weights and the row loops. Internal to the pixel library.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/allocation.h"
#include "pixel/pixel_codec.h"

namespace vellomir::codec {

// Pixels are stored little-endian; memcpy keeps unaligned rows (odd pitches) well defined.
inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// The largest integer not above v. C++ float-to-int conversion always truncates, whatever the
// processor's rounding mode, so this neither depends on nor changes the caller's mode.
// Out-of-range input (including NaN) is pinned inside int32 first so the conversion stays
// defined; in-range values are unaffected.
inline int32_t FloorToInt(float v) {
  constexpr float kLow = -2147483520.0f;  // largest float magnitudes that fit in int32
  constexpr float kHigh = 2147483520.0f;
#if defined(__SSE2__)
  // maxss returns its second operand when either is NaN, so NaN pins to kLow; done in
  // registers to keep the row loops free of branches.
  __m128 x = _mm_max_ss(_mm_set_ss(v), _mm_set_ss(kLow));
  x = _mm_min_ss(x, _mm_set_ss(kHigh));
  const int32_t i = _mm_cvttss_si32(x);
  const __m128 below = _mm_cmplt_ss(x, _mm_cvtsi32_ss(x, i));
  return i + _mm_cvtsi128_si32(_mm_castps_si128(below));  // the mask is 0 or -1
#else
  v = v > kLow ? v : kLow;
  v = v < kHigh ? v : kHigh;
  const int32_t i = static_cast<int32_t>(v);
  return i - (v < static_cast<float>(i) ? 1 : 0);
#endif
}

// Code of an unsigned field: floor(value * scale + t).
inline uint32_t EncodeUnsigned(float value, float scale, float t) {
  return static_cast<uint32_t>(FloorToInt(value * scale + t));
}

// Codes of all four channels at once: floor(channel * scale + t) for r, g, b, a, with the same
// single-precision multiply and add per channel as the one-channel rule (a scale of 0 gives
// code 0 for a channel the format does not store).
struct ChannelCodes {
  int32_t r, g, b, a;
};

inline ChannelCodes EncodeChannels(const FloatColor& c, float sr, float sg, float sb, float sa,
                                   float t) {
#if defined(__SSE2__)
  float lanes[4];
  std::memcpy(lanes, &c, sizeof lanes);
  __m128 v =
      _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(lanes), _mm_setr_ps(sr, sg, sb, sa)), _mm_set1_ps(t));
  v = _mm_max_ps(v, _mm_set1_ps(-2147483520.0f));  // NaN pins low, as in FloorToInt
  v = _mm_min_ps(v, _mm_set1_ps(2147483520.0f));
  const __m128i truncated = _mm_cvttps_epi32(v);
  const __m128 below = _mm_cmplt_ps(v, _mm_cvtepi32_ps(truncated));
  const __m128i codes = _mm_add_epi32(truncated, _mm_castps_si128(below));
  ChannelCodes out;
  std::memcpy(&out, &codes, sizeof out);
  return out;
#else
  return {FloorToInt(c.r * sr + t), FloorToInt(c.g * sg + t), FloorToInt(c.b * sb + t),
          FloorToInt(c.a * sa + t)};
#endif
}

// The bits of a signed field of `bitCount` bits (scale 2^(bitCount-1)) from its code:
// saturated at the largest positive code, since a full +1.0 computes one past it and would
// otherwise wrap to the most negative code, and masked to the field so that negative codes
// do not spill into the neighbouring field.
inline uint32_t SignedBits(int32_t code, uint32_t bitCount) {
  const int32_t largest = (1 << (bitCount - 1)) - 1;
  code = code < largest ? code : largest;
  return static_cast<uint32_t>(code) & ((bitCount == 32) ? ~0u : ((1u << bitCount) - 1));
}

// Sign-extends the `bitCount`-bit field at bit `shift` of w.
inline int32_t SignedField(uint32_t w, uint32_t shift, uint32_t bitCount) {
  return static_cast<int32_t>(w << (32 - shift - bitCount)) >> (32 - bitCount);
}

// Decode factors: the float nearest the reciprocal of each largest code, or a power of two.
inline constexpr float kInv1 = 1.0f;
inline constexpr float kInv3 = 1.0f / 3.0f;
inline constexpr float kInv7 = 1.0f / 7.0f;
inline constexpr float kInv15 = 1.0f / 15.0f;
inline constexpr float kInv31 = 1.0f / 31.0f;
inline constexpr float kInv63 = 1.0f / 63.0f;
inline constexpr float kInv255 = 1.0f / 255.0f;
inline constexpr float kInv1023 = 1.0f / 1023.0f;
inline constexpr float kInv65535 = 1.0f / 65535.0f;

// Luminance of a colour, weights summed blue first (the order fixes the rounding).
inline float Luminance(const FloatColor& c) {
  return c.b * 0.0721f + c.g * 0.7154f + c.r * 0.2125f;
}

// A codec whose pixels are converted one at a time by a format description F with
//   static constexpr uint32_t kBits; static constexpr ChannelRange kRange;
//   static FloatColor Decode(const uint8_t* pixel);
//   static void Encode(uint8_t* pixel, const FloatColor& c, float t);
// The row loops are here once; F's functions inline into them, so each row costs one
// virtual call.
template <class F>
class PackedCodec final : public PixelCodec {
 public:
  explicit PackedCodec(const ImageDesc& desc) : PixelCodec(desc, F::kBits, F::kRange) {}

  void DecodeRow(uint32_t y, uint32_t z, FloatColor* row) override {
    const uint8_t* p = RowAddress(y, z);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x, p += F::kBits / 8) row[x] = F::Decode(p);
    if (colorKey != 0) ApplyColorKey(row);
  }

  void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) override {
    if (sourceRange != 0) row = ConvertRange(row);
    uint8_t* p = RowAddress(y, z);
    const float* t = ditherTable[y & 3] + (z & 3);
    const uint32_t n = width;
    for (uint32_t x = 0; x < n; ++x, p += F::kBits / 8) F::Encode(p, row[x], t[x & 3]);
  }
};

}  // namespace vellomir::codec

namespace vellomir {

// Makers of the per-format codecs, one per factory row.
using CodecMaker = std::unique_ptr<PixelCodec> (*)(const ImageDesc&);

std::unique_ptr<PixelCodec> MakeR8G8B8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA8R8G8B8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeX8R8G8B8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeR5G6B5Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeX1R5G5B5Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA1R5G5B5Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA4R4G4B4Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeX4R4G4B4Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeR3G3B2Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA8R3G3B2Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA2B10G10R10Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeG16R16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA8P8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeP8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeL8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA8L8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA4L4Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeL16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA16L16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeV8U8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeL6V5U5Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeX8L8V8U8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeQ8W8V8U8Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeV16U16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeW11V11U10Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA2W10V10U10Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeR16G16B16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeA16R16G16B16Codec(const ImageDesc&);
std::unique_ptr<PixelCodec> MakeYuvCodec(const ImageDesc&);

}  // namespace vellomir
