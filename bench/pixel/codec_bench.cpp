// Row decode and encode throughput of the common formats, beside a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "pixel/pixel_codec.h"

namespace vellomir {
namespace {

constexpr uint32_t kWidth = 1024;

struct Bench {
  Bench(uint32_t format, uint32_t bytesPerPixel)
      : bytes(static_cast<size_t>(kWidth) * bytesPerPixel), row(kWidth) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    for (int i = 0; i < 256; ++i)
      palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3),
                    255};
    ImageDesc desc{};
    desc.bits = bytes.data();
    desc.format = format;
    desc.rowPitch = static_cast<uint32_t>(bytes.size());
    desc.bounds = {0, 0, kWidth, 1, 0, 1};
    desc.region = desc.bounds;
    desc.palette = palette;
    codec = CreatePixelCodec(desc);
    codec->DecodeRow(0, 0, row.data());
  }
  std::vector<uint8_t> bytes;
  std::vector<FloatColor> row;
  PALETTEENTRY palette[256];
  std::unique_ptr<PixelCodec> codec;
};

void SetRate(benchmark::State& state, size_t bytesPerRow) {
  state.counters["MP/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth / 1e6, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytesPerRow));
}

void BM_Decode(benchmark::State& state, uint32_t format, uint32_t bytesPerPixel) {
  Bench b(format, bytesPerPixel);
  for (auto _ : state) {
    b.codec->DecodeRow(0, 0, b.row.data());
    benchmark::DoNotOptimize(b.row.data());
    benchmark::ClobberMemory();
  }
  SetRate(state, b.bytes.size());
}

void BM_Encode(benchmark::State& state, uint32_t format, uint32_t bytesPerPixel) {
  Bench b(format, bytesPerPixel);
  for (auto _ : state) {
    b.codec->EncodeRow(0, 0, b.row.data());
    benchmark::DoNotOptimize(b.bytes.data());
    benchmark::ClobberMemory();
  }
  SetRate(state, b.bytes.size());
}

// The floor: copying the same pixel bytes without any conversion.
void BM_Memcpy(benchmark::State& state, uint32_t bytesPerPixel) {
  std::vector<uint8_t> from(static_cast<size_t>(kWidth) * bytesPerPixel, 1);
  std::vector<uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  SetRate(state, from.size());
}

#define VM_CODEC_BENCH(fmt, bpp)                        \
  BENCHMARK_CAPTURE(BM_Decode, fmt, D3DFMT_##fmt, bpp); \
  BENCHMARK_CAPTURE(BM_Encode, fmt, D3DFMT_##fmt, bpp)

VM_CODEC_BENCH(A8R8G8B8, 4);
VM_CODEC_BENCH(X8R8G8B8, 4);
VM_CODEC_BENCH(R5G6B5, 2);
VM_CODEC_BENCH(A1R5G5B5, 2);
VM_CODEC_BENCH(A4R4G4B4, 2);
VM_CODEC_BENCH(L8, 1);
VM_CODEC_BENCH(P8, 1);
BENCHMARK_CAPTURE(BM_Memcpy, 4_bytes, 4);
BENCHMARK_CAPTURE(BM_Memcpy, 2_bytes, 2);
BENCHMARK_CAPTURE(BM_Memcpy, 1_byte, 1);

}  // namespace
}  // namespace vellomir
