// JPEG through libjpeg: the file is fed from memory, library errors come back as a refusal
// without any message, and the rows come out as L8 or X8R8G8B8.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>

#include "math/dispatch.h"
#include "texture/loaded_image.h"
#include "texture/reader_support.h"

namespace vellomir {

namespace {

// The library's error manager, extended by the place to jump back to.
struct JumpingErrorManager {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

[[noreturn]] void ExitByJump(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  longjmp(reinterpret_cast<JumpingErrorManager*>(cinfo->err)->recovery, 1);
}

// Formats the message as the library would, and drops it: nothing reaches the user.
void DiscardMessage(j_common_ptr cinfo) {
  char buffer[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, buffer);
}

// The library's source manager followed by the whole block.
struct MemorySourceManager {
  jpeg_source_mgr pub;
  const JOCTET* start;
  size_t size;
  bool delivered;  // the block has been handed over once
};

// Two bytes of end-of-image marker, handed over when the library asks for more than the
// block holds: a truncated file then ends as a partial image (the library warns and fills
// the rest) instead of starting over from the first byte.
constexpr JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<MemorySourceManager*>(cinfo->src);
  // The library takes a successful fill to mean at least one byte: an empty block goes
  // straight to the end marker.
  if (!src->delivered && src->size > 0) {
    src->delivered = true;
    src->pub.next_input_byte = src->start;
    src->pub.bytes_in_buffer = src->size;
  } else {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = sizeof(kEndOfImage);
  }
  return TRUE;
}

// Never moves past the end of what was handed over; a skip beyond it lands on the end.
void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    count -= static_cast<long>(src->bytes_in_buffer);
    src->next_input_byte += src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    auto* memory = reinterpret_cast<MemorySourceManager*>(src);
    const bool atEnd = memory->delivered || memory->size == 0;
    FillInputBuffer(cinfo);
    if (atEnd) return;  // the end marker: nothing further to skip into
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

// Library state with the recovery point; lives outside the frame that calls setjmp.
struct JpegDecode {
  jpeg_decompress_struct cinfo = {};
  JumpingErrorManager error = {};
  bool created = false;

  ~JpegDecode() {
    if (created) jpeg_destroy(reinterpret_cast<j_common_ptr>(&cinfo));
  }
};

// Only trivially destructible locals between setjmp and the library calls.
HRESULT DecodeJpeg(JpegDecode& d, LoadedImage* image, const uint8_t* data, uint32_t size) {
  j_decompress_ptr cinfo = &d.cinfo;
  cinfo->err = jpeg_std_error(&d.error.pub);
  d.error.pub.error_exit = ExitByJump;
  d.error.pub.output_message = DiscardMessage;
  if (setjmp(d.error.recovery)) return E_FAIL;

  jpeg_create_decompress(cinfo);
  d.created = true;

  auto* src = static_cast<MemorySourceManager*>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(MemorySourceManager)));
  src->pub.next_input_byte = nullptr;
  src->pub.bytes_in_buffer = 0;
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInputBuffer;
  src->pub.skip_input_data = SkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->start = data;
  src->size = size;
  src->delivered = false;
  cinfo->src = &src->pub;

  jpeg_read_header(cinfo, TRUE);
  // The library sizes its own buffers from the header when decompression starts (a
  // progressive file keeps every coefficient of the picture, about six bytes per pixel), so
  // an oversized header is refused before that, by the limit on the picture we would build.
  uint64_t headerBytes = 0;
  if (!detail::MultiplyWithin(uint64_t{cinfo->image_width} * 4, cinfo->image_height,
                              kMaxDecodedImageBytes, &headerBytes))
    return E_FAIL;
  if (!IsMmxEnabled()) cinfo->dct_method = JDCT_IFAST;
#ifdef JCS_EXTENSIONS
  // Three-component output can be written by the library straight into 32-bit rows, blue
  // first; the fourth byte is then cleared. The format decision below still counts the
  // three colour components.
  const bool packedByLibrary = cinfo->out_color_space == JCS_RGB;
  if (packedByLibrary) cinfo->out_color_space = JCS_EXT_BGRX;
#else
  const bool packedByLibrary = false;
#endif
  jpeg_start_decompress(cinfo);

  const uint32_t width = cinfo->output_width;
  const uint32_t height = cinfo->output_height;
  const int components = packedByLibrary ? 3 : cinfo->output_components;
  uint32_t format, bytesPerPixel;
  if (components == 1) {
    format = D3DFMT_L8;
    bytesPerPixel = 1;
  } else if (components == 3) {
    format = D3DFMT_X8R8G8B8;
    bytesPerPixel = 4;
  } else {
    return E_FAIL;
  }

  uint64_t imageBytes = 0;
  if (!detail::MultiplyWithin(uint64_t{width} * bytesPerPixel, height, kMaxDecodedImageBytes,
                              &imageBytes))
    return E_FAIL;
  image->format = format;
  image->width = width;
  image->height = height;
  image->depth = 1;
  image->slicePitch = 0;
  image->rowPitch = width * bytesPerPixel;
  if (!detail::AllocateOwnedBits(image, imageBytes)) return E_OUTOFMEMORY;

  // Rows the library can fill in their final layout are decoded in place; otherwise through
  // a one-row sample array and repacked.
  const bool direct = format == D3DFMT_L8 || packedByLibrary;
  JSAMPARRAY sample = nullptr;
  if (!direct)
    sample = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                         width * components, 1);

  while (cinfo->output_scanline < cinfo->output_height) {
    uint8_t* row = image->bits + uint64_t{cinfo->output_scanline} * image->rowPitch;
    if (direct) {
      JSAMPROW target = row;
      if (jpeg_read_scanlines(cinfo, &target, 1) != 1) return E_FAIL;
      if (packedByLibrary) {
        uint32_t* out = reinterpret_cast<uint32_t*>(row);
        for (uint32_t x = 0; x < width; ++x) out[x] &= 0x00FFFFFFu;  // the X byte is 0
      }
      continue;
    }
    if (jpeg_read_scanlines(cinfo, sample, 1) != 1) return E_FAIL;
    const JSAMPLE* in = sample[0];
    uint32_t* out = reinterpret_cast<uint32_t*>(row);
    for (uint32_t x = 0; x < width; ++x, in += 3)
      out[x] = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
  }
  jpeg_finish_decompress(cinfo);
  return D3D_OK;
}

}  // namespace

HRESULT ReadJpeg(LoadedImage* image, const void* data, uint32_t size) {
  JpegDecode d;
  return DecodeJpeg(d, image, static_cast<const uint8_t*>(data), size);
}

}  // namespace vellomir
