#include "pixel/yuv_codec.h"

#include "pixel/allocation.h"
#include "pixel/codec_support.h"

namespace vellomir {

using codec::FloorToInt;
using codec::Load16;
using codec::Store16;

namespace {

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

inline uint32_t ClampByte(int32_t v) {
  return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Round half up.
inline int32_t Nearest(float v) { return FloorToInt(v + 0.5f); }

}  // namespace

YuvCodec::YuvCodec(const ImageDesc& desc)
    : PixelCodec(desc, 0, Unsigned),
      pairLeft(desc.region.Left & ~1u),
      pairRight((desc.region.Right + 1) & ~1u),
      bufferWidth(0),
      valid(false),
      lumaShift(desc.format == D3DFMT_UYVY ? 8 : 0),
      chromaShift(desc.format == D3DFMT_UYVY ? 0 : 8) {
  bufferWidth = pairRight - pairLeft;
  pairBuffer = AllocateArray<FloatColor>(bufferWidth);
  valid = pairBuffer != nullptr;
}

YuvCodec::~YuvCodec() { CommitRow(); }

HRESULT YuvCodec::FetchRow(uint32_t j, uint32_t k, bool read) {
  if (!valid) return E_OUTOFMEMORY;
  if (j >= cachedRowFirst && j < cachedRowEnd && k >= cachedSliceFirst && k < cachedSliceEnd)
    return S_OK;
  CommitRow();
  cachedRowFirst = j;
  cachedRowEnd = j + 1;
  cachedSliceFirst = k;
  cachedSliceEnd = k + 1;
  if (!read) return S_OK;

  // BT.601 studio range back to RGB in [0, 1]: luma over 219 steps, chroma around 128.
  const uint8_t* line =
      bits + static_cast<size_t>(j) * rowPitch + static_cast<size_t>(k) * slicePitch;
  FloatColor* out = pairBuffer.get();
  for (uint32_t x = pairLeft; x < pairRight; x += 2, out += 2) {
    const uint32_t w0 = Load16(line + 2 * static_cast<size_t>(x));
    const uint32_t w1 = Load16(line + 2 * static_cast<size_t>(x) + 2);
    const int32_t y0 = static_cast<int32_t>((w0 >> lumaShift) & 0xFF);
    const int32_t y1 = static_cast<int32_t>((w1 >> lumaShift) & 0xFF);
    const float u = static_cast<float>(static_cast<int32_t>((w0 >> chromaShift) & 0xFF) - 128);
    const float v = static_cast<float>(static_cast<int32_t>((w1 >> chromaShift) & 0xFF) - 128);
    const float l0 = static_cast<float>(y0 - 16) * 0.00456621f;
    const float l1 = static_cast<float>(y1 - 16) * 0.00456621f;
    const float dr = v * 0.00625893f;
    const float db = u * 0.00791071f;
    out[0] = {Clamp01(l0 + dr), Clamp01(l0 - u * 0.00153632f - v * 0.00318811f), Clamp01(l0 + db),
              1.0f};
    out[1] = {Clamp01(l1 + dr), Clamp01(l1 - u * 0.00153632f - v * 0.00318811f), Clamp01(l1 + db),
              1.0f};
  }
  return S_OK;
}

void YuvCodec::CommitRow() {
  if (!dirty || !valid) return;
  uint8_t* line = bits + static_cast<size_t>(cachedRowFirst) * rowPitch +
                  static_cast<size_t>(cachedSliceFirst) * slicePitch;
  const FloatColor* in = pairBuffer.get();
  for (uint32_t x = pairLeft; x < pairRight; x += 2, in += 2) {
    const FloatColor& p0 = in[0];
    const FloatColor& p1 = in[1];
    // Chroma comes from the even pixel alone; the odd pixel contributes only its luma.
    const uint32_t y0 = ClampByte(Nearest(p0.r * 65.481f + p0.g * 128.553f + p0.b * 24.966f) + 16);
    const uint32_t u = ClampByte(Nearest(p0.b * 112.0f - p0.g * 74.203f - p0.r * 37.797f) + 128);
    const uint32_t y1 = ClampByte(Nearest(p1.r * 65.481f + p1.g * 128.553f + p1.b * 24.966f) + 16);
    const uint32_t v = ClampByte(Nearest(p0.r * 112.0f - p0.g * 93.786f - p0.b * 18.214f) + 128);
    Store16(line + 2 * static_cast<size_t>(x), (y0 << lumaShift) | (u << chromaShift));
    Store16(line + 2 * static_cast<size_t>(x) + 2, (y1 << lumaShift) | (v << chromaShift));
  }
  dirty = false;
}

void YuvCodec::DecodeRow(uint32_t y, uint32_t z, FloatColor* row) {
  // An empty row reads nothing, even where its column lies inside a pixel pair.
  if (width == 0) return;
  if (FetchRow(y + box.Top, z + box.Front, true) != S_OK) return;
  const FloatColor* from = pairBuffer.get() + (box.Left - pairLeft);
  const uint32_t n = width;
  for (uint32_t x = 0; x < n; ++x) row[x] = from[x];
  if (colorKey != 0) ApplyColorKey(row);
}

void YuvCodec::EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) {
  // An empty row writes nothing: at an odd column it would otherwise mark the pair around it
  // dirty and store it re-encoded (and so altered) from its decoded value.
  if (width == 0) return;
  if (sourceRange != 0) row = ConvertRange(row);
  // An odd edge leaves a pixel outside the region inside an edge pair; read the row first
  // so that pixel keeps its current value.
  if (FetchRow(y + box.Top, z + box.Front, bufferWidth != width) != S_OK) return;
  FloatColor* to = pairBuffer.get() + (box.Left - pairLeft);
  const uint32_t n = width;
  for (uint32_t x = 0; x < n; ++x) to[x] = row[x];
  dirty = true;
}

std::unique_ptr<PixelCodec> MakeYuvCodec(const ImageDesc& desc) {
  return AllocateObject<YuvCodec>(desc);
}

}  // namespace vellomir
