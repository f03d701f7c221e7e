// The box filter on packed formats: the rounding of the packed routines, their agreement with
// the general path, the vector routine, and the first-use choice of the 32-bit routines.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "blit/image_blitter.h"
#include "blit/packed_halving.h"
#include "blit_test_support.h"
#include "math/dispatch.h"
#include "math/testing.h"
#include "platform/runtime/win32/testing.h"

namespace vellomir {
namespace {

using blit_test::Image;

// Halves a 2 x 2 image of one format into 1 x 1 through Blit and returns the pixel.
uint32_t HalveFour(uint32_t format, uint32_t bpp, uint32_t p0, uint32_t p1, uint32_t p2,
                   uint32_t p3, BlitFilter extra = 0) {
  Image src(format, bpp, 2, 2), dst(format, bpp, 1, 1);
  src.Set(0, 0, p0), src.Set(1, 0, p1), src.Set(0, 1, p2), src.Set(1, 1, p3);
  ImageBlitter blitter;
  EXPECT_EQ(blitter.Blit(dst.Desc(), src.Desc(), FilterBox | extra), D3D_OK);
  return dst.Get(0, 0);
}

TEST(BoxPacked, RoundsHalvesUp) {
  // One case per channel of A8R8G8B8: blue 0,0,1,1 -> 1; green 0,0,0,1 -> 0; red 0,1,1,1 -> 1;
  // alpha 255 x 4 -> 255.
  EXPECT_EQ(HalveFour(D3DFMT_A8R8G8B8, 4, 0xFF000000, 0xFF000000, 0xFF010001, 0xFF010101),
            0xFF010001u);
  // The top channel keeps the carry of its sum: (0 + 64 + 128 + 193 + 2) >> 2 = 96.
  EXPECT_EQ(HalveFour(D3DFMT_A8R8G8B8, 4, 0x00000000, 0x40000000, 0x80000000, 0xC1000000),
            0x60000000u);
}

TEST(BoxPacked, OneBitAlphaIsAMajority) {
  const uint16_t a = 0x8000;
  EXPECT_EQ(HalveFour(D3DFMT_A1R5G5B5, 2, a, a, 0, 0) >> 15, 1u);
  EXPECT_EQ(HalveFour(D3DFMT_A1R5G5B5, 2, a, 0, 0, 0) >> 15, 0u);
  EXPECT_EQ(HalveFour(D3DFMT_A1R5G5B5, 2, a, a, a, 0) >> 15, 1u);
  EXPECT_EQ(HalveFour(D3DFMT_A1R5G5B5, 2, 0, 0, 0, 0) >> 15, 0u);
}

TEST(BoxPacked, UnusedBitsAreWrittenAsZero) {
  EXPECT_EQ(HalveFour(D3DFMT_X1R5G5B5, 2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), 0x7FFFu);
  EXPECT_EQ(HalveFour(D3DFMT_X4R4G4B4, 2, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), 0x0FFFu);
  uint32_t src[4] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, dst = 0xDEADBEEF;
  HalveX8R8G8B8(&dst, src, 2, 2, 8, 4);
  EXPECT_EQ(dst, 0x00FFFFFFu);
}

TEST(BoxPacked, ColourKeyIsAveragedLikeAnyColour) {
  Image src(D3DFMT_A8R8G8B8, 4, 2, 2), dst(D3DFMT_A8R8G8B8, 4, 1, 1);
  src.Set(0, 0, 0xFF00FF00), src.Set(1, 0, 0xFF00FF00);
  src.Set(0, 1, 0xFF000000), src.Set(1, 1, 0xFF000000);
  ImageDesc s = src.Desc();
  s.colorKey = 0xFF00FF00;
  ImageBlitter blitter;
  ASSERT_EQ(blitter.Blit(dst.Desc(), s, FilterBox), D3D_OK);
  EXPECT_EQ(dst.Get(0, 0), 0xFF008000u);  // a keyed decode would have given alpha 0x80
}

TEST(BoxPacked, DitherTakesTheGeneralPath) {
  // Red codes 0, 0, 1, 1 average to 0.5 code: the packed routine rounds up to 1 everywhere,
  // the general path with dithering spreads 0 and 1 over the ordered pattern.
  Image src(D3DFMT_R5G6B5, 2, 16, 16), packed(D3DFMT_R5G6B5, 2, 8, 8),
      dithered(D3DFMT_R5G6B5, 2, 8, 8);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x) src.Set(x, y, (y & 1) ? 0x0800 : 0);
  ImageBlitter blitter;
  ASSERT_EQ(blitter.Blit(packed.Desc(), src.Desc(), FilterBox), D3D_OK);
  ASSERT_EQ(blitter.Blit(dithered.Desc(), src.Desc(), FilterBox | FilterDither), D3D_OK);
  int ones = 0;
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      EXPECT_EQ(packed.Get(x, y), 0x0800u);
      ones += dithered.Get(x, y) == 0x0800;
    }
  EXPECT_GT(ones, 0);
  EXPECT_LT(ones, 64);
}

struct Channel {
  uint32_t shift, bits;
};
struct PackedFormat {
  uint32_t format;
  uint32_t bpp;
  std::vector<Channel> channels;  // stored channels; any other bit must be written as 0
};
const PackedFormat kPackedFormats[] = {
    {D3DFMT_A8R8G8B8, 4, {{0, 8}, {8, 8}, {16, 8}, {24, 8}}},
    {D3DFMT_X8R8G8B8, 4, {{0, 8}, {8, 8}, {16, 8}}},
    {D3DFMT_R5G6B5, 2, {{0, 5}, {5, 6}, {11, 5}}},
    {D3DFMT_X1R5G5B5, 2, {{0, 5}, {5, 5}, {10, 5}}},
    {D3DFMT_A1R5G5B5, 2, {{0, 5}, {5, 5}, {10, 5}, {15, 1}}},
    {D3DFMT_A4R4G4B4, 2, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}},
    {D3DFMT_R3G3B2, 1, {{0, 2}, {2, 3}, {5, 3}}},
    {D3DFMT_A8, 1, {{0, 8}}},
    {D3DFMT_A8R3G3B2, 2, {{0, 2}, {2, 3}, {5, 3}, {8, 8}}},
    {D3DFMT_X4R4G4B4, 2, {{0, 4}, {4, 4}, {8, 4}}},
    {D3DFMT_L8, 1, {{0, 8}}},
    {D3DFMT_A8L8, 2, {{0, 8}, {8, 8}}},
    {D3DFMT_A4L4, 1, {{0, 4}, {4, 4}}}};

TEST(BoxPacked, AgreesWithTheGeneralPath) {
  // Odd sizes (the last column and row are dropped) and padded pitches. Every stored channel
  // of the packed result is exactly (sum + 2) >> 2 and every other bit 0. The general path
  // (forced by presenting the destination codec under another format code, which its encoder
  // does not read) computes the same mean in floating point: it agrees everywhere except that
  // an exact half (sum mod 4 = 2) may round down by one.
  for (const PackedFormat& f : kPackedFormats) {
    uint32_t stored = 0;
    for (const Channel& c : f.channels) stored |= ((1u << c.bits) - 1) << c.shift;
    for (uint32_t seed = 0; seed < 3; ++seed) {
      Image src(f.format, f.bpp, 13 + 2 * seed, 9, 1, 3), packed(f.format, f.bpp, 6 + seed, 4, 1, 5),
          general(f.format, f.bpp, 6 + seed, 4, 1, 1);
      src.Randomize(100 + seed + f.format);
      ImageBlitter blitter;
      ASSERT_EQ(blitter.Blit(packed.Desc(), src.Desc(), FilterBox), D3D_OK);
      auto d = CreatePixelCodec(general.Desc());
      auto s = CreatePixelCodec(src.Desc());
      ASSERT_TRUE(d && s);
      d->format = 0x7FFFFFFE;
      ASSERT_EQ(blitter.BlitCodecs(std::move(d), std::move(s), FilterBox), D3D_OK);
      for (uint32_t y = 0; y < packed.height; ++y)
        for (uint32_t x = 0; x < packed.width; ++x) {
          SCOPED_TRACE(::testing::Message() << "format " << f.format << " seed " << seed << " at "
                                          << x << "," << y);
          const uint32_t p = packed.Get(x, y), g = general.Get(x, y);
          // The vector routine averages the X byte of X8R8G8B8 like a channel.
          const bool xAveraged =
              f.format == D3DFMT_X8R8G8B8 && HalvingDispatch[1] != &HalveX8R8G8B8;
          if (!xAveraged) {
            ASSERT_EQ(p & ~stored & ((f.bpp == 4) ? ~0u : ((1u << (8 * f.bpp)) - 1)), 0u);
          }
          for (const Channel& c : f.channels) {
            const uint32_t mask = (1u << c.bits) - 1;
            uint32_t sum = 0;
            for (uint32_t v : {src.Get(2 * x, 2 * y), src.Get(2 * x + 1, 2 * y),
                               src.Get(2 * x, 2 * y + 1), src.Get(2 * x + 1, 2 * y + 1)})
              sum += (v >> c.shift) & mask;
            const uint32_t want = (sum + 2) >> 2;
            ASSERT_EQ((p >> c.shift) & mask, want) << "channel at bit " << c.shift;
            const uint32_t gv = (g >> c.shift) & mask;
            if (!(sum % 4 == 2 && gv + 1 == want)) {
              ASSERT_EQ(gv, want) << "channel at bit " << c.shift;
            }
          }
        }
    }
  }
}

TEST(BoxPacked, VectorRoutineEqualsPlainRoutine) {
  std::mt19937 rng(5);
  for (uint32_t w : {4u, 8u, 12u, 64u, 6u, 2u}) {
    for (uint32_t h : {2u, 3u, 10u}) {
      const uint32_t pitch = w * 4 + 8;
      std::vector<uint8_t> src(size_t(pitch) * h);
      for (auto& b : src) b = uint8_t(rng());
      const uint32_t dstPitch = (w / 2) * 4 + 4;
      std::vector<uint8_t> plainA(size_t(dstPitch) * (h / 2), 0x55), vec(plainA), plainX(plainA);
      HalveA8R8G8B8(plainA.data(), src.data(), w, h, pitch, dstPitch);
      HalveX8R8G8B8(plainX.data(), src.data(), w, h, pitch, dstPitch);
      HalveRgb32Vector(vec.data(), src.data(), w, h, pitch, dstPitch);
      // All four bytes match the routine with alpha (the padding too: untouched by both).
      EXPECT_EQ(vec, plainA) << w << "x" << h;
      for (size_t i = 0; i < plainX.size(); ++i) {
        if (i % dstPitch < (w / 2) * 4 && i % 4 != 3) {
          ASSERT_EQ(vec[i], plainX[i]) << i;
        }
      }
    }
  }
}

TEST(BoxPacked, ThirtyTwoBitRoutinesAreChosenOnFirstUse) {
  struct Case {
    bool mmx;         // what the processor reports
    bool disableMmx;  // the registry switch
    bool vector;      // expected choice
  } cases[] = {{true, false, true}, {false, false, false}, {true, true, false}};
  for (const Case& c : cases) {
    platform::testing::ResetAll();
    vellomir::math_testing::ResetMathDispatch();
    vellomir::blit_testing::ResetHalvingDispatch();
    platform::testing::SetCpuId([mmx = c.mmx](int regs[4], int leaf) {
      regs[0] = regs[1] = regs[2] = regs[3] = 0;
      if (leaf == 0) regs[0] = 1;
      if (leaf == 1 && mmx) regs[3] = 1 << 23;
    });
    if (c.disableMmx) {
      platform::testing::SetRegistryDword(HKEY_LOCAL_MACHINE, "Software\\Direct3D", "DisableMMX", 1);
    }
    EXPECT_NE(HalvingDispatch[0], &HalveA8R8G8B8);
    EXPECT_NE(HalvingDispatch[1], &HalveX8R8G8B8);
    // Halving an X8R8G8B8 image goes through slot 1 and fills both slots.
    Image s(D3DFMT_X8R8G8B8, 4, 2, 2), d(D3DFMT_X8R8G8B8, 4, 1, 1);
    for (uint32_t i = 0; i < 4; ++i) s.Set(i % 2, i / 2, 0xFF102030);
    ImageBlitter blitter;
    ASSERT_EQ(blitter.Blit(d.Desc(), s.Desc(), FilterBox), D3D_OK);
    if (c.vector) {
      EXPECT_EQ(HalvingDispatch[0], &HalveRgb32Vector);
      EXPECT_EQ(HalvingDispatch[1], &HalveRgb32Vector);
      EXPECT_EQ(d.Get(0, 0), 0xFF102030u);  // the vector routine averages the X byte
    } else {
      EXPECT_EQ(HalvingDispatch[0], &HalveA8R8G8B8);
      EXPECT_EQ(HalvingDispatch[1], &HalveX8R8G8B8);
      EXPECT_EQ(d.Get(0, 0), 0x00102030u);
    }
  }
  platform::testing::ResetAll();
  vellomir::math_testing::ResetMathDispatch();
  vellomir::blit_testing::ResetHalvingDispatch();
}

}  // namespace
}  // namespace vellomir
