// Reading 2048x2048 pictures from memory through the reader dispatch, beside the libraries'
// own decode of the same files (the baseline the adapters are measured against).
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "texture/loaded_image.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kSize = 2048;

// A picture with smooth areas and some texture, so that every codec has real work.
const Bytes& Rgb() {
  static const Bytes rgb = [] {
    Bytes b(size_t{kSize} * kSize * 3);
    uint32_t noise = 12345;
    for (uint32_t y = 0; y < kSize; ++y)
      for (uint32_t x = 0; x < kSize; ++x) {
        noise = noise * 1103515245 + 12345;
        uint8_t* p = &b[(size_t{y} * kSize + x) * 3];
        const uint8_t grain = ((x / 64 + y / 64) & 1) ? static_cast<uint8_t>((noise >> 16) & 15) : 0;
        p[0] = static_cast<uint8_t>(x / 8 + grain);
        p[1] = static_cast<uint8_t>(y / 8);
        p[2] = static_cast<uint8_t>(((x ^ y) >> 4) & 0xF0);
      }
    return b;
  }();
  return rgb;
}

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}

void AppendToBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

const Bytes& PngFile() {
  static const Bytes file = [] {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < kSize; ++y)
      png_write_row(png, const_cast<uint8_t*>(Rgb().data()) + size_t{y} * kSize * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
  }();
  return file;
}

const Bytes& JpegFile() {
  static const Bytes file = [] {
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = kSize;
    c.image_height = kSize;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < kSize) {
      JSAMPROW row = const_cast<uint8_t*>(Rgb().data()) + size_t{c.next_scanline} * kSize * 3;
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
  }();
  return file;
}

const Bytes& BmpFile() {  // 24-bit, bottom-up
  static const Bytes file = [] {
    Bytes b;
    const uint32_t pixels = kSize * kSize * 3;
    Put16(b, 0x4D42);
    Put32(b, 54 + pixels);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, kSize);
    Put32(b, kSize);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) Put32(b, 0);
    for (uint32_t y = 0; y < kSize; ++y) {
      const uint8_t* row = &Rgb()[size_t{kSize - 1 - y} * kSize * 3];
      for (uint32_t x = 0; x < kSize; ++x) {
        b.push_back(row[3 * x + 2]);
        b.push_back(row[3 * x + 1]);
        b.push_back(row[3 * x]);
      }
    }
    return b;
  }();
  return file;
}

const Bytes& TgaFile() {  // 32-bit, run-length encoded, bottom-left origin
  static const Bytes file = [] {
    Bytes b = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, kSize);
    Put16(b, kSize);
    b.push_back(32);
    b.push_back(8);
    auto pixel = [](uint32_t x, uint32_t y) {
      const uint8_t* p = &Rgb()[(size_t{kSize - 1 - y} * kSize + x) * 3];
      return uint32_t{p[2]} | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16) | 0xFF000000u;
    };
    for (uint32_t y = 0; y < kSize; ++y) {
      uint32_t x = 0;
      while (x < kSize) {
        uint32_t run = 1;
        while (x + run < kSize && run < 128 && pixel(x + run, y) == pixel(x, y)) ++run;
        if (run > 1) {
          b.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
          Put32(b, pixel(x, y));
        } else {
          uint32_t raw = 1;
          while (x + raw < kSize && raw < 128 &&
                 (x + raw + 1 >= kSize || pixel(x + raw, y) != pixel(x + raw + 1, y)))
            ++raw;
          b.push_back(static_cast<uint8_t>(raw - 1));
          for (uint32_t i = 0; i < raw; ++i) Put32(b, pixel(x + i, y));
          run = raw;
        }
        x += run;
      }
    }
    return b;
  }();
  return file;
}

const Bytes& DdsFile() {  // A8R8G8B8 with the whole mip chain
  static const Bytes file = [] {
    Bytes b;
    Put32(b, 0x20534444);
    Put32(b, 124);
    Put32(b, 0x2100F);
    Put32(b, kSize);
    Put32(b, kSize);
    Put32(b, kSize * 4);
    Put32(b, 0);
    Put32(b, 12);
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    for (uint32_t v : {32u, 0x41u, 0u, 32u, 0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u}) Put32(b, v);
    for (uint32_t v : {0x401008u, 0u, 0u, 0u, 0u}) Put32(b, v);
    size_t payload = 0;
    for (uint32_t w = kSize; w >= 1; w /= 2) payload += size_t{w} * w * 4;
    b.resize(b.size() + payload, 0x5A);
    return b;
  }();
  return file;
}

void ReadThroughDispatcher(benchmark::State& state, const Bytes& file) {
  for (auto _ : state) {
    vellomir::LoadedImage image;
    vellomir::ImageInfo info;
    if (vellomir::ReadImageFile(&image, file.data(), static_cast<uint32_t>(file.size()), &info) != 0)
      state.SkipWithError("not read");
    benchmark::DoNotOptimize(image.bits);
  }
}

void BM_ReadPng(benchmark::State& state) { ReadThroughDispatcher(state, PngFile()); }
void BM_ReadJpeg(benchmark::State& state) { ReadThroughDispatcher(state, JpegFile()); }
void BM_ReadBmp24(benchmark::State& state) { ReadThroughDispatcher(state, BmpFile()); }
void BM_ReadTgaRle(benchmark::State& state) { ReadThroughDispatcher(state, TgaFile()); }
void BM_ReadDdsMips(benchmark::State& state) { ReadThroughDispatcher(state, DdsFile()); }

struct Source {
  const uint8_t* next;
  size_t left;
};
void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* s = static_cast<Source*>(png_get_io_ptr(png));
  if (count > s->left) png_error(png, "read error");
  std::memcpy(out, s->next, count);
  s->next += count;
  s->left -= count;
}

// libpng's own decode: the file's native three bytes per pixel, no transformation, into a
// buffer kept across iterations. The floor for any PNG reader, whatever layout it must produce.
void BM_LibpngBaseline(benchmark::State& state) {
  const Bytes& file = PngFile();
  std::vector<uint8_t> pixels(size_t{kSize} * kSize * 3);
  std::vector<png_bytep> rows(kSize);
  for (uint32_t y = 0; y < kSize; ++y) rows[y] = pixels.data() + size_t{y} * kSize * 3;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Source source{file.data(), file.size()};
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    png_read_update_info(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
}

// libpng's decode into the reader's layout (blue first, filler byte 255) through `rows`.
void DecodeSameLayout(const Bytes& file, png_bytep* rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Source source{file.data(), file.size()};
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 255, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  png_read_image(png, rows);
  png_destroy_read_struct(&png, &info, nullptr);
}

// The same decode with the layout the reader must produce (blue first, filler byte) into a
// buffer allocated per call, as the reader allocates its image: the share of the cost that
// comes from the format rather than from the adapter.
void BM_LibpngSameLayoutBaseline(benchmark::State& state) {
  const Bytes& file = PngFile();
  std::vector<png_bytep> rows(kSize);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[size_t{kSize} * kSize * 4]);
    for (uint32_t y = 0; y < kSize; ++y) rows[y] = pixels.get() + size_t{y} * kSize * 4;
    DecodeSameLayout(file, rows.data());
    benchmark::DoNotOptimize(pixels.get());
  }
}

// The same-layout decode into a buffer kept across iterations: set against the baseline above,
// the difference is what a fresh 16 MB image buffer costs per read.
void BM_LibpngSameLayoutReusedBuffer(benchmark::State& state) {
  const Bytes& file = PngFile();
  std::vector<uint8_t> pixels(size_t{kSize} * kSize * 4);
  std::vector<png_bytep> rows(kSize);
  for (uint32_t y = 0; y < kSize; ++y) rows[y] = pixels.data() + size_t{y} * kSize * 4;
  for (auto _ : state) {
    DecodeSameLayout(file, rows.data());
    benchmark::DoNotOptimize(pixels.data());
  }
}

// libjpeg's own decode with its memory source: RGB scanlines into one buffer.
void BM_LibjpegBaseline(benchmark::State& state) {
  const Bytes& file = JpegFile();
  std::vector<uint8_t> pixels(size_t{kSize} * kSize * 3);
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr e;
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), file.size());
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = pixels.data() + size_t{d.output_scanline} * kSize * 3;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(pixels.data());
  }
}

// What a plain copy of the 24-bit picture costs: the floor for the BMP reader.
void BM_MemcpyBaseline(benchmark::State& state) {
  const Bytes& file = BmpFile();
  std::vector<uint8_t> out(file.size());
  for (auto _ : state) {
    std::memcpy(out.data(), file.data(), file.size());
    benchmark::DoNotOptimize(out.data());
  }
}

}  // namespace

BENCHMARK(BM_ReadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSameLayoutBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSameLayoutReusedBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTgaRle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadDdsMips)->Unit(benchmark::kMicrosecond);
