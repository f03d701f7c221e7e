// Bounds-checked little-endian field access and size arithmetic shared by the image readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "pixel/allocation.h"
#include "texture/loaded_image.h"

namespace vellomir::detail {

// A read-only view of the bytes a reader may look at. Every accessor checks the remaining
// count: a field that does not fit is reported instead of read.
struct ByteView {
  const uint8_t* data;
  size_t size;

  bool Has(size_t offset, size_t count) const { return offset <= size && count <= size - offset; }
  bool U8(size_t offset, uint8_t* out) const {
    if (!Has(offset, 1)) return false;
    *out = data[offset];
    return true;
  }
  bool U16(size_t offset, uint16_t* out) const {
    if (!Has(offset, 2)) return false;
    *out = static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
    return true;
  }
  bool U32(size_t offset, uint32_t* out) const {
    if (!Has(offset, 4)) return false;
    *out = static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
           (static_cast<uint32_t>(data[offset + 2]) << 16) |
           (static_cast<uint32_t>(data[offset + 3]) << 24);
    return true;
  }
};

// a * b when the product fits below `limit`, else false.
inline bool MultiplyWithin(uint64_t a, uint64_t b, uint64_t limit, uint64_t* out) {
  if (a != 0 && b > limit / a) return false;
  *out = a * b;
  return true;
}

// Allocates an owned pixel buffer of `bytes` for `image`; false when the size is above the
// decoded-image limit or memory runs out.
inline bool AllocateOwnedBits(LoadedImage* image, uint64_t bytes) {
  if (bytes > kMaxDecodedImageBytes) return false;
  std::unique_ptr<uint8_t[]> buffer = AllocateArray<uint8_t>(static_cast<size_t>(bytes));
  if (!buffer) return false;
  image->bits = buffer.release();
  image->ownsBits = 1;
  return true;
}

// A 256-entry owned palette, every byte 255 (opaque white), or null when memory runs out.
inline PALETTEENTRY* AllocateOwnedPalette(LoadedImage* image) {
  std::unique_ptr<PALETTEENTRY[]> palette = AllocateArray<PALETTEENTRY>(256);
  if (!palette) return nullptr;
  std::memset(palette.get(), 0xFF, 256 * sizeof(PALETTEENTRY));
  image->palette = palette.release();
  image->ownsPalette = 1;
  return image->palette;
}

}  // namespace vellomir::detail
