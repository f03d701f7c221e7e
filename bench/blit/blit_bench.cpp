// Blitter throughput in source megapixels per second, beside a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "blit/image_blitter.h"

namespace vellomir {
namespace {

struct Surface {
  uint32_t format, width, height, bpp;
  std::vector<uint8_t> bytes;
  Surface(uint32_t f, uint32_t w, uint32_t h, uint32_t b)
      : format(f), width(w), height(h), bpp(b), bytes(size_t(w) * h * b) {}
  ImageDesc Desc() {
    ImageDesc d{};
    d.bits = bytes.data();
    d.format = format;
    d.rowPitch = width * bpp;
    d.bounds = d.region = {0, 0, width, height, 0, 1};
    return d;
  }
};

Surface RandomArgb(uint32_t w, uint32_t h) {
  Surface s(D3DFMT_A8R8G8B8, w, h, 4);
  std::mt19937 rng(42);
  for (auto& b : s.bytes) b = uint8_t(rng());
  return s;
}

// A whole mip chain from 2048 x 2048 down to 1 x 1, each level from the one before.
void MipChain(benchmark::State& state, BlitFilter filter) {
  std::vector<Surface> levels;
  levels.push_back(RandomArgb(2048, 2048));
  uint64_t pixels = 0;
  for (uint32_t s = 1024; s >= 1; s /= 2) {
    pixels += uint64_t(levels.back().width) * levels.back().height;
    levels.emplace_back(D3DFMT_A8R8G8B8, s, s, 4);
  }
  for (auto _ : state) {
    for (size_t i = 1; i < levels.size(); ++i) {
      ImageBlitter blitter;
      if (blitter.Blit(levels[i].Desc(), levels[i - 1].Desc(), filter) != D3D_OK) {
        state.SkipWithError("blit failed");
        return;
      }
    }
    benchmark::DoNotOptimize(levels.back().bytes.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations() * pixels));
  state.SetBytesProcessed(int64_t(state.iterations() * pixels * 4));
}
BENCHMARK_CAPTURE(MipChain, Box, FilterBox)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MipChain, Triangle, FilterTriangle)->Unit(benchmark::kMillisecond);

void Resample(benchmark::State& state, BlitFilter filter) {
  Surface src = RandomArgb(1024, 1024);
  Surface dst(D3DFMT_A8R8G8B8, 640, 480, 4);
  for (auto _ : state) {
    ImageBlitter blitter;
    if (blitter.Blit(dst.Desc(), src.Desc(), filter) != D3D_OK) {
      state.SkipWithError("blit failed");
      return;
    }
    benchmark::DoNotOptimize(dst.bytes.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 4);
}
BENCHMARK_CAPTURE(Resample, Triangle1024To640x480, FilterTriangle)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, Linear1024To640x480, FilterLinear)->Unit(benchmark::kMillisecond);

void ConvertToR5G6B5(benchmark::State& state, BlitFilter filter) {
  Surface src = RandomArgb(1024, 1024);
  Surface dst(D3DFMT_R5G6B5, 1024, 1024, 2);
  for (auto _ : state) {
    ImageBlitter blitter;
    if (blitter.Blit(dst.Desc(), src.Desc(), filter) != D3D_OK) {
      state.SkipWithError("blit failed");
      return;
    }
    benchmark::DoNotOptimize(dst.bytes.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 4);
}
BENCHMARK_CAPTURE(ConvertToR5G6B5, Plain, FilterPoint)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertToR5G6B5, Dither, FilterPoint | FilterDither)
    ->Unit(benchmark::kMillisecond);

// Baselines: a memcpy of the 1024 x 1024 A8R8G8B8 source, and of the 2048 x 2048 one.
void Memcpy(benchmark::State& state) {
  const uint32_t side = uint32_t(state.range(0));
  std::vector<uint8_t> src(size_t(side) * side * 4, 1), dst(src.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * side * side);
  state.SetBytesProcessed(int64_t(state.iterations() * src.size()));
}
BENCHMARK(Memcpy)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vellomir
