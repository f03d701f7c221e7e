// Plane construction, transformation and line intersection.
#include "math/math.h"
#include "math_expect.h"

namespace vellomir {
namespace {

using test::ExpectNear;
using test::SameBits;

TEST(PlaneBuild, FromPointNormalAndFromPoints) {
  const Vec3 point = {1, 2, 3}, normal = {0, 0, 2};
  Plane r;
  EXPECT_TRUE(SameBits(*BuildPlaneFromPointNormal(&r, &point, &normal), Plane{0, 0, 2, -6}));
  const Vec3 p1 = {0, 0, 1}, p2 = {1, 0, 1}, p3 = {0, 1, 1};
  ExpectNear(*BuildPlaneFromPoints(&r, &p1, &p2, &p3), Plane{0, 0, 1, -1});
  // Opposite winding flips the normal.
  ExpectNear(*BuildPlaneFromPoints(&r, &p1, &p3, &p2), Plane{0, 0, -1, 1});
  const Vec3 q1 = {1, 0, 0}, q2 = {0, 2, 0}, q3 = {0, 0, 2};
  BuildPlaneFromPoints(&r, &q1, &q2, &q3);
  for (const Vec3& p : {q1, q2, q3}) EXPECT_NEAR(r.a * p.x + r.b * p.y + r.c * p.z + r.d, 0, 1e-6f);
  EXPECT_NEAR(r.a * r.a + r.b * r.b + r.c * r.c, 1.0f, 1e-6f);
}

TEST(PlaneTransform, RowTimesInverseTranspose) {
  // Moving points up by 3 moves the plane y = 2 to y = 5; planes take the inverse transpose.
  Matrix4 inverseTranspose = test::IdentityMatrix();
  inverseTranspose.m[1][3] = -3.0f;
  const Plane p = {0, 1, 0, -2};
  Plane r;
  EXPECT_TRUE(SameBits(*TransformPlane(&r, &p, &inverseTranspose), Plane{0, 1, 0, -5}));
}

TEST(PlaneLine, IntersectionParallelAndOutsideSegment) {
  const Plane z1 = {0, 0, 1, -1};
  const Vec3 origin = {0, 0, 0}, far = {2, 4, 4};
  Vec3 r;
  EXPECT_EQ(IntersectPlaneLine(&r, &z1, &origin, &far), &r);
  ExpectNear(r, Vec3{0.5f, 1, 1});
  // The line extends beyond its two points.
  const Vec3 a = {0, 0, 3}, b = {0, 1, 2};
  IntersectPlaneLine(&r, &z1, &a, &b);
  ExpectNear(r, Vec3{0, 2, 1});
  // Parallel lines, off the plane or in it, have no single crossing: null, out untouched.
  const Vec3 flatA = {0, 0, 0}, flatB = {1, 1, 0}, inA = {0, 0, 1}, inB = {3, 1, 1};
  for (auto [p1, p2] : {std::pair{&flatA, &flatB}, std::pair{&inA, &inB}}) {
    Vec3 out = {7, 7, 7};
    EXPECT_EQ(IntersectPlaneLine(&out, &z1, p1, p2), nullptr);
    EXPECT_TRUE(SameBits(out, Vec3{7, 7, 7}));
  }
}

}  // namespace
}  // namespace vellomir
