// DDS files: a surface description followed by every level of every face (or every level of a
// volume), tightly packed. Nothing is copied: each image of the comb points into the file.
#include "pixel/allocation.h"
#include "pixel/format_table.h"
#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

constexpr uint32_t kDdsSignature = 0x20534444;  // "DDS "
constexpr size_t kHeaderBytes = 4 + 124;
constexpr size_t kPaletteBytes = 1024;
constexpr uint32_t DDSD_DEPTH = 0x800000;
constexpr uint32_t kCubeFaceBits = 0xFC00;
constexpr uint32_t kMaxLevels = 32;  // a full chain from 2^31 down to 1

constexpr uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t DDPF_ALPHA = 0x2;
constexpr uint32_t DDPF_FOURCC = 0x4;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr uint32_t DDPF_RGB = 0x40;
constexpr uint32_t DDPF_ZBUFFER = 0x400;
constexpr uint32_t DDPF_LUMINANCE = 0x20000;
constexpr uint32_t DDPF_BUMPLUMINANCE = 0x40000;
constexpr uint32_t DDPF_BUMPDUDV = 0x80000;

// Which fields a row's flags bring into the comparison.
constexpr uint32_t kComparesBitCount = 0xC4462;
constexpr uint32_t kComparesRedMask = 0xE4040;
constexpr uint32_t kComparesGreenMask = 0xC4440;
constexpr uint32_t kComparesBlueMask = 0xC4040;
constexpr uint32_t kComparesAlphaMask = 0x80003;

// The pixel-format description of the file header.
struct DdsPixelFormat {
  uint32_t size;
  uint32_t flags;
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;
};

struct DdsFormatRow {
  uint32_t format;
  DdsPixelFormat pf;
};

// Searched in order; the first row whose flags equal the file's exactly and whose selected
// fields all match wins. A format of 0 ends the table.
constexpr DdsFormatRow kDdsPixelFormatTable[] = {
    {D3DFMT_R8G8B8, {32, DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}},
    {D3DFMT_A8R8G8B8, {32, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
    {D3DFMT_X8R8G8B8, {32, DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}},
    {D3DFMT_R5G6B5, {32, DDPF_RGB, 0, 16, 0xF800, 0x7E0, 0x1F, 0}},
    {D3DFMT_X1R5G5B5, {32, DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0}},
    {D3DFMT_A8P8, {32, DDPF_ALPHAPIXELS | DDPF_PALETTEINDEXED8, 0, 16, 0, 0, 0, 0xFF00}},
    {D3DFMT_P8, {32, DDPF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}},
    {D3DFMT_A1R5G5B5, {32, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}},
    {D3DFMT_A4R4G4B4, {32, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}},
    {D3DFMT_R3G3B2, {32, DDPF_RGB, 0, 8, 0xE0, 0x1C, 0x3, 0}},
    {D3DFMT_A8, {32, DDPF_ALPHA, 0, 8, 0, 0, 0, 0xFF}},
    {D3DFMT_A8R3G3B2, {32, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00}},
    {D3DFMT_X4R4G4B4, {32, DDPF_RGB, 0, 16, 0xF00, 0xF0, 0xF, 0}},
    {D3DFMT_A2B10G10R10,
     {32, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
    {D3DFMT_G16R16, {32, DDPF_RGB, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0}},
    {D3DFMT_L8, {32, DDPF_LUMINANCE, 0, 0, 0xFF, 0, 0, 0}},
    {D3DFMT_A8L8, {32, DDPF_ALPHAPIXELS | DDPF_LUMINANCE, 0, 0, 0xFF, 0, 0, 0xFF00}},
    {D3DFMT_A4L4, {32, DDPF_ALPHAPIXELS | DDPF_LUMINANCE, 0, 0, 0xF, 0, 0, 0xF0}},
    {D3DFMT_V8U8, {32, DDPF_BUMPDUDV, 0, 16, 0xFF, 0xFF00, 0, 0}},
    {D3DFMT_L6V5U5, {32, DDPF_BUMPLUMINANCE, 0, 16, 0x1F, 0x3E0, 0xFC00, 0}},
    {D3DFMT_X8L8V8U8, {32, DDPF_BUMPLUMINANCE, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}},
    {D3DFMT_Q8W8V8U8, {32, DDPF_BUMPDUDV, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
    {D3DFMT_V16U16, {32, DDPF_BUMPDUDV, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0}},
    {D3DFMT_W11V11U10, {32, DDPF_BUMPDUDV, 0, 32, 0x3FF, 0x1FFC00, 0xFFE00000, 0}},
    {D3DFMT_A2W10V10U10,
     {32, DDPF_ALPHAPIXELS | DDPF_BUMPDUDV, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
    {D3DFMT_UYVY, {32, DDPF_FOURCC, D3DFMT_UYVY, 0, 0, 0, 0, 0}},
    {D3DFMT_YUY2, {32, DDPF_FOURCC, D3DFMT_YUY2, 0, 0, 0, 0, 0}},
    {D3DFMT_DXT1, {32, DDPF_FOURCC, D3DFMT_DXT1, 0, 0, 0, 0, 0}},
    {D3DFMT_DXT2, {32, DDPF_FOURCC, D3DFMT_DXT2, 0, 0, 0, 0, 0}},
    {D3DFMT_DXT3, {32, DDPF_FOURCC, D3DFMT_DXT3, 0, 0, 0, 0, 0}},
    {D3DFMT_DXT4, {32, DDPF_FOURCC, D3DFMT_DXT4, 0, 0, 0, 0, 0}},
    {D3DFMT_DXT5, {32, DDPF_FOURCC, D3DFMT_DXT5, 0, 0, 0, 0, 0}},
    {D3DFMT_D16_LOCKABLE, {32, DDPF_ZBUFFER, 0, 16, 0, 0xFFFF, 0, 0}},
    {0, {}},
};

uint32_t FindDdsFormat(const DdsPixelFormat& file) {
  if (file.size != 32) return 0;
  for (const DdsFormatRow* row = kDdsPixelFormatTable; row->format != 0; ++row) {
    const DdsPixelFormat& pf = row->pf;
    if (pf.flags != file.flags) continue;
    if ((pf.flags & DDPF_FOURCC) && pf.fourCC != file.fourCC) continue;
    if ((pf.flags & kComparesBitCount) && pf.bitCount != file.bitCount) continue;
    if ((pf.flags & kComparesRedMask) && pf.redMask != file.redMask) continue;
    if ((pf.flags & kComparesGreenMask) && pf.greenMask != file.greenMask) continue;
    if ((pf.flags & kComparesBlueMask) && pf.blueMask != file.blueMask) continue;
    if ((pf.flags & kComparesAlphaMask) && pf.alphaMask != file.alphaMask) continue;
    return row->format;
  }
  return 0;
}

// Row pitch and slice size of one level, in 64 bits: a width near 2^32 must not wrap.
void LevelSize(uint32_t format, uint64_t w, uint64_t h, uint64_t* rowPitch, uint64_t* slice) {
  switch (format) {
    case D3DFMT_DXT1:
      *rowPitch = ((w + 3) / 4) * 8;
      *slice = *rowPitch * ((h + 3) / 4);
      return;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      *rowPitch = ((w + 3) / 4) * 16;
      *slice = *rowPitch * ((h + 3) / 4);
      return;
    case D3DFMT_YUY2:
    case D3DFMT_UYVY:
      *rowPitch = ((w + 1) / 2) * 4;
      *slice = *rowPitch * h;
      return;
    default:
      *rowPitch = (GetFormatInfo(format).bitsPerPixel / 8) * w;
      *slice = *rowPitch * h;
      return;
  }
}

uint32_t HalveAtLeastOne(uint32_t v) { return v > 1 ? v >> 1 : 1; }

}  // namespace

HRESULT ReadDds(LoadedImage* image, const void* data, uint32_t size) {
  const detail::ByteView file{static_cast<const uint8_t*>(data), size};
  uint32_t signature = 0;
  if (!file.U32(0, &signature) || signature != kDdsSignature || !file.Has(0, kHeaderBytes))
    return E_FAIL;

  // The whole header is known to be present; the zeroes only keep every path defined.
  uint32_t flags = 0, height = 0, width = 0, depth = 0, mipCount = 0, caps2 = 0;
  DdsPixelFormat pf = {};
  file.U32(8, &flags);
  file.U32(12, &height);
  file.U32(16, &width);
  file.U32(24, &depth);
  file.U32(28, &mipCount);
  file.U32(76, &pf.size);
  file.U32(80, &pf.flags);
  file.U32(84, &pf.fourCC);
  file.U32(88, &pf.bitCount);
  file.U32(92, &pf.redMask);
  file.U32(96, &pf.greenMask);
  file.U32(100, &pf.blueMask);
  file.U32(104, &pf.alphaMask);
  file.U32(112, &caps2);

  image->width = width;
  image->height = height;
  image->depth = (flags & DDSD_DEPTH) ? depth : 1;
  if (image->depth == 0) image->depth = 1;

  uint32_t faces = 1;
  if ((caps2 & kCubeFaceBits) == kCubeFaceBits)
    faces = 6;
  else if (caps2 & kCubeFaceBits)
    return E_FAIL;

  const uint32_t levels = mipCount == 0 ? 1 : mipCount;
  // Sizes of 32 bits reach 1 x 1 x 1 within 32 levels, so any further level could only repeat
  // a 1 x 1 x 1 level. Such counts are refused: otherwise a few header bytes would make the
  // reader build one image object (about a hundred bytes) per byte of trailing data.
  if (levels > kMaxLevels) return E_FAIL;

  const uint32_t format = FindDdsFormat(pf);
  if (format == 0) return E_FAIL;

  if (flags & DDSD_DEPTH)
    image->resourceType = D3DRTYPE_VOLUMETEXTURE;
  else if (faces == 6)
    image->resourceType = D3DRTYPE_CUBETEXTURE;
  else
    image->resourceType = D3DRTYPE_TEXTURE;

  size_t pixelStart = kHeaderBytes;
  PALETTEENTRY* palette = nullptr;
  if (GetFormatInfo(format).kind == Palette) {
    if (!file.Has(kHeaderBytes, kPaletteBytes)) return E_FAIL;
    // Entries are stored red, green, blue, flags: the memory layout of PALETTEENTRY. The
    // palette stays in the file (not owned), like the pixels.
    palette = reinterpret_cast<PALETTEENTRY*>(const_cast<uint8_t*>(file.data + kHeaderBytes));
    pixelStart += kPaletteBytes;
  }

  const uint8_t* p = file.data + pixelStart;
  uint64_t remaining = file.size - pixelStart;
  LoadedImage* previousFace = nullptr;
  for (uint32_t f = 0; f < faces; ++f) {
    LoadedImage* faceImage = image;
    if (f > 0) {
      std::unique_ptr<LoadedImage> created = AllocateObject<LoadedImage>();
      if (!created) return E_OUTOFMEMORY;
      faceImage = created.release();
      previousFace->nextFace = faceImage;
    }
    previousFace = faceImage;

    uint32_t w = image->width, h = image->height, d = image->depth;
    LoadedImage* level = faceImage;
    // Every level occupies at least one byte, so the size check below also ends a chain at
    // the end of the data.
    for (uint32_t l = 0; l < levels; ++l) {
      if (l > 0) {
        std::unique_ptr<LoadedImage> created = AllocateObject<LoadedImage>();
        if (!created) return E_OUTOFMEMORY;
        level->nextLevel = created.release();
        level = level->nextLevel;
      }
      uint64_t rowPitch, slice, bytes;
      LevelSize(format, w, h, &rowPitch, &slice);
      level->ownsBits = 0;
      level->ownsPalette = 0;
      level->format = format;
      level->bits = const_cast<uint8_t*>(p);
      level->depth = d;
      level->width = w;
      level->height = h;
      level->palette = palette;
      // Pitches are 32-bit members; a level whose slice does not fit cannot be in a file
      // whose size is a 32-bit count, so the size check refuses it too.
      level->rowPitch = static_cast<uint32_t>(rowPitch);
      level->slicePitch = static_cast<uint32_t>(slice);
      if (!detail::MultiplyWithin(slice, d, remaining, &bytes)) return E_FAIL;
      if (slice == 0) return E_FAIL;  // a zero-sized level would let the chain run on freely
      p += bytes;
      remaining -= bytes;
      w = HalveAtLeastOne(w);
      h = HalveAtLeastOne(h);
      d = HalveAtLeastOne(d);
    }
  }
  return D3D_OK;
}

}  // namespace vellomir
