// Codecs of the luminance formats. Encoding stores the colour's luminance; decoding writes
// the stored value into r, g and b alike.
#include "pixel/codec_support.h"

namespace vellomir {
namespace {

using namespace codec;

inline float F(uint32_t code, float inv) { return static_cast<float>(code) * inv; }
inline uint32_t U(float v, float scale, float t) { return EncodeUnsigned(v, scale, t); }

// L 0-7.
struct L8 {
  static constexpr uint32_t kBits = 8;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const float l = F(p[0], kInv255);
    return {l, l, l, 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    p[0] = static_cast<uint8_t>(U(Luminance(c), 255.0f, t));
  }
};

// L 0-7, A 8-15.
struct A8L8 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    const float l = F(w & 0xFF, kInv255);
    return {l, l, l, F(w >> 8, kInv255)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    Store16(p, (U(c.a, 255.0f, t) << 8) | U(Luminance(c), 255.0f, t));
  }
};

// L 0-3, A 4-7.
struct A4L4 {
  static constexpr uint32_t kBits = 8;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = p[0];
    const float l = F(w & 15, kInv15);
    return {l, l, l, F(w >> 4, kInv15)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    p[0] = static_cast<uint8_t>((U(c.a, 15.0f, t) << 4) | U(Luminance(c), 15.0f, t));
  }
};

// L 0-15. Also serves the lockable 16-bit depth format: a depth d reads as the grey d/65535.
struct L16 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const float l = F(Load16(p), kInv65535);
    return {l, l, l, 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    Store16(p, U(Luminance(c), 65535.0f, t));
  }
};

// L 0-15, A 16-31.
struct A16L16 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    const float l = F(w & 0xFFFF, kInv65535);
    return {l, l, l, F(w >> 16, kInv65535)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    Store32(p, (U(c.a, 65535.0f, t) << 16) | U(Luminance(c), 65535.0f, t));
  }
};

// One codec class per format, named after it.
using L8Codec = PackedCodec<L8>;
using A8L8Codec = PackedCodec<A8L8>;
using A4L4Codec = PackedCodec<A4L4>;
using L16Codec = PackedCodec<L16>;
using A16L16Codec = PackedCodec<A16L16>;

}  // namespace

std::unique_ptr<PixelCodec> MakeL8Codec(const ImageDesc& d) { return AllocateObject<L8Codec>(d); }
std::unique_ptr<PixelCodec> MakeA8L8Codec(const ImageDesc& d) {
  return AllocateObject<A8L8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA4L4Codec(const ImageDesc& d) {
  return AllocateObject<A4L4Codec>(d);
}
std::unique_ptr<PixelCodec> MakeL16Codec(const ImageDesc& d) { return AllocateObject<L16Codec>(d); }
std::unique_ptr<PixelCodec> MakeA16L16Codec(const ImageDesc& d) {
  return AllocateObject<A16L16Codec>(d);
}

}  // namespace vellomir
