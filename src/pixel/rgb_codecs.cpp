// Codecs of the packed RGB formats (unsigned, with or without alpha).
#include "pixel/codec_support.h"

namespace vellomir {
namespace {

using namespace codec;

// A code as the unsigned bits that are shifted into place.
inline uint32_t W(int32_t code) { return static_cast<uint32_t>(code); }

// Threshold-free building blocks, so each format reads like its layout.
inline float F(uint32_t code, float inv) { return static_cast<float>(code) * inv; }
inline uint32_t U(float v, float scale, float t) { return EncodeUnsigned(v, scale, t); }

// 3 bytes in memory order B, G, R.
struct R8G8B8 {
  static constexpr uint32_t kBits = 24;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    return {F(p[2], kInv255), F(p[1], kInv255), F(p[0], kInv255), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 255.0f, 255.0f, 255.0f, 0.0f, t);
    p[0] = static_cast<uint8_t>(k.b);
    p[1] = static_cast<uint8_t>(k.g);
    p[2] = static_cast<uint8_t>(k.r);
  }
};

// B 0-7, G 8-15, R 16-23, A 24-31.
struct A8R8G8B8 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {F((w >> 16) & 0xFF, kInv255), F((w >> 8) & 0xFF, kInv255), F(w & 0xFF, kInv255),
            F(w >> 24, kInv255)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 255.0f, 255.0f, 255.0f, 255.0f, t);
    Store32(p, (W(k.a) << 24) | (W(k.r) << 16) | (W(k.g) << 8) | W(k.b));
  }
};

// B 0-7, G 8-15, R 16-23, bits 24-31 unused (written 0).
struct X8R8G8B8 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {F((w >> 16) & 0xFF, kInv255), F((w >> 8) & 0xFF, kInv255), F(w & 0xFF, kInv255), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 255.0f, 255.0f, 255.0f, 0.0f, t);
    Store32(p, (W(k.r) << 16) | (W(k.g) << 8) | W(k.b));
  }
};

// B 0-4, G 5-10, R 11-15.
struct R5G6B5 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F(w >> 11, kInv31), F((w >> 5) & 63, kInv63), F(w & 31, kInv31), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 31.0f, 63.0f, 31.0f, 0.0f, t);
    Store16(p, (W(k.r) << 11) | (W(k.g) << 5) | W(k.b));
  }
};

// B 0-4, G 5-9, R 10-14, bit 15 unused (written 0).
struct X1R5G5B5 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F((w >> 10) & 31, kInv31), F((w >> 5) & 31, kInv31), F(w & 31, kInv31), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 31.0f, 31.0f, 31.0f, 0.0f, t);
    Store16(p, (W(k.r) << 10) | (W(k.g) << 5) | W(k.b));
  }
};

// B 0-4, G 5-9, R 10-14, A 15. Alpha is floor(a + t): without dithering 0.5 and above is opaque.
struct A1R5G5B5 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F((w >> 10) & 31, kInv31), F((w >> 5) & 31, kInv31), F(w & 31, kInv31),
            F(w >> 15, kInv1)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 31.0f, 31.0f, 31.0f, 1.0f, t);
    Store16(p, (W(k.a) << 15) | (W(k.r) << 10) | (W(k.g) << 5) | W(k.b));
  }
};

// B 0-3, G 4-7, R 8-11, A 12-15.
struct A4R4G4B4 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F((w >> 8) & 15, kInv15), F((w >> 4) & 15, kInv15), F(w & 15, kInv15),
            F(w >> 12, kInv15)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 15.0f, 15.0f, 15.0f, 15.0f, t);
    Store16(p, (W(k.a) << 12) | (W(k.r) << 8) | (W(k.g) << 4) | W(k.b));
  }
};

// B 0-3, G 4-7, R 8-11, bits 12-15 unused (written 0).
struct X4R4G4B4 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F((w >> 8) & 15, kInv15), F((w >> 4) & 15, kInv15), F(w & 15, kInv15), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 15.0f, 15.0f, 15.0f, 0.0f, t);
    Store16(p, (W(k.r) << 8) | (W(k.g) << 4) | W(k.b));
  }
};

// B 0-1, G 2-4, R 5-7.
struct R3G3B2 {
  static constexpr uint32_t kBits = 8;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = p[0];
    return {F(w >> 5, kInv7), F((w >> 2) & 7, kInv7), F(w & 3, kInv3), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 7.0f, 7.0f, 3.0f, 0.0f, t);
    p[0] = static_cast<uint8_t>((W(k.r) << 5) | (W(k.g) << 2) | W(k.b));
  }
};

// B 0-1, G 2-4, R 5-7, A 8-15.
struct A8R3G3B2 {
  static constexpr uint32_t kBits = 16;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load16(p);
    return {F((w >> 5) & 7, kInv7), F((w >> 2) & 7, kInv7), F(w & 3, kInv3), F(w >> 8, kInv255)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 7.0f, 7.0f, 3.0f, 255.0f, t);
    Store16(p, (W(k.a) << 8) | (W(k.r) << 5) | (W(k.g) << 2) | W(k.b));
  }
};

// Alpha only; decodes to black (not white) with that alpha.
struct A8 {
  static constexpr uint32_t kBits = 8;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) { return {0.0f, 0.0f, 0.0f, F(p[0], kInv255)}; }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    p[0] = static_cast<uint8_t>(U(c.a, 255.0f, t));
  }
};

// R 0-9, G 10-19, B 20-29, A 30-31 (red in the low bits, unlike the other RGB layouts).
struct A2B10G10R10 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {F(w & 1023, kInv1023), F((w >> 10) & 1023, kInv1023), F((w >> 20) & 1023, kInv1023),
            F(w >> 30, kInv3)};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 1023.0f, 1023.0f, 1023.0f, 3.0f, t);
    Store32(p, (W(k.a) << 30) | (W(k.b) << 20) | (W(k.g) << 10) | W(k.r));
  }
};

// R 0-15, G 16-31. Blue and alpha are not stored and decode as 1.
struct G16R16 {
  static constexpr uint32_t kBits = 32;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint32_t w = Load32(p);
    return {F(w & 0xFFFF, kInv65535), F(w >> 16, kInv65535), 1.0f, 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 65535.0f, 65535.0f, 0.0f, 0.0f, t);
    Store32(p, (W(k.g) << 16) | W(k.r));
  }
};

// One codec class per format, named after it.
using R8G8B8Codec = PackedCodec<R8G8B8>;
using A8R8G8B8Codec = PackedCodec<A8R8G8B8>;
using X8R8G8B8Codec = PackedCodec<X8R8G8B8>;
using R5G6B5Codec = PackedCodec<R5G6B5>;
using X1R5G5B5Codec = PackedCodec<X1R5G5B5>;
using A1R5G5B5Codec = PackedCodec<A1R5G5B5>;
using A4R4G4B4Codec = PackedCodec<A4R4G4B4>;
using X4R4G4B4Codec = PackedCodec<X4R4G4B4>;
using R3G3B2Codec = PackedCodec<R3G3B2>;
using A8R3G3B2Codec = PackedCodec<A8R3G3B2>;
using A8Codec = PackedCodec<A8>;
using A2B10G10R10Codec = PackedCodec<A2B10G10R10>;
using G16R16Codec = PackedCodec<G16R16>;

}  // namespace

std::unique_ptr<PixelCodec> MakeR8G8B8Codec(const ImageDesc& d) {
  return AllocateObject<R8G8B8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA8R8G8B8Codec(const ImageDesc& d) {
  return AllocateObject<A8R8G8B8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeX8R8G8B8Codec(const ImageDesc& d) {
  return AllocateObject<X8R8G8B8Codec>(d);
}
std::unique_ptr<PixelCodec> MakeR5G6B5Codec(const ImageDesc& d) {
  return AllocateObject<R5G6B5Codec>(d);
}
std::unique_ptr<PixelCodec> MakeX1R5G5B5Codec(const ImageDesc& d) {
  return AllocateObject<X1R5G5B5Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA1R5G5B5Codec(const ImageDesc& d) {
  return AllocateObject<A1R5G5B5Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA4R4G4B4Codec(const ImageDesc& d) {
  return AllocateObject<A4R4G4B4Codec>(d);
}
std::unique_ptr<PixelCodec> MakeX4R4G4B4Codec(const ImageDesc& d) {
  return AllocateObject<X4R4G4B4Codec>(d);
}
std::unique_ptr<PixelCodec> MakeR3G3B2Codec(const ImageDesc& d) {
  return AllocateObject<R3G3B2Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA8R3G3B2Codec(const ImageDesc& d) {
  return AllocateObject<A8R3G3B2Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA8Codec(const ImageDesc& d) { return AllocateObject<A8Codec>(d); }
std::unique_ptr<PixelCodec> MakeA2B10G10R10Codec(const ImageDesc& d) {
  return AllocateObject<A2B10G10R10Codec>(d);
}
std::unique_ptr<PixelCodec> MakeG16R16Codec(const ImageDesc& d) {
  return AllocateObject<G16R16Codec>(d);
}

}  // namespace vellomir
