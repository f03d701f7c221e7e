// FilterLinear: two taps per axis, weights computed once per axis, source rows decoded on
// demand and kept (by swapping buffers) while consecutive destination rows need them.
#include "blit/linear_filter.h"

#include <cmath>
#include <utility>

#include "blit/image_blitter.h"
#include "pixel/allocation.h"

namespace vellomir {

std::unique_ptr<LinearTap[]> BuildLinearTaps(uint32_t dst, uint32_t src, int wrap) {
  if (src == 0) return nullptr;
  auto taps = AllocateArray<LinearTap>(dst);
  if (!taps) return nullptr;
  const float scale = static_cast<float>(src) / static_cast<float>(dst);
  const int32_t last = static_cast<int32_t>(src) - 1;
  for (uint32_t i = 0; i < dst; ++i) {
    const float pos = static_cast<float>(i) * scale - 0.5f;
    // floorf is exact and independent of the rounding mode; the integral result converts
    // exactly, so the caller's floating-point mode is neither used nor changed.
    const float k = std::floor(pos);
    const float frac = pos - k;
    const int32_t ki = static_cast<int32_t>(k);
    LinearTap& t = taps[i];
    t.i0 = ki;
    t.i1 = ki + 1;
    if (ki < 0) t.i0 = wrap ? last : 0;
    if (ki + 1 > last) t.i1 = wrap ? 0 : last;
    // pos stays below src - 0.5, so i0 cannot pass the last sample; keep it inside regardless.
    if (t.i0 > last) t.i0 = last;
    t.w0 = 1.0f - frac;
    t.w1 = 1.0f - t.w0;
  }
  return taps;
}

namespace {

// u0 * row[j0] + u1 * row[j1], channel by channel.
inline FloatColor Horizontal(const FloatColor* row, const LinearTap& t) {
  const FloatColor& a = row[t.i0];
  const FloatColor& b = row[t.i1];
  return {t.w0 * a.r + t.w1 * b.r, t.w0 * a.g + t.w1 * b.g, t.w0 * a.b + t.w1 * b.b,
          t.w0 * a.a + t.w1 * b.a};
}

inline FloatColor Blend(const FloatColor& p, float wp, const FloatColor& q, float wq) {
  return {p.r * wp + q.r * wq, p.g * wp + q.g * wq, p.b * wp + q.b * wq, p.a * wp + q.a * wq};
}

}  // namespace

HRESULT ImageBlitter::ResampleLinear2D() {
  if (Kind() != FilterLinear) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;
  if (src.depth != 1 || dst.depth != 1) return E_FAIL;
  // An empty source axis has nothing to blend; the later methods decide what to do.
  if (src.width == 0 || src.height == 0) return E_FAIL;

  auto xTaps = BuildLinearTaps(dst.width, src.width, Wrap(FilterMirrorU));
  auto yTaps = BuildLinearTaps(dst.height, src.height, Wrap(FilterMirrorV));
  auto dstRow = AllocateArray<FloatColor>(dst.width);
  auto srcRows = AllocateArray<FloatColor>(2 * static_cast<size_t>(src.width));
  if (!xTaps || !yTaps || !dstRow || !srcRows) return E_OUTOFMEMORY;

  FloatColor* upperBuf = srcRows.get();
  FloatColor* lowerBuf = srcRows.get() + src.width;
  int32_t upper = -1;
  int32_t lower = -1;
  for (uint32_t y = 0; y < dst.height; ++y) {
    const LinearTap& ty = yTaps[y];
    if (ty.i0 != upper) {
      if (ty.i0 == lower) {
        std::swap(upperBuf, lowerBuf);
        upper = ty.i0;
        lower = -1;
      } else {
        src.DecodeRow(static_cast<uint32_t>(ty.i0), 0, upperBuf);
        upper = ty.i0;
      }
    }
    if (ty.i1 != lower) {
      src.DecodeRow(static_cast<uint32_t>(ty.i1), 0, lowerBuf);
      lower = ty.i1;
    }
    FloatColor* out = dstRow.get();
    for (uint32_t x = 0; x < dst.width; ++x) {
      const LinearTap& tx = xTaps[x];
      out[x] = Blend(Horizontal(upperBuf, tx), ty.w0, Horizontal(lowerBuf, tx), ty.w1);
    }
    dst.EncodeRow(y, 0, out);
  }
  return D3D_OK;
}

HRESULT ImageBlitter::ResampleLinear3D() {
  if (Kind() != FilterLinear) return E_FAIL;
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;
  if (src.width == 0 || src.height == 0 || src.depth == 0) return E_FAIL;

  auto xTaps = BuildLinearTaps(dst.width, src.width, Wrap(FilterMirrorU));
  auto yTaps = BuildLinearTaps(dst.height, src.height, Wrap(FilterMirrorV));
  auto zTaps = BuildLinearTaps(dst.depth, src.depth, Wrap(FilterMirrorW));
  auto dstRow = AllocateArray<FloatColor>(dst.width);
  auto srcRows = AllocateArray<FloatColor>(4 * static_cast<size_t>(src.width));
  if (!xTaps || !yTaps || !zTaps || !dstRow || !srcRows) return E_OUTOFMEMORY;

  // Near and far slice of the upper row, near and far slice of the lower row.
  FloatColor* u0 = srcRows.get();
  FloatColor* u1 = u0 + src.width;
  FloatColor* l0 = u1 + src.width;
  FloatColor* l1 = l0 + src.width;
  for (uint32_t z = 0; z < dst.depth; ++z) {
    const LinearTap& tz = zTaps[z];
    const uint32_t k0 = static_cast<uint32_t>(tz.i0);
    const uint32_t k1 = static_cast<uint32_t>(tz.i1);
    int32_t upper = -1;
    int32_t lower = -1;
    for (uint32_t y = 0; y < dst.height; ++y) {
      const LinearTap& ty = yTaps[y];
      if (ty.i0 != upper) {
        if (ty.i0 == lower) {
          std::swap(u0, l0);
          std::swap(u1, l1);
          upper = ty.i0;
          lower = -1;
        } else {
          src.DecodeRow(static_cast<uint32_t>(ty.i0), k0, u0);
          src.DecodeRow(static_cast<uint32_t>(ty.i0), k1, u1);
          upper = ty.i0;
        }
      }
      if (ty.i1 != lower) {
        src.DecodeRow(static_cast<uint32_t>(ty.i1), k0, l0);
        src.DecodeRow(static_cast<uint32_t>(ty.i1), k1, l1);
        lower = ty.i1;
      }
      FloatColor* out = dstRow.get();
      for (uint32_t x = 0; x < dst.width; ++x) {
        const LinearTap& tx = xTaps[x];
        const FloatColor near = Blend(Horizontal(u0, tx), ty.w0, Horizontal(l0, tx), ty.w1);
        const FloatColor far = Blend(Horizontal(u1, tx), ty.w0, Horizontal(l1, tx), ty.w1);
        out[x] = Blend(near, tz.w0, far, tz.w1);
      }
      dst.EncodeRow(y, z, out);
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
