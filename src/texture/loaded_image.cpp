#include "texture/loaded_image.h"

#include "pixel/format_table.h"

namespace vellomir {

namespace {

// Destroys a nextLevel chain without recursing down it, so that a long chain cannot exhaust
// the stack. Faces hang only off first levels, and each image frees its own face chain.
void DestroyLevelChain(LoadedImage* level) {
  while (level) {
    LoadedImage* next = level->nextLevel;
    level->nextLevel = nullptr;
    delete level;
    level = next;
  }
}

void DestroyFaceChain(LoadedImage* face) {
  while (face) {
    LoadedImage* next = face->nextFace;
    face->nextFace = nullptr;
    delete face;
    face = next;
  }
}

using Reader = HRESULT (*)(LoadedImage*, const void*, uint32_t);

struct ReaderSlot {
  ImageFileFormat format;
  Reader read;
};

// Readers that test a signature come first; TGA has none and a bare DIB header is only
// plausible, so those two are asked last.
constexpr ReaderSlot kReaderOrder[] = {
    {Bmp, ReadBmp}, {Ppm, ReadPpm}, {Dds, ReadDds}, {Jpg, ReadJpeg},
    {Png, ReadPng}, {Tga, ReadTga}, {Dib, ReadDib},
};

}  // namespace

LoadedImage::~LoadedImage() { ReleaseContents(); }

void LoadedImage::ReleaseContents() {
  if (bits && ownsBits) delete[] bits;
  if (palette && ownsPalette) delete[] palette;
  bits = nullptr;
  palette = nullptr;
  ownsBits = 0;
  ownsPalette = 0;
  DestroyLevelChain(nextLevel);
  nextLevel = nullptr;
  DestroyFaceChain(nextFace);
  nextFace = nullptr;
}

HRESULT ReadImageFile(LoadedImage* image, const void* data, uint32_t size, ImageInfo* info) {
  if (!image) return D3DERR_INVALIDCALL;
  if (!data) size = 0;
  bool accepted = false;
  for (const ReaderSlot& slot : kReaderOrder) {
    image->resourceType = D3DRTYPE_TEXTURE;
    image->fileFormat = slot.format;
    // A null block is offered as an empty one: every reader declines it.
    static const uint8_t kEmpty[1] = {0};
    if (slot.read(image, data ? data : kEmpty, size) >= 0) {
      accepted = true;
      break;
    }
    image->ReleaseContents();
  }
  if (!accepted) return TEXERR_INVALIDDATA;

  if (info) {
    *info = ImageInfo{};
    info->width = image->width;
    info->height = image->height;
    info->depth = image->depth;
    info->mipLevels = 1;
    for (const LoadedImage* level = image->nextLevel; level; level = level->nextLevel)
      ++info->mipLevels;
    info->format = NearestExternalFormat(image->format);
    info->resourceType = image->resourceType;
    info->fileFormat = image->fileFormat;
  }

  for (LoadedImage* face = image; face; face = face->nextFace) {
    for (LoadedImage* level = face; level; level = level->nextLevel)
      level->region = D3DBOX{0, 0, level->width, level->height, 0, level->depth};
  }
  return D3D_OK;
}

}  // namespace vellomir
