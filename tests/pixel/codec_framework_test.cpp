#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>
#include <vector>

#include "codec_fixture.h"
#include "pixel/allocation.h"
#include "pixel/format_table.h"

namespace vellomir {
namespace {

using test::SameColor;
using test::TestImage;

TEST(CodecFactory, FormatsWithoutCodecGiveNull) {
  for (uint32_t format : {0u, 32u, uint32_t{D3DFMT_D32}, uint32_t{D3DFMT_D15S1},
                          uint32_t{D3DFMT_D24S8}, uint32_t{D3DFMT_D16}, uint32_t{D3DFMT_D24X8},
                          uint32_t{D3DFMT_D24X4S4}, uint32_t{D3DFMT_INDEX16}}) {
    TestImage image(format, 4, 2);
    EXPECT_EQ(image.Codec(), nullptr) << format;
  }
}

TEST(CodecFactory, EveryCodecHasTheFieldsOfItsFormat) {
  const struct {
    uint32_t format;
    uint32_t bytesPerPixel;
    ChannelRange range;
  } cases[] = {
      {D3DFMT_R8G8B8, 3, Unsigned},       {D3DFMT_A8P8, 2, Unsigned},
      {D3DFMT_P8, 1, Unsigned},           {D3DFMT_V8U8, 2, SignedRgb},
      {D3DFMT_L6V5U5, 2, SignedRgb},      {D3DFMT_X8L8V8U8, 4, SignedRgb},
      {D3DFMT_Q8W8V8U8, 4, SignedRgba},   {D3DFMT_A2W10V10U10, 4, SignedRgb},
      {D3DFMT_D16_LOCKABLE, 2, Unsigned}, {FMT_R16G16B16, 6, Unsigned},
      {FMT_A16R16G16B16, 8, Unsigned},    {D3DFMT_UYVY, 0, Unsigned},
      {D3DFMT_YUY2, 0, Unsigned},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    TestImage image(c.format, 8, 6, 5);
    image.desc.region = {1, 2, 5, 5, 0, 1};
    auto codec = image.Codec();
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(codec->format, c.format);
    EXPECT_EQ(codec->range, c.range);
    EXPECT_EQ(codec->bytesPerPixel, c.bytesPerPixel);
    EXPECT_EQ(codec->rebased, c.bytesPerPixel != 0);
    EXPECT_EQ(codec->palettized, c.format == D3DFMT_P8 || c.format == D3DFMT_A8P8);
    EXPECT_EQ(codec->width, 4u);
    EXPECT_EQ(codec->height, 3u);
    EXPECT_EQ(codec->depth, 1u);
    EXPECT_EQ(codec->bytesPerRow, 4 * c.bytesPerPixel);
    EXPECT_EQ(codec->sourceRange, 0u);
    EXPECT_EQ(codec->ditherTable, FlatDitherTable);
    if (codec->rebased) {
      // bits moves to the region's first pixel and the box becomes region-relative.
      EXPECT_EQ(codec->bits, image.At(2 * image.rowPitch + c.bytesPerPixel));
      EXPECT_EQ(codec->box.Left, 0u);
      EXPECT_EQ(codec->box.Top, 0u);
      EXPECT_EQ(codec->box.Right, 4u);
      EXPECT_EQ(codec->box.Bottom, 3u);
    } else {
      EXPECT_EQ(codec->bits, image.At(0));
      EXPECT_EQ(codec->box.Left, 1u);
      EXPECT_EQ(codec->box.Bottom, 5u);
    }
  }
}

TEST(CodecFactory, DxtFormatsHaveNoCodecYet) {
  for (uint32_t format : {uint32_t{D3DFMT_DXT1}, uint32_t{D3DFMT_DXT5}}) {
    TestImage image(format, 2, 4, 4);
    EXPECT_EQ(image.Codec(), nullptr);
  }
}

TEST(CodecFactory, OutOfMemoryGivesNull) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 2);
  SetAllocationFailureCountdown(0);
  auto codec = image.Codec();
  SetAllocationFailureCountdown(-1);
  EXPECT_EQ(codec, nullptr);
}

// Rows address the region: row y of slice z, pixels from the region's left.
TEST(PixelCodecRows, AddressTheRegionOfAVolume) {
  TestImage image(D3DFMT_L8, 1, 4, 3, 3);
  for (size_t i = 0; i < image.bytes.size() - 8; ++i) image.bytes[i] = static_cast<uint8_t>(i);
  image.desc.region = {1, 1, 3, 3, 1, 3};
  auto codec = image.Codec();
  FloatColor row[2];
  codec->DecodeRow(1, 1, row);  // absolute row 2, slice 2, pixels 1 and 2
  EXPECT_FLOAT_EQ(row[0].r, (2 * 12 + 2 * 4 + 1) / 255.f);
  EXPECT_FLOAT_EQ(row[1].r, (2 * 12 + 2 * 4 + 2) / 255.f);

  const FloatColor white[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
  codec->EncodeRow(0, 0, white);  // absolute row 1, slice 1
  EXPECT_EQ(image.bytes[12 + 4 + 0], 12 + 4 + 0);
  EXPECT_EQ(image.bytes[12 + 4 + 1], 255);
  EXPECT_EQ(image.bytes[12 + 4 + 2], 255);
  EXPECT_EQ(image.bytes[12 + 4 + 3], 12 + 4 + 3);
}

// Rows of an odd pitch leave multi-byte pixels unaligned; they must still be read and written
// whole and in little-endian order.
TEST(PixelCodecRows, UnalignedRows) {
  TestImage image(FMT_A16R16G16B16, 8, 2, 2, 1, 17);
  const uint64_t pixel = 0xFFFF800000010002ull;  // A 1, R 0.5, G 1/65535, B 2/65535
  std::memcpy(image.At(17 + 8), &pixel, 8);
  image.desc.region = {1, 1, 2, 2, 0, 1};
  auto codec = image.Codec();
  FloatColor c;
  codec->DecodeRow(0, 0, &c);
  EXPECT_FLOAT_EQ(c.r, 32768 / 65535.f);
  EXPECT_FLOAT_EQ(c.b, 2 / 65535.f);
  EXPECT_EQ(c.a, 1.0f);
  std::memset(image.At(17 + 8), 0, 8);
  codec->EncodeRow(0, 0, &c);
  uint64_t stored;
  std::memcpy(&stored, image.At(17 + 8), 8);
  EXPECT_EQ(stored, pixel);
}

// At an odd column a YUV region of width 0 still lies inside a pixel pair; that pair must not
// be re-encoded either (0xF0 bytes do not survive a YUV round trip, so a write would show).
TEST(PixelCodecRows, ZeroWidthRegionTouchesNothing) {
  for (uint32_t format : {uint32_t{D3DFMT_A8R8G8B8}, uint32_t{D3DFMT_P8}, uint32_t{D3DFMT_UYVY}}) {
    for (uint32_t left : {2u, 3u}) {
      SCOPED_TRACE(testing::Message() << format << " left " << left);
      TestImage image(format, 4, 4, 2);
      std::memset(image.bytes.data(), 0xF0, image.bytes.size());
      image.desc.region = {left, 0, left, 2, 0, 1};
      image.desc.colorKey = 0xFFF0F0F0;
      const std::vector<uint8_t> before = image.bytes;
      {
        auto codec = image.Codec();
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(codec->width, 0u);
        FloatColor sentinel{7, 7, 7, 7};
        codec->DecodeRow(1, 0, &sentinel);
        EXPECT_EQ(sentinel.r, 7.0f);
        codec->EncodeRow(1, 0, &sentinel);
      }
      EXPECT_EQ(image.bytes, before);
    }
  }
}

// The box filter shrinks a source codec's width in place between rows.
TEST(PixelCodecRows, WidthIsReadAfreshOnEveryRow) {
  TestImage image(D3DFMT_L8, 1, 4);
  image.bytes = {10, 20, 30, 40, 0, 0, 0, 0, 0, 0, 0, 0};
  image.desc.bits = image.bytes.data();
  auto codec = image.Codec();
  codec->width = 2;
  codec->bytesPerRow = 2;
  FloatColor row[4] = {};
  codec->DecodeRow(0, 0, row);
  EXPECT_FLOAT_EQ(row[1].r, 20 / 255.f);
  EXPECT_EQ(row[2].r, 0.0f);
}

TEST(ColorKey, ReducedToTheSourcePrecision) {
  // 0xFFFF00FF in 5:6:5 is (1, 0, 1, 1): 0xF81F is keyed, its neighbour 0xF81E is kept.
  TestImage image(D3DFMT_R5G6B5, 2, 2);
  const uint16_t pixels[2] = {0xF81F, 0xF81E};
  std::memcpy(image.At(0), pixels, 4);
  image.desc.colorKey = 0xFFFF00FF;
  auto codec = image.Codec();
  EXPECT_TRUE(SameColor(codec->keyColor, {1, 0, 1, 1}));
  FloatColor row[2];
  codec->DecodeRow(0, 0, row);
  EXPECT_TRUE(SameColor(row[0], {0, 0, 0, 0}));
  EXPECT_FLOAT_EQ(row[1].b, 30 / 31.f);
  EXPECT_EQ(row[1].a, 1.0f);
}

TEST(ColorKey, KeysPixelsAsTheFormatDecodesThem) {
  const struct {
    uint32_t format;
    uint32_t key;
    uint32_t pixels[2];
    bool keyed[2];
  } cases[] = {
      // No stored alpha: the key's alpha becomes 1 like every decoded pixel's.
      {D3DFMT_X8R8G8B8, 0x00FF00FF, {0x00FF00FF, 0xFFFF00FF}, {true, true}},
      // Stored alpha: only the exact alpha matches.
      {D3DFMT_A8R8G8B8, 0xFF00FF00, {0xFF00FF00, 0x8000FF00}, {true, false}},
      {D3DFMT_A8R8G8B8, 0x8000FF00, {0xFF00FF00, 0x8000FF00}, {false, true}},
      // A key of 0 is no key at all: black transparent pixels stay.
      {D3DFMT_A8R8G8B8, 0, {0x00000000, 0x00000000}, {false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.format << " key " << c.key);
    TestImage image(c.format, 4, 2);
    std::memcpy(image.At(0), c.pixels, 8);
    image.desc.colorKey = c.key;
    FloatColor row[2];
    image.Codec()->DecodeRow(0, 0, row);
    for (int i = 0; i < 2; ++i) {
      const bool cleared = SameColor(row[i], {0, 0, 0, 0});
      // A zero pixel decodes to transparent black anyway; tell keyed from kept by the key.
      if (c.key == 0)
        EXPECT_EQ(row[i].a, 0.0f);
      else
        EXPECT_EQ(cleared, c.keyed[i]) << i;
    }
  }
}

TEST(ColorKey, PalettizedKeyBecomesTheNearestEntry) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 255});
  palette[4] = {250, 0, 250, 255};
  TestImage image(D3DFMT_P8, 1, 3);
  image.bytes[0] = 4;
  image.bytes[1] = 0;
  image.bytes[2] = 4;
  image.desc.palette = palette.data();
  image.desc.colorKey = 0xFFFF00FF;
  auto codec = image.Codec();
  EXPECT_FLOAT_EQ(codec->keyColor.r, 250 / 255.f);
  FloatColor row[3];
  codec->DecodeRow(0, 0, row);
  EXPECT_TRUE(SameColor(row[0], {0, 0, 0, 0}));
  EXPECT_EQ(row[1].a, 1.0f);
  EXPECT_TRUE(SameColor(row[2], {0, 0, 0, 0}));
}

TEST(ColorKey, SignedFormatsReduceTheKeyInTheirOwnRange) {
  // Key 0xFF000000 is (0, 0, 0, 1) unsigned, i.e. (-1, -1, -1, 1) for V8U8: bytes 0x80 0x80.
  TestImage image(D3DFMT_V8U8, 2, 2);
  const uint16_t pixels[2] = {0x8080, 0x8081};
  std::memcpy(image.At(0), pixels, 4);
  image.desc.colorKey = 0xFF000000;
  auto codec = image.Codec();
  EXPECT_TRUE(SameColor(codec->keyColor, {-1, -1, 0, 1}));
  EXPECT_EQ(codec->colorKey, 0xFF000000u);
  EXPECT_EQ(codec->width, 2u);  // fields borrowed for the key are restored
  FloatColor row[2];
  codec->DecodeRow(0, 0, row);
  EXPECT_TRUE(SameColor(row[0], {0, 0, 0, 0}));
  EXPECT_FALSE(SameColor(row[1], {0, 0, 0, 0}));
}

TEST(Palette, MissingPaletteDecodesOpaqueWhite) {
  for (uint32_t format : {uint32_t{D3DFMT_P8}, uint32_t{D3DFMT_A8P8}}) {
    TestImage image(format, 2, 2);
    image.bytes = {17, 0xFF, 200, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    image.desc.bits = image.bytes.data();
    FloatColor row[2];
    image.Codec()->DecodeRow(0, 0, row);
    EXPECT_TRUE(SameColor(row[0], {1, 1, 1, 1})) << format;
    EXPECT_TRUE(SameColor(row[1], {1, 1, 1, 1})) << format;
  }
}

TEST(Dither, ConstantHalfRowInto5BitsFollowsTheOrderedPattern) {
  // 0.5 * 31 = 15.5: thresholds of at least one half give 16, the others 15.
  for (uint32_t depth : {1u, 3u}) {
    TestImage image(D3DFMT_X1R5G5B5, 2, 8, 4, depth);
    image.desc.dither = 1;
    auto codec = image.Codec();
    ASSERT_EQ(codec->ditherTable, OrderedDitherTable);
    const std::vector<FloatColor> half(8, FloatColor{0.5f, 0.5f, 0.5f, 1});
    for (uint32_t z = 0; z < depth; ++z)
      for (uint32_t y = 0; y < 4; ++y) codec->EncodeRow(y, z, half.data());
    for (uint32_t z = 0; z < depth; ++z) {
      for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 8; ++x) {
          uint16_t w;
          std::memcpy(&w, image.At(z * image.slicePitch + y * image.rowPitch + 2 * x), 2);
          const uint32_t expected = OrderedDitherTable[y][(x + z) % 4] >= 0.5f ? 16 : 15;
          EXPECT_EQ(w >> 10, expected) << x << "," << y << "," << z;
          EXPECT_EQ(w & 31, expected);
        }
      }
    }
  }
}

TEST(Dither, TablesHoldTheirPatterns) {
  const float pattern[4][4] = {{31, 15, 27, 11}, {7, 23, 3, 19}, {25, 9, 29, 13}, {1, 17, 5, 21}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(OrderedDitherTable[y][x], pattern[y][x % 4] / 32);
      EXPECT_EQ(FlatDitherTable[y][x], 0.5f);
    }
}

TEST(Encode, HalfAndFullIn8Bits) {
  TestImage image(D3DFMT_A8R8G8B8, 4, 1);
  auto codec = image.Codec();
  const FloatColor c{0.5f, 1, 0, 1};
  codec->EncodeRow(0, 0, &c);
  EXPECT_EQ(image.bytes[2], 128);
  EXPECT_EQ(image.bytes[1], 255);
}

TEST(Encode, IndependentOfTheCallersRoundingMode) {
  const std::vector<FloatColor> row = {
      {0.5f, 0.25f, 0.75f, 1}, {-0.25f, 0, 0, 1}, {1 / 3.f, 2 / 3.f, 0.999f, 0}};
  auto encode = [&](uint32_t format, uint32_t bytes) {
    // Signed formats take the row as signed values directly (no range conversion).
    TestImage image(format, bytes, 3);
    auto codec = image.Codec();
    codec->EncodeRow(0, 0, row.data());
    return image.bytes;
  };
  const uint32_t formats[][2] = {{D3DFMT_A8R8G8B8, 4}, {D3DFMT_V8U8, 2}, {D3DFMT_R5G6B5, 2}};
  const int original = std::fegetround();
  for (const auto& f : formats) {
    const std::vector<uint8_t> reference = encode(f[0], f[1]);
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
      ASSERT_EQ(std::fesetround(mode), 0);
      const std::vector<uint8_t> got = encode(f[0], f[1]);
      EXPECT_EQ(std::fegetround(), mode);  // left as the caller set it
      std::fesetround(original);
      EXPECT_EQ(got, reference) << f[0] << " mode " << mode;
    }
  }
  // V8U8: -0.25 * 128 + 0.5 = -31.5 must floor to -32, not truncate to -31.
  const std::vector<uint8_t> v8u8 = encode(D3DFMT_V8U8, 2);
  EXPECT_EQ(v8u8[2], 0xE0);
}

TEST(RangeConversion, TableOfConversions) {
  const struct {
    ChannelRange from, to;
    FloatColor in, out;
  } cases[] = {
      {Unsigned, SignedRgb, {0, 0.5f, 1, 1}, {-1, 0, 1, 1}},
      {Unsigned, SignedRgba, {0, 0.5f, 1, 0}, {-1, 0, 1, -1}},
      {SignedRgb, Unsigned, {-1, 0, 1, 0.25f}, {0, 0.5f, 1, 0.25f}},
      {SignedRgba, Unsigned, {-1, 0, 1, -1}, {0, 0.5f, 1, 0}},
      {SignedRgba, SignedRgb, {-1, 0, 0.5f, 0}, {-1, 0, 0.5f, 0.5f}},
      {SignedRgb, SignedRgba, {-1, 0, 0.5f, 1}, {-1, 0, 0.5f, 1}},
      {SignedRgb, SignedRgb, {-1, 0, 0.5f, 0.3f}, {-1, 0, 0.5f, 0.3f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    EXPECT_TRUE(SameColor(ConvertColorRange(c.in, c.from, c.to), c.out));
  }
}

TEST(RangeConversion, PreparedOnTheDestinationAndAppliedByEncodeRow) {
  TestImage destination(D3DFMT_Q8W8V8U8, 4, 2);
  TestImage sameRange(D3DFMT_Q8W8V8U8, 4, 2);
  TestImage source(D3DFMT_A8R8G8B8, 4, 2);
  auto dst = destination.Codec();
  ASSERT_EQ(dst->PrepareRangeConversion(*sameRange.Codec()), S_OK);
  EXPECT_EQ(dst->sourceRange, 0u);
  EXPECT_EQ(dst->conversionBuffer, nullptr);
  ASSERT_EQ(dst->PrepareRangeConversion(*source.Codec()), S_OK);
  EXPECT_EQ(dst->sourceRange, Unsigned);

  const FloatColor row[2] = {{0, 0.5f, 1, 1}, {0.25f, 0.75f, 0.5f, 0}};
  const FloatColor copy[2] = {row[0], row[1]};
  dst->EncodeRow(0, 0, row);
  EXPECT_TRUE(SameColor(row[0], copy[0]));  // the input row is not changed
  EXPECT_TRUE(SameColor(row[1], copy[1]));
  uint32_t stored[2];
  std::memcpy(stored, destination.At(0), 8);
  EXPECT_EQ(stored[0], 0x7F7F0080u);  // (-1, 0, 1, 1): U 0x80, V 0, W and Q saturated
  EXPECT_EQ(stored[1], 0x800040C0u);  // (-0.5, 0.5, 0, -1)
}

TEST(RangeConversion, OutOfMemoryLeavesTheCodecUnchanged) {
  TestImage destination(D3DFMT_V8U8, 2, 4);
  TestImage source(D3DFMT_A8R8G8B8, 4, 4);
  auto dst = destination.Codec();
  auto src = source.Codec();
  SetAllocationFailureCountdown(0);
  const HRESULT hr = dst->PrepareRangeConversion(*src);
  SetAllocationFailureCountdown(-1);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(dst->sourceRange, 0u);
  EXPECT_EQ(dst->conversionBuffer, nullptr);
}

}  // namespace
}  // namespace vellomir
