// Small in-memory image files for the reader tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "texture/loaded_image.h"

namespace vellomir::test {

using Bytes = std::vector<uint8_t>;

inline void Put8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
inline void Put16(Bytes& b, uint32_t v) {
  Put8(b, v);
  Put8(b, v >> 8);
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Runs the dispatcher on `file`; the image keeps pointing into `file`.
inline HRESULT Read(LoadedImage& image, const Bytes& file, ImageInfo* info = nullptr) {
  return ReadImageFile(&image, file.data(), static_cast<uint32_t>(file.size()), info);
}

inline uint32_t Pixel32(const LoadedImage& image, uint32_t x, uint32_t y) {
  const uint8_t* p = image.bits + y * image.rowPitch + x * 4;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}

// A DDS file: header, optional palette, payload.
struct DdsSpec {
  uint32_t flags = 0x1007;
  uint32_t width = 4, height = 4, depth = 0, mipCount = 0;
  uint32_t pfSize = 32, pfFlags = 0x40, fourCC = 0, bitCount = 32;
  uint32_t red = 0xFF0000, green = 0xFF00, blue = 0xFF, alpha = 0;
  uint32_t caps2 = 0;
};
inline Bytes DdsHeader(const DdsSpec& s) {
  Bytes b;
  Put32(b, 0x20534444);
  Put32(b, 124);
  Put32(b, s.flags);
  Put32(b, s.height);
  Put32(b, s.width);
  Put32(b, 0);
  Put32(b, s.depth);
  Put32(b, s.mipCount);
  for (int i = 0; i < 11; ++i) Put32(b, 0);
  Put32(b, s.pfSize);
  Put32(b, s.pfFlags);
  Put32(b, s.fourCC);
  Put32(b, s.bitCount);
  Put32(b, s.red);
  Put32(b, s.green);
  Put32(b, s.blue);
  Put32(b, s.alpha);
  Put32(b, 0x1000);
  Put32(b, s.caps2);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  return b;
}

// A bare DIB: BITMAPINFOHEADER (+ padding to headerSize), masks, colour table, pixel data.
struct DibSpec {
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bitCount = 24;
  uint32_t compression = 0, clrUsed = 0;
  std::vector<uint32_t> masks;  // written at offset 40 (long header) or after the header
  Bytes table;                  // colour table bytes (blue, green, red, reserved)
  Bytes pixels;
};
inline Bytes DibFile(const DibSpec& s) {
  Bytes b;
  Put32(b, s.headerSize);
  Put32(b, static_cast<uint32_t>(s.width));
  Put32(b, static_cast<uint32_t>(s.height));
  Put16(b, s.planes);
  Put16(b, s.bitCount);
  Put32(b, s.compression);
  Put32(b, static_cast<uint32_t>(s.pixels.size()));
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, s.clrUsed);
  Put32(b, 0);
  if (s.headerSize >= 108) {
    for (size_t i = 0; i < 4; ++i) Put32(b, i < s.masks.size() ? s.masks[i] : 0);
    b.resize(s.headerSize, 0);
  } else {
    b.resize(s.headerSize, 0);
    for (uint32_t m : s.masks) Put32(b, m);
  }
  Append(b, s.table);
  Append(b, s.pixels);
  return b;
}
inline Bytes BmpFile(const Bytes& dib) {
  Bytes b;
  Put16(b, 0x4D42);
  Put32(b, static_cast<uint32_t>(dib.size() + 14));
  Put32(b, 0);
  Put32(b, 0);
  Append(b, dib);
  return b;
}

// A TGA file.
struct TgaSpec {
  uint8_t colourMapType = 0, imageType = 2;
  uint16_t firstEntry = 0, mapLength = 0;
  uint8_t entrySize = 0;
  uint16_t width = 1, height = 1;
  uint8_t pixelDepth = 24, descriptor = 0x20;
  Bytes id, map, pixels;
};
inline Bytes TgaFile(const TgaSpec& s) {
  Bytes b;
  Put8(b, static_cast<uint32_t>(s.id.size()));
  Put8(b, s.colourMapType);
  Put8(b, s.imageType);
  Put16(b, s.firstEntry);
  Put16(b, s.mapLength);
  Put8(b, s.entrySize);
  Put32(b, 0);
  Put16(b, s.width);
  Put16(b, s.height);
  Put8(b, s.pixelDepth);
  Put8(b, s.descriptor);
  Append(b, s.id);
  Append(b, s.map);
  Append(b, s.pixels);
  return b;
}

}  // namespace vellomir::test
