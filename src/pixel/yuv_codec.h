// The codec of the packed 4:2:2 formats D3DFMT_UYVY and D3DFMT_YUY2.
#pragma once

#include <cstdint>
#include <memory>

#include "pixel/pixel_codec.h"

namespace vellomir {

// Two horizontally neighbouring pixels share one chroma pair, so a pixel cannot be read or
// written alone. The codec holds one row of whole pairs (from the region's Left rounded down
// to even to its Right rounded up to even) as FloatColor. Encoded rows are written back when
// another row becomes current or when the codec is destroyed.
// Not rebased: bits stays at the image origin and box keeps absolute coordinates.
class YuvCodec final : public PixelCodec {
 public:
  explicit YuvCodec(const ImageDesc& desc);
  ~YuvCodec() override;

  void DecodeRow(uint32_t y, uint32_t z, FloatColor* row) override;
  void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row) override;
  // The key stays unreduced: it matches only pixels that convert to exact 1/255 steps.
  void PrepareColorKey() override {}

 private:
  // Makes absolute row j of absolute slice k current, writing back the previous one; reads
  // and converts it from memory when `read`. S_OK or E_OUTOFMEMORY (no pair buffer).
  HRESULT FetchRow(uint32_t j, uint32_t k, bool read);
  // Converts the buffered row back to YUV and stores it, if it holds unwritten pixels.
  void CommitRow();

  std::unique_ptr<FloatColor[]> pairBuffer;  // bufferWidth entries
  uint32_t pairLeft;                         // region Left rounded down to even
  uint32_t cachedRowFirst = 0;  // absolute row held in the buffer; [first, end) is empty
  uint32_t pairRight;           // region Right rounded up to even
  uint32_t cachedRowEnd = 0;
  uint32_t cachedSliceFirst = 0;  // absolute slice of the buffered row
  uint32_t cachedSliceEnd = 0;
  uint32_t bufferWidth;  // pairRight - pairLeft
  bool dirty = false;    // buffer holds encoded pixels not yet written back
  bool valid;            // the pair buffer exists
  uint32_t lumaShift;    // bit position of Y within each 16-bit word
  uint32_t chromaShift;  // bit position of U (first word) or V (second word)
};

}  // namespace vellomir
