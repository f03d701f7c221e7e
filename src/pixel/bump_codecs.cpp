// Codecs of the bump-map formats: signed U, V (and W, Q) in r, g (b, a), two's complement
// fields of their own width, plus an unsigned luminance or alpha where the format has one.
#include "pixel/codec_support.h"

namespace vellomir {
namespace {

using namespace codec;

// A code as the unsigned bits that are shifted into place.
inline uint32_t W(int32_t code) { return static_cast<uint32_t>(code); }

// Signed field of `n` bits at bit `shift` of w, divided by its scale 2^(n-1).
inline float S(uint32_t w, uint32_t shift, uint32_t n, float inv) {
  return static_cast<float>(SignedField(w, shift, n)) * inv;
}
inline float F(uint32_t code, float inv) { return static_cast<float>(code) * inv; }

constexpr float kInv16 = 1.0f / 16.0f;
constexpr float kInv128 = 1.0f / 128.0f;
constexpr float kInv512 = 1.0f / 512.0f;
constexpr float kInv1024 = 1.0f / 1024.0f;
constexpr float kInv32768 = 1.0f / 32768.0f;

// U 0-7, V 8-15.
struct V8U8 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {S(w, 0, 8, kInv128), S(w, 8, 8, kInv128), 0.0f, 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 128.0f, 128.0f, 0.0f, 0.0f, t);
    Store16(p, (SignedBits(k.g, 8) << 8) | SignedBits(k.r, 8));
  }
};

// U 0-4, V 5-9 (signed), L 10-15 (unsigned, carried in a).
struct L6V5U5 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {S(w, 0, 5, kInv16), S(w, 5, 5, kInv16), 0.0f, F(w >> 10, kInv63)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 16.0f, 16.0f, 0.0f, 63.0f, t);
    Store16(p, (W(k.a) << 10) | (SignedBits(k.g, 5) << 5) | SignedBits(k.r, 5));
  }
};

// U 0-7, V 8-15 (signed), L 16-23 (unsigned, carried in a), bits 24-31 unused (written 0).
struct X8L8V8U8 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {S(w, 0, 8, kInv128), S(w, 8, 8, kInv128), 0.0f, F((w >> 16) & 0xFF, kInv255)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 128.0f, 128.0f, 0.0f, 255.0f, t);
    Store32(p, (W(k.a) << 16) | (SignedBits(k.g, 8) << 8) | SignedBits(k.r, 8));
  }
};

// U 0-7, V 8-15, W 16-23, Q 24-31, all signed: the one format whose alpha is signed too.
struct Q8W8V8U8 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = SignedRgba;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {S(w, 0, 8, kInv128), S(w, 8, 8, kInv128), S(w, 16, 8, kInv128), S(w, 24, 8, kInv128)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 128.0f, 128.0f, 128.0f, 128.0f, t);
    Store32(p, (SignedBits(k.a, 8) << 24) | (SignedBits(k.b, 8) << 16) | (SignedBits(k.g, 8) << 8) |
                   SignedBits(k.r, 8));
  }
};

// U 0-15, V 16-31.
struct V16U16 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {S(w, 0, 16, kInv32768), S(w, 16, 16, kInv32768), 0.0f, 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 32768.0f, 32768.0f, 0.0f, 0.0f, t);
    Store32(p, (SignedBits(k.g, 16) << 16) | SignedBits(k.r, 16));
  }
};

// U 0-9 (10 bits, scale 512), V 10-20 and W 21-31 (11 bits, scale 1024).
struct W11V11U10 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {S(w, 0, 10, kInv512), S(w, 10, 11, kInv1024), S(w, 21, 11, kInv1024), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 512.0f, 1024.0f, 1024.0f, 0.0f, t);
    Store32(p, (SignedBits(k.b, 11) << 21) | (SignedBits(k.g, 11) << 10) | SignedBits(k.r, 10));
  }
};

// U 0-9, V 10-19, W 20-29 (signed, scale 512), A 30-31 (unsigned).
struct A2W10V10U10 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = SignedRgb;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {S(w, 0, 10, kInv512), S(w, 10, 10, kInv512), S(w, 20, 10, kInv512), F(w >> 30, kInv3)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 512.0f, 512.0f, 512.0f, 3.0f, t);
    Store32(p, (W(k.a) << 30) | (SignedBits(k.b, 10) << 20) | (SignedBits(k.g, 10) << 10) |
                   SignedBits(k.r, 10));
  }
};

// One codec class per format, named after it.
using V8U8Codec = PackedCodec<V8U8>;
using L6V5U5Codec = PackedCodec<L6V5U5>;
using X8L8V8U8Codec = PackedCodec<X8L8V8U8>;
using Q8W8V8U8Codec = PackedCodec<Q8W8V8U8>;
using V16U16Codec = PackedCodec<V16U16>;
using W11V11U10Codec = PackedCodec<W11V11U10>;
using A2W10V10U10Codec = PackedCodec<A2W10V10U10>;

}  // namespace

std::unique_ptr<PixelCodec> MakeV8U8Codec(const ImageDesc& d) {
  return AllocateObject<V8U8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeL6V5U5Codec(const ImageDesc& d) {
  return AllocateObject<L6V5U5Codec>(d);
}
std::unique_ptr<PixelCodec> MakeX8L8V8U8Codec(const ImageDesc& d) {
  return AllocateObject<X8L8V8U8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeQ8W8V8U8Codec(const ImageDesc& d) {
  return AllocateObject<Q8W8V8U8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeV16U16Codec(const ImageDesc& d) {
  return AllocateObject<V16U16Codec>(d);
}
std::unique_ptr<PixelCodec> MakeW11V11U10Codec(const ImageDesc& d) {
  return AllocateObject<W11V11U10Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA2W10V10U10Codec(const ImageDesc& d) {
  return AllocateObject<A2W10V10U10Codec>(d);
}

}  // namespace vellomir
