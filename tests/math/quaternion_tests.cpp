// Quaternion operations: products, inverse, interpolation, logarithm and conversions.
#include <cmath>
#include <numbers>

#include "math/math.h"
#include "math_expect.h"

namespace vellomir {
namespace {

using test::ExpectNear;
using test::SameBits;

constexpr float kPi = std::numbers::pi_v<float>;

// Rotation by angle about a unit axis.
Quaternion Rotation(Vec3 axis, float angle) {
  const float s = std::sin(angle / 2);
  return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2)};
}

Quaternion Negated(const Quaternion& q) { return {-q.x, -q.y, -q.z, -q.w}; }

// q and -q are the same rotation.
void ExpectSameRotation(const Quaternion& a, const Quaternion& e, float tol = 1e-5f) {
  const float dot = a.x * e.x + a.y * e.y + a.z * e.z + a.w * e.w;
  ExpectNear(dot < 0 ? Negated(a) : a, e, tol);
}

TEST(QuaternionProduct, HamiltonProductSecondTimesFirst) {
  const Quaternion q1 = {1, 2, 3, 4}, q2 = {5, 6, 7, 8};
  Quaternion r;
  EXPECT_TRUE(SameBits(*MultiplyQuaternion(&r, &q1, &q2), Quaternion{32, 32, 56, -6}));
  // As rotations: q1 first, then q2, like the matrix product Rx * Ry.
  const Quaternion qx = Rotation({1, 0, 0}, kPi / 2), qy = Rotation({0, 1, 0}, kPi / 2);
  Quaternion both = qx;
  MultiplyQuaternion(&both, &both, &qy);
  Matrix4 fromQuaternion, rx, ry, product;
  BuildRotationFromQuaternion(&fromQuaternion, &both);
  BuildRotationX(&rx, kPi / 2);
  BuildRotationY(&ry, kPi / 2);
  ExpectNear(fromQuaternion, *MultiplyMatrix(&product, &rx, &ry));
}

TEST(QuaternionInverse, ConjugateOverSquaredLength) {
  struct Case {
    Quaternion in, expected;
  } cases[] = {
      {{1, 2, 3, 4}, {-1.0f / 30, -2.0f / 30, -3.0f / 30, 4.0f / 30}},
      {{0, 0.6f, 0, 0.8f}, {0, -0.6f, 0, 0.8f}},
      {{1e-10f, 0, 0, 0}, {0, 0, 0, 0}},  // squared length below 2^-63
      {{0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Quaternion r;
    ExpectNear(*InvertQuaternion(&r, &c.in), c.expected, 1e-7f);
  }
  // The conjugate is divided by the squared length, not multiplied by its reciprocal (3 / 30
  // and 3 * (1 / 30) differ in the last bit).
  const Quaternion q1234 = {1, 2, 3, 4};
  Quaternion divided;
  InvertQuaternion(&divided, &q1234);
  EXPECT_TRUE(SameBits(divided, Quaternion{-1.0f / 30, -2.0f / 30, -3.0f / 30, 4.0f / 30}));
  // Nearly unit length: the exact conjugate, no division.
  const Quaternion unit = {0, 0.6f, 0, 0.8f};
  Quaternion r;
  InvertQuaternion(&r, &unit);
  EXPECT_TRUE(SameBits(r, Quaternion{-0.0f, -0.6f, -0.0f, 0.8f}));
  // Just above 2^-63 still inverts.
  const Quaternion small = {0, 0, 0, 1e-9f};
  InvertQuaternion(&r, &small);
  EXPECT_NEAR(r.w, 1e9f, 1e3f);
}

TEST(QuaternionSlerp, ArcSignFlipAndNearlyParallel) {
  const Quaternion id = {0, 0, 0, 1};
  const Quaternion quarter = Rotation({0, 0, 1}, kPi / 2);
  const Quaternion eighth = Rotation({0, 0, 1}, kPi / 4);
  Quaternion r;
  ExpectNear(*SlerpQuaternion(&r, &id, &quarter, 0.5f), eighth);
  // The second quaternion's sign is flipped to take the shorter arc.
  const Quaternion minusQuarter = Negated(quarter);
  ExpectNear(*SlerpQuaternion(&r, &id, &minusQuarter, 0.5f), eighth);
  const Quaternion q = {0.5f, -0.5f, 0.5f, 0.5f};
  const Quaternion minusQ = Negated(q);
  ExpectNear(*SlerpQuaternion(&r, &q, &minusQ, 0.5f), q);
  // End points.
  ExpectNear(*SlerpQuaternion(&r, &id, &quarter, 0.0f), id);
  ExpectNear(*SlerpQuaternion(&r, &id, &quarter, 1.0f), quarter);
  // Nearly equal quaternions blend linearly (and the result is not renormalised).
  const Quaternion near = {1e-4f, 0, 0, 1};
  SlerpQuaternion(&r, &id, &near, 0.25f);
  EXPECT_FLOAT_EQ(r.x, 0.25f * 1e-4f);
  EXPECT_EQ(r.w, 1.0f);
  // In place.
  Quaternion alias = id;
  SlerpQuaternion(&alias, &alias, &quarter, 0.5f);
  ExpectNear(alias, eighth);
}

TEST(QuaternionLogExp, RoundTripAndDegenerateCases) {
  const Quaternion q = Rotation({0, 0.6f, 0.8f}, 1.2f);
  Quaternion log, back;
  LogQuaternion(&log, &q);
  ExpectNear(log, Quaternion{0, 0.6f * 0.6f, 0.8f * 0.6f, 0});
  ExpectNear(*ExpQuaternion(&back, &log), q);
  // w >= 1 (or sin nearly 0) copies the vector part with w = 0.
  const Quaternion wide = {1, 2, 3, 1};
  EXPECT_TRUE(SameBits(*LogQuaternion(&back, &wide), Quaternion{1, 2, 3, 0}));
  // exp of a zero vector is the identity.
  const Quaternion zero = {0, 0, 0, 7};
  EXPECT_TRUE(SameBits(*ExpQuaternion(&back, &zero), Quaternion{0, 0, 0, 1}));
}

TEST(QuaternionAxisAngle, ExtractAndBuild) {
  Vec3 axis = {9, 9, 9};
  float angle = 9;
  const Quaternion zero = {0, 0, 0, 0};
  ExtractAxisAngle(&zero, &axis, &angle);
  EXPECT_TRUE(SameBits(axis, Vec3{1, 0, 0}));
  EXPECT_EQ(angle, 0.0f);

  const Quaternion q = Rotation({0, 1, 0}, 1.0f);
  ExtractAxisAngle(&q, &axis, &angle);
  ExpectNear(axis, Vec3{0, std::sin(0.5f), 0});
  EXPECT_NEAR(angle, 1.0f, 1e-6f);
  // The axis is the vector part divided by the length (3 / sqrt(30) differs from
  // 3 * (1 / sqrt(30)) in the last bit).
  const Quaternion q1234 = {1, 2, 3, 4};
  const float length = std::sqrt(30.0f);
  ExtractAxisAngle(&q1234, &axis, nullptr);
  EXPECT_TRUE(SameBits(axis, Vec3{1 / length, 2 / length, 3 / length}));
  // Either output may be left out.
  angle = 0;
  ExtractAxisAngle(&q, nullptr, &angle);
  EXPECT_NEAR(angle, 1.0f, 1e-6f);
  ExtractAxisAngle(&q, &axis, nullptr);

  // The axis is normalised before use.
  const Vec3 longZ = {0, 0, 3};
  Quaternion r;
  ExpectNear(*BuildQuaternionAxisAngle(&r, &longZ, kPi / 2), Rotation({0, 0, 1}, kPi / 2));
  // Yaw about y, pitch about x, roll about z.
  ExpectNear(*BuildQuaternionYawPitchRoll(&r, 0.8f, 0, 0), Rotation({0, 1, 0}, 0.8f));
  ExpectNear(*BuildQuaternionYawPitchRoll(&r, 0, 0.8f, 0), Rotation({1, 0, 0}, 0.8f));
  ExpectNear(*BuildQuaternionYawPitchRoll(&r, 0, 0, 0.8f), Rotation({0, 0, 1}, 0.8f));
}

TEST(QuaternionFromMatrix, RoundTripThroughEveryBranch) {
  const float k = 1 / std::sqrt(3.0f);
  // Positive trace, then large rotations where x, y or z is the largest component.
  const Quaternion cases[] = {
      Rotation({0, 0.6f, 0.8f}, 0.7f),  Rotation({1, 0, 0}, 3.0f), Rotation({0, 1, 0}, 3.0f),
      Rotation({0, 0, 1}, 3.0f),        Rotation({1, 0, 0}, kPi),  Rotation({k, k, k}, 2.5f),
      Rotation({0.6f, 0, -0.8f}, 2.9f),
  };
  for (const Quaternion& q : cases) {
    Matrix4 m;
    BuildRotationFromQuaternion(&m, &q);
    m.m[3][0] = 5.0f;  // only the upper 3x3 counts
    Quaternion r;
    BuildQuaternionFromMatrix(&r, &m);
    ExpectSameRotation(r, q);
  }
}

TEST(QuaternionInterpolation, SquadAndBarycentric) {
  const Vec3 z = {0, 0, 1};
  const Quaternion q0 = Rotation(z, 0.0f), q1 = Rotation(z, 0.5f), q2 = Rotation(z, 1.0f),
                   q3 = Rotation(z, 1.5f);
  Quaternion a, b, c, r;
  SetupSquad(&a, &b, &c, &q0, &q1, &q2, &q3);
  ExpectNear(c, q2);
  // Evenly spaced rotations about one axis: the curve passes the midpoint at t = 0.5.
  ExpectNear(*SquadQuaternion(&r, &q1, &a, &b, &c, 0.5f), Rotation(z, 0.75f));
  ExpectNear(*SquadQuaternion(&r, &q1, &a, &b, &c, 0.0f), q1);
  ExpectNear(*SquadQuaternion(&r, &q1, &a, &b, &c, 1.0f), q2);

  // Neighbours given with the opposite sign are flipped first, so the control points and c
  // all equal q.
  const Quaternion q = Rotation({0.6f, 0.8f, 0}, 0.9f), minusQ = Negated(q);
  SetupSquad(&a, &b, &c, &minusQ, &q, &minusQ, &q);
  ExpectNear(a, q);
  ExpectNear(b, q);
  ExpectNear(c, q);

  EXPECT_TRUE(SameBits(*BarycentricQuaternion(&r, &q0, &q1, &q2, 0.3f, -0.3f), q0));
  ExpectNear(*BarycentricQuaternion(&r, &q0, &q1, &q2, 1.0f, 0.0f), q1);
  ExpectNear(*BarycentricQuaternion(&r, &q0, &q1, &q2, 0.0f, 1.0f), q2);
  ExpectNear(*BarycentricQuaternion(&r, &q0, &q2, &q2, 0.25f, 0.25f), Rotation(z, 0.5f));
}

}  // namespace
}  // namespace vellomir
