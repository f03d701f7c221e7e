// In-memory PNG and JPEG encoders for the adapter tests, built on the libraries themselves.
#pragma once

#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <vector>

#include "image_builders.h"

namespace vellomir::test {

struct PngSpec {
  uint32_t width = 1, height = 1;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool interlaced = false;
  Bytes samples;  // packed rows as the format stores them (big-endian 16-bit samples)
  std::vector<png_color> palette;
  Bytes trnsAlpha;                // palette images
  bool trnsColour = false;        // other images: the transparent colour below
  png_color_16 transparent = {};
  double gamma = 0;               // gAMA when nonzero
  int srgbIntent = -1;            // sRGB when 0..3
};

inline void AppendToBytes(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

inline Bytes EncodePng(const PngSpec& s) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, AppendToBytes, nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
               s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty())
    png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  if (!s.trnsAlpha.empty())
    png_set_tRNS(png, info, s.trnsAlpha.data(), static_cast<int>(s.trnsAlpha.size()), nullptr);
  if (s.trnsColour) png_set_tRNS(png, info, nullptr, 0, &s.transparent);
  if (s.gamma > 0) png_set_gAMA(png, info, s.gamma);
  if (s.srgbIntent >= 0) png_set_sRGB(png, info, s.srgbIntent);
  png_write_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < s.height; ++y)
      png_write_row(png, s.samples.data() + y * rowBytes);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// JPEG of `components` (1 or 3, or 4 for CMYK) from interleaved samples.
inline Bytes EncodeJpeg(uint32_t width, uint32_t height, int components, const Bytes& samples,
                        int quality = 95) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(samples.data()) + c.next_scanline * width * components;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return out;
}

}  // namespace vellomir::test
