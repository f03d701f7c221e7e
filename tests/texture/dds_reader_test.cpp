#include <gtest/gtest.h>

#include "image_builders.h"
#include "pixel/format_table.h"

namespace vellomir::test {
namespace {

constexpr uint32_t RGB = 0x40, ALPHAPIXELS = 0x1, FOURCC = 0x4;

struct FormatCase {
  const char* name;
  uint32_t pfFlags, fourCC, bitCount, red, green, blue, alpha;
  uint32_t expected;  // 0: declined
};

// Every row of the table, plus the near misses that tell "exact flags" and "selected fields
// only" apart.
const FormatCase kFormatCases[] = {
    {"R8G8B8", 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
    {"A8R8G8B8", 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
    {"X8R8G8B8 ignores alpha mask", 0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0x12345678,
     D3DFMT_X8R8G8B8},
    {"R5G6B5", 0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
    {"X1R5G5B5", 0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
    {"A8P8", 0x21, 0, 16, 1, 2, 3, 0xFF00, D3DFMT_A8P8},
    {"P8 ignores masks", 0x20, 0, 8, 7, 7, 7, 7, D3DFMT_P8},
    {"A1R5G5B5", 0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
    {"A4R4G4B4", 0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
    {"R3G3B2", 0x40, 0, 8, 0xE0, 0x1C, 0x3, 0, D3DFMT_R3G3B2},
    {"A8", 0x2, 0, 8, 5, 5, 5, 0xFF, D3DFMT_A8},
    {"A8R3G3B2", 0x41, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
    {"X4R4G4B4", 0x40, 0, 16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},
    {"A2B10G10R10", 0x41, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2B10G10R10},
    {"G16R16", 0x40, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
    {"L8 whatever the bit count", 0x20000, 0, 99, 0xFF, 1, 2, 3, D3DFMT_L8},
    {"A8L8", 0x20001, 0, 16, 0xFF, 0, 0, 0xFF00, D3DFMT_A8L8},
    {"A4L4", 0x20001, 0, 8, 0xF, 0, 0, 0xF0, D3DFMT_A4L4},
    {"V8U8", 0x80000, 0, 16, 0xFF, 0xFF00, 0, 0, D3DFMT_V8U8},
    {"L6V5U5", 0x40000, 0, 16, 0x1F, 0x3E0, 0xFC00, 9, D3DFMT_L6V5U5},
    {"X8L8V8U8", 0x40000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 9, D3DFMT_X8L8V8U8},
    {"Q8W8V8U8", 0x80000, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_Q8W8V8U8},
    {"V16U16", 0x80000, 0, 32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_V16U16},
    {"W11V11U10", 0x80000, 0, 32, 0x3FF, 0x1FFC00, 0xFFE00000, 0, D3DFMT_W11V11U10},
    {"A2W10V10U10", 0x80001, 0, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2W10V10U10},
    {"UYVY", FOURCC, D3DFMT_UYVY, 1, 2, 3, 4, 5, D3DFMT_UYVY},
    {"YUY2", FOURCC, D3DFMT_YUY2, 0, 0, 0, 0, 0, D3DFMT_YUY2},
    {"DXT1", FOURCC, D3DFMT_DXT1, 0, 0, 0, 0, 0, D3DFMT_DXT1},
    {"DXT2", FOURCC, D3DFMT_DXT2, 0, 0, 0, 0, 0, D3DFMT_DXT2},
    {"DXT3", FOURCC, D3DFMT_DXT3, 0, 0, 0, 0, 0, D3DFMT_DXT3},
    {"DXT4", FOURCC, D3DFMT_DXT4, 0, 0, 0, 0, 0, D3DFMT_DXT4},
    {"DXT5", FOURCC, D3DFMT_DXT5, 0, 0, 0, 0, 0, D3DFMT_DXT5},
    {"D16_LOCKABLE", 0x400, 0, 16, 0, 0xFFFF, 0, 0, D3DFMT_D16_LOCKABLE},
    {"DXT5 with alpha-pixels flag", FOURCC | ALPHAPIXELS, D3DFMT_DXT5, 0, 0, 0, 0, 0, 0},
    {"unknown FourCC", FOURCC, MAKEFOURCC('A', 'T', 'I', '1'), 0, 0, 0, 0, 0, 0},
    {"A2B10G10R10 masks of the bitmap layout", 0x41, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000,
     0xC0000000, 0},
    {"RGB with odd masks", RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0},
    {"RGB 32 with alpha flag but no alpha mask", 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0},
};

TEST(DdsReader, PixelFormatTable) {
  for (const FormatCase& c : kFormatCases) {
    SCOPED_TRACE(c.name);
    DdsSpec spec;
    spec.width = 4;
    spec.height = 4;
    spec.pfFlags = c.pfFlags;
    spec.fourCC = c.fourCC;
    spec.bitCount = c.bitCount;
    spec.red = c.red;
    spec.green = c.green;
    spec.blue = c.blue;
    spec.alpha = c.alpha;
    Bytes file = DdsHeader(spec);
    file.resize(file.size() + 1024 + 4 * 4 * 4, 0);  // room for a palette and any 4x4 level
    LoadedImage image;
    EXPECT_EQ(ReadDds(&image, file.data(), static_cast<uint32_t>(file.size())),
              c.expected ? D3D_OK : E_FAIL);
    if (c.expected) {
      EXPECT_EQ(image.format, c.expected);
      EXPECT_EQ(image.ownsBits, 0u);
      const bool palettized = c.expected == D3DFMT_P8 || c.expected == D3DFMT_A8P8;
      EXPECT_EQ(image.bits, file.data() + (palettized ? 1152 : 128));
      EXPECT_EQ(reinterpret_cast<uint8_t*>(image.palette), palettized ? file.data() + 128 : nullptr);
    }
  }
}

TEST(DdsReader, HeaderSizeAndSignature) {
  DdsSpec spec;
  Bytes file = DdsHeader(spec);
  file.resize(file.size() + 64, 0);
  LoadedImage image;
  Bytes badSize = file;
  badSize[76] = 24;  // pixel-format size must be 32
  EXPECT_EQ(ReadDds(&image, badSize.data(), static_cast<uint32_t>(badSize.size())), E_FAIL);
  Bytes badSignature = file;
  badSignature[3] = 'X';
  EXPECT_EQ(ReadDds(&image, badSignature.data(), static_cast<uint32_t>(badSignature.size())),
            E_FAIL);
  EXPECT_EQ(ReadDds(&image, file.data(), 127), E_FAIL);  // header cut short
  EXPECT_EQ(ReadDds(&image, file.data(), 3), E_FAIL);
}

TEST(DdsReader, Dxt1MipChainThroughDispatcher) {
  DdsSpec spec;
  spec.width = spec.height = 256;
  spec.mipCount = 9;
  spec.pfFlags = FOURCC;
  spec.fourCC = D3DFMT_DXT1;
  Bytes file = DdsHeader(spec);
  // 256..4 take (w/4)^2 * 8 bytes; 2 and 1 take one block each.
  uint32_t payload = 0;
  for (uint32_t w = 256; w >= 1; w /= 2) payload += ((w + 3) / 4) * ((w + 3) / 4) * 8;
  file.resize(file.size() + payload, 0);

  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.mipLevels, 9u);
  EXPECT_EQ(info.fileFormat, Dds);
  EXPECT_EQ(info.resourceType, uint32_t{D3DRTYPE_TEXTURE});
  EXPECT_EQ(image.rowPitch, 512u);
  EXPECT_EQ(image.slicePitch, 32768u);
  uint32_t expected = 256;
  const uint8_t* p = file.data() + 128;
  int count = 0;
  for (const LoadedImage* level = &image; level; level = level->nextLevel, ++count) {
    EXPECT_EQ(level->width, expected);
    EXPECT_EQ(level->height, expected);
    EXPECT_EQ(level->bits, p);
    EXPECT_EQ(level->region.Right, expected);
    EXPECT_EQ(level->region.Back, 1u);
    if (expected <= 2) {
      EXPECT_EQ(level->slicePitch, 8u);
    }
    p += level->slicePitch;
    expected = expected > 1 ? expected / 2 : 1;
  }
  EXPECT_EQ(count, 9);

  // One byte short of the last level.
  file.pop_back();
  LoadedImage shorter;
  EXPECT_EQ(Read(shorter, file), TEXERR_INVALIDDATA);
}

TEST(DdsReader, CubeOfSixFacesWithThreeLevels) {
  DdsSpec spec;
  spec.width = spec.height = 4;
  spec.mipCount = 3;
  spec.pfFlags = 0x41;
  spec.alpha = 0xFF000000;
  const uint32_t faceBytes = (16 + 4 + 1) * 4;
  for (uint32_t caps2 : {0xFC00u, 0xFE00u}) {
    spec.caps2 = caps2;
    Bytes file = DdsHeader(spec);
    file.resize(file.size() + 6 * faceBytes, 0);
    LoadedImage image;
    ImageInfo info;
    ASSERT_EQ(Read(image, file, &info), D3D_OK);
    EXPECT_EQ(info.resourceType, uint32_t{D3DRTYPE_CUBETEXTURE});
    EXPECT_EQ(info.mipLevels, 3u);
    int faces = 0, images = 0;
    for (const LoadedImage* face = &image; face; face = face->nextFace, ++faces) {
      EXPECT_EQ(face->bits, file.data() + 128 + faces * faceBytes);
      uint32_t w = 4;
      for (const LoadedImage* level = face; level; level = level->nextLevel, ++images, w /= 2) {
        EXPECT_EQ(level->width, w);
        EXPECT_EQ(level->region.Right, w);
        EXPECT_EQ(level->region.Bottom, w);
        if (level != face) {
          EXPECT_EQ(level->nextFace, nullptr);
        }
      }
    }
    EXPECT_EQ(faces, 6);
    EXPECT_EQ(images, 18);

    file.pop_back();
    LoadedImage shorter;
    EXPECT_EQ(Read(shorter, file), TEXERR_INVALIDDATA);
  }

  spec.caps2 = 0x400 | 0x800;  // only some faces
  Bytes partial = DdsHeader(spec);
  partial.resize(partial.size() + 6 * faceBytes, 0);
  LoadedImage image;
  EXPECT_EQ(ReadDds(&image, partial.data(), static_cast<uint32_t>(partial.size())), E_FAIL);
}

TEST(DdsReader, VolumeLevelsHalveDepth) {
  DdsSpec spec;
  spec.flags |= 0x800000;
  spec.width = spec.height = 16;
  spec.depth = 4;
  spec.mipCount = 3;
  spec.pfFlags = 0x41;
  spec.alpha = 0xFF000000;
  Bytes file = DdsHeader(spec);
  file.resize(file.size() + 1024 * 4 + 256 * 2 + 64, 0);
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.resourceType, uint32_t{D3DRTYPE_VOLUMETEXTURE});
  EXPECT_EQ(info.depth, 4u);
  const uint32_t slices[][2] = {{1024, 4}, {256, 2}, {64, 1}};
  const LoadedImage* level = &image;
  for (const auto& s : slices) {
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->slicePitch, s[0]);
    EXPECT_EQ(level->depth, s[1]);
    EXPECT_EQ(level->region.Back, s[1]);
    level = level->nextLevel;
  }
  file.pop_back();
  LoadedImage shorter;
  EXPECT_EQ(Read(shorter, file), TEXERR_INVALIDDATA);
}

TEST(DdsReader, LevelSizesAndDefaults) {
  // 5x3 R5G6B5: rows are not rounded; mip count 0 is one level; a depth without the flag is 1.
  DdsSpec spec;
  spec.width = 5;
  spec.height = 3;
  spec.depth = 7;
  spec.bitCount = 16;
  spec.red = 0xF800;
  spec.green = 0x7E0;
  spec.blue = 0x1F;
  Bytes file = DdsHeader(spec);
  file.resize(file.size() + 30, 0);
  LoadedImage image;
  ASSERT_EQ(ReadDds(&image, file.data(), static_cast<uint32_t>(file.size())), D3D_OK);
  EXPECT_EQ(image.rowPitch, 10u);
  EXPECT_EQ(image.slicePitch, 30u);
  EXPECT_EQ(image.depth, 1u);
  EXPECT_EQ(image.nextLevel, nullptr);

  // YUY2 pairs pixels; DXT3 rounds up to whole blocks.
  spec.pfFlags = FOURCC;
  spec.fourCC = D3DFMT_YUY2;
  Bytes yuy = DdsHeader(spec);
  yuy.resize(yuy.size() + 12 * 3, 0);
  LoadedImage yuyImage;
  ASSERT_EQ(ReadDds(&yuyImage, yuy.data(), static_cast<uint32_t>(yuy.size())), D3D_OK);
  EXPECT_EQ(yuyImage.rowPitch, 12u);
  spec.fourCC = D3DFMT_DXT3;
  Bytes dxt = DdsHeader(spec);
  dxt.resize(dxt.size() + 32, 0);
  LoadedImage dxtImage;
  ASSERT_EQ(ReadDds(&dxtImage, dxt.data(), static_cast<uint32_t>(dxt.size())), D3D_OK);
  EXPECT_EQ(dxtImage.rowPitch, 32u);
  EXPECT_EQ(dxtImage.slicePitch, 32u);
}

TEST(DdsReader, PalettizedNeedsWholePalette) {
  DdsSpec spec;
  spec.width = spec.height = 2;
  spec.pfFlags = 0x20;
  spec.bitCount = 8;
  Bytes file = DdsHeader(spec);
  file.resize(file.size() + 1023, 0);
  LoadedImage image;
  EXPECT_EQ(ReadDds(&image, file.data(), static_cast<uint32_t>(file.size())), E_FAIL);
  file.resize(128 + 1024 + 4, 0);
  LoadedImage withPalette;
  ASSERT_EQ(ReadDds(&withPalette, file.data(), static_cast<uint32_t>(file.size())), D3D_OK);
  EXPECT_EQ(withPalette.bits, file.data() + 1152);
}

TEST(DdsReader, HugeDimensionsCannotWrapPastTheSizeCheck) {
  // 0x40000000 x 4 x 4 bytes would wrap to 0 in 32 bits; so would a depth of 2^31 x a 2-byte slice.
  DdsSpec spec;
  spec.width = 0x40000000;
  spec.height = 4;
  Bytes file = DdsHeader(spec);
  file.resize(file.size() + 64, 0);
  LoadedImage image;
  EXPECT_EQ(ReadDds(&image, file.data(), static_cast<uint32_t>(file.size())), E_FAIL);

  DdsSpec volume;
  volume.flags |= 0x800000;
  volume.width = 1;
  volume.height = 1;
  volume.depth = 0x80000000u;
  volume.bitCount = 16;
  volume.red = 0xF800;
  volume.green = 0x7E0;
  volume.blue = 0x1F;
  Bytes vol = DdsHeader(volume);
  vol.resize(vol.size() + 64, 0);
  LoadedImage volumeImage;
  EXPECT_EQ(ReadDds(&volumeImage, vol.data(), static_cast<uint32_t>(vol.size())), E_FAIL);

  // A hostile level count stops at the end of the data.
  DdsSpec many;
  many.width = many.height = 1;
  many.mipCount = 0xFFFFFFFFu;
  Bytes chain = DdsHeader(many);
  chain.resize(chain.size() + 40, 0);
  LoadedImage chainImage;
  EXPECT_EQ(ReadDds(&chainImage, chain.data(), static_cast<uint32_t>(chain.size())), E_FAIL);

  // Past 32 levels every further level repeats 1 x 1: such a count is refused even when the
  // data would hold every level, so trailing bytes cannot each become an image object.
  for (const uint32_t levels : {32u, 33u}) {
    SCOPED_TRACE(levels);
    many.mipCount = levels;
    Bytes repeated = DdsHeader(many);
    repeated.resize(repeated.size() + 4 * levels, 0);
    LoadedImage repeatedImage;
    const HRESULT hr =
        ReadDds(&repeatedImage, repeated.data(), static_cast<uint32_t>(repeated.size()));
    if (levels == 32) {
      ASSERT_EQ(hr, D3D_OK);
      uint32_t count = 0;
      for (const LoadedImage* level = &repeatedImage; level; level = level->nextLevel) ++count;
      EXPECT_EQ(count, 32u);
    } else {
      EXPECT_EQ(hr, E_FAIL);
    }
  }
}

}  // namespace
}  // namespace vellomir::test
