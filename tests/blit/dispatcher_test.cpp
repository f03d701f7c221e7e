// Blit as a whole: filter validation, codec creation, range preparation, the raw copies and
// the result rules.
#include <gtest/gtest.h>

#include <vector>

#include "blit/image_blitter.h"
#include "blit_test_support.h"
#include "pixel/allocation.h"

namespace vellomir {
namespace {

using blit_test::BlitFloat;
using blit_test::FloatImage;
using blit_test::Image;

TEST(Blit, FilterWordValidation) {
  const BlitFilter invalid[] = {0, 6, 0xFFFF, FilterBox | 0x100000, FilterPoint | 0x80000000u};
  for (BlitFilter f : invalid) {
    Image src(D3DFMT_A8R8G8B8, 4, 2, 2), dst(D3DFMT_A8R8G8B8, 4, 4, 4);
    src.Randomize(1);
    ImageBlitter blitter;
    EXPECT_EQ(blitter.Blit(dst.Desc(), src.Desc(), f), D3DERR_INVALIDCALL) << std::hex << f;
    EXPECT_EQ(dst.bytes, std::vector<uint8_t>(dst.bytes.size(), 0)) << std::hex << f;
  }
  Image src(D3DFMT_A8R8G8B8, 4, 4, 4), dst(D3DFMT_A8R8G8B8, 4, 2, 2);
  ImageBlitter blitter;
  EXPECT_EQ(blitter.Blit(dst.Desc(), src.Desc(),
                         FilterBox | FilterMirrorU | FilterMirrorV | FilterMirrorW | FilterDither),
            D3D_OK);
  // The object can be used again.
  EXPECT_EQ(blitter.Blit(dst.Desc(), src.Desc(), FilterTriangle), D3D_OK);
}

TEST(Blit, SameFormatAndSizeIsAByteCopy) {
  // X8R8G8B8 keeps its random X bytes only when the rows are copied raw.
  for (BlitFilter f : {FilterNone, FilterPoint, FilterLinear, FilterTriangle | FilterDither,
                       FilterBox | FilterDither}) {
    Image src(D3DFMT_X8R8G8B8, 4, 8, 6, 1, 12), dst(D3DFMT_X8R8G8B8, 4, 10, 5, 1, 4);
    src.Randomize(7);
    dst.Randomize(8);
    const std::vector<uint8_t> before = dst.bytes;
    ImageBlitter blitter;
    ASSERT_EQ(blitter.Blit(dst.Desc({3, 1, 7, 4, 0, 1}), src.Desc({2, 2, 6, 5, 0, 1}), f), D3D_OK);
    for (uint32_t y = 0; y < 5; ++y)
      for (uint32_t x = 0; x < 10; ++x) {
        const bool inside = x >= 3 && x < 7 && y >= 1 && y < 4;
        const uint32_t want = inside ? src.Get(x - 1, y + 1) : [&] {
          uint32_t v;
          std::memcpy(&v, before.data() + y * dst.rowPitch + x * 4, 4);
          return v;
        }();
        EXPECT_EQ(dst.Get(x, y), want) << "filter " << f << " at " << x << "," << y;
      }
  }
}

TEST(Blit, ColourKeyForcesConversion) {
  Image src(D3DFMT_A8R8G8B8, 4, 2, 2), dst(D3DFMT_A8R8G8B8, 4, 2, 2);
  src.Set(0, 0, 0xFF00FF00);  // the key: fully opaque green
  src.Set(1, 0, 0x8000FF00);  // same colour, other alpha: kept
  src.Set(0, 1, 0x12345678);
  src.Set(1, 1, 0xFF00FF00);
  ImageDesc s = src.Desc();
  s.colorKey = 0xFF00FF00;
  ImageBlitter blitter;
  ASSERT_EQ(blitter.Blit(dst.Desc(), s, FilterPoint), D3D_OK);
  EXPECT_EQ(dst.Get(0, 0), 0u);
  EXPECT_EQ(dst.Get(1, 0), 0x8000FF00u);
  EXPECT_EQ(dst.Get(0, 1), 0x12345678u);
  EXPECT_EQ(dst.Get(1, 1), 0u);
}

TEST(Blit, PalettizedCopiesRawOnlyWithEqualPalettes) {
  // Entries 3 and 4 have the same colour, so a conversion maps index 4 to 3 (lowest index wins)
  // while a raw copy keeps 4.
  std::vector<PALETTEENTRY> pal(256, PALETTEENTRY{10, 20, 30, 255});
  for (int i = 0; i < 256; ++i) pal[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 255};
  pal[4] = pal[3];
  std::vector<PALETTEENTRY> other = pal;
  other[200] = {1, 2, 3, 4};  // differs only in an unused entry
  for (bool equal : {true, false}) {
    Image src(D3DFMT_P8, 1, 2, 1), dst(D3DFMT_P8, 1, 2, 1);
    src.bytes = {4, 9};
    ImageDesc s = src.Desc(), d = dst.Desc();
    s.palette = pal.data();
    d.palette = equal ? pal.data() : other.data();
    ImageBlitter blitter;
    ASSERT_EQ(blitter.Blit(d, s, FilterTriangle), D3D_OK);
    EXPECT_EQ(dst.bytes[0], equal ? 4 : 3);
    EXPECT_EQ(dst.bytes[1], 9);
  }
}

// A block-compressed codec stand-in: whole blocks of 8 bytes, rows counted, no pixel decoding.
class FakeBlockCodec final : public PixelCodec {
 public:
  FakeBlockCodec(const ImageDesc& d, int* rows) : PixelCodec(d, 0, Unsigned), rows_(rows) {}
  void DecodeRow(uint32_t, uint32_t, FloatColor* row) override {
    for (uint32_t x = 0; x < width; ++x) row[x] = {0, 0, 0, 0};
  }
  void EncodeRow(uint32_t, uint32_t, const FloatColor*) override { ++*rows_; }

 private:
  int* rows_;
};

TEST(Blit, DxtBlockRowsAreCopiedWhenAligned) {
  // 16 x 16 DXT1 images: 4 x 4 blocks of 8 bytes, 32 bytes per block row.
  std::vector<uint8_t> src(128), dst(128, 0xEE);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i);
  auto desc = [](std::vector<uint8_t>& mem, D3DBOX region) {
    ImageDesc d{};
    d.bits = mem.data();
    d.format = D3DFMT_DXT1;
    d.rowPitch = 32;
    d.bounds = {0, 0, 16, 16, 0, 1};
    d.region = region;
    return d;
  };
  int encoded = 0;
  ImageBlitter blitter;
  ASSERT_EQ(blitter.BlitCodecs(
                std::make_unique<FakeBlockCodec>(desc(dst, {4, 4, 12, 12, 0, 1}), &encoded),
                std::make_unique<FakeBlockCodec>(desc(src, {8, 0, 16, 8, 0, 1}), &encoded),
                FilterTriangle),
            D3D_OK);
  EXPECT_EQ(encoded, 0);
  for (size_t i = 0; i < dst.size(); ++i) {
    const size_t blockRow = i / 32, block = (i % 32) / 8;
    const bool inside = blockRow >= 1 && blockRow < 3 && block >= 1 && block < 3;
    // Destination block (1 + r, 1 + c) comes from source block (r, 2 + c).
    const uint8_t want = inside ? src[(blockRow - 1) * 32 + (block + 1) * 8 + i % 8] : 0xEE;
    EXPECT_EQ(dst[i], want) << i;
  }
  // A 2 x 2 region is not block-aligned: the rows go through the codecs.
  ASSERT_EQ(blitter.BlitCodecs(
                std::make_unique<FakeBlockCodec>(desc(dst, {0, 0, 2, 2, 0, 1}), &encoded),
                std::make_unique<FakeBlockCodec>(desc(src, {0, 0, 2, 2, 0, 1}), &encoded),
                FilterTriangle),
            D3D_OK);
  EXPECT_EQ(encoded, 2);
}

TEST(Blit, YuvIsConvertedNotCopiedRaw) {
  // Only block formats are copied raw when the codec has no bytes per pixel. A UYVY pair whose
  // chroma lies outside the RGB gamut cannot survive a decode and encode unchanged, so equal
  // bytes would betray a raw copy.
  Image src(D3DFMT_UYVY, 2, 2, 1), dst(D3DFMT_UYVY, 2, 2, 1);
  src.bytes = {255, 0, 255, 0};  // U 255, Y 0, V 255, Y 0
  ImageBlitter blitter;
  dst.bytes = {1, 2, 3, 4};
  ASSERT_EQ(blitter.Blit(dst.Desc(), src.Desc(), FilterPoint), D3D_OK);
  EXPECT_NE(dst.bytes, src.bytes);
  EXPECT_NE(dst.bytes, (std::vector<uint8_t>{1, 2, 3, 4}));  // but it was written
}

TEST(Blit, UnsupportedFormatFails) {
  Image good(D3DFMT_A8R8G8B8, 4, 2, 2), bad(D3DFMT_D32, 4, 2, 2);
  ImageBlitter blitter;
  EXPECT_EQ(blitter.Blit(bad.Desc(), good.Desc(), FilterPoint), E_FAIL);
  EXPECT_EQ(blitter.Blit(good.Desc(), bad.Desc(), FilterPoint), E_FAIL);
}

TEST(Blit, MethodFailuresNeverLeaveBlit) {
  // Every method that would apply runs out of memory: the result is E_FAIL, not the methods'
  // E_OUTOFMEMORY.
  for (BlitFilter f : {FilterNone, FilterPoint, FilterLinear, FilterTriangle, FilterBox}) {
    FloatImage src(4, 4), dst(2, 2);
    auto d = dst.Codec();
    auto s = src.Codec();
    SetAllocationFailureCountdown(0);
    ImageBlitter blitter;
    const HRESULT hr = blitter.BlitCodecs(std::move(d), std::move(s), f);
    SetAllocationFailureCountdown(-1);
    EXPECT_EQ(hr, E_FAIL) << f;
  }
}

TEST(Blit, RangePreparationFailureIsReported) {
  FloatImage src(4, 4), dst(4, 4);
  ImageDesc d{};
  d.bits = dst.px.data();
  d.format = blit_test::kFloatFormat;
  d.rowPitch = 4 * sizeof(FloatColor);
  d.bounds = d.region = {0, 0, 4, 4, 0, 1};
  auto signedDst = std::make_unique<blit_test::FloatCodec>(d, nullptr, SignedRgb);
  auto s = src.Codec();
  SetAllocationFailureCountdown(0);
  ImageBlitter blitter;
  const HRESULT hr = blitter.BlitCodecs(std::move(signedDst), std::move(s), FilterPoint);
  SetAllocationFailureCountdown(-1);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
}

TEST(Blit, DitherComesFromTheFilterWordOnly) {
  // A constant red of 0.5 into 5 bits is 15.5: dithering spreads 15 and 16 over the ordered
  // pattern, plain rounding gives 16 everywhere.
  Image src(D3DFMT_A8R8G8B8, 4, 8, 4), dst(D3DFMT_R5G6B5, 2, 8, 4);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) src.Set(x, y, 0xFF808080);  // 128/255 red
  for (bool dither : {false, true}) {
    ImageDesc d = dst.Desc();
    d.dither = dither ? 0 : 1;  // ignored: the filter word decides
    ImageBlitter blitter;
    ASSERT_EQ(blitter.Blit(d, src.Desc(), FilterPoint | (dither ? FilterDither : 0)), D3D_OK);
    int low = 0;
    for (uint32_t y = 0; y < 4; ++y)
      for (uint32_t x = 0; x < 8; ++x) low += (dst.Get(x, y) >> 11) == 15;
    if (dither) {
      EXPECT_GT(low, 0);
      EXPECT_LT(low, 32);
    } else {
      EXPECT_EQ(low, 0);
    }
  }
}

TEST(Blit, DefaultLoaderFilterKeepsAFlatColour) {
  Image src(D3DFMT_A8R8G8B8, 4, 256, 256), dst(D3DFMT_A8R8G8B8, 4, 64, 64);
  for (uint32_t y = 0; y < 256; ++y)
    for (uint32_t x = 0; x < 256; ++x) src.Set(x, y, 0xC0336699);
  ImageBlitter blitter;
  ASSERT_EQ(blitter.Blit(dst.Desc(), src.Desc(), FilterTriangle | FilterDither), D3D_OK);
  for (uint32_t y = 0; y < 64; ++y)
    for (uint32_t x = 0; x < 64; ++x) ASSERT_EQ(dst.Get(x, y), 0xC0336699u) << x << "," << y;
}

TEST(Blit, EqualSizesAreNeverResampled) {
  // Linear and triangle would blur a 3 x 3 image of equal size; the row conversion does not.
  for (BlitFilter f : {FilterPoint, FilterLinear, FilterTriangle, FilterBox}) {
    FloatImage src(3, 3), dst(3, 3);
    for (size_t i = 0; i < src.px.size(); ++i) src.px[i] = {float(i), 0, 0, 1};
    ASSERT_EQ(BlitFloat(dst, src, f), D3D_OK);
    for (size_t i = 0; i < src.px.size(); ++i) EXPECT_EQ(dst.px[i].r, float(i)) << f;
  }
}

TEST(Blit, EmptyRegionsReadAndWriteNothing) {
  // An empty side on any axis: no method may read a row that does not exist (the sanitizer
  // run catches that) or touch pixels outside the regions. Filters without anything to sample
  // may give up (E_FAIL); FilterNone simply blanks what the destination has.
  struct Case {
    uint32_t sw, sh, dw, dh;
  } cases[] = {{0, 4, 4, 4}, {4, 0, 4, 4}, {4, 4, 0, 4}, {4, 4, 4, 0}, {0, 0, 2, 2}, {1, 2, 0, 1}};
  for (const Case& c : cases) {
    for (BlitFilter f : {FilterNone, FilterPoint, FilterLinear, FilterTriangle, FilterBox}) {
      Image src(D3DFMT_A8R8G8B8, 4, 4, 4), dst(D3DFMT_A8R8G8B8, 4, 4, 4);
      src.Randomize(3);
      dst.Randomize(4);
      const std::vector<uint8_t> before = dst.bytes;
      ImageBlitter blitter;
      const HRESULT hr =
          blitter.Blit(dst.Desc({0, 0, c.dw, c.dh, 0, 1}), src.Desc({0, 0, c.sw, c.sh, 0, 1}), f);
      EXPECT_TRUE(hr == D3D_OK || hr == E_FAIL) << std::hex << hr;
      if (f == FilterNone) {
        EXPECT_EQ(hr, D3D_OK);
      }
      for (uint32_t y = 0; y < 4; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
          if (x >= c.dw || y >= c.dh) {
            uint32_t old;
            std::memcpy(&old, before.data() + y * dst.rowPitch + x * 4, 4);
            EXPECT_EQ(dst.Get(x, y), old) << "filter " << f << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vellomir
