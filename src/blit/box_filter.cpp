// FilterBox: halving only. Every destination pixel is the mean of a 2x2 (2x2x2) source block;
// same-format 2-D halvings of the common formats average the packed pixels in memory.
#include "blit/image_blitter.h"
#include "blit/packed_halving.h"
#include "pixel/allocation.h"

namespace vellomir {

namespace {

// dst = floor(src / 2), or both 1 (an axis that is already one sample wide stays so).
bool Halves(uint32_t src, uint32_t dst) { return dst == src / 2 || (dst == 1 && src == 1); }

}  // namespace

bool ImageBlitter::AcceptHalving(bool volume) {
  if (Kind() != FilterBox) return false;
  PixelCodec& src = *source_;
  const PixelCodec& dst = *destination_;
  if (!Halves(src.width, dst.width) || !Halves(src.height, dst.height)) return false;
  if (volume ? dst.depth != src.depth / 2 : (dst.depth != 1 || src.depth != 1)) return false;
  // The last odd column, row (and slice) of the source take no part. The codec reads its
  // width afresh on every row, so shrinking it here takes effect at once.
  if (src.width > 1 && (src.width & 1)) {
    --src.width;
    src.bytesPerRow -= src.bytesPerPixel;
  }
  if (src.height > 1) src.height &= ~1u;
  if (volume && src.depth > 1) src.depth &= ~1u;
  return true;
}

HRESULT ImageBlitter::ResampleBox2D() {
  if (!AcceptHalving(false)) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;

  if (!(filter_ & FilterDither) && src.format == dst.format && src.width >= 2 &&
      src.height >= 2) {
    if (PackedHalvingRoutine halve = PackedHalvingFor(src.format)) {
      halve(dst.bits, src.bits, src.width, src.height, src.rowPitch, dst.rowPitch);
      return D3D_OK;
    }
  }

  const uint32_t rowCount = src.height == 1 ? 1 : 2;
  auto dstRow = AllocateArray<FloatColor>(dst.width);
  auto srcRows = AllocateArray<FloatColor>(static_cast<size_t>(rowCount) * src.width);
  if (!dstRow || !srcRows) return E_OUTOFMEMORY;
  const FloatColor* a = srcRows.get();
  const FloatColor* b = srcRows.get() + (rowCount - 1) * static_cast<size_t>(src.width);
  const uint32_t step = src.width == 1 ? 0 : 1;  // x1 = x0 on a one-pixel-wide source

  for (uint32_t y = 0; y < dst.height; ++y) {
    src.DecodeRow(2 * y, 0, srcRows.get());
    if (rowCount == 2) src.DecodeRow(2 * y + 1, 0, srcRows.get() + src.width);
    FloatColor* out = dstRow.get();
    for (uint32_t x = 0; x < dst.width; ++x) {
      const uint32_t x0 = 2 * x;
      const uint32_t x1 = x0 + step;
      out[x] = {(((a[x0].r + a[x1].r) + b[x0].r) + b[x1].r) * 0.25f,
                (((a[x0].g + a[x1].g) + b[x0].g) + b[x1].g) * 0.25f,
                (((a[x0].b + a[x1].b) + b[x0].b) + b[x1].b) * 0.25f,
                (((a[x0].a + a[x1].a) + b[x0].a) + b[x1].a) * 0.25f};
    }
    dst.EncodeRow(y, 0, out);
  }
  return D3D_OK;
}

HRESULT ImageBlitter::ResampleBox3D() {
  if (!AcceptHalving(true)) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;

  auto dstRow = AllocateArray<FloatColor>(dst.width);
  if (!dstRow) return E_OUTOFMEMORY;
  const bool tall = src.height > 1;
  auto srcRows = AllocateArray<FloatColor>((tall ? 4u : 2u) * static_cast<size_t>(src.width));
  if (!srcRows) return E_OUTOFMEMORY;
  // Row 2y of slices 2z and 2z+1, then row 2y+1 of both; a one-row source reuses the first.
  FloatColor* r00 = srcRows.get();
  FloatColor* r01 = r00 + src.width;
  FloatColor* r10 = tall ? r01 + src.width : r00;
  FloatColor* r11 = tall ? r10 + src.width : r01;
  const uint32_t step = src.width == 1 ? 0 : 1;

  for (uint32_t z = 0; z < dst.depth; ++z) {
    for (uint32_t y = 0; y < dst.height; ++y) {
      src.DecodeRow(2 * y, 2 * z, r00);
      src.DecodeRow(2 * y, 2 * z + 1, r01);
      if (tall) {
        src.DecodeRow(2 * y + 1, 2 * z, r10);
        src.DecodeRow(2 * y + 1, 2 * z + 1, r11);
      }
      FloatColor* out = dstRow.get();
      for (uint32_t x = 0; x < dst.width; ++x) {
        const uint32_t x0 = 2 * x;
        const uint32_t x1 = x0 + step;
        auto mean = [&](float FloatColor::*c) {
          return (((((((r00[x1].*c + r00[x0].*c) + r01[x0].*c) + r01[x1].*c) + r10[x0].*c) +
                     r10[x1].*c) +
                    r11[x0].*c) +
                   r11[x1].*c) *
                 0.125f;
        };
        out[x] = {mean(&FloatColor::r), mean(&FloatColor::g), mean(&FloatColor::b),
                  mean(&FloatColor::a)};
      }
      dst.EncodeRow(y, z, out);
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
