// Blit: validates the filter word, creates both codecs and tries the methods in a fixed order.
#include "blit/image_blitter.h"

namespace vellomir {

HRESULT ImageBlitter::Blit(const ImageDesc& destination, const ImageDesc& source,
                           BlitFilter filter) {
  source_.reset();
  destination_.reset();
  filter_ = filter;
  if (!IsValidBlitFilter(filter)) return D3DERR_INVALIDCALL;

  ImageDesc dst = destination;
  dst.dither = filter & FilterDither;
  std::unique_ptr<PixelCodec> dstCodec = CreatePixelCodec(dst);
  if (!dstCodec) return E_FAIL;
  std::unique_ptr<PixelCodec> srcCodec = CreatePixelCodec(source);
  if (!srcCodec) return E_FAIL;  // the destination codec is destroyed on the way out
  return BlitCodecs(std::move(dstCodec), std::move(srcCodec), filter);
}

HRESULT ImageBlitter::BlitCodecs(std::unique_ptr<PixelCodec> destination,
                                 std::unique_ptr<PixelCodec> source, BlitFilter filter) {
  filter_ = filter;
  destination_ = std::move(destination);
  source_ = std::move(source);

  HRESULT result = E_FAIL;
  if (!IsValidBlitFilter(filter)) {
    result = D3DERR_INVALIDCALL;
  } else if (destination_ && source_) {
    result = destination_->PrepareRangeConversion(*source_);
    if (result >= 0) {
      using Method = HRESULT (ImageBlitter::*)();
      static constexpr Method kMethods[] = {
          &ImageBlitter::CopyIdentical,      &ImageBlitter::ConvertRows,
          &ImageBlitter::ResampleNone,       &ImageBlitter::ResamplePoint,
          &ImageBlitter::ResampleBox2D,      &ImageBlitter::ResampleBox3D,
          &ImageBlitter::ResampleLinear2D,   &ImageBlitter::ResampleLinear3D,
          &ImageBlitter::ResampleTriangle2D, &ImageBlitter::ResampleTriangle3D,
      };
      // A method's own failure (even E_OUTOFMEMORY) only means "try the next one".
      result = E_FAIL;
      for (Method method : kMethods) {
        if ((this->*method)() >= 0) {
          result = D3D_OK;
          break;
        }
      }
    }
  }
  // Destination first: the block and YUV codecs store their last rows when destroyed.
  destination_.reset();
  source_.reset();
  return result;
}

bool ImageBlitter::SameSize() const {
  return source_->width == destination_->width && source_->height == destination_->height &&
         source_->depth == destination_->depth;
}

}  // namespace vellomir
