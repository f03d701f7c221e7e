// TGA files: colour-mapped, true-colour and greyscale, plain or run-length encoded, any origin.
// The format has no signature; a plausible header is all there is to recognise it by.
#include <cstring>

#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

constexpr uint32_t kHeaderBytes = 18;
constexpr uint8_t kImageTypeReservedBits = 0xF4;
constexpr uint8_t kRunLengthBit = 0x08;
constexpr uint8_t kRightToLeftBit = 0x10;
constexpr uint8_t kTopToBottomBit = 0x20;

uint32_t TgaFormat(uint8_t imageType, uint8_t colourMapType, uint8_t pixelDepth) {
  switch (imageType & 3) {
    case 1:
      return (colourMapType == 1 && pixelDepth == 8) ? uint32_t{D3DFMT_P8} : 0;
    case 2:
      switch (pixelDepth) {
        case 15: return D3DFMT_X1R5G5B5;
        case 16: return D3DFMT_A1R5G5B5;
        case 24: return D3DFMT_R8G8B8;
        case 32: return D3DFMT_A8R8G8B8;
        default: return 0;
      }
    case 3:
      return pixelDepth == 8 ? uint32_t{D3DFMT_L8} : 0;
    default:
      return 0;
  }
}

// A 5-bit channel widened to 8 bits: 0 stays 0, 31 becomes 255.
uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>(v * 8 + v / 4); }

}  // namespace

HRESULT ReadTga(LoadedImage* image, const void* data, uint32_t size) {
  const detail::ByteView file{static_cast<const uint8_t*>(data), size};
  if (size < kHeaderBytes) return E_FAIL;
  uint8_t idLength = 0, colourMapType = 0, imageType = 0, entrySize = 0, pixelDepth = 0,
          descriptor = 0;
  uint16_t firstEntry = 0, mapLength = 0, width = 0, height = 0;
  file.U8(0, &idLength);
  file.U8(1, &colourMapType);
  file.U8(2, &imageType);
  file.U16(3, &firstEntry);
  file.U16(5, &mapLength);
  file.U8(7, &entrySize);
  file.U16(12, &width);
  file.U16(14, &height);
  file.U8(16, &pixelDepth);
  file.U8(17, &descriptor);

  if (colourMapType > 1 || (imageType & kImageTypeReservedBits) || width == 0 || height == 0)
    return E_FAIL;
  if (colourMapType == 1 && entrySize != 15 && entrySize != 16 && entrySize != 24 &&
      entrySize != 32)
    return E_FAIL;
  const uint32_t format = TgaFormat(imageType, colourMapType, pixelDepth);
  if (format == 0) return E_FAIL;

  // The colour map's bytes are skipped even when the map type says there is none.
  const uint32_t entryBytes = (entrySize + 7u) / 8u;
  const uint64_t mapStart = uint64_t{kHeaderBytes} + idLength;
  const uint64_t mapBytes = uint64_t{mapLength} * entryBytes;
  if (!file.Has(kHeaderBytes, idLength) || !file.Has(mapStart, mapBytes)) return E_FAIL;

  if (format == D3DFMT_P8) {
    if (uint32_t{firstEntry} + mapLength > 256) return E_FAIL;
    PALETTEENTRY* palette = detail::AllocateOwnedPalette(image);
    if (!palette) return E_OUTOFMEMORY;
    const uint8_t* entry = file.data + mapStart;
    for (uint32_t i = 0; i < mapLength; ++i, entry += entryBytes) {
      PALETTEENTRY& out = palette[firstEntry + i];
      switch (entrySize) {
        case 24: out = PALETTEENTRY{entry[2], entry[1], entry[0], 255}; break;
        case 32: out = PALETTEENTRY{entry[2], entry[1], entry[0], entry[3]}; break;
        default: {  // 15 or 16 bits: red in bits 10-14, green 5-9, blue 0-4
          const uint32_t v = entry[0] | (entry[1] << 8);
          const uint8_t alpha = (entrySize == 15 || (v & 0x8000)) ? 255 : 0;
          out = PALETTEENTRY{Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31), alpha};
          break;
        }
      }
    }
  }

  const uint32_t bytesPerPixel = (pixelDepth + 7u) / 8u;
  image->format = format;
  image->width = width;
  image->height = height;
  image->depth = 1;
  image->rowPitch = width * bytesPerPixel;
  image->slicePitch = 0;

  const uint64_t pixelStart = mapStart + mapBytes;
  const uint64_t available = size - pixelStart;
  const uint64_t imageBytes = uint64_t{image->rowPitch} * height;  // at most 2^34: no wrap
  const bool runLength = imageType & kRunLengthBit;
  const bool topToBottom = descriptor & kTopToBottomBit;
  const bool rightToLeft = descriptor & kRightToLeftBit;
  const uint8_t* in = file.data + pixelStart;

  if (!runLength) {
    if (available < imageBytes) return E_FAIL;
    if (topToBottom && !rightToLeft) {
      image->bits = const_cast<uint8_t*>(in);
      image->ownsBits = 0;
      return D3D_OK;
    }
  }
  // A packet of one header byte and at most one value covers at most 128 pixels, so data too
  // short for that is refused before a buffer is allocated for it.
  if (runLength && available * 128 < uint64_t{width} * height) return E_FAIL;
  if (!detail::AllocateOwnedBits(image, imageBytes)) return E_OUTOFMEMORY;

  const uint8_t* const end = in + available;
  // Run-length packets may cross row ends (older writers produce them): a packet's remaining
  // pixels carry over to the next row, and whatever is left after the last row is ignored.
  // Every pixel is placed inside the buffer by construction, whatever the packets say.
  uint32_t packetLeft = 0;
  bool packetIsRun = false;
  const uint8_t* runValue = nullptr;
  for (uint32_t stored = 0; stored < height; ++stored) {
    const uint32_t row = topToBottom ? stored : height - 1 - stored;
    uint8_t* rowStart = image->bits + uint64_t{row} * image->rowPitch;
    for (uint32_t i = 0; i < width; ++i) {
      const uint32_t column = rightToLeft ? width - 1 - i : i;
      const uint8_t* value;
      if (!runLength) {
        value = in;  // the size was checked above
        in += bytesPerPixel;
      } else {
        if (packetLeft == 0) {
          if (in == end) return E_FAIL;
          const uint8_t header = *in++;
          packetLeft = (header & 0x7Fu) + 1;
          packetIsRun = header & 0x80;
          if (packetIsRun) {
            if (static_cast<size_t>(end - in) < bytesPerPixel) return E_FAIL;
            runValue = in;
            in += bytesPerPixel;
          }
        }
        if (packetIsRun) {
          value = runValue;
        } else {
          if (static_cast<size_t>(end - in) < bytesPerPixel) return E_FAIL;
          value = in;
          in += bytesPerPixel;
        }
        --packetLeft;
      }
      std::memcpy(rowStart + uint64_t{column} * bytesPerPixel, value, bytesPerPixel);
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
