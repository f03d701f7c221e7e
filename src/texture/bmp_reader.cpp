// BMP files and bare device-independent bitmaps. Palettized bitmaps become P8 with one byte per
// pixel, run-length data is expanded, rows are turned top-down; top-down bitmaps of 8 bits or
// more are used in place.
#include <algorithm>
#include <cstring>

#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

constexpr uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kMaskHeaderBytes = 108;  // headers this long carry all four masks

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

struct BitFieldRow {
  uint32_t bitCount;
  uint32_t red, green, blue, alpha;
  uint32_t format;
};

// Exact matches only; rows with an alpha mask can only match the long headers.
constexpr BitFieldRow kBitFieldFormats[] = {
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
    {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
    {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
    {16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},
    {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
    {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10},
    {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
};

// Expands run-length data into `pixels` (rowPitch x height bytes, rows top-down), one byte per
// pixel. The picture is stored bottom-up, so decoding starts at the last image row.
//
// Hostile data is handled without reading past `src` or writing past the buffer:
// - pixels of a run or an absolute run beyond the end of the row (`rowLimit` bytes) are
//   dropped; the write position still advances, as the codes say;
// - a delta that moves past the row end just leaves the position there (nothing more is
//   written on that row until an end of line);
// - moving above the top row ends decoding, as does data that ends without an end-of-bitmap
//   code: what was decoded so far is the picture, and unwritten pixels stay 0 (the buffer is
//   cleared first). A code cut off in the middle (a missing second byte, delta or absolute
//   bytes) likewise ends decoding at the last complete code.
void DecodeRle(const uint8_t* src, size_t srcSize, bool fourBit, uint8_t* pixels,
               uint32_t rowPitch, uint32_t height, uint32_t rowLimit) {
  size_t in = 0;
  uint64_t row = height - 1;  // image row being written; decoding stops when it goes above 0
  uint64_t x = 0;
  auto put = [&](uint8_t value) {
    if (x < rowLimit) pixels[row * rowPitch + x] = value;
    ++x;
  };
  while (srcSize - in >= 2) {
    const uint8_t first = src[in];
    const uint8_t second = src[in + 1];
    in += 2;
    if (first > 0) {
      for (uint32_t i = 0; i < first; ++i) {
        if (fourBit)
          put((i & 1) ? (second & 0x0F) : (second >> 4));
        else
          put(second);
      }
      continue;
    }
    if (second == 0) {  // end of line
      if (row == 0) return;
      --row;
      x = 0;
    } else if (second == 1) {  // end of bitmap
      return;
    } else if (second == 2) {  // delta
      if (srcSize - in < 2) return;
      const uint8_t dx = src[in];
      const uint8_t dy = src[in + 1];
      in += 2;
      if (dy > row) return;
      row -= dy;
      x += dx;
    } else {  // absolute run of `second` pixels
      const uint32_t count = second;
      const size_t dataBytes = fourBit ? (count + 1) / 2 : count;
      const size_t padded = dataBytes + (dataBytes & 1);
      if (srcSize - in < dataBytes) return;
      for (uint32_t i = 0; i < count; ++i) {
        if (fourBit) {
          const uint8_t byte = src[in + i / 2];
          put((i & 1) ? (byte & 0x0F) : (byte >> 4));
        } else {
          put(src[in + i]);
        }
      }
      in += std::min(padded, srcSize - in);
    }
  }
}

}  // namespace

HRESULT ReadBmp(LoadedImage* image, const void* data, uint32_t size) {
  const detail::ByteView file{static_cast<const uint8_t*>(data), size};
  uint16_t type = 0;
  uint32_t fileSize = 0;
  if (size < kFileHeaderBytes || !file.U16(0, &type) || type != kBmpSignature) return E_FAIL;
  file.U32(2, &fileSize);
  if (fileSize > size) return E_FAIL;
  return ReadDib(image, file.data + kFileHeaderBytes, size - kFileHeaderBytes);
}

HRESULT ReadDib(LoadedImage* image, const void* data, uint32_t size) {
  const detail::ByteView dib{static_cast<const uint8_t*>(data), size};
  uint32_t headerSize = 0, rawWidth = 0, rawHeight = 0, compression = 0, clrUsed = 0;
  uint16_t planes = 0, bitCount = 0;
  if (size < kInfoHeaderBytes) return E_FAIL;
  dib.U32(0, &headerSize);
  if (headerSize < kInfoHeaderBytes) return E_FAIL;
  dib.U32(4, &rawWidth);
  dib.U32(8, &rawHeight);
  dib.U16(12, &planes);
  dib.U16(14, &bitCount);
  dib.U32(16, &compression);
  dib.U32(32, &clrUsed);

  uint64_t entries = clrUsed;
  if (bitCount <= 8 && entries == 0) entries = uint64_t{1} << bitCount;
  const bool masksFollowHeader = compression == BI_BITFIELDS && headerSize < kMaskHeaderBytes;
  const uint64_t tableStart = uint64_t{headerSize} + (masksFollowHeader ? 12 : 0);
  const uint64_t pixelStart = tableStart + 4 * entries;
  if (size < pixelStart || planes != 1) return E_FAIL;

  const int32_t signedHeight = static_cast<int32_t>(rawHeight);
  const bool topDown = signedHeight < 0;
  if (topDown && compression != BI_RGB && compression != BI_BITFIELDS) return E_FAIL;

  uint32_t format = 0;
  if (compression == BI_RGB || compression == BI_RLE8 || compression == BI_RLE4) {
    switch (bitCount) {
      case 1:
      case 4:
      case 8: format = D3DFMT_P8; break;
      case 16: format = D3DFMT_X1R5G5B5; break;
      case 24: format = D3DFMT_R8G8B8; break;
      case 32: format = D3DFMT_X8R8G8B8; break;
      default: return E_FAIL;
    }
  } else if (compression == BI_BITFIELDS) {
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
    if (headerSize >= kMaskHeaderBytes) {
      dib.U32(40, &red);
      dib.U32(44, &green);
      dib.U32(48, &blue);
      dib.U32(52, &alpha);
    } else {
      dib.U32(headerSize, &red);
      dib.U32(headerSize + 4, &green);
      dib.U32(headerSize + 8, &blue);
    }
    for (const BitFieldRow& row : kBitFieldFormats) {
      if (row.bitCount == bitCount && row.red == red && row.green == green &&
          row.blue == blue && row.alpha == alpha) {
        format = row.format;
        break;
      }
    }
    if (format == 0) return E_FAIL;
  } else {
    return E_NOTIMPL;  // embedded JPEG or PNG data, or an unknown compression
  }

  // A width that is zero or negative (read as signed) describes no buffer that can be formed.
  if (static_cast<int32_t>(rawWidth) <= 0 || rawHeight == 0) return E_FAIL;
  const uint64_t width = rawWidth;
  const uint64_t height = topDown ? uint64_t{0} - static_cast<int64_t>(signedHeight)
                                  : uint64_t{rawHeight};
  const bool indexed = bitCount <= 8;
  const uint64_t rowBytes = indexed ? width : width * (bitCount / 8);
  const uint64_t rowPitch = (rowBytes + 3) & ~uint64_t{3};
  uint64_t imageBytes = 0;
  if (!detail::MultiplyWithin(rowPitch, height, kMaxDecodedImageBytes, &imageBytes))
    return E_FAIL;

  // Uncompressed rows are checked against the data before anything is allocated: a bitmap
  // whose rows run past the end of the data is refused rather than read beyond it.
  const uint64_t storedRowBytes = bitCount == 1   ? (width + 7) / 8
                                  : bitCount == 4 ? (width + 1) / 2
                                                  : width * bitCount / 8;
  const uint64_t storedStride = (storedRowBytes + 3) & ~uint64_t{3};
  const bool runLength = compression == BI_RLE8 || compression == BI_RLE4;
  if (!runLength && storedStride * height > size - pixelStart) return E_FAIL;

  if (format == D3DFMT_P8) {
    PALETTEENTRY* palette = detail::AllocateOwnedPalette(image);
    if (!palette) return E_OUTOFMEMORY;
    const uint64_t used = std::min<uint64_t>(entries, 256);
    for (uint64_t i = 0; i < used; ++i) {
      const uint8_t* entry = dib.data + tableStart + 4 * i;  // blue, green, red, reserved
      palette[i] = PALETTEENTRY{entry[2], entry[1], entry[0], 255};
    }
  }

  image->format = format;
  image->width = static_cast<uint32_t>(width);
  image->rowPitch = static_cast<uint32_t>(rowPitch);
  image->slicePitch = 0;
  image->height = static_cast<uint32_t>(height);
  image->depth = 1;

  const uint8_t* rows = dib.data + pixelStart;
  if (topDown && bitCount >= 8) {
    image->bits = const_cast<uint8_t*>(rows);  // stored stride equals rowPitch here
    image->ownsBits = 0;
    return D3D_OK;
  }

  if (!detail::AllocateOwnedBits(image, imageBytes)) return E_OUTOFMEMORY;
  uint8_t* pixels = image->bits;

  if (runLength) {
    std::memset(pixels, 0, static_cast<size_t>(imageBytes));
    // A run-length compression paired with another bit count is decoded as if it matched;
    // the rows keep the size the header's bit count gives them.
    const uint64_t rowLimit = indexed ? width : rowPitch;
    DecodeRle(rows, size - pixelStart, compression == BI_RLE4, pixels, image->rowPitch,
              image->height, static_cast<uint32_t>(rowLimit));
    return D3D_OK;
  }

  for (uint64_t stored = 0; stored < height; ++stored) {
    const uint8_t* in = rows + stored * storedStride;
    uint8_t* out = pixels + (topDown ? stored : height - 1 - stored) * rowPitch;
    if (bitCount == 1) {
      for (uint64_t i = 0; i < width; ++i) out[i] = (in[i / 8] >> (7 - i % 8)) & 1;
    } else if (bitCount == 4) {
      for (uint64_t i = 0; i < width; ++i)
        out[i] = (i & 1) ? (in[i / 2] & 0x0F) : (in[i / 2] >> 4);
    } else {
      std::memcpy(out, in, static_cast<size_t>(storedRowBytes));
    }
    // The padding at the end of each row is cleared so that no byte of the buffer is left
    // undefined.
    std::memset(out + rowBytes, 0, static_cast<size_t>(rowPitch - rowBytes));
  }
  return D3D_OK;
}

}  // namespace vellomir
