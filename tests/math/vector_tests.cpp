// Vector operations: transforms, normalisation, splines, 4-D cross product, projection.
#include <cmath>
#include <limits>

#include "math/math.h"
#include "math_expect.h"

namespace vellomir {
namespace {

using test::ExpectNear;
using test::SameBits;

// Rows (1 2 3 4), (5 6 7 8), (9 10 11 12), (13 14 15 16).
Matrix4 Counting() {
  Matrix4 m;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m.m[i][j] = float(4 * i + j + 1);
  }
  return m;
}

TEST(VectorTransform, RowVectorTimesMatrix) {
  const Matrix4 m = Counting();
  const Vec2 v2 = {1, 2};
  const Vec3 v3 = {1, 2, 3};
  const Vec4 v4 = {1, 2, 3, 4};
  Vec4 r4;
  EXPECT_TRUE(SameBits(*TransformVec2(&r4, &v2, &m), Vec4{24, 28, 32, 36}));
  EXPECT_TRUE(SameBits(*TransformVec3(&r4, &v3, &m), Vec4{51, 58, 65, 72}));
  EXPECT_TRUE(SameBits(*TransformVec4(&r4, &v4, &m), Vec4{90, 100, 110, 120}));
  Vec2 r2;
  EXPECT_TRUE(SameBits(*TransformVec2Normal(&r2, &v2, &m), Vec2{11, 14}));
  Vec3 r3;
  EXPECT_TRUE(SameBits(*TransformVec3Normal(&r3, &v3, &m), Vec3{38, 44, 50}));
  ExpectNear(*TransformVec2Coord(&r2, &v2, &m), Vec2{24.0f / 36, 28.0f / 36});
  ExpectNear(*TransformVec3Coord(&r3, &v3, &m), Vec3{51.0f / 72, 58.0f / 72, 65.0f / 72});
  // In place.
  Vec3 inPlace = v3;
  EXPECT_EQ(TransformVec3Coord(&inPlace, &inPlace, &m), &inPlace);
  ExpectNear(inPlace, Vec3{51.0f / 72, 58.0f / 72, 65.0f / 72});
}

TEST(VectorTransform, CoordDividesOnlyWhenWIsNotNearlyOne) {
  Matrix4 m = test::IdentityMatrix();
  m.m[3][0] = 3.0f;
  // w = 1 + 2^-23 counts as 1: x stays exactly 3 (3 / w would round to a different float).
  m.m[3][3] = 1.0f + 0x1p-23f;
  const Vec3 origin = {0, 0, 0};
  Vec3 r;
  TransformVec3Coord(&r, &origin, &m);
  EXPECT_EQ(r.x, 3.0f);
  ASSERT_NE(3.0f / m.m[3][3], 3.0f);
  // Just outside the tolerance the division happens.
  m.m[3][3] = 1.0f + 0x1p-22f;
  TransformVec3Coord(&r, &origin, &m);
  EXPECT_EQ(r.x, 3.0f / m.m[3][3]);
  // w = 0 gives an infinity, not a crash or a silent 0.
  m.m[3][3] = 0.0f;
  const Vec2 origin2 = {0, 0};
  Vec2 r2;
  TransformVec2Coord(&r2, &origin2, &m);
  EXPECT_TRUE(std::isinf(r2.x));
}

TEST(Normalize, CopyScaleAndZeroCases) {
  struct Case {
    Vec3 in;
    Vec3 expected;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{0, 1, 0}, {0, 1, 0}},
      {{3, 0, 4}, {0.6f, 0, 0.8f}},
      {{0, -2, 0}, {0, -1, 0}},
      // Squared length 2^-124 is above the smallest normal float: still scaled.
      {{0x1p-62f, 0, 0}, {1, 0, 0}},
      // Squared length 2^-128 is not: zero.
      {{0x1p-64f, 0, 0}, {0, 0, 0}},
      {{nan, 1, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    Vec3 r = {9, 9, 9};
    EXPECT_EQ(NormalizeVec3(&r, &c.in), &r);
    ExpectNear(r, c.expected, 1e-6f);
  }
  // A squared length within 2^-23 of 1 copies the input bit for bit, even though scaling
  // would change the last bits.
  const Vec3 nearlyUnit = {0.6f, 0.8f, 0.0f};
  Vec3 r;
  NormalizeVec3(&r, &nearlyUnit);
  EXPECT_TRUE(SameBits(r, nearlyUnit));
  const Vec3 unit = {0, 1, 0};
  NormalizeVec3(&r, &unit);
  EXPECT_TRUE(SameBits(r, unit));
}

TEST(Normalize, OtherRecordsFollowTheSameRule) {
  const Vec2 v2 = {3, 4};
  Vec2 r2;
  ExpectNear(*NormalizeVec2(&r2, &v2), Vec2{0.6f, 0.8f});
  Vec4 v4 = {1, 1, 1, 1};
  EXPECT_EQ(NormalizeVec4(&v4, &v4), &v4);
  ExpectNear(v4, Vec4{0.5f, 0.5f, 0.5f, 0.5f});
  const Quaternion q = {0, 0, 0, 2};
  Quaternion rq;
  ExpectNear(*NormalizeQuaternion(&rq, &q), Quaternion{0, 0, 0, 1});
  // A plane normalises its normal and scales d with it; a zero normal zeroes d too.
  const Plane p = {0, 0, 2, 4};
  Plane rp;
  ExpectNear(*NormalizePlane(&rp, &p), Plane{0, 0, 1, 2});
  const Plane degenerate = {0, 0, 0, 5};
  ExpectNear(*NormalizePlane(&rp, &degenerate), Plane{0, 0, 0, 0});
}

TEST(CrossVec4, CofactorsWithAlternatingSigns) {
  const Vec4 ex = {1, 0, 0, 0}, ey = {0, 1, 0, 0}, ez = {0, 0, 1, 0};
  Vec4 r;
  ExpectNear(*CrossVec4(&r, &ex, &ey, &ez), Vec4{0, 0, 0, -1}, 0.0f);
  const Vec4 u = {1, 2, 3, 4}, v = {0, 1, 0, 2}, w = {3, 0, 1, 0};
  CrossVec4(&r, &u, &v, &w);
  ExpectNear(r, Vec4{0, -16, 0, 8});
  // Orthogonal to all three inputs.
  for (const Vec4* a : {&u, &v, &w}) {
    EXPECT_EQ(r.x * a->x + r.y * a->y + r.z * a->z + r.w * a->w, 0.0f);
  }
}

TEST(Splines, HermiteCatmullRomBarycentricOnEveryWidth) {
  const Vec4 p0 = {-1, 3, 0, 5}, p1 = {0, 1, 2, 4}, p2 = {4, -1, 6, 0}, p3 = {2, 2, 2, 2};
  // Hermite at s = 0.5: weights 0.5, 0.125, 0.5, -0.125 for p1, t1, p2, t2 (here t1 = p0,
  // t2 = p3). Catmull-Rom at s = 0.5: -0.0625, 0.5625, 0.5625, -0.0625.
  auto hermite = [&](int i) {
    const float a[4] = {p0.x, p0.y, p0.z, p0.w}, b[4] = {p1.x, p1.y, p1.z, p1.w},
                c[4] = {p2.x, p2.y, p2.z, p2.w}, d[4] = {p3.x, p3.y, p3.z, p3.w};
    return 0.5f * b[i] + 0.125f * a[i] + 0.5f * c[i] - 0.125f * d[i];
  };
  auto catmull = [&](int i) {
    const float a[4] = {p0.x, p0.y, p0.z, p0.w}, b[4] = {p1.x, p1.y, p1.z, p1.w},
                c[4] = {p2.x, p2.y, p2.z, p2.w}, d[4] = {p3.x, p3.y, p3.z, p3.w};
    return -0.0625f * a[i] + 0.5625f * b[i] + 0.5625f * c[i] - 0.0625f * d[i];
  };
  Vec4 r4;
  HermiteVec4(&r4, &p1, &p0, &p2, &p3, 0.5f);
  ExpectNear(r4, Vec4{hermite(0), hermite(1), hermite(2), hermite(3)});
  CatmullRomVec4(&r4, &p0, &p1, &p2, &p3, 0.5f);
  ExpectNear(r4, Vec4{catmull(0), catmull(1), catmull(2), catmull(3)});
  BarycentricVec4(&r4, &p1, &p2, &p3, 0.25f, 0.5f);
  ExpectNear(r4, Vec4{0 + 0.25f * 4 + 0.5f * 2, 1 + 0.25f * -2 + 0.5f * 1, 2 + 0.25f * 4 + 0.5f * 0,
                      4 + 0.25f * -4 + 0.5f * -2});

  const Vec3 a3 = {p0.x, p0.y, p0.z}, b3 = {p1.x, p1.y, p1.z}, c3 = {p2.x, p2.y, p2.z},
             d3 = {p3.x, p3.y, p3.z};
  Vec3 r3;
  ExpectNear(*HermiteVec3(&r3, &b3, &a3, &c3, &d3, 0.5f), Vec3{hermite(0), hermite(1), hermite(2)});
  ExpectNear(*CatmullRomVec3(&r3, &a3, &b3, &c3, &d3, 0.5f),
             Vec3{catmull(0), catmull(1), catmull(2)});
  ExpectNear(*BarycentricVec3(&r3, &b3, &c3, &d3, 0.25f, 0.5f), Vec3{2, 1, 3});

  const Vec2 a2 = {p0.x, p0.y}, b2 = {p1.x, p1.y}, c2 = {p2.x, p2.y}, d2 = {p3.x, p3.y};
  Vec2 r2;
  ExpectNear(*HermiteVec2(&r2, &b2, &a2, &c2, &d2, 0.5f), Vec2{hermite(0), hermite(1)});
  ExpectNear(*CatmullRomVec2(&r2, &a2, &b2, &c2, &d2, 0.5f), Vec2{catmull(0), catmull(1)});
  ExpectNear(*BarycentricVec2(&r2, &b2, &c2, &d2, 0.25f, 0.5f), Vec2{2, 1});

  // The curves pass through their inner points, also when the output aliases an input.
  Vec3 alias = b3;
  CatmullRomVec3(&alias, &a3, &alias, &c3, &d3, 0.0f);
  ExpectNear(alias, b3);
  alias = b3;
  HermiteVec3(&alias, &alias, &a3, &c3, &d3, 1.0f);
  ExpectNear(alias, c3);
}

D3DVIEWPORT8 TestViewport() { return D3DVIEWPORT8{10, 20, 200, 100, 0.25f, 0.75f}; }

TEST(Projection, ViewportMappingAndMatrixOrder) {
  const D3DVIEWPORT8 vp = TestViewport();
  const Vec3 v = {0.5f, 0.5f, 0.5f};
  Vec3 r;
  // No matrices: only the viewport mapping (y grows downwards).
  ProjectVec3(&r, &v, &vp, nullptr, nullptr, nullptr);
  ExpectNear(r, Vec3{10 + 200 * 0.75f, 20 + 100 * 0.25f, 0.25f + 0.5f * 0.5f});
  // world first, then view: (1 + 1) * 3, not 1 * 3 + 1.
  Matrix4 world = test::IdentityMatrix(), view = test::IdentityMatrix();
  world.m[3][0] = 1.0f;
  view.m[0][0] = 3.0f;
  const Vec3 x = {1, 0, 0};
  ProjectVec3(&r, &x, nullptr, nullptr, &view, &world);
  ExpectNear(r, Vec3{6, 0, 0});
  ProjectVec3(&r, &x, nullptr, &view, nullptr, &world);
  ExpectNear(r, Vec3{6, 0, 0});
}

TEST(Projection, AbsentMatricesActAsIdentity) {
  // Leaving every matrix out is the same as passing identities, down to the sign of zero and
  // the spread of an infinity.
  const Matrix4 id = test::IdentityMatrix();
  const D3DVIEWPORT8 vp = TestViewport();
  const float inf = std::numeric_limits<float>::infinity();
  const Vec3 inputs[] = {{-0.0f, 2, 3}, {1, -0.0f, 0.5f}, {inf, 1, 1}};
  for (const D3DVIEWPORT8* viewport : {static_cast<const D3DVIEWPORT8*>(nullptr), &vp}) {
    for (const Vec3& v : inputs) {
      Vec3 bare, withIdentity;
      ProjectVec3(&bare, &v, viewport, nullptr, nullptr, nullptr);
      ProjectVec3(&withIdentity, &v, viewport, &id, nullptr, nullptr);
      EXPECT_TRUE(SameBits(bare, withIdentity)) << v.x << " " << v.y << " " << v.z;
      UnprojectVec3(&bare, &v, viewport, nullptr, nullptr, nullptr);
      UnprojectVec3(&withIdentity, &v, viewport, nullptr, &id, nullptr);
      EXPECT_TRUE(SameBits(bare, withIdentity)) << v.x << " " << v.y << " " << v.z;
    }
  }
}

TEST(Projection, UnprojectReversesProject) {
  const D3DVIEWPORT8 vp = TestViewport();
  Matrix4 proj, view, world;
  BuildPerspectiveRightHanded(&proj, 1.2f, 2.0f, 1.0f, 50.0f);
  const Vec3 eye = {3, 4, 10}, at = {0, 0, 0}, up = {0, 1, 0};
  BuildLookAtRightHanded(&view, &eye, &at, &up);
  BuildRotationY(&world, 0.4f);
  const Vec3 points[] = {{0, 0, 0}, {1, -2, 3}, {-0.5f, 0.25f, 2}};
  for (const Vec3& p : points) {
    Vec3 screen, back;
    ProjectVec3(&screen, &p, &vp, &proj, &view, &world);
    UnprojectVec3(&back, &screen, &vp, &proj, &view, &world);
    ExpectNear(back, p, 1e-3f);
  }
  // Without matrices only the viewport mapping is undone.
  const Vec3 screen = {160, 45, 0.5f};
  Vec3 back;
  UnprojectVec3(&back, &screen, &vp, nullptr, nullptr, nullptr);
  ExpectNear(back, Vec3{0.5f, 0.5f, 0.5f});
}

TEST(Projection, UnprojectThroughSingularMatrixGivesNaN) {
  Matrix4 flat = test::IdentityMatrix();
  flat.m[2][2] = 0.0f;  // flattens z: no inverse
  const D3DVIEWPORT8 vp = TestViewport();
  const Vec3 v = {1, 2, 3};
  // A singular part makes the product singular, wherever it sits; with and without viewport.
  Matrix4 shear = test::IdentityMatrix();
  shear.m[0][1] = 1.0f;  // x also feeds y: regular
  struct Case {
    const D3DVIEWPORT8* vp;
    const Matrix4 *proj, *view, *world;
  } cases[] = {{nullptr, &flat, nullptr, nullptr},
               {&vp, nullptr, nullptr, &flat},
               {&vp, &flat, &flat, &flat},
               {nullptr, nullptr, &flat, &shear}};
  for (const Case& c : cases) {
    Vec3 r = {7, 7, 7};
    EXPECT_EQ(UnprojectVec3(&r, &v, c.vp, c.proj, c.view, c.world), &r);
    EXPECT_TRUE(std::isnan(r.x) && std::isnan(r.y) && std::isnan(r.z));
  }
}

}  // namespace
}  // namespace vellomir
