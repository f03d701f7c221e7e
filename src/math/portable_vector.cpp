// Portable vector operations: transforms, normalisation, splines, projection.
#include <cmath>
#include <limits>

#include "math/portable.h"

namespace vellomir::portable {

namespace {

// Scales n components by 1 / sqrt(squaredLength) under the shared normalisation rule:
// nearly unit length copies, tiny or NaN length zeroes.
void NormalizeComponents(float* out, const float* in, int n, float squaredLength) {
  if (NearlyEqual(squaredLength, 1.0f)) {
    for (int i = 0; i < n; ++i) out[i] = in[i];
  } else if (squaredLength > kSmallestNormal) {
    const float scale = 1.0f / std::sqrt(squaredLength);
    for (int i = 0; i < n; ++i) out[i] = in[i] * scale;
  } else {
    for (int i = 0; i < n; ++i) out[i] = 0.0f;
  }
}

// Row vector (x, y, z, w) times M, all four components.
Vec4 Row(float x, float y, float z, float w, const Matrix4& m) {
  Vec4 r;
  r.x = x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + w * m.m[3][0];
  r.y = x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + w * m.m[3][1];
  r.z = x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + w * m.m[3][2];
  r.w = x * m.m[0][3] + y * m.m[1][3] + z * m.m[2][3] + w * m.m[3][3];
  return r;
}

// Hermite basis weights for p1, t1, p2, t2.
void HermiteWeights(float s, float w[4]) {
  const float s2 = s * s;
  const float s3 = s2 * s;
  w[0] = 2.0f * s3 - 3.0f * s2 + 1.0f;
  w[1] = s3 - 2.0f * s2 + s;
  w[2] = -2.0f * s3 + 3.0f * s2;
  w[3] = s3 - s2;
}

// Catmull-Rom weights for p0..p3, the factor 0.5 included.
void CatmullRomWeights(float s, float w[4]) {
  const float s2 = s * s;
  const float s3 = s2 * s;
  w[0] = 0.5f * (-s3 + 2.0f * s2 - s);
  w[1] = 0.5f * (3.0f * s3 - 5.0f * s2 + 2.0f);
  w[2] = 0.5f * (-3.0f * s3 + 4.0f * s2 + s);
  w[3] = 0.5f * (s3 - s2);
}

// Combines n components of four points with four weights. Reads all inputs before writing,
// so out may alias any of them.
void Combine(float* out, const float* a, const float* b, const float* c, const float* d,
             const float w[4], int n) {
  float r[4];
  for (int i = 0; i < n; ++i) r[i] = w[0] * a[i] + w[1] * b[i] + w[2] * c[i] + w[3] * d[i];
  for (int i = 0; i < n; ++i) out[i] = r[i];
}

void Barycentric(float* out, const float* p1, const float* p2, const float* p3, float f, float g,
                 int n) {
  float r[4];
  for (int i = 0; i < n; ++i) r[i] = p1[i] + f * (p2[i] - p1[i]) + g * (p3[i] - p1[i]);
  for (int i = 0; i < n; ++i) out[i] = r[i];
}

// world * view * projection with absent matrices left out; the identity (and false) when all
// are absent.
bool CombineMatrices(Matrix4* c, const Matrix4* projection, const Matrix4* view,
                     const Matrix4* world) {
  *c = Matrix4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  const Matrix4* parts[3] = {world, view, projection};
  bool any = false;
  for (const Matrix4* part : parts) {
    if (!part) continue;
    if (any) {
      vellomir::MultiplyMatrix(c, c, part);
    } else {
      *c = *part;
      any = true;
    }
  }
  return any;
}

}  // namespace

Vec4* TransformVec2(Vec4* out, const Vec2* v, const Matrix4* m) {
  *out = Row(v->x, v->y, 0.0f, 1.0f, *m);
  return out;
}

Vec4* TransformVec3(Vec4* out, const Vec3* v, const Matrix4* m) {
  *out = Row(v->x, v->y, v->z, 1.0f, *m);
  return out;
}

Vec4* TransformVec4(Vec4* out, const Vec4* v, const Matrix4* m) {
  *out = Row(v->x, v->y, v->z, v->w, *m);
  return out;
}

Vec2* TransformVec2Normal(Vec2* out, const Vec2* v, const Matrix4* m) {
  const float x = v->x * m->m[0][0] + v->y * m->m[1][0];
  const float y = v->x * m->m[0][1] + v->y * m->m[1][1];
  out->x = x;
  out->y = y;
  return out;
}

Vec3* TransformVec3Normal(Vec3* out, const Vec3* v, const Matrix4* m) {
  const Vec4 r = Row(v->x, v->y, v->z, 0.0f, *m);
  out->x = r.x;
  out->y = r.y;
  out->z = r.z;
  return out;
}

Vec3* TransformVec3Coord(Vec3* out, const Vec3* v, const Matrix4* m) {
  const Vec4 r = Row(v->x, v->y, v->z, 1.0f, *m);
  if (NearlyEqual(r.w, 1.0f)) {
    *out = {r.x, r.y, r.z};
  } else {
    const float inv = 1.0f / r.w;
    *out = {r.x * inv, r.y * inv, r.z * inv};
  }
  return out;
}

Vec2* TransformVec2Coord(Vec2* out, const Vec2* v, const Matrix4* m) {
  const Vec4 r = Row(v->x, v->y, 0.0f, 1.0f, *m);
  if (NearlyEqual(r.w, 1.0f)) {
    *out = {r.x, r.y};
  } else {
    const float inv = 1.0f / r.w;
    *out = {r.x * inv, r.y * inv};
  }
  return out;
}

Vec2* NormalizeVec2(Vec2* out, const Vec2* v) {
  const float in[2] = {v->x, v->y};
  float r[2];
  NormalizeComponents(r, in, 2, in[0] * in[0] + in[1] * in[1]);
  *out = {r[0], r[1]};
  return out;
}

Vec3* NormalizeVec3(Vec3* out, const Vec3* v) {
  const float in[3] = {v->x, v->y, v->z};
  float r[3];
  NormalizeComponents(r, in, 3, in[0] * in[0] + in[1] * in[1] + in[2] * in[2]);
  *out = {r[0], r[1], r[2]};
  return out;
}

Vec4* NormalizeVec4(Vec4* out, const Vec4* v) {
  const float in[4] = {v->x, v->y, v->z, v->w};
  float r[4];
  NormalizeComponents(r, in, 4, in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3]);
  *out = {r[0], r[1], r[2], r[3]};
  return out;
}

Quaternion* NormalizeQuaternion(Quaternion* out, const Quaternion* q) {
  const float in[4] = {q->x, q->y, q->z, q->w};
  float r[4];
  NormalizeComponents(r, in, 4, in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3]);
  *out = {r[0], r[1], r[2], r[3]};
  return out;
}

Plane* NormalizePlane(Plane* out, const Plane* p) {
  const float in[4] = {p->a, p->b, p->c, p->d};
  float r[4];
  NormalizeComponents(r, in, 4, in[0] * in[0] + in[1] * in[1] + in[2] * in[2]);
  *out = {r[0], r[1], r[2], r[3]};
  return out;
}

Vec4* CrossVec4(Vec4* out, const Vec4* u, const Vec4* v, const Vec4* w) {
  // 2x2 minors of the v and w rows, named after their two columns.
  const float xy = v->x * w->y - v->y * w->x;
  const float xz = v->x * w->z - v->z * w->x;
  const float xw = v->x * w->w - v->w * w->x;
  const float yz = v->y * w->z - v->z * w->y;
  const float yw = v->y * w->w - v->w * w->y;
  const float zw = v->z * w->w - v->w * w->z;
  const Vec4 r = {
      u->y * zw - u->z * yw + u->w * yz,
      -(u->x * zw - u->z * xw + u->w * xz),
      u->x * yw - u->y * xw + u->w * xy,
      -(u->x * yz - u->y * xz + u->z * xy),
  };
  *out = r;
  return out;
}

Vec2* HermiteVec2(Vec2* out, const Vec2* p1, const Vec2* t1, const Vec2* p2, const Vec2* t2,
                  float s) {
  float w[4];
  HermiteWeights(s, w);
  Combine(&out->x, &p1->x, &t1->x, &p2->x, &t2->x, w, 2);
  return out;
}

Vec3* HermiteVec3(Vec3* out, const Vec3* p1, const Vec3* t1, const Vec3* p2, const Vec3* t2,
                  float s) {
  float w[4];
  HermiteWeights(s, w);
  Combine(&out->x, &p1->x, &t1->x, &p2->x, &t2->x, w, 3);
  return out;
}

Vec4* HermiteVec4(Vec4* out, const Vec4* p1, const Vec4* t1, const Vec4* p2, const Vec4* t2,
                  float s) {
  float w[4];
  HermiteWeights(s, w);
  Combine(&out->x, &p1->x, &t1->x, &p2->x, &t2->x, w, 4);
  return out;
}

Vec2* CatmullRomVec2(Vec2* out, const Vec2* p0, const Vec2* p1, const Vec2* p2, const Vec2* p3,
                     float s) {
  float w[4];
  CatmullRomWeights(s, w);
  Combine(&out->x, &p0->x, &p1->x, &p2->x, &p3->x, w, 2);
  return out;
}

Vec3* CatmullRomVec3(Vec3* out, const Vec3* p0, const Vec3* p1, const Vec3* p2, const Vec3* p3,
                     float s) {
  float w[4];
  CatmullRomWeights(s, w);
  Combine(&out->x, &p0->x, &p1->x, &p2->x, &p3->x, w, 3);
  return out;
}

Vec4* CatmullRomVec4(Vec4* out, const Vec4* p0, const Vec4* p1, const Vec4* p2, const Vec4* p3,
                     float s) {
  float w[4];
  CatmullRomWeights(s, w);
  Combine(&out->x, &p0->x, &p1->x, &p2->x, &p3->x, w, 4);
  return out;
}

Vec2* BarycentricVec2(Vec2* out, const Vec2* p1, const Vec2* p2, const Vec2* p3, float f, float g) {
  Barycentric(&out->x, &p1->x, &p2->x, &p3->x, f, g, 2);
  return out;
}

Vec3* BarycentricVec3(Vec3* out, const Vec3* p1, const Vec3* p2, const Vec3* p3, float f, float g) {
  Barycentric(&out->x, &p1->x, &p2->x, &p3->x, f, g, 3);
  return out;
}

Vec4* BarycentricVec4(Vec4* out, const Vec4* p1, const Vec4* p2, const Vec4* p3, float f, float g) {
  Barycentric(&out->x, &p1->x, &p2->x, &p3->x, f, g, 4);
  return out;
}

Vec3* ProjectVec3(Vec3* out, const Vec3* v, const D3DVIEWPORT8* viewport, const Matrix4* projection,
                  const Matrix4* view, const Matrix4* world) {
  Matrix4 c;
  Vec3 p = *v;
  // Always transformed, through the identity when no matrix is given, so that leaving the
  // matrices out and passing identities agree bit for bit (signed zeros, infinities).
  CombineMatrices(&c, projection, view, world);
  vellomir::TransformVec3Coord(&p, &p, &c);
  if (viewport) {
    const float x0 = static_cast<float>(viewport->X);
    const float y0 = static_cast<float>(viewport->Y);
    const float width = static_cast<float>(viewport->Width);
    const float height = static_cast<float>(viewport->Height);
    p.x = x0 + width * (p.x + 1.0f) / 2.0f;
    p.y = y0 + height * (1.0f - p.y) / 2.0f;
    p.z = viewport->MinZ + p.z * (viewport->MaxZ - viewport->MinZ);
  }
  *out = p;
  return out;
}

Vec3* UnprojectVec3(Vec3* out, const Vec3* v, const D3DVIEWPORT8* viewport,
                    const Matrix4* projection, const Matrix4* view, const Matrix4* world) {
  Matrix4 c;
  Vec3 p = *v;
  const bool anyMatrix = CombineMatrices(&c, projection, view, world);
  if (anyMatrix && !vellomir::InvertMatrix(&c, nullptr, &c)) {
    // A singular combination maps whole lines onto single points, so no point comes back.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    *out = {nan, nan, nan};
    return out;
  }
  if (viewport) {
    const float x0 = static_cast<float>(viewport->X);
    const float y0 = static_cast<float>(viewport->Y);
    const float width = static_cast<float>(viewport->Width);
    const float height = static_cast<float>(viewport->Height);
    p.x = (p.x - x0) / width * 2.0f - 1.0f;
    p.y = -((p.y - y0) / height * 2.0f - 1.0f);
    p.z = (p.z - viewport->MinZ) / (viewport->MaxZ - viewport->MinZ);
  }
  vellomir::TransformVec3Coord(&p, &p, &c);  // the identity when no matrix is given
  *out = p;
  return out;
}

}  // namespace vellomir::portable
