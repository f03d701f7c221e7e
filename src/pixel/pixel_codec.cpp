#include "pixel/pixel_codec.h"

#include <cstring>

#include "pixel/allocation.h"
#include "pixel/codec_support.h"
#include "pixel/format_table.h"

namespace vellomir {

const float FlatDitherTable[4][8] = {
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
};

// Thresholds in 1/32 steps; every 2x2 neighbourhood averages about one half.
const float OrderedDitherTable[4][8] = {
    {0.96875f, 0.46875f, 0.84375f, 0.34375f, 0.96875f, 0.46875f, 0.84375f, 0.34375f},
    {0.21875f, 0.71875f, 0.09375f, 0.59375f, 0.21875f, 0.71875f, 0.09375f, 0.59375f},
    {0.78125f, 0.28125f, 0.90625f, 0.40625f, 0.78125f, 0.28125f, 0.90625f, 0.40625f},
    {0.03125f, 0.53125f, 0.15625f, 0.65625f, 0.03125f, 0.53125f, 0.15625f, 0.65625f},
};

PixelCodec::PixelCodec(const ImageDesc& desc, uint32_t bitsPerPixel, ChannelRange codecRange)
    : format(desc.format),
      range(codecRange),
      rebased(bitsPerPixel != 0),
      colorKey(desc.colorKey),
      palettized(desc.format == D3DFMT_P8 || desc.format == D3DFMT_A8P8),
      bits(static_cast<uint8_t*>(desc.bits)),
      keyColor{0, 0, 0, 0},
      ditherTable(desc.dither != 0 ? OrderedDitherTable : FlatDitherTable),
      palette{},
      box(desc.region),
      sourceRange(static_cast<ChannelRange>(0)),
      rowPitch(desc.rowPitch),
      slicePitch(desc.slicePitch),
      width(desc.region.Right - desc.region.Left),
      height(desc.region.Bottom - desc.region.Top),
      depth(desc.region.Back - desc.region.Front),
      bytesPerRow(0),
      bytesPerPixel(bitsPerPixel / 8) {
  if (colorKey != 0) {
    keyColor = {static_cast<float>((colorKey >> 16) & 0xFF) * codec::kInv255,
                static_cast<float>((colorKey >> 8) & 0xFF) * codec::kInv255,
                static_cast<float>(colorKey & 0xFF) * codec::kInv255,
                static_cast<float>(colorKey >> 24) * codec::kInv255};
  }
  if (palettized) {
    for (int i = 0; i < 256; ++i) {
      if (desc.palette != nullptr) {
        const PALETTEENTRY& e = desc.palette[i];
        palette[i] = {e.peRed * codec::kInv255, e.peGreen * codec::kInv255,
                      e.peBlue * codec::kInv255, e.peFlags * codec::kInv255};
      } else {
        palette[i] = {1, 1, 1, 1};
      }
    }
  }
  bytesPerRow = bytesPerPixel * width;
  if (rebased) {
    if (bits != nullptr) {
      bits += static_cast<size_t>(bytesPerPixel) * desc.region.Left +
              static_cast<size_t>(rowPitch) * desc.region.Top +
              static_cast<size_t>(slicePitch) * desc.region.Front;
    }
    box = {0, 0, width, height, 0, depth};
  }
}

PixelCodec::~PixelCodec() = default;

void PixelCodec::DecodeRow(uint32_t, uint32_t, FloatColor*) {}
void PixelCodec::EncodeRow(uint32_t, uint32_t, const FloatColor*) {}

void PixelCodec::PrepareColorKey() {
  // Round-trip the key through this format's own encoder and decoder, one pixel in a scratch
  // buffer, so it becomes bit-for-bit what a decoded pixel of that colour is.
  alignas(8) uint8_t scratch[8] = {};
  const uint32_t savedWidth = width;
  const uint32_t savedBytesPerRow = bytesPerRow;
  uint8_t* const savedBits = bits;
  const float(*const savedDither)[8] = ditherTable;
  const uint32_t savedKey = colorKey;
  // The key is already brought into this codec's range below; a conversion prepared for a
  // source must not be applied to it a second time.
  const ChannelRange savedSourceRange = sourceRange;

  width = 1;
  bytesPerRow = bytesPerPixel;
  bits = scratch;
  ditherTable = FlatDitherTable;
  colorKey = 0;
  sourceRange = static_cast<ChannelRange>(0);

  if (range != Unsigned) keyColor = ConvertColorRange(keyColor, Unsigned, range);
  FloatColor key = keyColor;
  EncodeRow(0, 0, &key);
  DecodeRow(0, 0, &key);
  keyColor = key;

  width = savedWidth;
  bytesPerRow = savedBytesPerRow;
  bits = savedBits;
  ditherTable = savedDither;
  colorKey = savedKey;
  sourceRange = savedSourceRange;
}

HRESULT PixelCodec::PrepareRangeConversion(const PixelCodec& source) {
  if (source.range == range) return S_OK;
  std::unique_ptr<FloatColor[]> buffer = AllocateArray<FloatColor>(width);
  if (!buffer) return E_OUTOFMEMORY;
  conversionBuffer = std::move(buffer);
  sourceRange = source.range;
  return S_OK;
}

FloatColor ConvertColorRange(const FloatColor& c, ChannelRange from, ChannelRange to) {
  const auto toUnsigned = [](float x) { return (x + 1.0f) * 0.5f; };
  const auto toSigned = [](float x) { return x * 2.0f - 1.0f; };
  FloatColor out = c;
  if (from == to) return out;
  switch (to) {
    case Unsigned:
      out.r = toUnsigned(c.r);
      out.g = toUnsigned(c.g);
      out.b = toUnsigned(c.b);
      if (from == SignedRgba) out.a = toUnsigned(c.a);
      break;
    case SignedRgb:
      if (from == Unsigned) {
        out.r = toSigned(c.r);
        out.g = toSigned(c.g);
        out.b = toSigned(c.b);
      } else {  // SignedRgba: only alpha leaves the signed range
        out.a = toUnsigned(c.a);
      }
      break;
    case SignedRgba:
      if (from == Unsigned) {
        out.r = toSigned(c.r);
        out.g = toSigned(c.g);
        out.b = toSigned(c.b);
      }
      out.a = toSigned(c.a);
      break;
  }
  return out;
}

const FloatColor* PixelCodec::ConvertRange(const FloatColor* row) {
  FloatColor* out = conversionBuffer.get();
  const uint32_t n = width;
  const ChannelRange from = sourceRange;
  const ChannelRange to = range;
  for (uint32_t x = 0; x < n; ++x) out[x] = ConvertColorRange(row[x], from, to);
  return out;
}

void PixelCodec::ApplyColorKey(FloatColor* row) const {
  const FloatColor k = keyColor;
  const uint32_t n = width;
  for (uint32_t x = 0; x < n; ++x) {
    FloatColor& c = row[x];
    if (c.r == k.r && c.g == k.g && c.b == k.b && c.a == k.a) c = {0, 0, 0, 0};
  }
}

namespace {

// The block-compressed formats get their codec here once it exists; until then they have none.
constexpr CodecMaker kDxtMaker = nullptr;

struct FactoryRow {
  uint32_t format;
  CodecMaker make;
};

constexpr FactoryRow kFactory[] = {
    {D3DFMT_R8G8B8, MakeR8G8B8Codec},
    {D3DFMT_A8R8G8B8, MakeA8R8G8B8Codec},
    {D3DFMT_X8R8G8B8, MakeX8R8G8B8Codec},
    {D3DFMT_R5G6B5, MakeR5G6B5Codec},
    {D3DFMT_X1R5G5B5, MakeX1R5G5B5Codec},
    {D3DFMT_A1R5G5B5, MakeA1R5G5B5Codec},
    {D3DFMT_A4R4G4B4, MakeA4R4G4B4Codec},
    {D3DFMT_A8R3G3B2, MakeA8R3G3B2Codec},
    {D3DFMT_X4R4G4B4, MakeX4R4G4B4Codec},
    {D3DFMT_A8P8, MakeA8P8Codec},
    {D3DFMT_A8L8, MakeA8L8Codec},
    {D3DFMT_R3G3B2, MakeR3G3B2Codec},
    {D3DFMT_A8, MakeA8Codec},
    {D3DFMT_P8, MakeP8Codec},
    {D3DFMT_L8, MakeL8Codec},
    {D3DFMT_A4L4, MakeA4L4Codec},
    {D3DFMT_A2B10G10R10, MakeA2B10G10R10Codec},
    {D3DFMT_G16R16, MakeG16R16Codec},
    {D3DFMT_V8U8, MakeV8U8Codec},
    {D3DFMT_L6V5U5, MakeL6V5U5Codec},
    {D3DFMT_X8L8V8U8, MakeX8L8V8U8Codec},
    {D3DFMT_V16U16, MakeV16U16Codec},
    {D3DFMT_W11V11U10, MakeW11V11U10Codec},
    {D3DFMT_A2W10V10U10, MakeA2W10V10U10Codec},
    {D3DFMT_Q8W8V8U8, MakeQ8W8V8U8Codec},
    {D3DFMT_D16_LOCKABLE, MakeL16Codec},
    {FMT_L16, MakeL16Codec},
    {FMT_A16L16, MakeA16L16Codec},
    {FMT_R16G16B16, MakeR16G16B16Codec},
    {FMT_A16R16G16B16, MakeA16R16G16B16Codec},
    {D3DFMT_DXT1, kDxtMaker},
    {D3DFMT_DXT2, kDxtMaker},
    {D3DFMT_DXT3, kDxtMaker},
    {D3DFMT_DXT4, kDxtMaker},
    {D3DFMT_DXT5, kDxtMaker},
    {D3DFMT_UYVY, MakeYuvCodec},
    {D3DFMT_YUY2, MakeYuvCodec},
};

}  // namespace

std::unique_ptr<PixelCodec> CreatePixelCodec(const ImageDesc& desc) {
  for (const FactoryRow& row : kFactory) {
    if (row.format != desc.format) continue;
    if (row.make == nullptr) return nullptr;
    std::unique_ptr<PixelCodec> codec = row.make(desc);
    if (codec && desc.colorKey != 0) codec->PrepareColorKey();
    return codec;
  }
  return nullptr;
}

}  // namespace vellomir
