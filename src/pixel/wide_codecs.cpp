// Codecs of our own 16-bit-per-channel RGB formats, which the image readers produce.
#include "pixel/codec_support.h"

namespace vellomir {
namespace {

using namespace codec;

// A code as the unsigned bits that are shifted into place.
inline uint32_t W(int32_t code) { return static_cast<uint32_t>(code); }

inline float F(uint32_t code) { return static_cast<float>(code) * kInv65535; }

// Three 16-bit words in memory order B, G, R.
struct R16G16B16 {
  static constexpr uint32_t kBits = 48;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    return {F(Load16(p + 4)), F(Load16(p + 2)), F(Load16(p)), 1.0f};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 65535.0f, 65535.0f, 65535.0f, 0.0f, t);
    Store16(p, W(k.b));
    Store16(p + 2, W(k.g));
    Store16(p + 4, W(k.r));
  }
};

// B 0-15, G 16-31, R 32-47, A 48-63.
struct A16R16G16B16 {
  static constexpr uint32_t kBits = 64;
  static constexpr ChannelRange kRange = Unsigned;
  static FloatColor Decode(const uint8_t* p) {
    const uint64_t w = Load64(p);
    return {F(static_cast<uint32_t>(w >> 32) & 0xFFFF), F(static_cast<uint32_t>(w >> 16) & 0xFFFF),
            F(static_cast<uint32_t>(w) & 0xFFFF), F(static_cast<uint32_t>(w >> 48))};
  }
  static void Encode(uint8_t* p, const FloatColor& c, float t) {
    const ChannelCodes k = EncodeChannels(c, 65535.0f, 65535.0f, 65535.0f, 65535.0f, t);
    Store64(p, (static_cast<uint64_t>(W(k.a)) << 48) | (static_cast<uint64_t>(W(k.r)) << 32) |
                   (static_cast<uint64_t>(W(k.g)) << 16) | W(k.b));
  }
};

// One codec class per format, named after it.
using R16G16B16Codec = PackedCodec<R16G16B16>;
using A16R16G16B16Codec = PackedCodec<A16R16G16B16>;

}  // namespace

std::unique_ptr<PixelCodec> MakeR16G16B16Codec(const ImageDesc& d) {
  return AllocateObject<R16G16B16Codec>(d);
}
std::unique_ptr<PixelCodec> MakeA16R16G16B16Codec(const ImageDesc& d) {
  return AllocateObject<A16R16G16B16Codec>(d);
}

}  // namespace vellomir
