#include <gtest/gtest.h>

#include "image_builders.h"

namespace vellomir::test {
namespace {

// A 2x2 24-bit picture stored as four distinct pixels p0..p3 in file order.
Bytes FourPixels() { return {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}; }

// The first byte of the pixel at (x, y) of a 24-bit image.
uint8_t At(const LoadedImage& image, int x, int y) { return image.bits[y * image.rowPitch + x * 3]; }

TEST(TgaReader, OriginsDecideWhereStoredPixelsGo) {
  struct Case {
    uint8_t descriptor;
    uint8_t expected[4];  // image (0,0), (1,0), (0,1), (1,1)
    bool inPlace;
  };
  const Case cases[] = {
      {0x20, {1, 2, 3, 4}, true},   // top-left
      {0x00, {3, 4, 1, 2}, false},  // bottom-left: first stored row is the last image row
      {0x10, {4, 3, 2, 1}, false},  // bottom-right
      {0x30, {2, 1, 4, 3}, false},  // top-right
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descriptor);
    TgaSpec s;
    s.width = s.height = 2;
    s.descriptor = c.descriptor;
    s.id = FromString("tag");
    s.pixels = FourPixels();
    const Bytes file = TgaFile(s);
    LoadedImage image;
    ImageInfo info;
    ASSERT_EQ(Read(image, file, &info), D3D_OK);
    EXPECT_EQ(info.fileFormat, Tga);
    EXPECT_EQ(image.format, uint32_t{D3DFMT_R8G8B8});
    EXPECT_EQ(image.rowPitch, 6u);
    EXPECT_EQ(image.ownsBits, c.inPlace ? 0u : 1u);
    if (c.inPlace) {
      EXPECT_EQ(image.bits, file.data() + 18 + 3);
    }
    EXPECT_EQ(At(image, 0, 0), c.expected[0]);
    EXPECT_EQ(At(image, 1, 0), c.expected[1]);
    EXPECT_EQ(At(image, 0, 1), c.expected[2]);
    EXPECT_EQ(At(image, 1, 1), c.expected[3]);

    // One byte missing: refused (and the DIB reader after it declines too).
    const Bytes cut(file.begin(), file.end() - 1);
    LoadedImage shorter;
    EXPECT_EQ(Read(shorter, cut), TEXERR_INVALIDDATA);
  }
}

TEST(TgaReader, RunLengthPackets) {
  TgaSpec s;
  s.imageType = 10;
  s.width = 4;
  s.height = 2;
  s.pixelDepth = 32;
  s.descriptor = 0x20;
  // Row 0: run of 4. Row 1: raw packet of 2, then a run of 2.
  s.pixels = {0x83, 10, 11, 12, 13, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x81, 9, 9, 9, 9};
  const Bytes file = TgaFile(s);
  LoadedImage image;
  ASSERT_EQ(Read(image, file), D3D_OK);
  EXPECT_EQ(image.format, uint32_t{D3DFMT_A8R8G8B8});
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel32(image, x, 0), 0x0D0C0B0Au);
  EXPECT_EQ(Pixel32(image, 0, 1), 0x04030201u);
  EXPECT_EQ(Pixel32(image, 1, 1), 0x08070605u);
  EXPECT_EQ(Pixel32(image, 3, 1), 0x09090909u);

  // A packet that crosses the row end carries on into the next row; one that runs past the
  // image is cut at its end.
  TgaSpec crossing = s;
  crossing.pixels = {0x85, 1, 1, 1, 1, 0x82, 2, 2, 2, 2};
  const Bytes crossingFile = TgaFile(crossing);
  LoadedImage crossed;
  ASSERT_EQ(Read(crossed, crossingFile), D3D_OK);
  EXPECT_EQ(Pixel32(crossed, 1, 1), 0x01010101u);
  EXPECT_EQ(Pixel32(crossed, 2, 1), 0x02020202u);
  EXPECT_EQ(Pixel32(crossed, 3, 1), 0x02020202u);

  // Data ending inside a packet, or before a packet header, declines.
  for (size_t cut : {size_t{1}, size_t{5}, size_t{6}}) {
    const Bytes shorter(file.begin(), file.end() - cut);
    LoadedImage refused;
    EXPECT_EQ(ReadTga(&refused, shorter.data(), static_cast<uint32_t>(shorter.size())), E_FAIL);
  }
}

TEST(TgaReader, ColourMapEntrySizes) {
  struct Case {
    uint8_t entrySize;
    Bytes entry;
    PALETTEENTRY expected;
  };
  const Case cases[] = {
      {24, {0x30, 0x20, 0x10}, {0x10, 0x20, 0x30, 255}},
      {32, {0x30, 0x20, 0x10, 0x40}, {0x10, 0x20, 0x30, 0x40}},
      {16, {0x00, 0x7C}, {255, 0, 0, 0}},
      {16, {0x00, 0xFC}, {255, 0, 0, 255}},
      {15, {0x1F, 0x00}, {0, 0, 255, 255}},
      {16, {0x10, 0x42}, {132, 132, 132, 0}},  // 16 in each channel: 16 x 8 + 4
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.entrySize} << " " << int{c.entry[0]});
    TgaSpec s;
    s.colourMapType = 1;
    s.imageType = 1;
    s.pixelDepth = 8;
    s.entrySize = c.entrySize;
    s.firstEntry = 5;
    s.mapLength = 1;
    s.map = c.entry;
    s.pixels = {5};
    const Bytes file = TgaFile(s);
    LoadedImage image;
    ASSERT_EQ(Read(image, file), D3D_OK);
    EXPECT_EQ(image.format, uint32_t{D3DFMT_P8});
    ASSERT_NE(image.palette, nullptr);
    const PALETTEENTRY e = image.palette[5];
    EXPECT_EQ(e.peRed, c.expected.peRed);
    EXPECT_EQ(e.peGreen, c.expected.peGreen);
    EXPECT_EQ(e.peBlue, c.expected.peBlue);
    EXPECT_EQ(e.peFlags, c.expected.peFlags);
    EXPECT_EQ(image.palette[4].peFlags, 255);  // entries outside the map: opaque white
    EXPECT_EQ(image.palette[4].peRed, 255);
  }
}

TEST(TgaReader, SixteenEntryMapAndRunLengthColourMapped) {
  TgaSpec s;
  s.colourMapType = 1;
  s.imageType = 9;
  s.pixelDepth = 8;
  s.entrySize = 24;
  s.mapLength = 16;
  for (int i = 0; i < 16; ++i) {
    Put8(s.map, i);
    Put8(s.map, i);
    Put8(s.map, 100 + i);
  }
  s.width = 3;
  s.pixels = {0x82, 15};
  const Bytes file = TgaFile(s);
  LoadedImage image;
  ASSERT_EQ(Read(image, file), D3D_OK);
  EXPECT_EQ(image.bits[2], 15);
  EXPECT_EQ(image.palette[15].peRed, 115);
  EXPECT_EQ(image.palette[15].peFlags, 255);
  EXPECT_EQ(image.palette[16].peRed, 255);
  EXPECT_EQ(image.palette[16].peGreen, 255);
}

TEST(TgaReader, Refusals) {
  const struct {
    const char* name;
    void (*change)(TgaSpec&);
  } cases[] = {
      {"map past entry 255",
       [](TgaSpec& t) {
         t.colourMapType = 1, t.imageType = 1, t.pixelDepth = 8, t.entrySize = 24;
         t.firstEntry = 250, t.mapLength = 10, t.map.resize(30), t.pixels = {0};
       }},
      {"colour-mapped without a map", [](TgaSpec& t) { t.imageType = 1, t.pixelDepth = 8; }},
      {"grey 16 bits", [](TgaSpec& t) { t.imageType = 3, t.pixelDepth = 16; }},
      {"image type 0x20", [](TgaSpec& t) { t.imageType = 0x20; }},
      {"image type 0", [](TgaSpec& t) { t.imageType = 0; }},
      {"colour map type 2", [](TgaSpec& t) { t.colourMapType = 2; }},
      {"entry size 8", [](TgaSpec& t) { t.colourMapType = 1, t.entrySize = 8; }},
      {"width 0", [](TgaSpec& t) { t.width = 0; }},
      {"true colour 8 bits", [](TgaSpec& t) { t.pixelDepth = 8; }},
      {"map bytes missing", [](TgaSpec& t) { t.mapLength = 200, t.entrySize = 24; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TgaSpec s;
    s.pixels.resize(16, 0);
    c.change(s);
    const Bytes file = TgaFile(s);
    LoadedImage image;
    EXPECT_EQ(ReadTga(&image, file.data(), static_cast<uint32_t>(file.size())), E_FAIL);
  }
}

}  // namespace
}  // namespace vellomir::test
