// Halving of packed pixels directly in memory, without decoding: every channel of destination
// pixel (x, y) is (sum of source pixels (2x, 2y), (2x+1, 2y), (2x, 2y+1), (2x+1, 2y+1) + 2) >> 2,
// the mean rounded to nearest with halves up. The routines neither apply a colour key nor
// convert anything.
#pragma once

#include <cstdint>

namespace vellomir {

// (destination bits, source bits, source width, source height, source row pitch, destination
// row pitch) -> 0. The source sizes are even (or the last odd column/row is ignored); the
// destination receives width / 2 by height / 2 pixels.
using PackedHalvingRoutine = int (*)(void* dst, const void* src, uint32_t srcWidth,
                                     uint32_t srcHeight, uint32_t srcPitch, uint32_t dstPitch);

// The routine for a format, or null when the format has no packed routine. The two 32-bit
// formats are answered with their HalvingDispatch slot.
PackedHalvingRoutine PackedHalvingFor(uint32_t format);

// Process-wide choice for the 32-bit formats: slot 0 D3DFMT_A8R8G8B8, slot 1 D3DFMT_X8R8G8B8.
// Both start at a routine that, on first use, asks whether the vector routine may be used,
// fills both slots and runs the routine now in its own slot.
extern PackedHalvingRoutine HalvingDispatch[2];

// The individual routines (the last three are reached through HalvingDispatch).
int HalveR5G6B5(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveX1R5G5B5(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveA1R5G5B5(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveA4R4G4B4(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveR3G3B2(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveA8(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);  // also L8
int HalveA8R3G3B2(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveX4R4G4B4(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveA8L8(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveA4L4(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
// Plain 32-bit routines: with alpha (A8R8G8B8), and without (X8R8G8B8: the X byte becomes 0).
int HalveA8R8G8B8(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
int HalveX8R8G8B8(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);
// Vector routine for both 32-bit formats: four source pixels of each of the two rows per step,
// all four bytes averaged (so an X byte is averaged like a channel). Source widths that are not
// a multiple of 4 are handed whole to HalveA8R8G8B8.
int HalveRgb32Vector(void*, const void*, uint32_t, uint32_t, uint32_t, uint32_t);

namespace blit_testing {
// Puts both HalvingDispatch slots back to their first-use routine.
void ResetHalvingDispatch();
}  // namespace blit_testing

}  // namespace vellomir
