// Vectors, 4x4 matrices, quaternions and planes on 32-bit floats.
//
// Conventions:
// - Matrices are row-major and used with row vectors: v' = v * M. The translation sits in the
//   fourth row (m[3][0..2]), and MultiplyMatrix(out, A, B) = A * B applies A first.
// - Every operation takes its output first and returns it (InvertMatrix, IntersectPlaneLine
//   and UnprojectVec3's documentation say when that differs). The output may alias any input.
// - Every operation except BuildPerspectiveRightHanded and BuildLookAtRightHanded is routed
//   through the process-wide MathDispatchTable (math/dispatch.h), filled on first use with the
//   implementation set that suits the processor.
#pragma once

#include "platform/api/d3d8_types.h"

namespace vellomir {

struct Vec2 {
  float x, y;
};

struct Vec3 {
  float x, y, z;
};

struct Vec4 {
  float x, y, z, w;
};

// w is the scalar part.
struct Quaternion {
  float x, y, z, w;
};

// The points p with a*p.x + b*p.y + c*p.z + d = 0.
struct Plane {
  float a, b, c, d;
};

// m[r][c] is the element in row r + 1, column c + 1 (m[3][0] is m41, the x translation).
struct Matrix4 {
  float m[4][4];
};

static_assert(sizeof(Vec2) == 8 && sizeof(Vec3) == 12 && sizeof(Vec4) == 16);
static_assert(sizeof(Quaternion) == 16 && sizeof(Plane) == 16 && sizeof(Matrix4) == 64);

// 2^-23: the tolerance of NearlyEqual.
inline constexpr float kNearlyEqualTolerance = 1.1920929e-7f;
// 2^-126: the smallest normal float; squared lengths at or below it normalise to zero.
inline constexpr float kSmallestNormal = 1.1754944e-38f;

// True when -2^-23 <= a - b <= 2^-23 (false when either is not a number).
constexpr bool NearlyEqual(float a, float b) {
  const float d = a - b;
  return d >= -kNearlyEqualTolerance && d <= kNearlyEqualTolerance;
}

// --- Vectors ---------------------------------------------------------------------------------

// (v.x, v.y, 0, 1) * M.
Vec4* TransformVec2(Vec4* out, const Vec2* v, const Matrix4* m);
// (v.x, v.y, v.z, 1) * M.
Vec4* TransformVec3(Vec4* out, const Vec3* v, const Matrix4* m);
// v * M.
Vec4* TransformVec4(Vec4* out, const Vec4* v, const Matrix4* m);
// v times the upper 2x2 of M (no translation).
Vec2* TransformVec2Normal(Vec2* out, const Vec2* v, const Matrix4* m);
// v times the upper 3x3 of M (no translation).
Vec3* TransformVec3Normal(Vec3* out, const Vec3* v, const Matrix4* m);
// (v.x, v.y, 0, 1) * M, divided by the resulting w unless w is nearly 1.
Vec2* TransformVec2Coord(Vec2* out, const Vec2* v, const Matrix4* m);
// (v.x, v.y, v.z, 1) * M, divided by the resulting w unless w is nearly 1 (w = 0 gives
// infinities or NaN).
Vec3* TransformVec3Coord(Vec3* out, const Vec3* v, const Matrix4* m);

// Normalisation: a squared length nearly 1 copies the input unchanged; a squared length at or
// below 2^-126 (or NaN) gives all zero; otherwise every component is scaled by 1 / length.
Vec2* NormalizeVec2(Vec2* out, const Vec2* v);
Vec3* NormalizeVec3(Vec3* out, const Vec3* v);
Vec4* NormalizeVec4(Vec4* out, const Vec4* v);

// The four-dimensional cross product of u, v, w (orthogonal to all three).
Vec4* CrossVec4(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w);

// Hermite spline through p1 (tangent t1) and p2 (tangent t2) at s in [0, 1].
Vec2* HermiteVec2(Vec2* out, const Vec2* p1, const Vec2* t1, const Vec2* p2, const Vec2* t2,
                  float s);
Vec3* HermiteVec3(Vec3* out, const Vec3* p1, const Vec3* t1, const Vec3* p2, const Vec3* t2,
                  float s);
Vec4* HermiteVec4(Vec4* out, const Vec4* p1, const Vec4* t1, const Vec4* p2, const Vec4* t2,
                  float s);
// Catmull-Rom spline between p1 (s = 0) and p2 (s = 1).
Vec2* CatmullRomVec2(Vec2* out, const Vec2* p0, const Vec2* p1, const Vec2* p2, const Vec2* p3,
                     float s);
Vec3* CatmullRomVec3(Vec3* out, const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* p3,
                     float s);
Vec4* CatmullRomVec4(Vec4* out, const Vec4* p0, const Vec4* p1, const Vec4* p2, const Vec4* p3,
                     float s);
// p1 + f (p2 - p1) + g (p3 - p1).
Vec2* BarycentricVec2(Vec2* out, const Vec2* p1, const Vec2* p2, const Vec2* p3, float f, float g);
Vec3* BarycentricVec3(Vec3* out, const Vec3* p1, const Vec3* p2, const Vec3* p3, float f, float g);
Vec4* BarycentricVec4(Vec4* out, const Vec4* p1, const Vec4* p2, const Vec4* p3, float f, float g);

// Object space to window space: C = world * view * projection (absent matrices left out,
// identity when all are absent), p = TransformVec3Coord(v, C); with a viewport p is mapped to
// its pixels and depth range, otherwise out = p.
Vec3* ProjectVec3(Vec3* out, const Vec3* v, const D3DVIEWPORT8* viewport, const Matrix4* projection,
                  const Matrix4* view, const Matrix4* world);
// The reverse of ProjectVec3. When the combined matrix is singular no point maps back, and
// out becomes (NaN, NaN, NaN); out is still returned.
Vec3* UnprojectVec3(Vec3* out, const Vec3* v, const D3DVIEWPORT8* viewport,
                    const Matrix4* projection, const Matrix4* view, const Matrix4* world);

// --- Matrices --------------------------------------------------------------------------------

// m1 * m2.
Matrix4* MultiplyMatrix(Matrix4* out, const Matrix4* m1, const Matrix4* m2);
// (m1 * m2) transposed.
Matrix4* MultiplyMatrixTransposed(Matrix4* out, const Matrix4* m1, const Matrix4* m2);
Matrix4* TransposeMatrix(Matrix4* out, const Matrix4* m);
float ComputeDeterminant(const Matrix4* m);
// Stores the determinant through `determinant` when it is not null. When 1 / determinant is
// infinite or NaN the matrix is singular: returns null and leaves out untouched.
Matrix4* InvertMatrix(Matrix4* out, float* determinant, const Matrix4* m);

Matrix4* BuildTranslation(Matrix4* out, float x, float y, float z);
Matrix4* BuildScaling(Matrix4* out, float sx, float sy, float sz);
// Angles in radians, counter-clockwise looking down the axis towards the origin.
Matrix4* BuildRotationX(Matrix4* out, float angle);
Matrix4* BuildRotationY(Matrix4* out, float angle);
Matrix4* BuildRotationZ(Matrix4* out, float angle);
Matrix4* BuildRotationAxis(Matrix4* out, const Vec3* axis, float angle);
Matrix4* BuildRotationYawPitchRoll(Matrix4* out, float yaw, float pitch, float roll);
// The rotation of q; q is used as given, not normalised.
Matrix4* BuildRotationFromQuaternion(Matrix4* out, const Quaternion* q);
// Scaling (about scalingCentre, along the axes rotated by scalingRotation), then rotation
// (about rotationCentre), then translation. Every part may be null.
Matrix4* BuildTransformation(Matrix4* out, const Vec3* scalingCentre,
                             const Quaternion* scalingRotation, const Vec3* scaling,
                             const Vec3* rotationCentre, const Quaternion* rotation,
                             const Vec3* translation);
// Uniform scaling by factor, then rotation about rotationCentre, then translation; the three
// pointers may be null.
Matrix4* BuildAffineTransformation(Matrix4* out, float factor, const Vec3* rotationCentre,
                                   const Quaternion* rotation, const Vec3* translation);
// Flattens geometry onto the plane as seen from the light (w = 0: a directional light).
Matrix4* BuildShadowMatrix(Matrix4* out, const Vec4* light, const Plane* plane);
// Mirrors through the plane.
Matrix4* BuildReflectionMatrix(Matrix4* out, const Plane* plane);
// Right-handed perspective projection; fovY in radians, depth maps to [0, 1].
Matrix4* BuildPerspectiveRightHanded(Matrix4* out, float fovY, float aspect, float zNear,
                                     float zFar);
// Right-handed view matrix looking from eye towards at.
Matrix4* BuildLookAtRightHanded(Matrix4* out, const Vec3* eye, const Vec3* at, const Vec3* up);

// --- Quaternions -----------------------------------------------------------------------------

// q2 * q1 in Hamilton's product: the rotation q1 followed by q2.
Quaternion* MultiplyQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2);
Quaternion* NormalizeQuaternion(Quaternion* out, const Quaternion* q);
// Conjugate divided by the squared length; all zero when the squared length is at most 2^-63.
Quaternion* InvertQuaternion(Quaternion* out, const Quaternion* q);
// Either output may be null. The zero quaternion gives axis (1, 0, 0) and angle 0.
void ExtractAxisAngle(const Quaternion* q, Vec3* axis, float* angle);
Quaternion* BuildQuaternionFromMatrix(Quaternion* out, const Matrix4* m);
Quaternion* BuildQuaternionYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll);
Quaternion* BuildQuaternionAxisAngle(Quaternion* out, const Vec3* axis, float angle);
// Spherical interpolation along the shorter arc; the result is not renormalised.
Quaternion* SlerpQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t);
Quaternion* BarycentricQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g);
// Spherical quadrangle interpolation between q1 and c with the control points a and b that
// SetupSquad produces.
Quaternion* SquadQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* a,
                            const Quaternion* b, const Quaternion* c, float t);
// Control points for SquadQuaternion between q1 and q2, with the neighbours q0 and q3.
void SetupSquad(Quaternion* outA, Quaternion* outB, Quaternion* outC, const Quaternion* q0,
                const Quaternion* q1, const Quaternion* q2, const Quaternion* q3);
Quaternion* LogQuaternion(Quaternion* out, const Quaternion* q);
Quaternion* ExpQuaternion(Quaternion* out, const Quaternion* q);

// --- Planes ----------------------------------------------------------------------------------

// (normal, -point . normal); the normal is not normalised.
Plane* BuildPlaneFromPointNormal(Plane* out, const Vec3* point, const Vec3* normal);
// The plane through three points, normal NormalizeVec3((p1 - p2) x (p1 - p3)).
Plane* BuildPlaneFromPoints(Plane* out, const Vec3* p1, const Vec3* p2, const Vec3* p3);
// Normalises (a, b, c) and scales d with them.
Plane* NormalizePlane(Plane* out, const Plane* p);
// The row (a, b, c, d) * M; M should be the inverse transpose of the point transform.
Plane* TransformPlane(Plane* out, const Plane* p, const Matrix4* m);
// The point where the line through p1 and p2 meets the plane; null when the line is parallel
// to the plane (or the crossing is not a finite point), leaving out untouched.
Vec3* IntersectPlaneLine(Vec3* out, const Plane* p, const Vec3* p1, const Vec3* p2);

}  // namespace vellomir
