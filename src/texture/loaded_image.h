// The decoded source image of a load and the reader dispatch that produces it.
#pragma once

#include <cstdint>

#include "platform/api/d3d8_types.h"
#include "platform/api/win_types.h"

namespace vellomir {

// Which reader accepted a file.
enum ImageFileFormat : uint32_t {
  Bmp = 0,
  Jpg = 1,
  Tga = 2,
  Png = 3,
  Dds = 4,
  Ppm = 5,
  Dib = 6,
};

// One mip level of one face (or one whole volume level). The images of a file form a comb:
// `nextLevel` runs down the levels of a face, `nextFace` runs from the first level of one face
// to the first level of the next. Each image owns (and destroys) both of its links.
struct LoadedImage {
  LoadedImage() = default;
  ~LoadedImage();
  LoadedImage(const LoadedImage&) = delete;
  LoadedImage& operator=(const LoadedImage&) = delete;

  // Frees owned bits and palette and destroys both chains; leaves the image as constructed
  // apart from its size, format and pitch members.
  void ReleaseContents();

  uint32_t format = 0;  // D3DFORMAT, or one of our 16-bit-per-channel formats
  uint8_t* bits = nullptr;  // top row (top block row) of the first slice
  PALETTEENTRY* palette = nullptr;  // 256 entries, only for P8 and A8P8
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 0;
  D3DBOX region = {};
  uint32_t rowPitch = 0;  // bytes from one row (block row) to the next
  uint32_t slicePitch = 0;  // bytes from one slice to the next (0 from single-slice readers)
  uint32_t ownsBits = 0;  // nonzero: bits was allocated with new[] by the reader
  uint32_t ownsPalette = 0;  // nonzero: palette was allocated with new[] by the reader
  uint32_t resourceType = D3DRTYPE_TEXTURE;
  uint32_t fileFormat = Bmp;
  LoadedImage* nextLevel = nullptr;  // owned
  LoadedImage* nextFace = nullptr;  // owned
};

// What the loader reports about a file.
struct ImageInfo {
  uint32_t width;
  uint32_t height;
  uint32_t depth;
  uint32_t mipLevels;  // 1 + length of the head's nextLevel chain
  uint32_t format;  // D3DFORMAT; our 16-bit-per-channel formats appear as their 8-bit peers
  uint32_t resourceType;
  uint32_t fileFormat;
};

// Offers `data` (the whole file, `size` bytes) to the readers in the fixed order BMP, PPM, DDS,
// JPEG, PNG, TGA, DIB until one accepts it. `image` must be freshly constructed; `info` may be
// null. Returns D3D_OK or TEXERR_INVALIDDATA. Images may point into `data`, which must outlive
// the comb.
HRESULT ReadImageFile(LoadedImage* image, const void* data, uint32_t size, ImageInfo* info);

// The readers. Each fills `image` (and links further images) as far as it gets and returns a
// negative result when it does not accept the data; it never frees what it built, the
// dispatcher does.
HRESULT ReadBmp(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadDib(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadDds(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadTga(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadPpm(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadPng(LoadedImage* image, const void* data, uint32_t size);
HRESULT ReadJpeg(LoadedImage* image, const void* data, uint32_t size);

// Owned buffers larger than this are refused, so that a few bytes of hostile header cannot
// make a reader ask for gigabytes. 256 MiB holds a 8192x8192 32-bit picture. (The fuzzing
// build lowers it to keep each run cheap.)
#ifndef VELLOMIR_MAX_DECODED_IMAGE_BYTES
#define VELLOMIR_MAX_DECODED_IMAGE_BYTES (uint64_t{1} << 28)
#endif
inline constexpr uint64_t kMaxDecodedImageBytes = VELLOMIR_MAX_DECODED_IMAGE_BYTES;

}  // namespace vellomir
