// The blitter: moves the pixels of one image region into another region of possibly different
// format and size, choosing between raw copies, row conversion and the resampling filters.
#pragma once

#include <cstdint>
#include <memory>

#include "blit/blit_filter.h"
#include "pixel/pixel_codec.h"
#include "platform/api/d3d8_types.h"

namespace vellomir {

class ImageBlitter {
 public:
  ImageBlitter() = default;
  ImageBlitter(const ImageBlitter&) = delete;
  ImageBlitter& operator=(const ImageBlitter&) = delete;

  // Writes the destination region from the source region.
  //   D3D_OK              the destination region has been written
  //   D3DERR_INVALIDCALL  invalid filter word; nothing was created or written
  //   E_FAIL              a format has no codec (or no memory for one), or no method succeeded
  //   E_OUTOFMEMORY       the destination codec could not prepare the range conversion
  // The destination's dither flag is taken from FilterDither, not from `destination`.
  // Both codecs are destroyed before returning, so the object can be used again.
  HRESULT Blit(const ImageDesc& destination, const ImageDesc& source, BlitFilter filter);

  // The part of Blit after codec creation: range preparation and the methods, on codecs made
  // elsewhere (Blit passes its own; tests pass instrumented ones). Takes ownership of both and
  // destroys them, destination first, before returning. Results as for Blit; a missing codec
  // gives E_FAIL.
  HRESULT BlitCodecs(std::unique_ptr<PixelCodec> destination, std::unique_ptr<PixelCodec> source,
                     BlitFilter filter);

  // The methods Blit tries, in its order. Each uses the codecs and filter of the current Blit
  // and returns E_FAIL when it does not apply, another negative code when it failed, or a
  // non-negative code when it wrote the destination.
  HRESULT CopyIdentical();
  HRESULT CopyIdenticalBlocks();
  HRESULT ConvertRows();
  HRESULT ResampleNone();
  HRESULT ResamplePoint();
  HRESULT ResampleBox2D();
  HRESULT ResampleBox3D();
  HRESULT ResampleLinear2D();
  HRESULT ResampleLinear3D();
  HRESULT ResampleTriangle2D();
  HRESULT ResampleTriangle3D();

 private:
  // Low byte of the filter word; the methods compare only this with their kind.
  uint32_t Kind() const { return filter_ & 0xFF; }
  // 1 when the axis wraps around (its mirror bit is clear), 0 when it is mirrored.
  int Wrap(BlitFilter mirrorBit) const { return (filter_ & mirrorBit) ? 0 : 1; }
  bool SameSize() const;
  // The box filter's acceptance test; on acceptance it shrinks the source to even sizes.
  bool AcceptHalving(bool volume);

  std::unique_ptr<PixelCodec> source_;
  std::unique_ptr<PixelCodec> destination_;
  BlitFilter filter_ = 0;
};

}  // namespace vellomir
