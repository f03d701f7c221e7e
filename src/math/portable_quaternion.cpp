// Portable quaternion operations.
#include <cmath>

#include "math/portable.h"

namespace vellomir::portable {

namespace {

// 2^-63: squared lengths at or below it have no usable inverse.
constexpr float kTinySquaredLength = 1.0842022e-19f;

float Dot(const Quaternion& a, const Quaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Quaternion Scaled(const Quaternion& q, float k) { return {q.x * k, q.y * k, q.z * k, q.w * k}; }

Quaternion Sum(const Quaternion& a, const Quaternion& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w};
}

Quaternion Difference(const Quaternion& a, const Quaternion& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w};
}

// Flips q when -q is nearer to ref, so that interpolation takes the shorter arc.
void TakeNearerSign(const Quaternion& ref, Quaternion* q) {
  const Quaternion minus = Difference(ref, *q);
  const Quaternion plus = Sum(ref, *q);
  if (Dot(minus, minus) > Dot(plus, plus)) *q = Scaled(*q, -1.0f);
}

// q * exp(-(log(inv(q) * prev) + log(inv(q) * next)) / 4): the squad control point at q.
Quaternion ControlPoint(const Quaternion& q, const Quaternion& prev, const Quaternion& next) {
  Quaternion inv;
  vellomir::InvertQuaternion(&inv, &q);
  Quaternion toPrev;
  Quaternion toNext;
  vellomir::MultiplyQuaternion(&toPrev, &inv, &prev);
  vellomir::MultiplyQuaternion(&toNext, &inv, &next);
  vellomir::LogQuaternion(&toPrev, &toPrev);
  vellomir::LogQuaternion(&toNext, &toNext);
  Quaternion e = Scaled(Sum(toPrev, toNext), -0.25f);
  vellomir::ExpQuaternion(&e, &e);
  Quaternion r;
  vellomir::MultiplyQuaternion(&r, &q, &e);
  return r;
}

}  // namespace

Quaternion* MultiplyQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2) {
  const Quaternion a = *q1;
  const Quaternion b = *q2;
  out->x = b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y;
  out->y = b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x;
  out->z = b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w;
  out->w = b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z;
  return out;
}

Quaternion* InvertQuaternion(Quaternion* out, const Quaternion* q) {
  const float l = Dot(*q, *q);
  if (l <= kTinySquaredLength) {
    *out = {0.0f, 0.0f, 0.0f, 0.0f};
  } else {
    Quaternion r = {-q->x, -q->y, -q->z, q->w};
    // A true division, not a product with 1 / l: the reciprocal would round twice.
    if (!NearlyEqual(l, 1.0f)) r = {r.x / l, r.y / l, r.z / l, r.w / l};
    *out = r;
  }
  return out;
}

void ExtractAxisAngle(const Quaternion* q, Vec3* axis, float* angle) {
  const float l = Dot(*q, *q);
  if (l > kSmallestNormal) {
    const float length = std::sqrt(l);
    const float a = 2.0f * std::acos(q->w);
    if (axis) *axis = {q->x / length, q->y / length, q->z / length};
    if (angle) *angle = a;
  } else {
    if (axis) *axis = {1.0f, 0.0f, 0.0f};
    if (angle) *angle = 0.0f;
  }
}

Quaternion* BuildQuaternionFromMatrix(Quaternion* out, const Matrix4* matrix) {
  const auto& m = matrix->m;
  const float trace = m[0][0] + m[1][1] + m[2][2];
  Quaternion r;
  if (trace > 0.0f) {
    const float w = std::sqrt(trace + 1.0f) / 2.0f;
    r.w = w;
    r.x = (m[1][2] - m[2][1]) * 0.25f / w;
    r.y = (m[2][0] - m[0][2]) * 0.25f / w;
    r.z = (m[0][1] - m[1][0]) * 0.25f / w;
  } else {
    const float d[3] = {m[0][0] - m[1][1] - m[2][2], m[1][1] - m[0][0] - m[2][2],
                        m[2][2] - m[0][0] - m[1][1]};
    int i = d[0] >= d[1] ? 0 : 1;
    if (d[2] > d[i]) i = 2;
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    float v[3];
    v[i] = std::sqrt(d[i] + 1.0f) / 2.0f;
    v[j] = (m[i][j] + m[j][i]) * 0.25f / v[i];
    v[k] = (m[i][k] + m[k][i]) * 0.25f / v[i];
    r.x = v[0];
    r.y = v[1];
    r.z = v[2];
    r.w = (m[j][k] - m[k][j]) * 0.25f / v[i];
  }
  *out = r;
  return out;
}

Quaternion* BuildQuaternionYawPitchRoll(Quaternion* out, float yaw, float pitch, float roll) {
  const float cy = std::cos(yaw * 0.5f), sy = std::sin(yaw * 0.5f);
  const float cp = std::cos(pitch * 0.5f), sp = std::sin(pitch * 0.5f);
  const float cr = std::cos(roll * 0.5f), sr = std::sin(roll * 0.5f);
  out->x = cy * sp * cr + sy * cp * sr;
  out->y = sy * cp * cr - cy * sp * sr;
  out->z = cy * cp * sr - sy * sp * cr;
  out->w = cy * cp * cr + sy * sp * sr;
  return out;
}

Quaternion* BuildQuaternionAxisAngle(Quaternion* out, const Vec3* axis, float angle) {
  Vec3 n;
  vellomir::NormalizeVec3(&n, axis);
  const float s = std::sin(angle / 2.0f);
  const float c = std::cos(angle / 2.0f);
  *out = {n.x * s, n.y * s, n.z * s, c};
  return out;
}

Quaternion* SlerpQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2, float t) {
  const Quaternion a = *q1;
  const Quaternion b = *q2;
  float c = Dot(a, b);
  const float sign = c >= 0.0f ? 1.0f : -1.0f;
  c = std::fabs(c);
  float k1;
  float k2;
  if (1.0f - c > kNearlyEqualTolerance) {
    const float s = std::sqrt(1.0f - c * c);
    const float theta = std::atan2(s, c);
    k1 = std::sin((1.0f - t) * theta) / s;
    k2 = std::sin(t * theta) / s;
  } else {
    // Nearly parallel: the arc is indistinguishable from the chord.
    k1 = 1.0f - t;
    k2 = t;
  }
  k2 *= sign;
  *out = {k1 * a.x + k2 * b.x, k1 * a.y + k2 * b.y, k1 * a.z + k2 * b.z, k1 * a.w + k2 * b.w};
  return out;
}

Quaternion* BarycentricQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* q2,
                                  const Quaternion* q3, float f, float g) {
  const float fg = f + g;
  if (NearlyEqual(fg, 0.0f)) {
    *out = *q1;
    return out;
  }
  Quaternion a;
  Quaternion b;
  vellomir::SlerpQuaternion(&a, q1, q2, fg);
  vellomir::SlerpQuaternion(&b, q1, q3, fg);
  return vellomir::SlerpQuaternion(out, &a, &b, g / fg);
}

Quaternion* SquadQuaternion(Quaternion* out, const Quaternion* q1, const Quaternion* a,
                            const Quaternion* b, const Quaternion* c, float t) {
  Quaternion outer;
  Quaternion inner;
  vellomir::SlerpQuaternion(&outer, q1, c, t);
  vellomir::SlerpQuaternion(&inner, a, b, t);
  return vellomir::SlerpQuaternion(out, &outer, &inner, 2.0f * t * (1.0f - t));
}

void SetupSquad(Quaternion* outA, Quaternion* outB, Quaternion* outC, const Quaternion* q0,
                const Quaternion* q1, const Quaternion* q2, const Quaternion* q3) {
  Quaternion p0 = *q0;
  const Quaternion p1 = *q1;
  Quaternion p2 = *q2;
  Quaternion p3 = *q3;
  TakeNearerSign(p1, &p0);
  TakeNearerSign(p1, &p2);
  TakeNearerSign(p2, &p3);
  const Quaternion a = ControlPoint(p1, p0, p2);
  const Quaternion b = ControlPoint(p2, p1, p3);
  *outA = a;
  *outB = b;
  *outC = p2;
}

Quaternion* LogQuaternion(Quaternion* out, const Quaternion* q) {
  const Quaternion v = *q;
  if (v.w < 1.0f) {
    const float theta = std::acos(v.w);
    const float s = std::sin(theta);
    if (!NearlyEqual(s, 0.0f)) {
      const float k = theta / s;
      *out = {v.x * k, v.y * k, v.z * k, 0.0f};
      return out;
    }
  }
  *out = {v.x, v.y, v.z, 0.0f};
  return out;
}

Quaternion* ExpQuaternion(Quaternion* out, const Quaternion* q) {
  const Quaternion v = *q;
  const float theta = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  const float s = std::sin(theta);
  Quaternion r = {v.x, v.y, v.z, std::cos(theta)};
  if (!NearlyEqual(s, 0.0f)) {
    const float k = s / theta;
    r.x *= k;
    r.y *= k;
    r.z *= k;
  }
  *out = r;
  return out;
}

}  // namespace vellomir::portable
