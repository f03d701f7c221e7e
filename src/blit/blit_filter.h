// The filter word that tells the blitter how to resample: kind in the low 16 bits, modifier
// bits above it.
#pragma once

#include <cstdint>

namespace vellomir {

using BlitFilter = uint32_t;

// Kinds (bits 0-15). 0 and values above FilterBox are invalid.
constexpr BlitFilter FilterNone = 1;      // no scaling: copy to the top-left, blank the rest
constexpr BlitFilter FilterPoint = 2;     // nearest sample by 16.16 stepping
constexpr BlitFilter FilterLinear = 3;    // two taps per axis
constexpr BlitFilter FilterTriangle = 4;  // exact tent integration
constexpr BlitFilter FilterBox = 5;       // 2x2 (2x2x2) means; halving only

// Modifiers. A mirror bit clamps that axis at its edges instead of wrapping around.
constexpr BlitFilter FilterMirrorU = 0x10000;
constexpr BlitFilter FilterMirrorV = 0x20000;
constexpr BlitFilter FilterMirrorW = 0x40000;
constexpr BlitFilter FilterDither = 0x80000;  // the destination codec dithers

constexpr BlitFilter kFilterKindMask = 0xFFFF;
constexpr BlitFilter kFilterReservedMask = 0xFFF00000;  // bits 20-31 must be zero

// True for a word that Blit accepts.
constexpr bool IsValidBlitFilter(BlitFilter filter) {
  const BlitFilter kind = filter & kFilterKindMask;
  return kind != 0 && kind <= FilterBox && (filter & kFilterReservedMask) == 0;
}

}  // namespace vellomir
