// Portable matrix operations: products, inverse, and the builders.
#include <cmath>
#include <cstring>

#include "math/portable.h"

namespace vellomir::portable {

namespace {

Matrix4 Identity() {
  Matrix4 m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
  return m;
}

Matrix4 Product(const Matrix4& a, const Matrix4& b) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
    }
  }
  return r;
}

Matrix4 Transposed(const Matrix4& a) {
  Matrix4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r.m[i][j] = a.m[j][i];
  }
  return r;
}

// The adjugate (transposed cofactor matrix) and the determinant, in double precision so that
// integer-valued singular matrices come out exactly singular.
double Adjugate(const Matrix4& a, double adj[4][4]) {
  double m[4][4];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) m[i][j] = a.m[i][j];
  }
  // 2x2 minors of rows 0-1 (s) and rows 2-3 (c), by column pair.
  const double s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
  const double s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
  const double s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
  const double s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
  const double s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
  const double s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];
  const double c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];
  const double c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
  const double c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
  const double c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
  const double c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
  const double c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];

  adj[0][0] = m[1][1] * c5 - m[1][2] * c4 + m[1][3] * c3;
  adj[0][1] = -m[0][1] * c5 + m[0][2] * c4 - m[0][3] * c3;
  adj[0][2] = m[3][1] * s5 - m[3][2] * s4 + m[3][3] * s3;
  adj[0][3] = -m[2][1] * s5 + m[2][2] * s4 - m[2][3] * s3;

  adj[1][0] = -m[1][0] * c5 + m[1][2] * c2 - m[1][3] * c1;
  adj[1][1] = m[0][0] * c5 - m[0][2] * c2 + m[0][3] * c1;
  adj[1][2] = -m[3][0] * s5 + m[3][2] * s2 - m[3][3] * s1;
  adj[1][3] = m[2][0] * s5 - m[2][2] * s2 + m[2][3] * s1;

  adj[2][0] = m[1][0] * c4 - m[1][1] * c2 + m[1][3] * c0;
  adj[2][1] = -m[0][0] * c4 + m[0][1] * c2 - m[0][3] * c0;
  adj[2][2] = m[3][0] * s4 - m[3][1] * s2 + m[3][3] * s0;
  adj[2][3] = -m[2][0] * s4 + m[2][1] * s2 - m[2][3] * s0;

  adj[3][0] = -m[1][0] * c3 + m[1][1] * c1 - m[1][2] * c0;
  adj[3][1] = m[0][0] * c3 - m[0][1] * c1 + m[0][2] * c0;
  adj[3][2] = -m[3][0] * s3 + m[3][1] * s1 - m[3][2] * s0;
  adj[3][3] = m[2][0] * s3 - m[2][1] * s1 + m[2][2] * s0;

  return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

void SetRotationAbout(Matrix4* out, int a, int b, float angle) {
  // Rotation in the plane of axes a and b (a before b), the other axis fixed.
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  *out = Identity();
  out->m[a][a] = c;
  out->m[a][b] = s;
  out->m[b][a] = -s;
  out->m[b][b] = c;
}

void AddToTranslation(Matrix4* m, float sign, const Vec3& v) {
  m->m[3][0] += sign * v.x;
  m->m[3][1] += sign * v.y;
  m->m[3][2] += sign * v.z;
}

// Steps shared by both transformation builders: rotation (optionally about a centre), then
// translation, applied to m.
void ApplyRotationAndTranslation(Matrix4* m, const Vec3* rotationCentre, const Quaternion* rotation,
                                 const Vec3* translation) {
  if (rotation) {
    Matrix4 r;
    vellomir::BuildRotationFromQuaternion(&r, rotation);
    // M * T(-c) * R * T(c); M keeps (0, 0, 0, 1) as its fourth column, so T(-c) and T(c)
    // only move its translation row.
    if (rotationCentre) AddToTranslation(m, -1.0f, *rotationCentre);
    vellomir::MultiplyMatrix(m, m, &r);
    if (rotationCentre) AddToTranslation(m, 1.0f, *rotationCentre);
  }
  if (translation) AddToTranslation(m, 1.0f, *translation);
}

}  // namespace

Matrix4* MultiplyMatrix(Matrix4* out, const Matrix4* m1, const Matrix4* m2) {
  *out = Product(*m1, *m2);  // the temporary makes out == m1 or m2 safe
  return out;
}

Matrix4* MultiplyMatrixTransposed(Matrix4* out, const Matrix4* m1, const Matrix4* m2) {
  *out = Transposed(Product(*m1, *m2));
  return out;
}

Matrix4* TransposeMatrix(Matrix4* out, const Matrix4* m) {
  *out = Transposed(*m);
  return out;
}

float ComputeDeterminant(const Matrix4* m) {
  double adj[4][4];
  return static_cast<float>(Adjugate(*m, adj));
}

Matrix4* InvertMatrix(Matrix4* out, float* determinant, const Matrix4* m) {
  double adj[4][4];
  const float det = static_cast<float>(Adjugate(*m, adj));
  if (determinant) *determinant = det;
  const float r = 1.0f / det;
  if (!std::isfinite(r)) return nullptr;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) out->m[i][j] = static_cast<float>(r * adj[i][j]);
  }
  return out;
}

Matrix4* BuildTranslation(Matrix4* out, float x, float y, float z) {
  *out = Identity();
  out->m[3][0] = x;
  out->m[3][1] = y;
  out->m[3][2] = z;
  return out;
}

Matrix4* BuildScaling(Matrix4* out, float sx, float sy, float sz) {
  *out = Identity();
  out->m[0][0] = sx;
  out->m[1][1] = sy;
  out->m[2][2] = sz;
  return out;
}

Matrix4* BuildRotationX(Matrix4* out, float angle) {
  SetRotationAbout(out, 1, 2, angle);
  return out;
}

Matrix4* BuildRotationY(Matrix4* out, float angle) {
  SetRotationAbout(out, 2, 0, angle);  // m11 = cos, m13 = -sin, m31 = sin, m33 = cos
  return out;
}

Matrix4* BuildRotationZ(Matrix4* out, float angle) {
  SetRotationAbout(out, 0, 1, angle);
  return out;
}

Matrix4* BuildRotationAxis(Matrix4* out, const Vec3* axis, float angle) {
  Vec3 n;
  vellomir::NormalizeVec3(&n, axis);
  const float c = std::cos(angle);
  const float s = std::sin(angle);
  const float e = 1.0f - c;
  *out = Identity();
  out->m[0][0] = e * n.x * n.x + c;
  out->m[0][1] = e * n.x * n.y + n.z * s;
  out->m[0][2] = e * n.x * n.z - n.y * s;
  out->m[1][0] = e * n.x * n.y - n.z * s;
  out->m[1][1] = e * n.y * n.y + c;
  out->m[1][2] = e * n.y * n.z + n.x * s;
  out->m[2][0] = e * n.x * n.z + n.y * s;
  out->m[2][1] = e * n.y * n.z - n.x * s;
  out->m[2][2] = e * n.z * n.z + c;
  return out;
}

Matrix4* BuildRotationFromQuaternion(Matrix4* out, const Quaternion* q) {
  const float x = q->x, y = q->y, z = q->z, w = q->w;
  *out = Identity();
  out->m[0][0] = 1.0f - 2.0f * y * y - 2.0f * z * z;
  out->m[0][1] = 2.0f * x * y + 2.0f * z * w;
  out->m[0][2] = 2.0f * x * z - 2.0f * y * w;
  out->m[1][0] = 2.0f * x * y - 2.0f * z * w;
  out->m[1][1] = 1.0f - 2.0f * x * x - 2.0f * z * z;
  out->m[1][2] = 2.0f * y * z + 2.0f * x * w;
  out->m[2][0] = 2.0f * x * z + 2.0f * y * w;
  out->m[2][1] = 2.0f * y * z - 2.0f * x * w;
  out->m[2][2] = 1.0f - 2.0f * x * x - 2.0f * y * y;
  return out;
}

Matrix4* BuildRotationYawPitchRoll(Matrix4* out, float yaw, float pitch, float roll) {
  Quaternion q;
  vellomir::BuildQuaternionYawPitchRoll(&q, yaw, pitch, roll);
  return vellomir::BuildRotationFromQuaternion(out, &q);
}

Matrix4* BuildTransformation(Matrix4* out, const Vec3* scalingCentre,
                             const Quaternion* scalingRotation, const Vec3* scaling,
                             const Vec3* rotationCentre, const Quaternion* rotation,
                             const Vec3* translation) {
  Matrix4 m = Identity();
  if (scaling) {
    m.m[0][0] = scaling->x;
    m.m[1][1] = scaling->y;
    m.m[2][2] = scaling->z;
    if (scalingRotation) {
      // Scale along the rotated axes: R^T * S * R, optionally about the scaling centre.
      Matrix4 r;
      Matrix4 rt;
      vellomir::BuildRotationFromQuaternion(&r, scalingRotation);
      vellomir::TransposeMatrix(&rt, &r);
      vellomir::MultiplyMatrix(&m, &rt, &m);
      vellomir::MultiplyMatrix(&m, &m, &r);
      if (scalingCentre) {
        Matrix4 t;
        vellomir::BuildTranslation(&t, -scalingCentre->x, -scalingCentre->y, -scalingCentre->z);
        vellomir::MultiplyMatrix(&m, &t, &m);
        AddToTranslation(&m, 1.0f, *scalingCentre);
      }
    }
  }
  ApplyRotationAndTranslation(&m, rotationCentre, rotation, translation);
  *out = m;
  return out;
}

Matrix4* BuildAffineTransformation(Matrix4* out, float factor, const Vec3* rotationCentre,
                                   const Quaternion* rotation, const Vec3* translation) {
  Matrix4 m;
  portable::BuildScaling(&m, factor, factor, factor);
  ApplyRotationAndTranslation(&m, rotationCentre, rotation, translation);
  *out = m;
  return out;
}

Matrix4* BuildShadowMatrix(Matrix4* out, const Vec4* light, const Plane* plane) {
  Plane p;
  vellomir::NormalizePlane(&p, plane);
  const float pv[4] = {p.a, p.b, p.c, p.d};
  const float l[4] = {light->x, light->y, light->z, light->w};
  const float k = pv[0] * l[0] + pv[1] * l[1] + pv[2] * l[2] + pv[3] * l[3];
  Matrix4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) r.m[i][j] = (i == j ? k : 0.0f) - pv[i] * l[j];
  }
  *out = r;
  return out;
}

Matrix4* BuildReflectionMatrix(Matrix4* out, const Plane* plane) {
  Plane p;
  vellomir::NormalizePlane(&p, plane);
  const float n[3] = {p.a, p.b, p.c};
  Matrix4 r = Identity();
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] -= 2.0f * n[i] * n[j];
    r.m[3][i] = -2.0f * p.d * n[i];
  }
  *out = r;
  return out;
}

}  // namespace vellomir::portable
