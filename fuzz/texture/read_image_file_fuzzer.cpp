// Feeds arbitrary bytes to the reader dispatch and touches every byte of every image it
// accepts, so that a wrong size or pitch shows up as an out-of-bounds read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pixel/format_table.h"
#include "texture/loaded_image.h"

namespace {

uint64_t LevelBytes(const vellomir::LoadedImage& level) {
  const uint64_t rows = level.height;
  uint64_t rowsStored = rows;
  switch (level.format) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      rowsStored = (rows + 3) / 4;
      break;
    default:
      break;
  }
  const uint64_t slice = level.slicePitch ? level.slicePitch : uint64_t{level.rowPitch} * rowsStored;
  return slice * level.depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  // A private copy: the images may point into it, and ASan then checks those reads too.
  std::vector<uint8_t> copy(data, data + size);
  vellomir::LoadedImage image;
  vellomir::ImageInfo info;
  if (vellomir::ReadImageFile(&image, copy.data(), static_cast<uint32_t>(size), &info) != 0)
    return 0;
  volatile uint8_t sink = 0;
  for (const vellomir::LoadedImage* face = &image; face; face = face->nextFace) {
    for (const vellomir::LoadedImage* level = face; level; level = level->nextLevel) {
      const uint64_t bytes = LevelBytes(*level);
      for (uint64_t i = 0; i < bytes; i += 61) sink = sink + level->bits[i];
      if (bytes) sink = sink + level->bits[bytes - 1];
      if (level->palette) sink = sink + level->palette[255].peFlags;
    }
  }
  (void)sink;
  return 0;
}
