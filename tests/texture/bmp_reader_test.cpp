#include <gtest/gtest.h>

#include "image_builders.h"

namespace vellomir::test {
namespace {

Bytes GreyTable(int entries) {
  Bytes t;
  for (int i = 0; i < entries; ++i) {
    Put8(t, i);  // blue
    Put8(t, i + 1);  // green
    Put8(t, i + 2);  // red
    Put8(t, 0x55);  // reserved: ignored
  }
  return t;
}

TEST(BmpReader, BottomUp24BitIsCopiedTopDown) {
  DibSpec s;
  s.width = 640;
  s.height = 480;
  s.pixels.resize(1920 * 480);
  for (int row = 0; row < 480; ++row) s.pixels[row * 1920] = static_cast<uint8_t>(row);
  const Bytes file = BmpFile(DibFile(s));
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.fileFormat, Bmp);
  EXPECT_EQ(info.mipLevels, 1u);
  EXPECT_EQ(image.format, uint32_t{D3DFMT_R8G8B8});
  EXPECT_EQ(image.rowPitch, 1920u);
  EXPECT_EQ(image.ownsBits, 1u);
  EXPECT_EQ(image.bits[0], 479 & 0xFF);  // first image row = last stored row
  EXPECT_EQ(image.bits[479 * 1920], 0);

  s.height = -480;
  const Bytes topDown = BmpFile(DibFile(s));
  LoadedImage inPlace;
  ASSERT_EQ(Read(inPlace, topDown), D3D_OK);
  EXPECT_EQ(inPlace.ownsBits, 0u);
  EXPECT_EQ(inPlace.bits, topDown.data() + 14 + 40);
  EXPECT_EQ(inPlace.height, 480u);
}

TEST(BmpReader, OneBitWidenedWithPalette) {
  DibSpec s;
  s.width = 10;
  s.height = 2;
  s.bitCount = 1;
  s.table = GreyTable(2);
  // Stored bottom row first; rows are 4 bytes apart.
  s.pixels = {0xAA, 0xC0, 0, 0, 0x55, 0x40, 0, 0};
  const Bytes file = BmpFile(DibFile(s));
  LoadedImage image;
  ASSERT_EQ(Read(image, file), D3D_OK);
  EXPECT_EQ(image.format, uint32_t{D3DFMT_P8});
  EXPECT_EQ(image.rowPitch, 12u);
  const uint8_t top[10] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1};
  const uint8_t bottom[10] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 1};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(image.bits[i], top[i]) << i;
    EXPECT_EQ(image.bits[12 + i], bottom[i]) << i;
  }
  ASSERT_NE(image.palette, nullptr);
  EXPECT_EQ(image.ownsPalette, 1u);
  const PALETTEENTRY e1 = image.palette[1];
  EXPECT_EQ(e1.peRed, 3);
  EXPECT_EQ(e1.peGreen, 2);
  EXPECT_EQ(e1.peBlue, 1);
  EXPECT_EQ(e1.peFlags, 255);
  for (int i = 2; i < 256; ++i) {
    const PALETTEENTRY e = image.palette[i];
    EXPECT_TRUE(e.peRed == 255 && e.peGreen == 255 && e.peBlue == 255 && e.peFlags == 255) << i;
  }
}

TEST(BmpReader, FourBitDefaultsToSixteenColours) {
  DibSpec s;
  s.width = 3;
  s.height = 1;
  s.bitCount = 4;
  s.table = GreyTable(16);
  s.pixels = {0x1F, 0x70, 0, 0};
  const Bytes file = DibFile(s);
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.fileFormat, Dib);
  EXPECT_EQ(image.bits[0], 1);
  EXPECT_EQ(image.bits[1], 15);
  EXPECT_EQ(image.bits[2], 7);
  EXPECT_EQ(image.palette[15].peRed, 17);

  // Without room for the 16-entry table the bitmap is refused.
  Bytes cut(file.begin(), file.begin() + 40 + 16 * 4 - 1);
  LoadedImage refused;
  EXPECT_LT(ReadDib(&refused, cut.data(), static_cast<uint32_t>(cut.size())), 0);
}

struct MaskCase {
  const char* name;
  uint32_t headerSize;
  uint16_t bitCount;
  std::vector<uint32_t> masks;
  uint32_t compression;
  uint32_t expected;  // 0: declined
};

TEST(BmpReader, FormatsByBitCountAndMasks) {
  const MaskCase cases[] = {
      {"16 RGB", 40, 16, {}, 0, D3DFMT_X1R5G5B5},
      {"24 RGB", 40, 24, {}, 0, D3DFMT_R8G8B8},
      {"32 RGB", 40, 32, {}, 0, D3DFMT_X8R8G8B8},
      {"2 bits", 40, 2, {}, 0, 0},
      {"565", 40, 16, {0xF800, 0x7E0, 0x1F}, 3, D3DFMT_R5G6B5},
      {"555", 40, 16, {0x7C00, 0x3E0, 0x1F}, 3, D3DFMT_X1R5G5B5},
      {"555 swapped", 40, 16, {0x1F, 0x3E0, 0x7C00}, 3, 0},
      {"444", 40, 16, {0xF00, 0xF0, 0xF}, 3, D3DFMT_X4R4G4B4},
      {"888", 40, 24, {0xFF0000, 0xFF00, 0xFF}, 3, D3DFMT_R8G8B8},
      {"x888", 40, 32, {0xFF0000, 0xFF00, 0xFF}, 3, D3DFMT_X8R8G8B8},
      {"g16r16", 40, 32, {0xFFFF, 0xFFFF0000, 0}, 3, D3DFMT_G16R16},
      {"a8l8", 108, 16, {0xFF, 0xFF, 0xFF, 0xFF00}, 3, D3DFMT_A8L8},
      {"1555", 108, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, 3, D3DFMT_A1R5G5B5},
      {"4444", 124, 16, {0xF00, 0xF0, 0xF, 0xF000}, 3, D3DFMT_A4R4G4B4},
      {"8332", 124, 16, {0xE0, 0x1C, 0x3, 0xFF00}, 3, D3DFMT_A8R3G3B2},
      {"8888", 124, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 3, D3DFMT_A8R8G8B8},
      {"2:10:10:10", 124, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, 3, D3DFMT_A2B10G10R10},
      {"8-bit bit fields", 40, 8, {0xE0, 0x1C, 0x3}, 3, 0},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(c.name);
    DibSpec s;
    s.headerSize = c.headerSize;
    s.width = 2;
    s.height = 1;
    s.bitCount = c.bitCount;
    s.compression = c.compression;
    s.masks = c.masks;
    if (c.bitCount <= 8) s.table = GreyTable(1 << c.bitCount);
    s.pixels.resize(8, 0x11);
    const Bytes file = DibFile(s);
    LoadedImage image;
    const HRESULT hr = ReadDib(&image, file.data(), static_cast<uint32_t>(file.size()));
    if (!c.expected) {
      EXPECT_EQ(hr, E_FAIL);
      continue;
    }
    ASSERT_EQ(hr, D3D_OK);
    EXPECT_EQ(image.format, c.expected);
    // The pixel rows begin after the header, the separate masks and the colour table.
    EXPECT_EQ(image.bits[0], 0x11);
    EXPECT_EQ(image.bits[2 * c.bitCount / 8 - 1], 0x11);
  }
}

TEST(BmpReader, ShortMaskedHeaderReadsRowsAfterMasks) {
  DibSpec s;
  s.width = 2;
  s.height = -1;  // top-down: in place, so bits shows where the rows start
  s.bitCount = 16;
  s.compression = 3;
  s.masks = {0xF800, 0x7E0, 0x1F};
  s.pixels = {1, 2, 3, 4};
  const Bytes file = DibFile(s);
  LoadedImage image;
  ASSERT_EQ(ReadDib(&image, file.data(), static_cast<uint32_t>(file.size())), D3D_OK);
  EXPECT_EQ(image.bits, file.data() + 52);
}

TEST(BmpReader, Refusals) {
  DibSpec s;
  s.width = 4;
  s.height = 1;
  s.pixels.resize(12);
  LoadedImage image;

  Bytes bmp = BmpFile(DibFile(s));
  bmp[2] += 1;  // bfSize one larger than the file
  EXPECT_EQ(ReadBmp(&image, bmp.data(), static_cast<uint32_t>(bmp.size())), E_FAIL);

  const struct {
    const char* name;
    void (*change)(DibSpec&);
    HRESULT expected;
  } cases[] = {
      {"planes 2", [](DibSpec& d) { d.planes = 2; }, E_FAIL},
      {"top-down RLE8", [](DibSpec& d) { d.height = -1, d.bitCount = 8, d.compression = 1; }, E_FAIL},
      {"JPEG data", [](DibSpec& d) { d.compression = 4; }, E_NOTIMPL},
      {"PNG data", [](DibSpec& d) { d.compression = 5; }, E_NOTIMPL},
      {"header 39", [](DibSpec& d) { d.headerSize = 39; }, E_FAIL},
      {"negative width", [](DibSpec& d) { d.width = -4; }, E_FAIL},
      {"huge width", [](DibSpec& d) { d.width = 0x7FFFFFFF; }, E_FAIL},
      {"rows past the end", [](DibSpec& d) { d.pixels.pop_back(); }, E_FAIL},
      {"top-down rows past the end", [](DibSpec& d) { d.height = -2; }, E_FAIL},
      {"most negative height", [](DibSpec& d) { d.height = INT32_MIN; }, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DibSpec changed = s;
    c.change(changed);
    const Bytes dib = DibFile(changed);
    LoadedImage refused;
    EXPECT_EQ(ReadDib(&refused, dib.data(), static_cast<uint32_t>(dib.size())), c.expected);
  }

  // Not a bitmap at all: every reader declines.
  const Bytes text = FromString("just some text that no reader takes for a picture");
  LoadedImage none;
  EXPECT_EQ(Read(none, text), TEXERR_INVALIDDATA);
}

HRESULT ReadRle(int width, int height, uint32_t compression, const Bytes& data,
                LoadedImage& image) {
  DibSpec s;
  s.width = width;
  s.height = height;
  s.bitCount = compression == 1 ? 8 : 4;
  s.compression = compression;
  s.table = GreyTable(compression == 1 ? 256 : 16);
  s.pixels = data;
  const Bytes dib = DibFile(s);
  return ReadDib(&image, dib.data(), static_cast<uint32_t>(dib.size()));  // RLE is always copied
}

TEST(BmpReader, Rle8Example) {
  LoadedImage image;
  ASSERT_EQ(ReadRle(4, 2, 1, {0x03, 0x07, 0x00, 0x00, 0x02, 0x05, 0x00, 0x01}, image), D3D_OK);
  ASSERT_EQ(image.rowPitch, 4u);
  const uint8_t expected[8] = {5, 5, 0, 0, 7, 7, 7, 0};  // top row, then bottom row
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image.bits[i], expected[i]) << i;
}

TEST(BmpReader, Rle4RunsAbsoluteRunsAndDelta) {
  // Bottom row: run of 3 alternating 1,2; absolute run of 5 (3 bytes + pad) 3,4,5,6,7.
  // Then a delta of (1, 1) and a run of 2 on the top row, then end of bitmap.
  const Bytes data = {0x03, 0x12, 0x00, 0x05, 0x34, 0x56, 0x70, 0x00,
                      0x00, 0x02, 0x01, 0x01, 0x02, 0x99, 0x00, 0x01};
  LoadedImage image;
  ASSERT_EQ(ReadRle(8, 2, 2, data, image), D3D_OK);
  const uint8_t top[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t bottom[8] = {1, 2, 1, 3, 4, 5, 6, 7};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image.bits[8 + i], bottom[i]) << i;
  // The delta moved 1 right from x=8 (the end of the bottom row): the run falls outside.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(image.bits[i], top[i]) << i;

  LoadedImage second;
  ASSERT_EQ(ReadRle(8, 2, 2, {0x00, 0x02, 0x02, 0x01, 0x02, 0x9A, 0x00, 0x01}, second), D3D_OK);
  EXPECT_EQ(second.bits[2], 9);
  EXPECT_EQ(second.bits[3], 10);
}

TEST(BmpReader, HostileRunLengthDataStaysInside) {
  struct Case {
    const char* name;
    Bytes data;
    uint8_t topRowFirst;
  };
  const Case cases[] = {
      {"run longer than the row", {0xFF, 0x04, 0x00, 0x00, 0x02, 0x06}, 6},
      {"absolute run longer than the row", {0x00, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0x01, 0x08}, 8},
      {"delta above the top", {0x00, 0x02, 0x00, 0x05, 0x01, 0x03}, 0},
      {"end of line above the top", {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x03}, 0},
      {"no end-of-bitmap code", {0x02, 0x01, 0x00, 0x00, 0x01, 0x07}, 7},
      {"absolute run cut short", {0x00, 0x00, 0x00, 0x06, 1, 2}, 0},
      {"delta cut short", {0x00, 0x02, 0x01}, 0},
      {"odd byte left", {0x01}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadedImage image;
    ASSERT_EQ(ReadRle(4, 2, 1, c.data, image), D3D_OK);
    EXPECT_EQ(image.bits[0], c.topRowFirst);
  }
}

}  // namespace
}  // namespace vellomir::test
