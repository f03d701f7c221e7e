// The public math operations: each dispatched one is a single call through the table; the two
// camera builders are plain functions.
#include <cmath>

#include "math/dispatch.h"

namespace vellomir {

#define MATH_SLOT(slot, field, Name, Ret, params, args) \
  Ret Name params { return g_mathDispatchTable.field args; }
#include "math/slots.inc"
#undef MATH_SLOT

Matrix4* BuildPerspectiveRightHanded(Matrix4* out, float fovY, float aspect, float zNear,
                                     float zFar) {
  const float h = fovY * 0.5f;
  const float yScale = std::cos(h) / std::sin(h);
  const float depthScale = zFar / (zNear - zFar);
  *out = Matrix4{};
  out->m[0][0] = yScale / aspect;
  out->m[1][1] = yScale;
  out->m[2][2] = depthScale;
  out->m[2][3] = -1.0f;
  out->m[3][2] = zNear * depthScale;
  return out;
}

Matrix4* BuildLookAtRightHanded(Matrix4* out, const Vec3* eye, const Vec3* at, const Vec3* up) {
  const Vec3 e = *eye;
  const Vec3 u = *up;
  // z points from the target back to the eye (the camera looks down -z).
  Vec3 z = {e.x - at->x, e.y - at->y, e.z - at->z};
  NormalizeVec3(&z, &z);
  Vec3 x = {u.y * z.z - u.z * z.y, u.z * z.x - u.x * z.z, u.x * z.y - u.y * z.x};
  NormalizeVec3(&x, &x);
  // z and x are unit and orthogonal, so y needs no normalisation.
  const Vec3 y = {z.y * x.z - z.z * x.y, z.z * x.x - z.x * x.z, z.x * x.y - z.y * x.x};
  *out = Matrix4{{
      {x.x, y.x, z.x, 0.0f},
      {x.y, y.y, z.y, 0.0f},
      {x.z, y.z, z.z, 0.0f},
      {-(x.x * e.x + x.y * e.y + x.z * e.z), -(y.x * e.x + y.y * e.y + y.z * e.z),
       -(z.x * e.x + z.y * e.y + z.z * e.z), 1.0f},
  }};
  return out;
}

}  // namespace vellomir
