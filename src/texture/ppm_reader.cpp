// Portable pixmaps, text ("P3") and raw ("P6"). Samples are scaled to 8 bits; the picture is
// always X8R8G8B8 with the X byte 255.
#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Walks the text part of a pixmap without ever looking past its end.
struct PpmScanner {
  const uint8_t* p;
  const uint8_t* end;

  // Skips white space and comments ("#" to the end of the line, the line feed included).
  void SkipSeparators() {
    while (p < end) {
      if (IsSpace(*p)) {
        ++p;
      } else if (*p == '#') {
        while (p < end && *p != '\n') ++p;
        if (p < end) ++p;
      } else {
        return;
      }
    }
  }

  // A run of digits ended by white space or the end of the data. Values are saturated far
  // above any valid field so that long digit runs cannot wrap.
  bool Number(uint32_t* value) {
    SkipSeparators();
    if (p == end || !IsDigit(*p)) return false;
    uint64_t v = 0;
    while (p < end && IsDigit(*p)) {
      v = v * 10 + (*p - '0');
      if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu + uint64_t{1};
      ++p;
    }
    if (p < end && !IsSpace(*p)) return false;
    if (v > 0xFFFFFFFFu) return false;
    *value = static_cast<uint32_t>(v);
    return true;
  }
};

// v x 255 / maximum, truncating. Samples above the maximum have no defined colour; they are
// clamped to 255 so that they cannot spill into the neighbouring channel.
uint32_t Scale(uint32_t v, uint32_t maximum) {
  const uint64_t scaled = uint64_t{v} * 255 / maximum;
  return scaled > 255 ? 255 : static_cast<uint32_t>(scaled);
}

}  // namespace

HRESULT ReadPpm(LoadedImage* image, const void* data, uint32_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (size < 2 || bytes[0] != 'P' || (bytes[1] != '3' && bytes[1] != '6')) return E_FAIL;
  const bool text = bytes[1] == '3';
  PpmScanner scan{bytes + 2, bytes + size};

  uint32_t width = 0, height = 0, maximum = 255;
  if (!scan.Number(&width) || width == 0) return E_FAIL;
  if (!scan.Number(&height) || height == 0) return E_FAIL;
  if (!scan.Number(&maximum) || maximum == 0) return E_FAIL;
  uint64_t imageBytes = 0;
  if (!detail::MultiplyWithin(uint64_t{width} * 4, height, kMaxDecodedImageBytes, &imageBytes))
    return E_FAIL;
  const uint64_t pixels = uint64_t{width} * height;

  // The data is measured against the pixel count before the buffer is allocated, so a short
  // file with a large header is refused without asking for its memory.
  if (!text) {
    if (maximum > 255) return E_FAIL;  // two-byte samples are not read
    // Exactly one white-space byte ends the header; a carriage return may bring one more.
    if (scan.p < scan.end) {
      const bool carriageReturn = *scan.p == '\r';
      ++scan.p;
      if (carriageReturn && scan.end - scan.p >= 2) ++scan.p;
    }
    if (static_cast<uint64_t>(scan.end - scan.p) / 3 < pixels) return E_FAIL;
  } else {
    // Every sample takes at least one digit and one separator, the very last one excepted.
    if (static_cast<uint64_t>(scan.end - scan.p) + 1 < pixels * 6) return E_FAIL;
  }

  if (!detail::AllocateOwnedBits(image, imageBytes)) return E_OUTOFMEMORY;
  image->format = D3DFMT_X8R8G8B8;
  image->rowPitch = width * 4;
  image->width = width;
  image->height = height;
  image->depth = 1;
  image->slicePitch = 0;

  uint32_t* out = reinterpret_cast<uint32_t*>(image->bits);
  if (!text) {
    const uint8_t* in = scan.p;
    for (uint64_t i = 0; i < pixels; ++i, in += 3)
      out[i] = 0xFF000000u | (Scale(in[0], maximum) << 16) | (Scale(in[1], maximum) << 8) |
               Scale(in[2], maximum);
    return D3D_OK;
  }

  for (uint64_t i = 0; i < pixels; ++i) {
    uint32_t r, g, b;
    if (!scan.Number(&r) || !scan.Number(&g) || !scan.Number(&b)) return E_FAIL;
    out[i] = 0xFF000000u | (Scale(r, maximum) << 16) | (Scale(g, maximum) << 8) | Scale(b, maximum);
  }
  return D3D_OK;
}

}  // namespace vellomir
