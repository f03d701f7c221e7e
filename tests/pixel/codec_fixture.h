// Small in-memory images for the codec tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "pixel/pixel_codec.h"

namespace vellomir::test {

// A zeroed image of width x height x depth pixels of `bytesPerPixel` bytes, tightly packed
// unless a larger pitch is given.
struct TestImage {
  TestImage(uint32_t format, uint32_t bytesPerPixel, uint32_t w, uint32_t h = 1, uint32_t d = 1,
            uint32_t pitch = 0)
      : rowPitch(pitch != 0 ? pitch : bytesPerPixel * w),
        slicePitch(d > 1 ? rowPitch * h : 0),
        bytes(static_cast<size_t>(rowPitch) * h * d + 8, 0) {
    desc = {};
    desc.bits = bytes.data();
    desc.format = format;
    desc.rowPitch = rowPitch;
    desc.slicePitch = slicePitch;
    desc.bounds = {0, 0, w, h, 0, d};
    desc.region = desc.bounds;
  }

  uint8_t* At(uint32_t byteOffset) { return bytes.data() + byteOffset; }
  std::unique_ptr<PixelCodec> Codec() const { return CreatePixelCodec(desc); }

  uint32_t rowPitch;
  uint32_t slicePitch;
  std::vector<uint8_t> bytes;
  ImageDesc desc;
};

inline bool SameColor(const FloatColor& a, const FloatColor& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

}  // namespace vellomir::test
