// Portable plane operations (NormalizePlane shares the vector normalisation).
#include <cmath>

#include "math/portable.h"

namespace vellomir::portable {

Plane* BuildPlaneFromPointNormal(Plane* out, const Vec3* point, const Vec3* normal) {
  const Vec3 n = *normal;
  const float d = -(point->x * n.x + point->y * n.y + point->z * n.z);
  *out = {n.x, n.y, n.z, d};
  return out;
}

Plane* BuildPlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3) {
  const Vec3 a = *p1;
  const Vec3 u = {a.x - p2->x, a.y - p2->y, a.z - p2->z};
  const Vec3 v = {a.x - p3->x, a.y - p3->y, a.z - p3->z};
  Vec3 n = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
  vellomir::NormalizeVec3(&n, &n);
  *out = {n.x, n.y, n.z, -(n.x * a.x + n.y * a.y + n.z * a.z)};
  return out;
}

Plane* TransformPlane(Plane* out, const Plane* p, const Matrix4* matrix) {
  const auto& m = matrix->m;
  const Plane v = *p;
  float r[4];
  for (int j = 0; j < 4; ++j) r[j] = v.a * m[0][j] + v.b * m[1][j] + v.c * m[2][j] + v.d * m[3][j];
  *out = {r[0], r[1], r[2], r[3]};
  return out;
}

Vec3* IntersectPlaneLine(Vec3* out, const Plane* p, const Vec3* p1, const Vec3* p2) {
  const Vec3 a = *p1;
  const Vec3 b = *p2;
  const float e = p->a * a.x + p->b * a.y + p->c * a.z;
  const float f = e - (p->a * b.x + p->b * b.y + p->c * b.z);
  if (f == 0.0f) return nullptr;  // the line runs parallel to the plane
  const float t = (e + p->d) / f;
  if (!std::isfinite(t)) return nullptr;
  *out = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
  return out;
}

}  // namespace vellomir::portable
