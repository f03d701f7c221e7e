// Comparisons for the math records in tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/math.h"

namespace vellomir::test {

inline constexpr float kTol = 1e-5f;

inline void ExpectNear(const Vec2& a, const Vec2& e, float tol = kTol) {
  EXPECT_NEAR(a.x, e.x, tol);
  EXPECT_NEAR(a.y, e.y, tol);
}
inline void ExpectNear(const Vec3& a, const Vec3& e, float tol = kTol) {
  EXPECT_NEAR(a.x, e.x, tol);
  EXPECT_NEAR(a.y, e.y, tol);
  EXPECT_NEAR(a.z, e.z, tol);
}
inline void ExpectNear(const Vec4& a, const Vec4& e, float tol = kTol) {
  EXPECT_NEAR(a.x, e.x, tol);
  EXPECT_NEAR(a.y, e.y, tol);
  EXPECT_NEAR(a.z, e.z, tol);
  EXPECT_NEAR(a.w, e.w, tol);
}
inline void ExpectNear(const Quaternion& a, const Quaternion& e, float tol = kTol) {
  EXPECT_NEAR(a.x, e.x, tol);
  EXPECT_NEAR(a.y, e.y, tol);
  EXPECT_NEAR(a.z, e.z, tol);
  EXPECT_NEAR(a.w, e.w, tol);
}
inline void ExpectNear(const Plane& a, const Plane& e, float tol = kTol) {
  EXPECT_NEAR(a.a, e.a, tol);
  EXPECT_NEAR(a.b, e.b, tol);
  EXPECT_NEAR(a.c, e.c, tol);
  EXPECT_NEAR(a.d, e.d, tol);
}
inline void ExpectNear(const Matrix4& a, const Matrix4& e, float tol = kTol) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], e.m[i][j], tol) << "m" << i + 1 << j + 1;
  }
}

// Bit-for-bit equality (tells 0.0 from -0.0 and compares NaN payloads).
template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

inline Matrix4 IdentityMatrix() {
  return Matrix4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

// (x, y, z) through M with the perspective division; independent of the library.
inline Vec3 Apply(const Matrix4& m, Vec3 p) {
  double r[4];
  for (int j = 0; j < 4; ++j) {
    r[j] = p.x * double(m.m[0][j]) + p.y * double(m.m[1][j]) + p.z * double(m.m[2][j]) +
           double(m.m[3][j]);
  }
  return {float(r[0] / r[3]), float(r[1] / r[3]), float(r[2] / r[3])};
}

}  // namespace vellomir::test
