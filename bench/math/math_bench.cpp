// Hot math operations through the dispatch table, each beside a direct call of the portable
// implementation so the cost of the indirect call shows as a ratio.
#include <benchmark/benchmark.h>

#include <vector>

#include "math/math.h"
#include "math/portable.h"

namespace vellomir {
namespace {

constexpr int kCount = 1024;

std::vector<Vec3> Points() {
  std::vector<Vec3> v(kCount);
  for (int i = 0; i < kCount; ++i)
    v[i] = {float(i % 7) - 3.0f, float(i % 11) * 0.5f, float(i % 5) + 1.0f};
  return v;
}

Matrix4 Camera() {
  Matrix4 proj, view, both;
  BuildPerspectiveRightHanded(&proj, 1.4835299f, 4.0f / 3.0f, 1.0f, 10000.0f);
  const Vec3 eye = {3, 4, -10}, at = {0, 0, 0}, up = {0, 1, 0};
  BuildLookAtRightHanded(&view, &eye, &at, &up);
  return *MultiplyMatrix(&both, &view, &proj);
}

template <Vec3* (*Op)(Vec3*, const Vec3*)>
void BM_Normalize(benchmark::State& state) {
  const std::vector<Vec3> in = Points();
  std::vector<Vec3> out(kCount);
  for (auto _ : state) {
    for (int i = 0; i < kCount; ++i) Op(&out[i], &in[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_Normalize<&NormalizeVec3>)->Name("NormalizeVec3/dispatched");
BENCHMARK(BM_Normalize<&portable::NormalizeVec3>)->Name("NormalizeVec3/portable");

template <Vec3* (*Op)(Vec3*, const Vec3*, const Matrix4*)>
void BM_TransformCoord(benchmark::State& state) {
  const std::vector<Vec3> in = Points();
  std::vector<Vec3> out(kCount);
  const Matrix4 m = Camera();
  for (auto _ : state) {
    for (int i = 0; i < kCount; ++i) Op(&out[i], &in[i], &m);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_TransformCoord<&TransformVec3Coord>)->Name("TransformVec3Coord/dispatched");
BENCHMARK(BM_TransformCoord<&portable::TransformVec3Coord>)->Name("TransformVec3Coord/portable");

template <Matrix4* (*Op)(Matrix4*, const Matrix4*, const Matrix4*)>
void BM_MultiplyMatrix(benchmark::State& state) {
  Matrix4 a = Camera(), b;
  BuildRotationYawPitchRoll(&b, 0.1f, 0.2f, 0.3f);
  for (auto _ : state) {
    Op(&a, &a, &b);
    benchmark::DoNotOptimize(a);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MultiplyMatrix<&MultiplyMatrix>)->Name("MultiplyMatrix/dispatched");
BENCHMARK(BM_MultiplyMatrix<&portable::MultiplyMatrix>)->Name("MultiplyMatrix/portable");

void BM_InvertMatrix(benchmark::State& state) {
  const Matrix4 m = Camera();
  Matrix4 inv;
  for (auto _ : state) {
    benchmark::DoNotOptimize(InvertMatrix(&inv, nullptr, &m));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InvertMatrix)->Name("InvertMatrix/dispatched");

void BM_Transformation(benchmark::State& state) {
  // The sprite batch's per-draw matrix: scaling, rotation about a centre, translation.
  const Vec3 scaling = {2, 3, 1}, centre = {16, 16, 0}, translation = {100, 50, 0};
  const Quaternion q = {0, 0, 0.2588190f, 0.9659258f};
  Matrix4 m;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BuildTransformation(&m, nullptr, nullptr, &scaling, &centre, &q, &translation));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Transformation)->Name("BuildTransformation/dispatched");

void BM_Slerp(benchmark::State& state) {
  const Quaternion a = {0, 0, 0, 1}, b = {0, 0.7071068f, 0, 0.7071068f};
  Quaternion r;
  float t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SlerpQuaternion(&r, &a, &b, t));
    t = t >= 1.0f ? 0.0f : t + 0.001f;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Slerp)->Name("SlerpQuaternion/dispatched");

}  // namespace
}  // namespace vellomir
