// Resampling without colour arithmetic: FilterNone (no scaling, blank fill) and FilterPoint
// (nearest sample by 16.16 fixed-point stepping). Neither looks at the mirror bits.
#include <algorithm>
#include <cstring>

#include "blit/image_blitter.h"
#include "pixel/allocation.h"

namespace vellomir {

HRESULT ImageBlitter::ResampleNone() {
  if (Kind() != FilterNone) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;
  const uint32_t w = std::max(src.width, dst.width);
  const uint32_t h = std::min(src.height, dst.height);
  const uint32_t d = std::min(src.depth, dst.depth);

  // The copy row is long enough for either width; its entries beyond the source width stay
  // zero because the source only ever decodes its own width.
  auto copyRow = AllocateArray<FloatColor>(w);
  auto blankRow = AllocateArray<FloatColor>(dst.width);
  if (!copyRow || !blankRow) return E_FAIL;
  std::memset(copyRow.get(), 0, sizeof(FloatColor) * std::max<size_t>(w, 1));
  std::memset(blankRow.get(), 0, sizeof(FloatColor) * std::max<size_t>(dst.width, 1));

  for (uint32_t z = 0; z < d; ++z) {
    for (uint32_t y = 0; y < h; ++y) {
      src.DecodeRow(y, z, copyRow.get());
      dst.EncodeRow(y, z, copyRow.get());
    }
    for (uint32_t y = h; y < dst.height; ++y) dst.EncodeRow(y, z, blankRow.get());
  }
  for (uint32_t z = d; z < dst.depth; ++z) {
    for (uint32_t y = 0; y < dst.height; ++y) dst.EncodeRow(y, z, blankRow.get());
  }
  return D3D_OK;
}

namespace {

// 16.16 step from `src` samples to `dst` samples, truncated. Computed in 64 bits so that sizes
// of 65536 and above step correctly instead of overflowing; an empty destination axis has no
// samples to step over.
uint64_t PointStep(uint32_t src, uint32_t dst) {
  return dst == 0 ? 0 : (static_cast<uint64_t>(src) << 16) / dst;
}

}  // namespace

HRESULT ImageBlitter::ResamplePoint() {
  if (Kind() != FilterPoint) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;
  // An empty source has no sample to pick; leave such a blit to the later methods.
  if (src.width == 0 || src.height == 0 || src.depth == 0) return E_FAIL;

  auto srcRow = AllocateArray<FloatColor>(src.width);
  if (!srcRow) return E_OUTOFMEMORY;
  auto dstRow = AllocateArray<FloatColor>(dst.width);
  if (!dstRow) return E_OUTOFMEMORY;

  const uint64_t stepX = PointStep(src.width, dst.width);
  const uint64_t stepY = PointStep(src.height, dst.height);
  const uint64_t stepZ = PointStep(src.depth, dst.depth);
  constexpr uint64_t kNoRow = ~uint64_t{0};

  uint64_t zAcc = 0;
  for (uint32_t z = 0; z < dst.depth; ++z, zAcc += stepZ) {
    uint64_t lastY = kNoRow;  // the held source row is forgotten at every slice
    uint64_t yAcc = 0;
    for (uint32_t y = 0; y < dst.height; ++y, yAcc += stepY) {
      if ((yAcc >> 16) != (lastY >> 16)) {
        src.DecodeRow(static_cast<uint32_t>(yAcc >> 16), static_cast<uint32_t>(zAcc >> 16),
                      srcRow.get());
        lastY = yAcc;
      }
      const FloatColor* in = srcRow.get();
      FloatColor* out = dstRow.get();
      uint64_t xAcc = 0;
      for (uint32_t x = 0; x < dst.width; ++x, xAcc += stepX) out[x] = in[xAcc >> 16];
      dst.EncodeRow(y, z, out);
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
