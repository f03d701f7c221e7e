// PNG through libpng: the file is fed from memory, library errors come back as a refusal, and
// the transformations are chosen so that rows come out in a D3DFORMAT memory layout.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>

#include "pixel/format_table.h"
#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

constexpr double kScreenGamma = 2.2;

struct MemorySource {
  const uint8_t* next;
  size_t left;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (count > source->left) png_error(png, "read error");
  std::memcpy(out, source->next, count);
  source->next += count;
  source->left -= count;
}

[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

// Everything with a destructor lives here, outside the frame that calls setjmp, so that a
// jump out of the library skips no destructor.
struct PngDecode {
  png_structp png = nullptr;
  png_infop info = nullptr;
  MemorySource source = {};
  std::unique_ptr<png_bytep[]> rows;
  // The file's palette as stored, taken before the transformations are set up (some libpng
  // releases correct the stored palette in place for the gamma transformation).
  png_color plte[256] = {};
  int plteCount = 0;
  bool gammaSet = false;
  double fileGamma = 0;

  ~PngDecode() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

uint32_t ChannelsFor(uint32_t format) {
  switch (format) {
    case D3DFMT_P8:
    case D3DFMT_L8:
    case FMT_L16: return 1;
    case D3DFMT_A8L8:
    case FMT_A16L16: return 2;
    case FMT_R16G16B16: return 3;
    default: return 4;
  }
}

// The body of the read; only trivially destructible locals between setjmp and the calls.
HRESULT DecodePng(PngDecode& d, LoadedImage* image) {
  if (setjmp(png_jmpbuf(d.png))) return E_FAIL;

  png_set_read_fn(d.png, &d.source, ReadFromMemory);
  png_read_info(d.png, d.info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  png_get_IHDR(d.png, d.info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);

  uint32_t format;
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: format = D3DFMT_L8; break;
    case PNG_COLOR_TYPE_RGB: format = D3DFMT_X8R8G8B8; break;
    case PNG_COLOR_TYPE_PALETTE: format = D3DFMT_P8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: format = D3DFMT_A8L8; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: format = D3DFMT_A8R8G8B8; break;
    default: return E_FAIL;
  }

  if (bitDepth == 16) {
    png_set_swap(d.png);
    switch (format) {
      case D3DFMT_L8: format = FMT_L16; break;
      case D3DFMT_X8R8G8B8: format = FMT_R16G16B16; break;
      case D3DFMT_A8L8: format = FMT_A16L16; break;
      case D3DFMT_A8R8G8B8: format = FMT_A16R16G16B16; break;
      default: return E_FAIL;  // palette indices have at most 8 bits
    }
  } else if (bitDepth < 8) {
    png_set_packing(d.png);
    if (colourType == PNG_COLOR_TYPE_GRAY) png_set_expand(d.png);
  }

  if (format == D3DFMT_P8) {
    png_colorp plte = nullptr;
    int count = 0;
    if (png_get_PLTE(d.png, d.info, &plte, &count) && plte) {
      d.plteCount = count < 0 ? 0 : count > 256 ? 256 : count;
      std::memcpy(d.plte, plte, sizeof(png_color) * d.plteCount);
    }
  }

  int intent = 0;
  double gamma = 0;
  if (png_get_sRGB(d.png, d.info, &intent)) {
    png_set_sRGB(d.png, d.info, intent);
  } else if (png_get_gAMA(d.png, d.info, &gamma)) {
    png_set_gamma(d.png, kScreenGamma, gamma);
    d.gammaSet = true;
    d.fileGamma = gamma;
  }

  if (format != D3DFMT_P8 && png_get_valid(d.png, d.info, PNG_INFO_tRNS)) {
    png_set_expand(d.png);
    switch (format) {
      case D3DFMT_L8: format = D3DFMT_A8L8; break;
      case D3DFMT_X8R8G8B8: format = D3DFMT_A8R8G8B8; break;
      case FMT_L16: format = FMT_A16L16; break;
      case FMT_R16G16B16: format = FMT_A16R16G16B16; break;
      default: break;
    }
  }

  if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8 || format == FMT_R16G16B16 ||
      format == FMT_A16R16G16B16)
    png_set_bgr(d.png);
  if (format == D3DFMT_X8R8G8B8) png_set_filler(d.png, 255, PNG_FILLER_AFTER);

  // Interlaced files are deinterlaced by png_read_image when it knows the pass count.
  png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  if (png_get_channels(d.png, d.info) != ChannelsFor(format)) return E_FAIL;

  const size_t rowBytes = png_get_rowbytes(d.png, d.info);
  uint64_t imageBytes = 0;
  if (rowBytes > 0xFFFFFFFFu ||
      !detail::MultiplyWithin(rowBytes, height, kMaxDecodedImageBytes, &imageBytes))
    return E_FAIL;
  image->format = format;
  image->width = width;
  image->height = height;
  image->depth = 1;
  image->rowPitch = static_cast<uint32_t>(rowBytes);
  image->slicePitch = 0;
  if (!detail::AllocateOwnedBits(image, imageBytes)) return E_OUTOFMEMORY;
  d.rows = AllocateArray<png_bytep>(height);
  if (!d.rows) return E_OUTOFMEMORY;
  for (png_uint_32 y = 0; y < height; ++y) d.rows[y] = image->bits + uint64_t{y} * rowBytes;
  png_read_image(d.png, d.rows.get());

  if (format == D3DFMT_P8) {
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (!png_get_tRNS(d.png, d.info, &alpha, &alphaCount, nullptr) || !alpha) alphaCount = 0;
    if (alphaCount > 256) alphaCount = 256;
    if (alphaCount < 0) alphaCount = 0;

    uint8_t table[256];
    if (d.gammaSet && d.fileGamma > 1e-6 && kScreenGamma > 1e-6) {
      const double exponent = 1.0 / (d.fileGamma * kScreenGamma);
      for (int i = 0; i < 256; ++i) {
        const double corrected = 255.0 * std::pow(i / 255.0, exponent) + 0.5;
        table[i] = static_cast<uint8_t>(corrected > 255.0 ? 255.0 : corrected);
      }
    } else {
      for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
    }

    PALETTEENTRY* palette = detail::AllocateOwnedPalette(image);  // opaque white throughout
    if (!palette) return E_OUTOFMEMORY;
    for (int i = 0; i < d.plteCount; ++i) {
      const uint8_t a = i < alphaCount ? alpha[i] : 255;
      palette[i] = PALETTEENTRY{table[d.plte[i].red], table[d.plte[i].green],
                                table[d.plte[i].blue], a};
    }
  }
  return D3D_OK;
}

}  // namespace

HRESULT ReadPng(LoadedImage* image, const void* data, uint32_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (size < 8 || png_sig_cmp(bytes, 0, 8) != 0) return E_FAIL;

  PngDecode d;
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
  if (!d.png) return E_OUTOFMEMORY;
  d.info = png_create_info_struct(d.png);
  if (!d.info) return E_OUTOFMEMORY;
  d.source = MemorySource{bytes, size};
  return DecodePng(d, image);
}

}  // namespace vellomir
