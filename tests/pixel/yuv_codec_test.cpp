#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec_fixture.h"
#include "pixel/allocation.h"

namespace vellomir {
namespace {

using test::SameColor;
using test::TestImage;

// Byte offsets of Y0, U, Y1, V within a pixel pair.
struct Layout {
  uint32_t format;
  int y0, u, y1, v;
};
constexpr Layout kLayouts[] = {
    {D3DFMT_UYVY, 1, 0, 3, 2},
    {D3DFMT_YUY2, 0, 1, 2, 3},
};

// A YUV image of `pairs` pixel pairs per row.
TestImage YuvImage(uint32_t format, uint32_t width, uint32_t height = 1, uint32_t depth = 1) {
  return TestImage(format, 2, width, height, depth, ((width + 1) / 2) * 4);
}

void SetPair(TestImage& image, const Layout& l, uint32_t offset, int y0, int u, int y1, int v) {
  image.bytes[offset + l.y0] = static_cast<uint8_t>(y0);
  image.bytes[offset + l.u] = static_cast<uint8_t>(u);
  image.bytes[offset + l.y1] = static_cast<uint8_t>(y1);
  image.bytes[offset + l.v] = static_cast<uint8_t>(v);
}

void ExpectPair(const TestImage& image, const Layout& l, uint32_t offset, int y0, int u, int y1,
                int v) {
  EXPECT_EQ(image.bytes[offset + l.y0], y0) << "Y0 at " << offset;
  EXPECT_EQ(image.bytes[offset + l.u], u) << "U at " << offset;
  EXPECT_EQ(image.bytes[offset + l.y1], y1) << "Y1 at " << offset;
  EXPECT_EQ(image.bytes[offset + l.v], v) << "V at " << offset;
}

TEST(YuvCodec, EncodesStudioRangeColours) {
  const struct {
    FloatColor even, odd;
    int y0, u, y1, v;
  } cases[] = {
      {{1, 1, 1, 1}, {1, 1, 1, 1}, 235, 128, 235, 128},
      {{0, 0, 0, 1}, {0, 0, 0, 1}, 16, 128, 16, 128},
      {{1, 0, 0, 1}, {1, 0, 0, 1}, 81, 90, 81, 240},
      // Chroma comes from the even pixel alone; the odd one contributes only its luma.
      {{1, 0, 0, 1}, {0, 0, 1, 1}, 81, 90, 41, 240},
  };
  for (const Layout& l : kLayouts) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << l.format << " Y0 " << c.y0 << " Y1 " << c.y1);
      TestImage image = YuvImage(l.format, 2);
      {
        auto codec = image.Codec();
        ASSERT_NE(codec, nullptr);
        const FloatColor row[2] = {c.even, c.odd};
        codec->EncodeRow(0, 0, row);
      }
      ExpectPair(image, l, 0, c.y0, c.u, c.y1, c.v);
    }
  }
}

TEST(YuvCodec, DecodesAndClampsToRgb) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.format);
    TestImage image = YuvImage(l.format, 4);
    SetPair(image, l, 0, 16, 128, 16, 128);    // two black pixels
    SetPair(image, l, 4, 235, 255, 235, 255);  // chroma far beyond the RGB cube
    FloatColor row[4];
    image.Codec()->DecodeRow(0, 0, row);
    EXPECT_TRUE(SameColor(row[0], {0, 0, 0, 1}));
    EXPECT_TRUE(SameColor(row[1], {0, 0, 0, 1}));
    for (int i = 2; i < 4; ++i) {
      EXPECT_EQ(row[i].r, 1.0f);
      EXPECT_EQ(row[i].b, 1.0f);
      EXPECT_GE(row[i].g, 0.0f);
      EXPECT_LT(row[i].g, 1.0f);
      EXPECT_EQ(row[i].a, 1.0f);
    }
  }
}

TEST(YuvCodec, DecodedGreysReencodeToTheirCodes) {
  TestImage image = YuvImage(D3DFMT_YUY2, 2);
  TestImage copy = YuvImage(D3DFMT_YUY2, 2);
  for (int y = 16; y <= 235; ++y) {
    SetPair(image, kLayouts[1], 0, y, 128, 251 - y, 128);
    FloatColor row[2];
    image.Codec()->DecodeRow(0, 0, row);
    copy.Codec()->EncodeRow(0, 0, row);
    ExpectPair(copy, kLayouts[1], 0, y, 128, 251 - y, 128);
  }
}

// Left 1, Right 4: the buffer covers pixels 0 to 3. Encoding reads the current pair first so
// pixel 0, outside the region, is written back from its decoded value.
TEST(YuvCodec, OddLeftEdgeKeepsThePixelOutsideTheRegion) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.format);
    TestImage image = YuvImage(l.format, 6);
    SetPair(image, l, 0, 100, 128, 50, 128);
    SetPair(image, l, 4, 60, 128, 70, 128);
    SetPair(image, l, 8, 200, 128, 201, 128);  // outside the buffer entirely
    image.desc.region = {1, 0, 4, 1, 0, 1};
    {
      auto codec = image.Codec();
      EXPECT_EQ(codec->width, 3u);
      const FloatColor white[3] = {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
      codec->EncodeRow(0, 0, white);
    }
    ExpectPair(image, l, 0, 100, 128, 235, 128);
    ExpectPair(image, l, 4, 235, 128, 235, 128);
    ExpectPair(image, l, 8, 200, 128, 201, 128);
  }
}

TEST(YuvCodec, OddRightEdgeKeepsThePixelOutsideTheRegion) {
  TestImage image = YuvImage(D3DFMT_UYVY, 4);
  SetPair(image, kLayouts[0], 4, 100, 128, 50, 128);
  image.desc.region = {2, 0, 3, 1, 0, 1};
  {
    auto codec = image.Codec();
    const FloatColor black{0, 0, 0, 1};
    codec->EncodeRow(0, 0, &black);
  }
  ExpectPair(image, kLayouts[0], 4, 16, 128, 50, 128);
  ExpectPair(image, kLayouts[0], 0, 0, 0, 0, 0);
}

TEST(YuvCodec, OddRegionDecodesFromItsLeft) {
  TestImage image = YuvImage(D3DFMT_YUY2, 4);
  SetPair(image, kLayouts[1], 0, 16, 128, 235, 128);
  SetPair(image, kLayouts[1], 4, 16, 128, 235, 128);
  image.desc.region = {1, 0, 4, 1, 0, 1};
  FloatColor row[4] = {};
  row[3] = {7, 7, 7, 7};
  image.Codec()->DecodeRow(0, 0, row);
  EXPECT_GT(row[0].r, 0.99f);
  EXPECT_EQ(row[1].r, 0.0f);
  EXPECT_GT(row[2].r, 0.99f);
  EXPECT_EQ(row[3].r, 7.0f);  // only width entries are written
}

// The last row reaches memory when the codec is destroyed; moving to another row writes the
// previous one back; a row decoded after being encoded comes from the buffer.
TEST(YuvCodec, RowsAreWrittenBackWhenLeftOrDestroyed) {
  TestImage image = YuvImage(D3DFMT_YUY2, 2, 2, 2);
  const Layout& l = kLayouts[1];
  auto codec = image.Codec();
  const FloatColor grey[2] = {{0.5f, 0.5f, 0.5f, 1}, {0.25f, 0.25f, 0.25f, 1}};
  const FloatColor white[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};

  codec->EncodeRow(1, 0, grey);
  ExpectPair(image, l, 4, 0, 0, 0, 0);  // still buffered
  FloatColor back[2];
  codec->DecodeRow(1, 0, back);
  EXPECT_TRUE(SameColor(back[0], grey[0]));  // unquantised: from the buffer, not memory
  EXPECT_TRUE(SameColor(back[1], grey[1]));

  codec->EncodeRow(0, 1, white);  // another slice: row 1 of slice 0 is written now
  ExpectPair(image, l, 4, 126, 128, 71, 128);
  ExpectPair(image, l, image.slicePitch, 0, 0, 0, 0);

  codec->EncodeRow(1, 0, white);  // rows may come back; slice 1 row 0 is written now
  ExpectPair(image, l, image.slicePitch, 235, 128, 235, 128);
  ExpectPair(image, l, 4, 126, 128, 71, 128);
  codec.reset();
  ExpectPair(image, l, 4, 235, 128, 235, 128);
}

TEST(YuvCodec, ColourKeyIsNotReduced) {
  TestImage image = YuvImage(D3DFMT_UYVY, 4);
  SetPair(image, kLayouts[0], 0, 16, 128, 17, 128);
  SetPair(image, kLayouts[0], 4, 16, 128, 16, 128);
  image.desc.colorKey = 0xFF000000;
  auto codec = image.Codec();
  EXPECT_TRUE(SameColor(codec->keyColor, {0, 0, 0, 1}));
  FloatColor row[4];
  codec->DecodeRow(0, 0, row);
  EXPECT_TRUE(SameColor(row[0], {0, 0, 0, 0}));
  EXPECT_EQ(row[1].a, 1.0f);  // one luma step above black is not keyed
  EXPECT_TRUE(SameColor(row[2], {0, 0, 0, 0}));
  EXPECT_TRUE(SameColor(row[3], {0, 0, 0, 0}));
}

TEST(YuvCodec, WithoutPairBufferRowsAreLeftAlone) {
  TestImage image = YuvImage(D3DFMT_YUY2, 2);
  SetPair(image, kLayouts[1], 0, 16, 128, 16, 128);
  const std::vector<uint8_t> before = image.bytes;
  SetAllocationFailureCountdown(1);  // the codec itself, not its buffer
  auto codec = image.Codec();
  SetAllocationFailureCountdown(-1);
  ASSERT_NE(codec, nullptr);
  FloatColor row[2] = {{7, 7, 7, 7}, {7, 7, 7, 7}};
  codec->DecodeRow(0, 0, row);
  EXPECT_EQ(row[0].r, 7.0f);
  const FloatColor white[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
  codec->EncodeRow(0, 0, white);
  codec.reset();
  EXPECT_EQ(image.bytes, before);
}

TEST(YuvCodec, EncodeConvertsSignedRows) {
  TestImage image = YuvImage(D3DFMT_UYVY, 2);
  TestImage signedSource(D3DFMT_V8U8, 2, 2);
  {
    auto codec = image.Codec();
    ASSERT_EQ(codec->PrepareRangeConversion(*signedSource.Codec()), S_OK);
    const FloatColor row[2] = {{1, 1, 1, 1}, {-1, -1, -1, 1}};  // white and black once unsigned
    codec->EncodeRow(0, 0, row);
  }
  ExpectPair(image, kLayouts[0], 0, 235, 128, 16, 128);
}

}  // namespace
}  // namespace vellomir
