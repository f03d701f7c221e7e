// The methods that do not resample: raw row copies, raw block-row copies and row conversion.
#include <cstring>

#include "blit/image_blitter.h"
#include "pixel/allocation.h"

namespace vellomir {

HRESULT ImageBlitter::CopyIdentical() {
  const PixelCodec& src = *source_;
  const PixelCodec& dst = *destination_;
  if (src.format != dst.format || src.colorKey != 0 || !SameSize()) return E_FAIL;
  if (!dst.rebased) return CopyIdenticalBlocks();
  if (dst.palettized &&
      std::memcmp(src.palette, dst.palette, sizeof(src.palette)) != 0) {
    return E_FAIL;
  }
  for (uint32_t z = 0; z < dst.depth; ++z) {
    const uint8_t* s = src.bits + static_cast<size_t>(z) * src.slicePitch;
    uint8_t* d = dst.bits + static_cast<size_t>(z) * dst.slicePitch;
    for (uint32_t y = 0; y < dst.height; ++y) {
      std::memmove(d, s, dst.bytesPerRow);
      s += src.rowPitch;
      d += dst.rowPitch;
    }
  }
  return D3D_OK;
}

namespace {

// Bytes of one 4x4 block, or 0 for a format that is not block-compressed.
uint32_t BlockBytes(uint32_t format) {
  switch (format) {
    case D3DFMT_DXT1:
      return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      return 16;
    default:
      return 0;
  }
}

bool BlockAligned(const D3DBOX& b) {
  return ((b.Left | b.Top | b.Right | b.Bottom) & 3) == 0;
}

// First byte of the block at the region's top-left corner (box in absolute coordinates).
const uint8_t* BlockStart(const PixelCodec& c, uint32_t blockBytes) {
  return c.bits + static_cast<size_t>(c.box.Top / 4) * c.rowPitch +
         static_cast<size_t>(c.box.Front) * c.slicePitch +
         static_cast<size_t>(blockBytes) * (c.box.Left / 4);
}

}  // namespace

HRESULT ImageBlitter::CopyIdenticalBlocks() {
  const PixelCodec& src = *source_;
  const PixelCodec& dst = *destination_;
  if (!BlockAligned(src.box) || !BlockAligned(dst.box)) return E_FAIL;
  const uint32_t blockBytes = BlockBytes(dst.format);
  if (blockBytes == 0) return E_FAIL;

  const uint8_t* srcSlice = BlockStart(src, blockBytes);
  uint8_t* dstSlice = const_cast<uint8_t*>(BlockStart(dst, blockBytes));
  const size_t rowBytes = static_cast<size_t>(blockBytes) * (dst.width / 4);
  for (uint32_t z = 0; z < dst.depth; ++z) {
    const uint8_t* s = srcSlice;
    uint8_t* d = dstSlice;
    for (uint32_t y = 0; y < dst.height; y += 4) {
      std::memmove(d, s, rowBytes);
      s += src.rowPitch;
      d += dst.rowPitch;
    }
    srcSlice += src.slicePitch;
    dstSlice += dst.slicePitch;
  }
  return D3D_OK;
}

HRESULT ImageBlitter::ConvertRows() {
  if (!SameSize()) return E_FAIL;
  auto row = AllocateArray<FloatColor>(destination_->width);
  if (!row) return E_FAIL;
  for (uint32_t z = 0; z < destination_->depth; ++z) {
    for (uint32_t y = 0; y < destination_->height; ++y) {
      source_->DecodeRow(y, z, row.get());
      destination_->EncodeRow(y, z, row.get());
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
