// The resampling methods on exact floating-point images: which source samples land where, with
// which weights, and how often rows are decoded and encoded.
#include <gtest/gtest.h>

#include <vector>

#include "blit/image_blitter.h"
#include "blit/triangle_filter.h"
#include "blit_test_support.h"

namespace vellomir {
namespace {

using blit_test::BlitFloat;
using blit_test::FloatImage;

// Sample (x, y, z) carries its coordinates: r = x, g = y, b = z, a = 1.
void Coordinates(FloatImage& img) {
  for (uint32_t z = 0; z < img.depth; ++z)
    for (uint32_t y = 0; y < img.height; ++y)
      for (uint32_t x = 0; x < img.width; ++x)
        img.At(x, y, z) = {float(x), float(y), float(z), 1.0f};
}

// Sample values distinct per position, for weighted sums: v = 1 + x + 16 y + 256 z in r.
float Value(uint32_t x, uint32_t y, uint32_t z = 0) { return float(1 + x + 16 * y + 256 * z); }
void Values(FloatImage& img) {
  for (uint32_t z = 0; z < img.depth; ++z)
    for (uint32_t y = 0; y < img.height; ++y)
      for (uint32_t x = 0; x < img.width; ++x) {
        const float v = Value(x, y, z);
        img.At(x, y, z) = {v, v, v, v};
      }
}

void Fill(FloatImage& img, float v) {
  for (auto& p : img.px) p = {v, v, v, v};
}

void ExpectEveryRowEncodedOnce(const FloatImage& dst) {
  for (uint32_t z = 0; z < dst.depth; ++z)
    for (uint32_t y = 0; y < dst.height; ++y) {
      auto it = dst.calls.encoded.find({y, z});
      ASSERT_NE(it, dst.calls.encoded.end()) << "row " << y << " slice " << z;
      EXPECT_EQ(it->second, 1) << "row " << y << " slice " << z;
    }
  EXPECT_EQ(dst.calls.encoded.size(), size_t(dst.height) * dst.depth);
}

// --- FilterNone ---------------------------------------------------------------------------

TEST(ResampleNone, PlacesSourceTopLeftAndBlanksTheRest) {
  struct Case {
    uint32_t sw, sh, sd, dw, dh, dd;
  } cases[] = {{4, 4, 1, 8, 2, 1}, {8, 8, 1, 4, 4, 1}, {4, 4, 1, 4, 4, 3}, {3, 5, 2, 6, 2, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << "x" << c.sd << " -> " << c.dw
                                    << "x" << c.dh << "x" << c.dd);
    for (BlitFilter mirror : {0u, FilterMirrorU | FilterMirrorV | FilterMirrorW}) {
      FloatImage src(c.sw, c.sh, c.sd), dst(c.dw, c.dh, c.dd);
      Coordinates(src);
      Fill(dst, 9.0f);
      ASSERT_EQ(BlitFloat(dst, src, FilterNone | mirror), D3D_OK);
      for (uint32_t z = 0; z < c.dd; ++z)
        for (uint32_t y = 0; y < c.dh; ++y)
          for (uint32_t x = 0; x < c.dw; ++x) {
            const FloatColor p = dst.At(x, y, z);
            if (x < c.sw && y < c.sh && z < c.sd) {
              EXPECT_EQ(p.r, float(x));
              EXPECT_EQ(p.g, float(y));
              EXPECT_EQ(p.b, float(z));
              EXPECT_EQ(p.a, 1.0f);
            } else {
              EXPECT_EQ(p.r, 0.0f);
              EXPECT_EQ(p.a, 0.0f) << x << "," << y << "," << z;
            }
          }
      ExpectEveryRowEncodedOnce(dst);
    }
  }
}

// --- FilterPoint --------------------------------------------------------------------------

TEST(ResamplePoint, SixteenSixteenStepping) {
  struct Case {
    uint32_t src, dst;
    std::vector<uint32_t> picks;
  } cases[] = {{4, 2, {0, 2}}, {3, 2, {0, 1}}, {2, 3, {0, 0, 1}}, {5, 8, {0, 0, 1, 1, 2, 3, 3, 4}}};
  for (const Case& c : cases) {
    for (BlitFilter mirror : {0u, FilterMirrorU | FilterMirrorV}) {
      // The same picks along x, along y and along z.
      FloatImage sx(c.src, 1), dx(c.dst, 1);
      FloatImage sy(1, c.src), dy(1, c.dst);
      FloatImage sz(1, 1, c.src), dz(1, 1, c.dst);
      Coordinates(sx), Coordinates(sy), Coordinates(sz);
      ASSERT_EQ(BlitFloat(dx, sx, FilterPoint | mirror), D3D_OK);
      ASSERT_EQ(BlitFloat(dy, sy, FilterPoint | mirror), D3D_OK);
      ASSERT_EQ(BlitFloat(dz, sz, FilterPoint | mirror), D3D_OK);
      for (uint32_t i = 0; i < c.dst; ++i) {
        EXPECT_EQ(dx.At(i, 0).r, float(c.picks[i])) << c.src << "->" << c.dst << " x" << i;
        EXPECT_EQ(dy.At(0, i).g, float(c.picks[i])) << c.src << "->" << c.dst << " y" << i;
        EXPECT_EQ(dz.At(0, 0, i).b, float(c.picks[i])) << c.src << "->" << c.dst << " z" << i;
      }
    }
  }
}

TEST(ResamplePoint, DecodesEachSourceRowOncePerRunAndSlice) {
  FloatImage src(3, 2, 2), dst(5, 4, 3);
  Coordinates(src);
  ASSERT_EQ(BlitFloat(dst, src, FilterPoint), D3D_OK);
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(dst.At(0, y, 0).g, float(y / 2));
  // Slices 0 and 1 both map to source slice 0; the held row is forgotten between them, so
  // each of the two rows is decoded once per destination slice: 2 x 3 decodes.
  EXPECT_EQ(src.calls.decodeTotal, 6);
  EXPECT_EQ((src.calls.decoded[{0, 0}]), 2);
  EXPECT_EQ((src.calls.decoded[{1, 1}]), 1);
  ExpectEveryRowEncodedOnce(dst);
}

// --- FilterLinear -------------------------------------------------------------------------

TEST(ResampleLinear, HorizontalExamples) {
  struct Case {
    uint32_t src, dst;
    BlitFilter mirror;
    std::vector<std::vector<std::pair<uint32_t, float>>> expect;  // per destination sample
  } cases[] = {
      {2, 4, FilterMirrorU, {{{0, 1.0f}}, {{0, 1.0f}}, {{0, 0.5f}, {1, 0.5f}}, {{1, 1.0f}}}},
      {2, 4, 0, {{{1, 0.5f}, {0, 0.5f}}, {{0, 1.0f}}, {{0, 0.5f}, {1, 0.5f}}, {{1, 1.0f}}}},
      {4, 2, 0, {{{3, 0.5f}, {0, 0.5f}}, {{1, 0.5f}, {2, 0.5f}}}},
  };
  for (const Case& c : cases) {
    FloatImage src(c.src, 1), dst(c.dst, 1);
    Values(src);
    ASSERT_EQ(BlitFloat(dst, src, FilterLinear | c.mirror), D3D_OK);
    for (uint32_t i = 0; i < c.dst; ++i) {
      float want = 0.0f;
      for (auto [j, w] : c.expect[i]) want += w * Value(j, 0);
      EXPECT_FLOAT_EQ(dst.At(i, 0).r, want) << c.src << "->" << c.dst << " mirror "
                                            << c.mirror << " x" << i;
    }
  }
}

TEST(ResampleLinear, UnchangedHeightIsStillFiltered) {
  for (BlitFilter mirror : {0u, FilterMirrorV}) {
    FloatImage src(8, 8), dst(4, 8);
    Values(src);
    ASSERT_EQ(BlitFloat(dst, src, FilterLinear | mirror | FilterMirrorU), D3D_OK);
    for (uint32_t y = 0; y < 8; ++y) {
      const uint32_t above = y == 0 ? (mirror ? 0 : 7) : y - 1;
      for (uint32_t x = 0; x < 4; ++x) {
        // Horizontally, destination x sits at source 2x - 0.5 (x = 0 folds onto sample 0).
        auto h = [&](uint32_t row) {
          return x == 0 ? Value(0, row) : 0.5f * Value(2 * x - 1, row) + 0.5f * Value(2 * x, row);
        };
        EXPECT_FLOAT_EQ(dst.At(x, y).r, 0.5f * h(above) + 0.5f * h(y)) << x << "," << y;
      }
    }
  }
}

TEST(ResampleLinear, SinglePixelSourceFillsEverything) {
  FloatImage src(1, 1), dst(4, 4);
  src.At(0, 0) = {0.25f, 0.5f, 0.75f, 1.0f};
  ASSERT_EQ(BlitFloat(dst, src, FilterLinear), D3D_OK);
  for (const FloatColor& p : dst.px) {
    EXPECT_FLOAT_EQ(p.r, 0.25f);
    EXPECT_FLOAT_EQ(p.g, 0.5f);
    EXPECT_FLOAT_EQ(p.b, 0.75f);
    EXPECT_FLOAT_EQ(p.a, 1.0f);
  }
}

TEST(ResampleLinear, EnlargingDecodesEachRowOnce) {
  // 4 rows into 16, mirrored: consecutive destination rows share rows, and a lower row moves
  // up by swapping buffers instead of being decoded again.
  FloatImage src(3, 4), dst(5, 16);
  Values(src);
  ASSERT_EQ(BlitFloat(dst, src, FilterLinear | FilterMirrorV), D3D_OK);
  // Interior rows once; an edge row twice, as both taps of the edge rows name it.
  const int expected[] = {2, 1, 1, 2};
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ((src.calls.decoded[{y, 0}]), expected[y]) << y;
  ExpectEveryRowEncodedOnce(dst);
}

TEST(ResampleLinear, VolumeSlices) {
  // Depth 2 into 1: the single slice sits at -0.5 and blends slice 0 with the slice beyond
  // the front edge (slice 1 when wrapping, slice 0 itself when mirrored).
  for (BlitFilter mirror : {0u, FilterMirrorW}) {
    FloatImage src(2, 2, 2), dst(2, 2, 1);
    for (uint32_t i = 0; i < 4; ++i) src.px[i] = {2, 2, 2, 2}, src.px[4 + i] = {6, 6, 6, 6};
    ASSERT_EQ(BlitFloat(dst, src, FilterLinear | mirror), D3D_OK);
    for (const FloatColor& p : dst.px) EXPECT_FLOAT_EQ(p.r, mirror ? 2.0f : 4.0f);
  }
  FloatImage src(4, 4, 4), dst(2, 2, 2);
  Values(src);
  ASSERT_EQ(BlitFloat(dst, src, FilterLinear), D3D_OK);
  ExpectEveryRowEncodedOnce(dst);
  // Every tap of 4 into 2 sits half-way between two samples (wrapping at the first), and the
  // sample values are affine, so each output is the value at (1.5, 1.5, 1.5).
  const float centre = 1.0f + 1.5f + 16 * 1.5f + 256 * 1.5f;
  EXPECT_FLOAT_EQ(dst.At(1, 1, 1).r, centre);
  EXPECT_FLOAT_EQ(dst.At(0, 0, 0).r, centre);
  EXPECT_FLOAT_EQ(dst.At(0, 1, 1).r, centre);
}

// --- FilterTriangle -----------------------------------------------------------------------

TEST(ResampleTriangle, TwoIntoFourRows) {
  struct Case {
    BlitFilter mirror;
    float w0[4];  // weight of source sample 0 at each destination sample (sample 1: 1 - w0)
  } cases[] = {{FilterMirrorU, {1.0f, 0.75f, 0.25f, 0.0f}}, {0, {0.75f, 0.75f, 0.25f, 0.25f}}};
  for (const Case& c : cases) {
    FloatImage src(2, 1), dst(4, 1);
    src.At(0, 0) = {1, 0, 0, 0};
    src.At(1, 0) = {0, 1, 0, 0};
    ASSERT_EQ(BlitFloat(dst, src, FilterTriangle | c.mirror), D3D_OK);
    for (uint32_t x = 0; x < 4; ++x) {
      EXPECT_FLOAT_EQ(dst.At(x, 0).r, c.w0[x]) << x;
      EXPECT_FLOAT_EQ(dst.At(x, 0).g, 1.0f - c.w0[x]) << x;
    }
  }
}

// The triangle filter along one axis, straight from the weight lists.
std::vector<float> Spread(const std::vector<float>& in, uint32_t n, int wrap) {
  std::vector<float> out(n, 0.0f);
  auto list = BuildTriangleWeights(uint32_t(in.size()), n, wrap);
  auto rec = list->First();
  for (size_t j = 0; j < in.size(); ++j, rec.Next())
    for (const TrianglePair p : rec) out[p.index] += p.weight * in[j];
  return out;
}

TEST(ResampleTriangle, SeparableAndOncePerRow) {
  // A separable image a(x) * b(y) stays separable: checks both axes against the weight lists
  // and that every row is decoded and encoded exactly once.
  struct Case {
    uint32_t sw, sh, dw, dh;
    BlitFilter mirror;
  } cases[] = {{7, 9, 3, 4, 0},
               {3, 4, 10, 11, FilterMirrorU},
               {1, 1, 4, 4, FilterMirrorV},
               {16, 16, 16, 5, FilterMirrorU | FilterMirrorV}};
  for (const Case& c : cases) {
    FloatImage src(c.sw, c.sh), dst(c.dw, c.dh);
    std::vector<float> a(c.sw), b(c.sh);
    for (uint32_t x = 0; x < c.sw; ++x) a[x] = float(x + 1);
    for (uint32_t y = 0; y < c.sh; ++y) b[y] = float(2 * y + 3);
    for (uint32_t y = 0; y < c.sh; ++y)
      for (uint32_t x = 0; x < c.sw; ++x) src.At(x, y) = {a[x] * b[y], a[x], b[y], 1.0f};
    ASSERT_EQ(BlitFloat(dst, src, FilterTriangle | c.mirror), D3D_OK);
    const auto ra = Spread(a, c.dw, (c.mirror & FilterMirrorU) ? 0 : 1);
    const auto rb = Spread(b, c.dh, (c.mirror & FilterMirrorV) ? 0 : 1);
    for (uint32_t y = 0; y < c.dh; ++y)
      for (uint32_t x = 0; x < c.dw; ++x) {
        const float want = ra[x] * rb[y];
        EXPECT_NEAR(dst.At(x, y).r, want, 1e-4f * want) << x << "," << y;
        EXPECT_NEAR(dst.At(x, y).a, 1.0f, 1e-5f);
      }
    for (uint32_t y = 0; y < c.sh; ++y) EXPECT_EQ((src.calls.decoded[{y, 0}]), 1);
    ExpectEveryRowEncodedOnce(dst);
  }
}

TEST(ResampleTriangle, VolumeSlices) {
  for (BlitFilter mirror : {FilterMirrorW, 0u}) {
    FloatImage src(2, 2, 2), dst(3, 2, 4);
    for (uint32_t i = 0; i < 4; ++i) src.px[i] = {0, 0, 0, 1}, src.px[4 + i] = {1, 1, 1, 1};
    ASSERT_EQ(BlitFloat(dst, src, FilterTriangle | mirror), D3D_OK);
    const float mirrored[] = {0.0f, 0.25f, 0.75f, 1.0f};
    const float wrapped[] = {0.25f, 0.25f, 0.75f, 0.75f};
    for (uint32_t z = 0; z < 4; ++z)
      for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
          EXPECT_NEAR(dst.At(x, y, z).r, mirror ? mirrored[z] : wrapped[z], 1e-6f);
          EXPECT_NEAR(dst.At(x, y, z).a, 1.0f, 1e-6f);
        }
    ExpectEveryRowEncodedOnce(dst);
    for (uint32_t z = 0; z < 2; ++z)
      for (uint32_t y = 0; y < 2; ++y) EXPECT_EQ((src.calls.decoded[{y, z}]), 1);
  }
}

TEST(ResampleTriangle, RowBelowTheWeightCutOffIsStillEncodedOnce) {
  // 200000 rows into 1: each source row's weight (1 / 200000) is below the 0.00001 cut-off,
  // so no source row names the destination row; it must still be written exactly once.
  FloatImage src(1, 200000), dst(1, 1);
  Fill(src, 0.5f);
  Fill(dst, 9.0f);
  ASSERT_EQ(BlitFloat(dst, src, FilterTriangle), D3D_OK);
  ExpectEveryRowEncodedOnce(dst);
  EXPECT_NE(dst.At(0, 0).r, 9.0f);
}

// --- FilterBox (general path) -------------------------------------------------------------

TEST(ResampleBox, MeansOfTwoByTwoIgnoringOddEdges) {
  struct Case {
    uint32_t sw, sh, dw, dh;
  } cases[] = {{5, 5, 2, 2}, {3, 3, 1, 1}, {1, 8, 1, 4}, {8, 1, 4, 1}, {6, 4, 3, 2}};
  for (const Case& c : cases) {
    FloatImage src(c.sw, c.sh), dst(c.dw, c.dh);
    Values(src);
    ASSERT_EQ(BlitFloat(dst, src, FilterBox), D3D_OK);
    for (uint32_t y = 0; y < c.dh; ++y)
      for (uint32_t x = 0; x < c.dw; ++x) {
        const uint32_t x1 = c.sw == 1 ? 0 : 2 * x + 1, y1 = c.sh == 1 ? 0 : 2 * y + 1;
        const float want =
            (Value(2 * x, 2 * y) + Value(x1, 2 * y) + Value(2 * x, y1) + Value(x1, y1)) * 0.25f;
        EXPECT_FLOAT_EQ(dst.At(x, y).r, want)
            << c.sw << "x" << c.sh << " at " << x << "," << y;
      }
    ExpectEveryRowEncodedOnce(dst);
  }
}

TEST(ResampleBox, VolumeMeansOfEight) {
  struct Case {
    uint32_t sw, sh, sd, dw, dh, dd;
  } cases[] = {{4, 4, 4, 2, 2, 2}, {3, 1, 5, 1, 1, 2}, {1, 2, 2, 1, 1, 1}};
  for (const Case& c : cases) {
    FloatImage src(c.sw, c.sh, c.sd), dst(c.dw, c.dh, c.dd);
    Values(src);
    ASSERT_EQ(BlitFloat(dst, src, FilterBox), D3D_OK);
    for (uint32_t z = 0; z < c.dd; ++z)
      for (uint32_t y = 0; y < c.dh; ++y)
        for (uint32_t x = 0; x < c.dw; ++x) {
          const uint32_t x1 = c.sw == 1 ? 0 : 2 * x + 1, y1 = c.sh == 1 ? 0 : 2 * y + 1;
          float sum = 0;
          for (uint32_t zz : {2 * z, 2 * z + 1})
            for (uint32_t yy : {2 * y, y1})
              for (uint32_t xx : {2 * x, x1}) sum += Value(xx, yy, zz);
          EXPECT_FLOAT_EQ(dst.At(x, y, z).r, sum * 0.125f) << x << "," << y << "," << z;
        }
    ExpectEveryRowEncodedOnce(dst);
  }
}

TEST(ResampleBox, NonHalvingFallsThroughToTriangle) {
  FloatImage src(8, 8), boxed(4, 3), triangled(4, 3);
  Values(src);
  ASSERT_EQ(BlitFloat(boxed, src, FilterBox), D3D_OK);
  ASSERT_EQ(BlitFloat(triangled, src, FilterTriangle), D3D_OK);
  for (size_t i = 0; i < boxed.px.size(); ++i) EXPECT_EQ(boxed.px[i].r, triangled.px[i].r);
}

}  // namespace
}  // namespace vellomir
