// Row codecs: every conversion of pixels between formats passes through rows of FloatColor.
// A codec is bound to one region of one image in memory and one pixel format; it decodes a
// row of that region into FloatColor and encodes a row of FloatColor back. It also owns the
// policies that all formats share: colour keying (on decode), range conversion and ordered
// dithering (on encode), and the palette of the palettized formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pixel/float_color.h"
#include "platform/api/d3d8_types.h"

namespace vellomir {

// Value space of a codec's rows.
enum ChannelRange : uint32_t {
  Unsigned = 1,    // all four channels in [0, 1]
  SignedRgb = 2,   // r, g, b in [-1, 1), a in [0, 1]
  SignedRgba = 3,  // all four in [-1, 1)
};

// One region of pixel memory, as handed to the blitter for each side of a copy.
struct ImageDesc {
  void* bits;                   // pixel (0, 0, 0) of the image, not of the region
  uint32_t format;              // D3DFORMAT, or one of our own FMT_ codes
  uint32_t rowPitch;            // bytes between rows (between rows of 4x4 blocks for DXT)
  uint32_t slicePitch;          // bytes between slices; 0 for a single 2-D image
  D3DBOX bounds;                // the whole image (a 2-D image has Front 0, Back 1)
  D3DBOX region;                // the part to read or write, in the same absolute coordinates
  uint32_t dither;              // nonzero: dither when encoding into this image
  uint32_t colorKey;            // ARGB (alpha in bits 24-31); 0 means no colour key
  const PALETTEENTRY* palette;  // 256 entries (peFlags is alpha), or null
};

// Thresholds added before rounding down when encoding: 4 rows of 8 entries, indexed by
// [y mod 4][(z mod 4) + (x mod 4)]. The flat table rounds to nearest; the ordered table is a
// 4x4 Bayer-like pattern in 1/32 steps, written twice per row so the slice offset needs no wrap.
extern const float FlatDitherTable[4][8];
extern const float OrderedDitherTable[4][8];

class PixelCodec {
 public:
  virtual ~PixelCodec();

  // Fills row[0 .. width-1] with region row y (0 .. height-1) of slice z (0 .. depth-1),
  // both counted from the region's top and front; applies the colour key when one is set.
  virtual void DecodeRow(uint32_t y, uint32_t z, FloatColor* row);
  // Stores row[0 .. width-1] into the same place. The row is in the source codec's range
  // (see PrepareRangeConversion) and is not changed.
  virtual void EncodeRow(uint32_t y, uint32_t z, const FloatColor* row);
  // Reduces keyColor to exactly what a decoded pixel of this format looks like, so that
  // ApplyColorKey can compare with floating-point equality.
  virtual void PrepareColorKey();

  // Called on the destination codec with the source codec, once, before any row is encoded.
  // Returns S_OK or E_OUTOFMEMORY (then nothing changes).
  HRESULT PrepareRangeConversion(const PixelCodec& source);
  // Returns the conversion buffer filled with `row` converted from sourceRange to range.
  // Only valid while sourceRange is nonzero.
  const FloatColor* ConvertRange(const FloatColor* row);
  // Replaces every entry exactly equal to keyColor (all four channels) by transparent black.
  void ApplyColorKey(FloatColor* row) const;

  PixelCodec(const PixelCodec&) = delete;
  PixelCodec& operator=(const PixelCodec&) = delete;

  uint32_t format;                // the region's format
  ChannelRange range;             // value space of this codec's rows
  bool rebased;                   // bits and box are region-relative (nonzero bytes per pixel)
  uint32_t colorKey;              // the key as passed in; 0 = off
  bool palettized;                // D3DFMT_P8 or D3DFMT_A8P8
  uint8_t* bits;                  // region's first pixel when rebased, else the image origin
  FloatColor keyColor;            // the key as a colour; reduced by PrepareColorKey
  const float (*ditherTable)[8];  // FlatDitherTable or OrderedDitherTable
  FloatColor palette[256];        // palettized formats only
  D3DBOX box;                     // region; (0, 0, width, height, 0, depth) when rebased
  ChannelRange sourceRange;       // range of the rows EncodeRow receives; 0: no conversion
  std::unique_ptr<FloatColor[]> conversionBuffer;  // width entries while sourceRange != 0
  uint32_t rowPitch;
  uint32_t slicePitch;
  uint32_t width;          // region Right - Left (the box filter may shrink it in place)
  uint32_t height;         // region Bottom - Top
  uint32_t depth;          // region Back - Front
  uint32_t bytesPerRow;    // bytesPerPixel * width
  uint32_t bytesPerPixel;  // 0 for the YUV and DXT codecs

 protected:
  // Shared construction; bitsPerPixel 0 keeps bits at the image origin and the box absolute.
  PixelCodec(const ImageDesc& desc, uint32_t bitsPerPixel, ChannelRange range);

  // First byte of row y of slice z (region-relative; only meaningful when rebased).
  uint8_t* RowAddress(uint32_t y, uint32_t z) const {
    return bits + static_cast<size_t>(y) * rowPitch + static_cast<size_t>(z) * slicePitch;
  }
};

// Converts one colour between ranges, as ConvertRange does for each entry of a row.
FloatColor ConvertColorRange(const FloatColor& c, ChannelRange from, ChannelRange to);

// A new codec for the region's format, or null when the format has no codec or memory runs
// out. When the region has a colour key, the codec's PrepareColorKey has already run.
std::unique_ptr<PixelCodec> CreatePixelCodec(const ImageDesc& desc);

}  // namespace vellomir
