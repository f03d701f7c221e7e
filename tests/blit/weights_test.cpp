// Per-axis weight tables of the linear and triangle filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <vector>

#include "blit/linear_filter.h"
#include "blit/triangle_filter.h"

namespace vellomir {
namespace {

using Pairs = std::vector<std::pair<int32_t, float>>;

std::vector<Pairs> Lists(uint32_t c, uint32_t n, int wrap) {
  auto list = BuildTriangleWeights(c, n, wrap);
  EXPECT_NE(list, nullptr);
  std::vector<Pairs> out;
  if (!list) return out;
  uint32_t bytes = 4;
  auto rec = list->First();
  for (uint32_t j = 0; j < c; ++j, rec.Next()) {
    bytes += 4 + 8 * rec.size();
    Pairs p;
    for (const TrianglePair tp : rec) p.push_back({tp.index, tp.weight});
    out.push_back(p);
  }
  EXPECT_EQ(list->totalBytes(), bytes);
  return out;
}

void ExpectPairs(const Pairs& actual, const Pairs& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].first, expected[i].first) << "pair " << i;
    EXPECT_FLOAT_EQ(actual[i].second, expected[i].second) << "pair " << i;
  }
}

TEST(TriangleWeights, TwoIntoFour) {
  auto mirrored = Lists(2, 4, 0);
  ExpectPairs(mirrored[0], {{0, 1.0f}, {1, 0.75f}, {2, 0.25f}});
  ExpectPairs(mirrored[1], {{1, 0.25f}, {2, 0.75f}, {3, 1.0f}});

  auto wrapped = Lists(2, 4, 1);
  ExpectPairs(wrapped[0], {{3, 0.25f}, {0, 0.75f}, {1, 0.75f}, {2, 0.25f}});
  ExpectPairs(wrapped[1], {{1, 0.25f}, {2, 0.75f}, {3, 0.75f}, {0, 0.25f}});
}

// Weights received per destination sample, per source sample: w[d][j].
std::vector<std::vector<float>> Received(uint32_t c, uint32_t n, int wrap) {
  std::vector<std::vector<float>> w(n, std::vector<float>(c, 0.0f));
  auto lists = Lists(c, n, wrap);
  for (uint32_t j = 0; j < lists.size(); ++j) {
    for (auto [d, weight] : lists[j]) {
      EXPECT_GE(d, 0);
      EXPECT_LT(d, static_cast<int32_t>(n));
      if (d >= 0 && d < static_cast<int32_t>(n)) w[d][j] += weight;
    }
  }
  return w;
}

TEST(TriangleWeights, FourIntoTwo) {
  auto mirrored = Received(4, 2, 0);
  const float d0[] = {0.5f, 0.4375f, 0.0625f, 0.0f};
  const float d1[] = {0.0f, 0.0625f, 0.4375f, 0.5f};
  for (int j = 0; j < 4; ++j) {
    EXPECT_FLOAT_EQ(mirrored[0][j], d0[j]) << j;
    EXPECT_FLOAT_EQ(mirrored[1][j], d1[j]) << j;
  }
  auto wrapped = Lists(4, 2, 1);
  ExpectPairs(wrapped[0], {{1, 0.0625f}, {0, 0.4375f}});
  ExpectPairs(wrapped[3], {{1, 0.4375f}, {0, 0.0625f}});
}

TEST(TriangleWeights, OneIntoFour) {
  ExpectPairs(Lists(1, 4, 0)[0], {{0, 1.0f}, {1, 1.0f}, {2, 1.0f}, {3, 1.0f}});
  // Wrapped: both tails land on the far edge, two pairs per destination sample.
  const Pairs wrapped = Lists(1, 4, 1)[0];
  ASSERT_EQ(wrapped.size(), 8u);
  std::vector<std::vector<float>> per(4);
  for (auto [d, w] : wrapped) per[d].push_back(w);
  for (int d = 0; d < 4; ++d) {
    ASSERT_EQ(per[d].size(), 2u) << d;
    EXPECT_FLOAT_EQ(per[d][0] + per[d][1], 1.0f);
    const float small = std::min(per[d][0], per[d][1]);
    EXPECT_TRUE(std::abs(small - 0.125f) < 1e-6f || std::abs(small - 0.375f) < 1e-6f) << small;
  }
}

TEST(TriangleWeights, EveryDestinationReceivesOne) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1},   {2, 1},   {1, 3},    {3, 7},
                                                 {7, 3},   {5, 5},   {16, 5},   {100, 37},
                                                 {37, 100}, {256, 64}, {640, 1024}, {1024, 480}};
  for (auto [c, n] : sizes) {
    for (int wrap = 0; wrap < 2; ++wrap) {
      auto w = Received(c, n, wrap);
      for (uint32_t d = 0; d < n; ++d) {
        float sum = 0.0f;
        for (float v : w[d]) sum += v;
        EXPECT_NEAR(sum, 1.0f, 1e-4f) << c << " -> " << n << " wrap " << wrap << " dst " << d;
      }
    }
  }
}

TEST(TriangleWeights, EmptyAxisHasNoList) {
  EXPECT_EQ(BuildTriangleWeights(0, 4, 1), nullptr);
  EXPECT_EQ(BuildTriangleWeights(4, 0, 0), nullptr);
}

struct TapCase {
  uint32_t dst, src;
  int wrap;
  std::vector<LinearTap> taps;
};

TEST(LinearTaps, Examples) {
  const TapCase cases[] = {
      {4, 2, 0, {{0, 0.5f, 0, 0.5f}, {0, 1, 1, 0}, {0, 0.5f, 1, 0.5f}, {1, 1, 1, 0}}},
      {4, 2, 1, {{1, 0.5f, 0, 0.5f}, {0, 1, 1, 0}, {0, 0.5f, 1, 0.5f}, {1, 1, 0, 0}}},
      {2, 4, 1, {{3, 0.5f, 0, 0.5f}, {1, 0.5f, 2, 0.5f}}},
      {2, 4, 0, {{0, 0.5f, 0, 0.5f}, {1, 0.5f, 2, 0.5f}}},
      {3, 3, 1, {{2, 0.5f, 0, 0.5f}, {0, 0.5f, 1, 0.5f}, {1, 0.5f, 2, 0.5f}}},
      {4, 1, 1, {{0, 0.5f, 0, 0.5f}, {0, 0.25f, 0, 0.75f}, {0, 1.0f, 0, 0.0f}, {0, 0.75f, 0, 0.25f}}},
  };
  for (const TapCase& c : cases) {
    auto taps = BuildLinearTaps(c.dst, c.src, c.wrap);
    ASSERT_NE(taps, nullptr);
    for (uint32_t i = 0; i < c.dst; ++i) {
      SCOPED_TRACE(testing::Message() << c.src << " -> " << c.dst << " wrap " << c.wrap
                                      << " tap " << i);
      EXPECT_EQ(taps[i].i0, c.taps[i].i0);
      EXPECT_EQ(taps[i].i1, c.taps[i].i1);
      EXPECT_FLOAT_EQ(taps[i].w0, c.taps[i].w0);
      EXPECT_FLOAT_EQ(taps[i].w1, c.taps[i].w1);
    }
  }
}

TEST(LinearTaps, IndependentOfTheCallersRoundingMode) {
  // Sizes whose positions are exact in binary, so only the float-to-integer step could differ.
  auto reference = BuildLinearTaps(8, 4, 1);
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    auto taps = BuildLinearTaps(8, 4, 1);
    auto list = BuildTriangleWeights(4, 8, 1);
    const int after = std::fegetround();
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(after, mode);  // left as the caller set it
    ASSERT_TRUE(taps && list);
    auto rec = list->First();
    ExpectPairs([&] {
      Pairs p;
      for (const TrianglePair tp : rec) p.push_back({tp.index, tp.weight});
      return p;
    }(), {{7, 0.25f}, {0, 0.75f}, {1, 0.75f}, {2, 0.25f}});
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(taps[i].i0, reference[i].i0) << mode << " " << i;
      EXPECT_EQ(taps[i].i1, reference[i].i1) << mode << " " << i;
      EXPECT_EQ(taps[i].w0, reference[i].w0) << mode << " " << i;
    }
  }
}

}  // namespace
}  // namespace vellomir
