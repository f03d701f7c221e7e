#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec_fixture.h"
#include "pixel/format_table.h"

namespace vellomir {
namespace {

using test::TestImage;

// A palette whose entries differ in every channel, so each colour has one nearest entry.
std::vector<PALETTEENTRY> DistinctPalette() {
  std::vector<PALETTEENTRY> p(256);
  for (int i = 0; i < 256; ++i)
    p[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>((i * 7) & 255),
            static_cast<BYTE>(i ^ 0xAA)};
  return p;
}

struct DecodeCase {
  uint32_t format;
  uint32_t bytes;
  uint64_t pixel;  // little-endian
  FloatColor expected;
};

TEST(PerFormatCodec, DecodesAKnownPixelOfEveryFormat) {
  const DecodeCase cases[] = {
      {D3DFMT_R8G8B8, 3, 0x302010, {0x30 / 255.f, 0x20 / 255.f, 0x10 / 255.f, 1}},
      {D3DFMT_A8R8G8B8, 4, 0x80FF0000, {1, 0, 0, 0.5019608f}},
      {D3DFMT_X8R8G8B8, 4, 0xAB102030, {0x10 / 255.f, 0x20 / 255.f, 0x30 / 255.f, 1}},
      {D3DFMT_R5G6B5, 2, 0x8410, {16 / 31.f, 32 / 63.f, 16 / 31.f, 1}},
      {D3DFMT_X1R5G5B5, 2, 0x8000 | (1 << 10) | (2 << 5) | 3, {1 / 31.f, 2 / 31.f, 3 / 31.f, 1}},
      {D3DFMT_A1R5G5B5, 2, 0x7FFF, {1, 1, 1, 0}},
      {D3DFMT_A1R5G5B5, 2, 0x8000, {0, 0, 0, 1}},
      {D3DFMT_A4R4G4B4, 2, 0x1234, {2 / 15.f, 3 / 15.f, 4 / 15.f, 1 / 15.f}},
      {D3DFMT_X4R4G4B4, 2, 0xF234, {2 / 15.f, 3 / 15.f, 4 / 15.f, 1}},
      {D3DFMT_R3G3B2, 1, 0xB9, {5 / 7.f, 6 / 7.f, 1 / 3.f, 1}},
      {D3DFMT_A8R3G3B2, 2, 0x40B9, {5 / 7.f, 6 / 7.f, 1 / 3.f, 64 / 255.f}},
      {D3DFMT_A8, 1, 0x80, {0, 0, 0, 128 / 255.f}},
      {D3DFMT_A2B10G10R10,
       4,
       1u | (2u << 10) | (3u << 20) | (2u << 30),
       {1 / 1023.f, 2 / 1023.f, 3 / 1023.f, 2 / 3.f}},
      {D3DFMT_G16R16, 4, 0xFFFF0000, {0, 1, 1, 1}},
      {D3DFMT_L8, 1, 0x40, {64 / 255.f, 64 / 255.f, 64 / 255.f, 1}},
      {D3DFMT_A8L8, 2, 0x8040, {64 / 255.f, 64 / 255.f, 64 / 255.f, 128 / 255.f}},
      {D3DFMT_A4L4, 1, 0x3C, {12 / 15.f, 12 / 15.f, 12 / 15.f, 3 / 15.f}},
      {D3DFMT_V8U8, 2, 0x7F80, {-1, 0.9921875f, 0, 1}},
      {D3DFMT_L6V5U5, 2, 0x10 | (0xF << 5) | (63 << 10), {-1, 0.9375f, 0, 1}},
      {D3DFMT_X8L8V8U8, 4, 0xFF40817F, {127 / 128.f, -127 / 128.f, 0, 64 / 255.f}},
      {D3DFMT_Q8W8V8U8, 4, 0x80017FFF, {-1 / 128.f, 127 / 128.f, 1 / 128.f, -1}},
      {D3DFMT_V16U16, 4, 0x80007FFF, {32767 / 32768.f, -1, 0, 1}},
      {D3DFMT_W11V11U10, 4, 0xFFFFFFFF, {-0.001953125f, -0.0009765625f, -0.0009765625f, 1}},
      {D3DFMT_W11V11U10,
       4,
       0x1FFu | (0x400u << 10) | (0x3FFu << 21),
       {511 / 512.f, -1, 1023 / 1024.f, 1}},
      {D3DFMT_A2W10V10U10,
       4,
       0x200u | (0x1FFu << 10) | (1u << 20) | (3u << 30),
       {-1, 511 / 512.f, 1 / 512.f, 1}},
      {D3DFMT_D16_LOCKABLE, 2, 0x8000, {32768 / 65535.f, 32768 / 65535.f, 32768 / 65535.f, 1}},
      {FMT_L16, 2, 0xFFFF, {1, 1, 1, 1}},
      {FMT_A16L16, 4, 0xFFFF1234, {0x1234 / 65535.f, 0x1234 / 65535.f, 0x1234 / 65535.f, 1}},
      // The first word of the 48-bit format is blue.
      {FMT_R16G16B16, 6, 0x000300020001, {3 / 65535.f, 2 / 65535.f, 1 / 65535.f, 1}},
      {FMT_A16R16G16B16,
       8,
       0x0004000300020001,
       {3 / 65535.f, 2 / 65535.f, 1 / 65535.f, 4 / 65535.f}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " pixel 0x" << std::hex << c.pixel);
    TestImage image(c.format, c.bytes, 1);
    std::memcpy(image.At(0), &c.pixel, c.bytes);
    auto codec = image.Codec();
    ASSERT_NE(codec, nullptr);
    EXPECT_EQ(codec->bytesPerPixel, c.bytes);
    FloatColor out{9, 9, 9, 9};
    codec->DecodeRow(0, 0, &out);
    EXPECT_FLOAT_EQ(out.r, c.expected.r);
    EXPECT_FLOAT_EQ(out.g, c.expected.g);
    EXPECT_FLOAT_EQ(out.b, c.expected.b);
    EXPECT_FLOAT_EQ(out.a, c.expected.a);
  }
}

TEST(PerFormatCodec, PaletteFormatsDecodeThroughThePalette) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 0});
  palette[5] = {10, 20, 30, 40};
  TestImage p8(D3DFMT_P8, 1, 1);
  p8.bytes[0] = 5;
  p8.desc.palette = palette.data();
  FloatColor out{};
  p8.Codec()->DecodeRow(0, 0, &out);
  EXPECT_FLOAT_EQ(out.r, 10 / 255.f);
  EXPECT_FLOAT_EQ(out.g, 20 / 255.f);
  EXPECT_FLOAT_EQ(out.b, 30 / 255.f);
  EXPECT_FLOAT_EQ(out.a, 40 / 255.f);  // the fourth byte of an entry is alpha

  TestImage a8p8(D3DFMT_A8P8, 2, 1);
  a8p8.bytes[0] = 5;
  a8p8.bytes[1] = 0x80;
  a8p8.desc.palette = palette.data();
  a8p8.Codec()->DecodeRow(0, 0, &out);
  EXPECT_FLOAT_EQ(out.r, 10 / 255.f);
  EXPECT_FLOAT_EQ(out.a, 128 / 255.f);  // alpha comes from the pixel, not the entry
}

struct EncodeCase {
  uint32_t format;
  uint32_t bytes;
  FloatColor color;  // in the codec's own range
  uint64_t expected;
};

TEST(PerFormatCodec, EncodesKnownColors) {
  const EncodeCase cases[] = {
      {D3DFMT_X1R5G5B5, 2, {1, 1, 1, 1}, 0x7FFF},  // unused bit written 0
      {D3DFMT_A1R5G5B5, 2, {1, 1, 1, 1}, 0xFFFF},
      {D3DFMT_A1R5G5B5, 2, {0, 0, 0, 0.5f}, 0x8000},  // alpha is floor(a + 0.5)
      {D3DFMT_A1R5G5B5, 2, {0, 0, 0, 0.49f}, 0x0000},
      {D3DFMT_L8, 1, {1, 1, 1, 1}, 255},
      {D3DFMT_L8, 1, {1, 0, 0, 1}, 54},                      // 0.2125 * 255 = 54.19
      {D3DFMT_L8, 1, {0, 1, 0, 1}, 182},                     // 0.7154 * 255 = 182.43
      {D3DFMT_A8R8G8B8, 4, {0.5f, 1, 0, 0.5f}, 0x8080FF00},  // 127.5 + 0.5 is exactly 128
      {D3DFMT_X8R8G8B8, 4, {1, 1, 1, 0}, 0x00FFFFFF},
      {D3DFMT_R8G8B8, 3, {1, 0.5f, 0, 1}, 0xFF8000},
      {D3DFMT_A8, 1, {1, 1, 1, 0.25f}, 64},                // 63.75 + 0.5
      {D3DFMT_G16R16, 4, {1, 0, 0.3f, 0.7f}, 0x0000FFFF},  // b and a dropped
      {D3DFMT_A2B10G10R10, 4, {1, 0, 0, 1}, 0xC00003FF},
      {FMT_R16G16B16, 6, {1, 0, 0.5f, 1}, 0xFFFF00008000},
      {FMT_A16L16, 4, {1, 1, 1, 0}, 0x0000FFFF},
      // Negative signed codes are masked to their field: nothing spills into the next one.
      {D3DFMT_V8U8, 2, {-1, 0, 0, 1}, 0x0080},
      {D3DFMT_L6V5U5, 2, {-1, 0, 0, 0}, 0x0010},
      {D3DFMT_Q8W8V8U8, 4, {-1, 0, -1, 0}, 0x00800080},
      {D3DFMT_A2W10V10U10, 4, {-1, 0, 0, 1}, 0xC0000200},
      {D3DFMT_W11V11U10, 4, {0, -1, 0, 1}, 0x400u << 10},
      {D3DFMT_X8L8V8U8, 4, {0, 0, 0, 1}, 0x00FF0000},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "format " << c.format << " expected 0x" << std::hex << c.expected);
    TestImage image(c.format, c.bytes, 1);
    std::memset(image.At(0), 0xEE, c.bytes);
    auto codec = image.Codec();
    ASSERT_NE(codec, nullptr);
    codec->EncodeRow(0, 0, &c.color);
    uint64_t stored = 0;
    std::memcpy(&stored, image.At(0), c.bytes);
    EXPECT_EQ(stored, c.expected);
  }
}

// A full channel converted from an unsigned row is exactly +1.0, which scales one past the
// largest positive code of a signed field; it must store that largest code, not wrap.
TEST(PerFormatCodec, FullSignedChannelSaturates) {
  const struct {
    uint32_t format;
    uint32_t bytes;
    uint64_t expected;
  } cases[] = {
      {D3DFMT_V8U8, 2, 0x7F7F},
      {D3DFMT_L6V5U5, 2, (63u << 10) | (15u << 5) | 15u},
      {D3DFMT_X8L8V8U8, 4, 0x00FF7F7F},
      {D3DFMT_Q8W8V8U8, 4, 0x7F7F7F7F},
      {D3DFMT_V16U16, 4, 0x7FFF7FFF},
      {D3DFMT_W11V11U10, 4, (1023u << 21) | (1023u << 10) | 511u},
      {D3DFMT_A2W10V10U10, 4, (3u << 30) | (511u << 20) | (511u << 10) | 511u},
  };
  TestImage unsignedSource(D3DFMT_A8R8G8B8, 4, 1);
  auto source = unsignedSource.Codec();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    TestImage image(c.format, c.bytes, 1);
    auto codec = image.Codec();
    ASSERT_EQ(codec->PrepareRangeConversion(*source), S_OK);
    for (bool dither : {false, true}) {
      codec->ditherTable = dither ? OrderedDitherTable : FlatDitherTable;
      const FloatColor white{1, 1, 1, 1};
      codec->EncodeRow(0, 0, &white);
      uint64_t stored = 0;
      std::memcpy(&stored, image.At(0), c.bytes);
      EXPECT_EQ(stored, c.expected) << "dither " << dither;
    }
  }
}

TEST(PerFormatCodec, P8StoresTheLowestOfEquallyNearEntries) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 255});
  palette[3] = palette[7] = {200, 100, 50, 255};
  TestImage image(D3DFMT_P8, 1, 2);
  image.desc.palette = palette.data();
  image.desc.dither = 1;  // the palette search ignores dithering
  auto codec = image.Codec();
  const FloatColor row[2] = {{200 / 255.f, 100 / 255.f, 50 / 255.f, 1}, {0.7f, 0.4f, 0.2f, 1}};
  codec->EncodeRow(0, 0, row);
  EXPECT_EQ(image.bytes[0], 3);
  EXPECT_EQ(image.bytes[1], 3);  // nearest by distance, not exact

  // P8 weighs alpha in its search; a transparent pixel prefers a transparent entry.
  palette[9] = {200, 100, 50, 0};
  auto withAlpha = image.Codec();
  const FloatColor clear[2] = {{200 / 255.f, 100 / 255.f, 50 / 255.f, 0}, {0, 0, 0, 1}};
  withAlpha->EncodeRow(0, 0, clear);
  EXPECT_EQ(image.bytes[0], 9);
  EXPECT_EQ(image.bytes[1], 0);
}

TEST(PerFormatCodec, A8P8SearchesColourOnlyAndStoresAlphaInThePixel) {
  std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{255, 255, 255, 255});
  palette[1] = {0, 0, 0, 255};  // nearer in colour, opaque
  palette[2] = {100, 0, 0, 0};  // farther in colour, but matches the pixel's alpha
  TestImage image(D3DFMT_A8P8, 2, 1);
  image.desc.palette = palette.data();
  auto codec = image.Codec();
  const FloatColor pixel{40 / 255.f, 0, 0, 0};
  codec->EncodeRow(0, 0, &pixel);
  EXPECT_EQ(image.bytes[0], 1);
  EXPECT_EQ(image.bytes[1], 0);
}

// Decoding then encoding without dithering must reproduce every stored code. Pixels are
// built so that every bit field of the format takes every one of its values.
struct RoundTripCase {
  uint32_t format;
  uint32_t bytes;
  uint64_t keepMask;  // bits that carry data; the others must be written as 0
};

std::vector<uint64_t> CoveringPixels(uint32_t bytes) {
  std::vector<uint64_t> pixels;
  if (bytes <= 2) {
    for (uint64_t v = 0; v < (1u << (8 * bytes)); ++v) pixels.push_back(v);
    return pixels;
  }
  // Every field is at most 16 bits wide and lies within one 16-bit window starting at a
  // multiple of 8; sweep each window through all values with pseudo-random other bits.
  uint64_t state = 0x9E3779B97F4A7C15ull;
  const uint64_t all = bytes == 8 ? ~0ull : ((1ull << (8 * bytes)) - 1);
  for (uint32_t shift = 0; shift + 16 <= 8 * bytes; shift += 8) {
    for (uint64_t v = 0; v < 65536; ++v) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const uint64_t window = 0xFFFFull << shift;
      pixels.push_back(((state >> 7) & all & ~window) | (v << shift));
    }
  }
  return pixels;
}

TEST(PerFormatCodec, DecodeThenEncodeReproducesEveryCode) {
  const RoundTripCase cases[] = {
      {D3DFMT_R8G8B8, 3, 0xFFFFFF},
      {D3DFMT_A8R8G8B8, 4, 0xFFFFFFFF},
      {D3DFMT_X8R8G8B8, 4, 0x00FFFFFF},
      {D3DFMT_R5G6B5, 2, 0xFFFF},
      {D3DFMT_X1R5G5B5, 2, 0x7FFF},
      {D3DFMT_A1R5G5B5, 2, 0xFFFF},
      {D3DFMT_A4R4G4B4, 2, 0xFFFF},
      {D3DFMT_X4R4G4B4, 2, 0x0FFF},
      {D3DFMT_R3G3B2, 1, 0xFF},
      {D3DFMT_A8R3G3B2, 2, 0xFFFF},
      {D3DFMT_A8, 1, 0xFF},
      {D3DFMT_A2B10G10R10, 4, 0xFFFFFFFF},
      {D3DFMT_G16R16, 4, 0xFFFFFFFF},
      {D3DFMT_A8P8, 2, 0xFFFF},
      {D3DFMT_P8, 1, 0xFF},
      {D3DFMT_L8, 1, 0xFF},
      {D3DFMT_A8L8, 2, 0xFFFF},
      {D3DFMT_A4L4, 1, 0xFF},
      {D3DFMT_V8U8, 2, 0xFFFF},
      {D3DFMT_L6V5U5, 2, 0xFFFF},
      {D3DFMT_X8L8V8U8, 4, 0x00FFFFFF},
      {D3DFMT_Q8W8V8U8, 4, 0xFFFFFFFF},
      {D3DFMT_V16U16, 4, 0xFFFFFFFF},
      {D3DFMT_W11V11U10, 4, 0xFFFFFFFF},
      {D3DFMT_A2W10V10U10, 4, 0xFFFFFFFF},
      {D3DFMT_D16_LOCKABLE, 2, 0xFFFF},
      {FMT_L16, 2, 0xFFFF},
      {FMT_A16L16, 4, 0xFFFFFFFF},
      {FMT_R16G16B16, 6, 0xFFFFFFFFFFFF},
      {FMT_A16R16G16B16, 8, ~0ull},
  };
  const std::vector<PALETTEENTRY> palette = DistinctPalette();
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.format);
    const std::vector<uint64_t> pixels = CoveringPixels(c.bytes);
    const uint32_t n = static_cast<uint32_t>(pixels.size());
    TestImage source(c.format, c.bytes, n);
    TestImage target(c.format, c.bytes, n);
    for (uint32_t i = 0; i < n; ++i) std::memcpy(source.At(i * c.bytes), &pixels[i], c.bytes);
    std::memset(target.bytes.data(), 0xA5, target.bytes.size());
    source.desc.palette = target.desc.palette = palette.data();
    auto decoder = source.Codec();
    auto encoder = target.Codec();
    ASSERT_NE(decoder, nullptr);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(decoder->bytesPerPixel, GetFormatInfo(c.format).bitsPerPixel / 8);
    std::vector<FloatColor> row(n);
    decoder->DecodeRow(0, 0, row.data());
    encoder->EncodeRow(0, 0, row.data());
    int failures = 0;
    for (uint32_t i = 0; i < n && failures < 5; ++i) {
      uint64_t stored = 0;
      std::memcpy(&stored, target.At(i * c.bytes), c.bytes);
      if (stored != (pixels[i] & c.keepMask)) {
        ++failures;
        ADD_FAILURE() << std::hex << "pixel 0x" << pixels[i] << " came back as 0x" << stored;
      }
    }
  }
}

}  // namespace
}  // namespace vellomir
