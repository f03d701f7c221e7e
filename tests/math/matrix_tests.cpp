// Matrix products, determinant and inverse, and the matrix builders.
#include <cmath>
#include <numbers>

#include "math/math.h"
#include "math_expect.h"

namespace vellomir {
namespace {

using test::Apply;
using test::ExpectNear;
using test::IdentityMatrix;
using test::SameBits;

constexpr float kPi = std::numbers::pi_v<float>;

Matrix4 Counting() {
  Matrix4 m;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m.m[i][j] = float(4 * i + j + 1);
  }
  return m;
}

Matrix4 Translation(float x, float y, float z) {
  Matrix4 m = IdentityMatrix();
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

TEST(MatrixProduct, OrderTransposeAndAliasing) {
  const Matrix4 a = Counting();
  const Matrix4 t = Translation(1, 2, 3);
  Matrix4 r;
  MultiplyMatrix(&r, &a, &t);
  const Matrix4 expected = {{{5, 10, 15, 4}, {13, 22, 31, 8}, {21, 34, 47, 12}, {29, 46, 63, 16}}};
  EXPECT_TRUE(SameBits(r, expected));
  Matrix4 rt;
  MultiplyMatrixTransposed(&rt, &a, &t);
  Matrix4 transposed;
  EXPECT_TRUE(SameBits(*TransposeMatrix(&transposed, &expected), rt));
  EXPECT_EQ(rt.m[0][3], 29.0f);
  // out may be either input.
  Matrix4 first = a;
  MultiplyMatrix(&first, &first, &t);
  EXPECT_TRUE(SameBits(first, expected));
  Matrix4 second = t;
  MultiplyMatrix(&second, &a, &second);
  EXPECT_TRUE(SameBits(second, expected));
  Matrix4 both = a;
  TransposeMatrix(&both, &both);
  EXPECT_EQ(both.m[0][3], 13.0f);
  EXPECT_EQ(both.m[3][0], 4.0f);
}

TEST(MatrixInverse, DeterminantTable) {
  struct Case {
    Matrix4 m;
    float det;
  } cases[] = {
      {IdentityMatrix(), 1},
      {Counting(), 0},
      {{{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 5}}}, 120},
      {{{{2, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 3}}}, -6},
      {{{{1, 2, 0, 0}, {3, 4, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}}}, -2},
      {{{{0, 0, 0, 1}, {0, 0, 1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}}}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputeDeterminant(&c.m), c.det);
}

TEST(MatrixInverse, InverseTimesMatrixIsIdentity) {
  const Matrix4 m = {{{1, 2, 0, 0}, {3, 4, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}}};
  Matrix4 inv;
  float det = 0;
  ASSERT_EQ(InvertMatrix(&inv, &det, &m), &inv);
  EXPECT_EQ(det, -2.0f);
  // The 2x2 block inverts to (-2 1; 1.5 -0.5).
  EXPECT_FLOAT_EQ(inv.m[0][0], -2.0f);
  EXPECT_FLOAT_EQ(inv.m[1][0], 1.5f);
  Matrix4 product;
  ExpectNear(*MultiplyMatrix(&product, &m, &inv), IdentityMatrix());
  // A general matrix, inverted in place and without the determinant output.
  Matrix4 g = {{{2, -1, 0, 3}, {1, 3, 2, 0}, {0, 1, 4, -2}, {5, 0, 1, 1}}};
  const Matrix4 original = g;
  ASSERT_EQ(InvertMatrix(&g, nullptr, &g), &g);
  ExpectNear(*MultiplyMatrix(&product, &g, &original), IdentityMatrix());
}

TEST(MatrixInverse, SingularLeavesOutputUntouched) {
  Matrix4 zeroRow = Counting();
  for (float& e : zeroRow.m[2]) e = 0.0f;
  for (const Matrix4& m : {zeroRow, Counting()}) {
    Matrix4 out;
    for (auto& row : out.m) {
      for (float& e : row) e = 42.0f;
    }
    const Matrix4 before = out;
    float det = 99.0f;
    EXPECT_EQ(InvertMatrix(&out, &det, &m), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(SameBits(out, before));
    EXPECT_EQ(InvertMatrix(&out, nullptr, &m), nullptr);
  }
}

TEST(MatrixBuilders, ElementaryMatrices) {
  Matrix4 r;
  EXPECT_TRUE(SameBits(*BuildTranslation(&r, 1, 2, 3), Translation(1, 2, 3)));
  const Matrix4 scale = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 1}}};
  EXPECT_TRUE(SameBits(*BuildScaling(&r, 2, 3, 4), scale));
  const float c = std::cos(0.5f), s = std::sin(0.5f);
  ExpectNear(*BuildRotationX(&r, 0.5f),
             Matrix4{{{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}});
  ExpectNear(*BuildRotationY(&r, 0.5f),
             Matrix4{{{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}});
  ExpectNear(*BuildRotationZ(&r, 0.5f),
             Matrix4{{{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}});
  // Quarter turns: y -> z about x, z -> x about y, x -> y about z.
  ExpectNear(Apply(*BuildRotationX(&r, kPi / 2), {0, 1, 0}), Vec3{0, 0, 1});
  ExpectNear(Apply(*BuildRotationY(&r, kPi / 2), {0, 0, 1}), Vec3{1, 0, 0});
  ExpectNear(Apply(*BuildRotationZ(&r, kPi / 2), {1, 0, 0}), Vec3{0, 1, 0});
}

TEST(MatrixBuilders, AxisQuaternionAndYawPitchRollRotations) {
  Matrix4 r, expected;
  // An unnormalised axis is normalised first.
  const Vec3 zAxis = {0, 0, 2};
  ExpectNear(*BuildRotationAxis(&r, &zAxis, 0.7f), *BuildRotationZ(&expected, 0.7f));
  // A third of a turn about (1, 1, 1) cycles the axes.
  const Vec3 diagonal = {1, 1, 1};
  BuildRotationAxis(&r, &diagonal, 2 * kPi / 3);
  ExpectNear(Apply(r, {1, 0, 0}), Vec3{0, 1, 0});
  ExpectNear(Apply(r, {0, 1, 0}), Vec3{0, 0, 1});

  const Quaternion qz = {0, 0, std::sin(0.35f), std::cos(0.35f)};
  ExpectNear(*BuildRotationFromQuaternion(&r, &qz), *BuildRotationZ(&expected, 0.7f));
  // The quaternion is used as given: (2, 0, 0, 0) gives m22 = m33 = 1 - 8.
  const Quaternion big = {2, 0, 0, 0};
  BuildRotationFromQuaternion(&r, &big);
  EXPECT_EQ(r.m[1][1], -7.0f);
  EXPECT_EQ(r.m[2][2], -7.0f);
  EXPECT_EQ(r.m[0][0], 1.0f);

  // Roll about z first, then pitch about x, then yaw about y.
  Matrix4 rz, rx, ry;
  BuildRotationZ(&rz, 0.7f);
  BuildRotationX(&rx, 0.5f);
  BuildRotationY(&ry, 0.3f);
  MultiplyMatrix(&expected, &rz, &rx);
  MultiplyMatrix(&expected, &expected, &ry);
  ExpectNear(*BuildRotationYawPitchRoll(&r, 0.3f, 0.5f, 0.7f), expected);
}

Quaternion QuarterTurnZ() { return {0, 0, std::sqrt(0.5f), std::sqrt(0.5f)}; }

TEST(MatrixBuilders, TransformationParts) {
  Matrix4 r;
  EXPECT_TRUE(
      SameBits(*BuildTransformation(&r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
               IdentityMatrix()));
  const Vec3 t = {4, 5, 6};
  EXPECT_TRUE(SameBits(*BuildTransformation(&r, nullptr, nullptr, nullptr, nullptr, nullptr, &t),
                       Translation(4, 5, 6)));

  // Scale, rotate a quarter turn about (1, 0, 0), translate.
  const Vec3 scaling = {2, 3, 4}, centre = {1, 0, 0}, up5 = {0, 0, 5};
  const Quaternion q = QuarterTurnZ();
  BuildTransformation(&r, nullptr, nullptr, &scaling, &centre, &q, &up5);
  ExpectNear(Apply(r, {1, 0, 0}), Vec3{1, 1, 5});
  ExpectNear(Apply(r, {0, 1, 0}), Vec3{-2, -1, 5});
  // A rotation centre without a rotation changes nothing; a scaling centre without a scaling
  // rotation is ignored.
  const Vec3 twos = {2, 2, 2}, ones = {1, 1, 1};
  BuildTransformation(&r, &ones, nullptr, &twos, &centre, nullptr, nullptr);
  ExpectNear(Apply(r, {1, 0, 0}), Vec3{2, 0, 0});

  // Scaling along rotated axes about a centre: (2, 1, 1) in the frame turned a quarter about z
  // doubles distances along y, measured from (0, 1, 0).
  const Vec3 alongX = {2, 1, 1}, scalingCentre = {0, 1, 0};
  BuildTransformation(&r, &scalingCentre, &q, &alongX, nullptr, nullptr, nullptr);
  ExpectNear(Apply(r, {0, 3, 0}), Vec3{0, 5, 0});
  ExpectNear(Apply(r, {1, 1, 0}), Vec3{1, 1, 0});
  ExpectNear(Apply(r, {0, 1, 7}), Vec3{0, 1, 7});
}

TEST(MatrixBuilders, AffineTransformation) {
  Matrix4 r;
  const Vec3 centre = {1, 0, 0}, t = {0, 0, 1};
  const Quaternion q = QuarterTurnZ();
  BuildAffineTransformation(&r, 2.0f, &centre, &q, &t);
  ExpectNear(Apply(r, {1, 0, 0}), Vec3{1, 1, 1});
  BuildAffineTransformation(&r, 3.0f, nullptr, nullptr, nullptr);
  const Matrix4 scale = {{{3, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 3, 0}, {0, 0, 0, 1}}};
  EXPECT_TRUE(SameBits(r, scale));
}

TEST(MatrixBuilders, ShadowAndReflection) {
  Matrix4 r;
  // Directional light along (1, 1, 0) onto y = 0.
  const Vec4 direction = {1, 1, 0, 0};
  const Plane ground = {0, 2, 0, 0};  // normalised inside
  BuildShadowMatrix(&r, &direction, &ground);
  ExpectNear(Apply(r, {3, 5, 7}), Vec3{-2, 0, 7});
  // Point light at (0, 10, 0).
  const Vec4 point = {0, 10, 0, 1};
  BuildShadowMatrix(&r, &point, &ground);
  ExpectNear(Apply(r, {1, 5, 0}), Vec3{2, 0, 0});

  // Mirror in y = 2.
  const Plane mirror = {0, 2, 0, -4};
  BuildReflectionMatrix(&r, &mirror);
  ExpectNear(Apply(r, {1, 5, 3}), Vec3{1, -1, 3});
  EXPECT_EQ(r.m[0][3], 0.0f);
  EXPECT_EQ(r.m[3][3], 1.0f);
}

TEST(MatrixBuilders, PerspectiveAndLookAt) {
  Matrix4 r;
  BuildPerspectiveRightHanded(&r, kPi / 2, 2.0f, 1.0f, 11.0f);
  const Matrix4 expected = {{{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1.1f, -1}, {0, 0, -1.1f, 0}}};
  ExpectNear(r, expected);
  // Near plane to depth 0, far plane to depth 1 (the camera looks down -z).
  EXPECT_NEAR(Apply(r, {0, 0, -1}).z, 0.0f, 1e-6f);
  EXPECT_NEAR(Apply(r, {0, 0, -11}).z, 1.0f, 1e-6f);

  // The game's camera: from the origin towards (0, 0, 100).
  const Vec3 origin = {0, 0, 0}, ahead = {0, 0, 100}, up = {0, 1, 0};
  BuildLookAtRightHanded(&r, &origin, &ahead, &up);
  const Matrix4 flip = {{{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_EQ(r.m[i][j], flip.m[i][j]);
  }
  // A general camera: the eye maps to the origin, the target onto -z, up stays in the y-z plane.
  const Vec3 eye = {3, 4, 10}, at = {1, 1, 1}, tilt = {0.2f, 1, 0};
  BuildLookAtRightHanded(&r, &eye, &at, &tilt);
  ExpectNear(Apply(r, eye), Vec3{0, 0, 0}, 1e-5f);
  const float dist = std::sqrt(4.0f + 9.0f + 81.0f);
  ExpectNear(Apply(r, at), Vec3{0, 0, -dist}, 1e-4f);
  const Vec3 above = {eye.x + tilt.x, eye.y + tilt.y, eye.z + tilt.z};
  EXPECT_NEAR(Apply(r, above).x, 0.0f, 1e-5f);
  EXPECT_GT(Apply(r, above).y, 0.0f);
}

}  // namespace
}  // namespace vellomir
