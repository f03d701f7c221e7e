#include "pixel/format_table.h"

#include <gtest/gtest.h>

#include <set>

namespace vellomir {
namespace {

void ExpectDefaultRow(const FormatInfo& row) {
  EXPECT_EQ(row.format, 0u);
  EXPECT_EQ(row.kind, Rgb);
  EXPECT_EQ(row.bitsPerPixel, 32u);
  EXPECT_EQ(row.channelBits[0], 0u);
  for (int i = 1; i < 5; ++i) EXPECT_EQ(row.channelBits[i], 8u);
  EXPECT_EQ(row.substitutable, 0u);
}

TEST(FormatTable, UnknownCodesGiveTheDefaultRow) {
  for (uint32_t code : {0u, 32u, 33u, 0x31313131u /* "1111" */, 0xFFFFFFFFu}) {
    SCOPED_TRACE(code);
    ExpectDefaultRow(GetFormatInfo(code));
  }
}

TEST(FormatTable, OrderCodesAndUniqueness) {
  const auto table = FormatTable();
  ASSERT_EQ(table.size(), 43u);
  // The closest-format search walks the rows in order; spot-check both ends and the middle.
  EXPECT_EQ(table[0].format, D3DFMT_R8G8B8);
  EXPECT_EQ(table[5].format, D3DFMT_A8P8);
  EXPECT_EQ(table[25].format, D3DFMT_UYVY);
  EXPECT_EQ(table[32].format, D3DFMT_D16_LOCKABLE);
  EXPECT_EQ(table[39].format, FMT_L16);
  EXPECT_EQ(table[42].format, FMT_A16R16G16B16);
  std::set<uint32_t> codes;
  for (const FormatInfo& row : table) {
    EXPECT_TRUE(codes.insert(row.format).second) << row.format;
    EXPECT_EQ(&GetFormatInfo(row.format), &row);  // lookup returns the row itself
  }
  EXPECT_EQ(FMT_L16, 0x36314C20u);
  EXPECT_EQ(FMT_A16L16, 0x36314C41u);
  EXPECT_EQ(FMT_R16G16B16, 0x36315220u);
  EXPECT_EQ(FMT_A16R16G16B16, 0x36315241u);
}

TEST(FormatTable, RowsThatLookOdd) {
  struct Case {
    uint32_t format;
    uint32_t kind;
    uint32_t bits;
    uint32_t channels[5];
    uint32_t substitutable;
  };
  const Case cases[] = {
      {D3DFMT_DXT1, Rgb, 16, {0, 1, 5, 6, 5}, 0},
      {D3DFMT_DXT3, Rgb, 16, {0, 4, 5, 6, 5}, 0},
      {FMT_L16, Luminance, 16, {0, 0, 16, 16, 16}, 0},
      {D3DFMT_D24S8, Depth, 32, {0, 0, 0, 8, 24}, 1},
      {D3DFMT_D16_LOCKABLE, Depth, 16, {1, 0, 0, 0, 16}, 1},
      {D3DFMT_G16R16, Rgb, 32, {0, 0, 16, 16, 0}, 1},
      {D3DFMT_A8, Rgb, 8, {0, 8, 0, 0, 0}, 1},
      {D3DFMT_P8, Palette, 8, {0, 8, 8, 8, 8}, 1},
      {D3DFMT_R8G8B8, Rgb, 24, {0, 0, 8, 8, 8}, 0},
      {D3DFMT_L6V5U5, BumpMap, 16, {6, 0, 0, 5, 5}, 1},
      {D3DFMT_W11V11U10, BumpMap, 32, {0, 0, 11, 11, 10}, 1},
      {FMT_A16R16G16B16, Rgb, 64, {0, 16, 16, 16, 16}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const FormatInfo& row = GetFormatInfo(c.format);
    EXPECT_EQ(row.format, c.format);
    EXPECT_EQ(row.kind, c.kind);
    EXPECT_EQ(row.bitsPerPixel, c.bits);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(row.channelBits[i], c.channels[i]) << i;
    EXPECT_EQ(row.substitutable, c.substitutable);
  }
}

TEST(FormatTable, NearestExternalFormat) {
  const uint32_t cases[][2] = {
      {FMT_L16, D3DFMT_L8},
      {FMT_A16L16, D3DFMT_A8L8},
      {FMT_R16G16B16, D3DFMT_R8G8B8},
      {FMT_A16R16G16B16, D3DFMT_A8R8G8B8},
      {D3DFMT_DXT1, D3DFMT_DXT1},
      {D3DFMT_L8, D3DFMT_L8},
      {0, 0},
      {12345, 12345},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestExternalFormat(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace vellomir
