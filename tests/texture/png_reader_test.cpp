#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "pixel/allocation.h"
#include "pixel/format_table.h"
#include "png_jpeg_support.h"

namespace vellomir::test {
namespace {

HRESULT ReadPngBytes(LoadedImage& image, const Bytes& file) {
  return ReadPng(&image, file.data(), static_cast<uint32_t>(file.size()));
}

struct PngCase {
  const char* name;
  int colourType, bitDepth;
  bool trns;
  Bytes samples;       // two pixels, one row
  uint32_t format;     // 0: declined
  uint32_t reported;   // ImageInfo format
  Bytes expected;      // the decoded row
};

TEST(PngReader, ColourTypesDepthsAndTransparency) {
  const PngCase cases[] = {
      {"rgb8", 2, 8, false, {10, 20, 30, 40, 50, 60}, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8,
       {30, 20, 10, 255, 60, 50, 40, 255}},
      {"rgb8 tRNS", 2, 8, true, {10, 20, 30, 40, 50, 60}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8,
       {30, 20, 10, 0, 60, 50, 40, 255}},
      {"rgb16", 2, 16, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, FMT_R16G16B16,
       D3DFMT_R8G8B8, {6, 5, 4, 3, 2, 1, 12, 11, 10, 9, 8, 7}},
      {"rgb16 tRNS", 2, 16, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, FMT_A16R16G16B16,
       D3DFMT_A8R8G8B8, {6, 5, 4, 3, 2, 1, 0, 0, 12, 11, 10, 9, 8, 7, 255, 255}},
      {"grey1", 0, 1, false, {0x80}, D3DFMT_L8, D3DFMT_L8, {255, 0}},
      {"grey2", 0, 2, false, {0x90}, D3DFMT_L8, D3DFMT_L8, {170, 85}},
      {"grey4", 0, 4, false, {0xF5}, D3DFMT_L8, D3DFMT_L8, {255, 85}},
      {"grey8", 0, 8, false, {7, 9}, D3DFMT_L8, D3DFMT_L8, {7, 9}},
      {"grey8 tRNS", 0, 8, true, {10, 9}, D3DFMT_A8L8, D3DFMT_A8L8, {10, 0, 9, 255}},
      {"grey1 tRNS", 0, 1, true, {0x40}, D3DFMT_A8L8, D3DFMT_A8L8, {0, 255, 255, 0}},
      {"grey16", 0, 16, false, {0x12, 0x34, 0xAB, 0xCD}, FMT_L16, D3DFMT_L8,
       {0x34, 0x12, 0xCD, 0xAB}},
      {"grey16 tRNS", 0, 16, true, {0x12, 0x34, 0x00, 0x0A}, FMT_A16L16, D3DFMT_A8L8,
       {0x34, 0x12, 0x00, 0x00, 0x0A, 0x00, 0xFF, 0xFF}},
      {"grey-alpha8", 4, 8, false, {1, 2, 3, 4}, D3DFMT_A8L8, D3DFMT_A8L8, {1, 2, 3, 4}},
      {"grey-alpha16", 4, 16, false, {1, 2, 3, 4, 5, 6, 7, 8}, FMT_A16L16, D3DFMT_A8L8,
       {2, 1, 4, 3, 6, 5, 8, 7}},
      {"rgba8", 6, 8, false, {1, 2, 3, 4, 5, 6, 7, 8}, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8,
       {3, 2, 1, 4, 7, 6, 5, 8}},
      {"rgba16", 6, 16, false, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
       FMT_A16R16G16B16, D3DFMT_A8R8G8B8,
       {6, 5, 4, 3, 2, 1, 8, 7, 14, 13, 12, 11, 10, 9, 16, 15}},
      {"palette8", 3, 8, false, {1, 0}, D3DFMT_P8, D3DFMT_P8, {1, 0}},
      {"palette4", 3, 4, false, {0x21}, D3DFMT_P8, D3DFMT_P8, {2, 1}},
      {"palette2 tRNS", 3, 2, true, {0xC0}, D3DFMT_P8, D3DFMT_P8, {3, 0}},
  };
  for (const PngCase& c : cases) {
    SCOPED_TRACE(c.name);
    PngSpec spec;
    spec.width = 2;
    spec.colourType = c.colourType;
    spec.bitDepth = c.bitDepth;
    spec.samples = c.samples;
    if (c.colourType == 3) {
      spec.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
      if (c.trns) spec.trnsAlpha = {0, 128};
    } else if (c.trns) {
      spec.trnsColour = true;
      // The first pixel's colour (grey 10 / rgb 10,20,30 / 16-bit 0x1234 and 0x0102...).
      spec.transparent = c.bitDepth == 16
                             ? png_color_16{0, 0x0102, 0x0304, 0x0506, 0x1234}
                             : png_color_16{0, 10, 20, 30, static_cast<png_uint_16>(c.bitDepth == 1 ? 1 : 10)};
    }
    const Bytes file = EncodePng(spec);
    ASSERT_FALSE(file.empty());
    LoadedImage image;
    ImageInfo info;
    ASSERT_EQ(Read(image, file, &info), D3D_OK);
    EXPECT_EQ(info.fileFormat, Png);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(info.format, c.reported);
    EXPECT_EQ(image.rowPitch, c.expected.size());
    EXPECT_EQ(image.ownsBits, 1u);
    for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_EQ(image.bits[i], c.expected[i]) << i;
    EXPECT_EQ(image.palette != nullptr, c.format == D3DFMT_P8);
  }
}

TEST(PngReader, PaletteTransparencyAndFill) {
  PngSpec spec;
  spec.colourType = 3;
  spec.samples = {0};
  spec.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  spec.trnsAlpha = {0, 128};
  const Bytes file = EncodePng(spec);
  LoadedImage image;
  ASSERT_EQ(ReadPngBytes(image, file), D3D_OK);
  ASSERT_NE(image.palette, nullptr);
  EXPECT_EQ(image.ownsPalette, 1u);
  const PALETTEENTRY* p = image.palette;
  EXPECT_EQ(p[0].peRed, 1);
  EXPECT_EQ(p[0].peFlags, 0);
  EXPECT_EQ(p[1].peBlue, 6);
  EXPECT_EQ(p[1].peFlags, 128);
  EXPECT_EQ(p[2].peGreen, 8);
  EXPECT_EQ(p[2].peFlags, 255);
  EXPECT_EQ(p[3].peRed, 10);
  EXPECT_EQ(p[3].peFlags, 255);
  for (int i = 4; i < 256; ++i)
    EXPECT_TRUE(p[i].peRed == 255 && p[i].peGreen == 255 && p[i].peBlue == 255 &&
                p[i].peFlags == 255)
        << i;
}

TEST(PngReader, PaletteGammaTable) {
  PngSpec spec;
  spec.colourType = 3;
  spec.samples = {0};
  spec.palette = {{0, 64, 128}, {200, 255, 1}};
  spec.gamma = 0.5;
  const Bytes file = EncodePng(spec);
  LoadedImage image;
  ASSERT_EQ(ReadPngBytes(image, file), D3D_OK);
  const double exponent = 1.0 / (0.5 * 2.2);
  auto table = [&](int v) { return static_cast<int>(255 * std::pow(v / 255.0, exponent) + 0.5); };
  EXPECT_EQ(image.palette[0].peRed, table(0));
  EXPECT_EQ(image.palette[0].peGreen, table(64));
  EXPECT_EQ(image.palette[0].peBlue, table(128));
  EXPECT_EQ(image.palette[1].peRed, table(200));
  EXPECT_NE(table(64), 64);  // the case shows the table at work

  // An sRGB chunk leaves the palette as stored.
  spec.gamma = 0;
  spec.srgbIntent = 0;
  const Bytes srgb = EncodePng(spec);
  LoadedImage plain;
  ASSERT_EQ(ReadPngBytes(plain, srgb), D3D_OK);
  EXPECT_EQ(plain.palette[0].peGreen, 64);
}

TEST(PngReader, GammaCorrectsTrueColour) {
  PngSpec spec;
  spec.colourType = 0;
  spec.samples = {64};
  spec.gamma = 1.0;  // linear samples, shown on a 2.2 screen
  const Bytes file = EncodePng(spec);
  LoadedImage image;
  ASSERT_EQ(ReadPngBytes(image, file), D3D_OK);
  const int expected = static_cast<int>(255 * std::pow(64 / 255.0, 1 / 2.2) + 0.5);
  EXPECT_NEAR(image.bits[0], expected, 1);
}

TEST(PngReader, InterlacedMatchesProgressive) {
  PngSpec spec;
  spec.width = 13;
  spec.height = 11;
  spec.colourType = 6;
  for (uint32_t i = 0; i < 13 * 11 * 4; ++i) spec.samples.push_back(static_cast<uint8_t>(i * 7));
  const Bytes plainFile = EncodePng(spec);
  spec.interlaced = true;
  const Bytes interlacedFile = EncodePng(spec);
  LoadedImage plain, interlaced;
  ASSERT_EQ(ReadPngBytes(plain, plainFile), D3D_OK);
  ASSERT_EQ(ReadPngBytes(interlaced, interlacedFile), D3D_OK);
  EXPECT_EQ(0, std::memcmp(plain.bits, interlaced.bits, 13 * 11 * 4));
}

TEST(PngReader, TruncatedAndCorruptFilesAreDeclined) {
  PngSpec spec;
  spec.width = 64;
  spec.height = 64;
  spec.colourType = 2;
  for (int i = 0; i < 64 * 64 * 3; ++i) spec.samples.push_back(static_cast<uint8_t>(i * 31 + i / 7));
  const Bytes file = EncodePng(spec);
  for (size_t keep : {size_t{8}, size_t{20}, size_t{40}, file.size() / 2, file.size() - 13}) {
    SCOPED_TRACE(keep);
    const Bytes cut(file.begin(), file.begin() + keep);
    LoadedImage image;
    EXPECT_EQ(ReadPngBytes(image, cut), E_FAIL);
  }
  Bytes corrupt = file;
  corrupt[40] ^= 0xFF;  // inside the compressed data: a CRC error
  LoadedImage image;
  EXPECT_EQ(ReadPngBytes(image, corrupt), E_FAIL);
  const Bytes notPng = FromString("\x89PNG but not really");
  EXPECT_EQ(ReadPngBytes(image, notPng), E_FAIL);
}

TEST(PngReader, OutOfMemoryIsReported) {
  PngSpec spec;
  spec.samples = {1, 2, 3};
  const Bytes file = EncodePng(spec);
  LoadedImage image;
  SetAllocationFailureCountdown(0);
  const HRESULT hr = ReadPngBytes(image, file);
  SetAllocationFailureCountdown(-1);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
}

}  // namespace
}  // namespace vellomir::test
