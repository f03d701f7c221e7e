// Fixtures shared by the blitter tests: images in memory for real formats, and an exact
// floating-point codec that counts its row calls.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "blit/image_blitter.h"
#include "pixel/pixel_codec.h"

namespace vellomir::blit_test {

// An image of packed pixels with a byte pitch, optionally a volume.
struct Image {
  uint32_t format = D3DFMT_A8R8G8B8;
  uint32_t width = 0, height = 0, depth = 1;
  uint32_t bytesPerPixel = 4;
  uint32_t rowPitch = 0, slicePitch = 0;
  std::vector<uint8_t> bytes;

  Image() = default;
  Image(uint32_t fmt, uint32_t bpp, uint32_t w, uint32_t h, uint32_t d = 1, uint32_t pad = 0)
      : format(fmt), width(w), height(h), depth(d), bytesPerPixel(bpp),
        rowPitch(w * bpp + pad), slicePitch(d > 1 ? rowPitch * h : 0),
        bytes(static_cast<size_t>(rowPitch) * h * d, 0) {}

  uint8_t* At(uint32_t x, uint32_t y, uint32_t z = 0) {
    return bytes.data() + static_cast<size_t>(z) * rowPitch * height +
           static_cast<size_t>(y) * rowPitch + static_cast<size_t>(x) * bytesPerPixel;
  }
  uint32_t Get(uint32_t x, uint32_t y, uint32_t z = 0) {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y, z), bytesPerPixel > 4 ? 4 : bytesPerPixel);
    return v;
  }
  void Set(uint32_t x, uint32_t y, uint32_t v, uint32_t z = 0) {
    std::memcpy(At(x, y, z), &v, bytesPerPixel > 4 ? 4 : bytesPerPixel);
  }
  void Randomize(uint32_t seed) {
    std::mt19937 rng(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  }
  // The whole image, or a sub-box of it, as a blit side.
  ImageDesc Desc(D3DBOX region) {
    ImageDesc d{};
    d.bits = bytes.data();
    d.format = format;
    d.rowPitch = rowPitch;
    d.slicePitch = slicePitch;
    d.bounds = {0, 0, width, height, 0, depth};
    d.region = region;
    return d;
  }
  ImageDesc Desc() { return Desc({0, 0, width, height, 0, depth}); }
};

// Pixel memory in FloatColor, read and written exactly; an unsigned "format" of our own.
constexpr uint32_t kFloatFormat = 0x32334654;  // "TF32"

struct RowCalls {
  std::map<std::pair<uint32_t, uint32_t>, int> decoded;  // (y, z) -> count
  std::map<std::pair<uint32_t, uint32_t>, int> encoded;
  int decodeTotal = 0;
};

class FloatCodec final : public PixelCodec {
 public:
  FloatCodec(const ImageDesc& desc, RowCalls* calls, ChannelRange r = Unsigned)
      : PixelCodec(desc, 128, r), calls_(calls) {}
  void DecodeRow(uint32_t y, uint32_t z, FloatColor* row) override {
    if (calls_) {
      ++calls_->decoded[{y, z}];
      ++calls_->decodeTotal;
    }
    std::memcpy(row, RowAddress(y, z), sizeof(FloatColor) * width);
    if (colorKey != 0) ApplyColorKey(row);
  }
  void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) override {
    if (calls_) ++calls_->encoded[{y, z}];
    if (sourceRange != 0) row = ConvertRange(row);
    std::memcpy(RowAddress(y, z), row, sizeof(FloatColor) * width);
  }

 private:
  RowCalls* calls_;
};

struct FloatImage {
  uint32_t width, height, depth;
  std::vector<FloatColor> px;
  RowCalls calls;

  FloatImage(uint32_t w, uint32_t h, uint32_t d = 1)
      : width(w), height(h), depth(d), px(static_cast<size_t>(w) * h * d, FloatColor{}) {}
  FloatColor& At(uint32_t x, uint32_t y, uint32_t z = 0) {
    return px[(static_cast<size_t>(z) * height + y) * width + x];
  }
  std::unique_ptr<PixelCodec> Codec() {
    ImageDesc d{};
    d.bits = px.data();
    d.format = kFloatFormat;
    d.rowPitch = width * sizeof(FloatColor);
    d.slicePitch = d.rowPitch * height;
    d.bounds = {0, 0, width, height, 0, depth};
    d.region = d.bounds;
    return std::make_unique<FloatCodec>(d, &calls);
  }
};

// Blits between two float images.
inline HRESULT BlitFloat(FloatImage& dst, FloatImage& src, BlitFilter filter) {
  ImageBlitter blitter;
  return blitter.BlitCodecs(dst.Codec(), src.Codec(), filter);
}

// Source sample values that make every weight visible: sample i of an axis is 2^i apart from
// the others in one channel.
inline float Grey(const FloatColor& c) { return c.r; }

}  // namespace vellomir::blit_test
