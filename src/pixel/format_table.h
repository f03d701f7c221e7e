// The pixel format vocabulary: one constant row per format the toolkit knows.
#pragma once

#include <cstdint>
#include <span>

#include "platform/api/d3d8_types.h"

namespace vellomir {

enum FormatKind : uint32_t {
  Rgb = 0,
  Palette = 1,
  Luminance = 2,
  BumpMap = 3,
  Depth = 4,
};

// Our own 16-bit-per-channel formats. The image readers produce them; they never reach a device.
constexpr uint32_t FMT_L16 = MAKEFOURCC(' ', 'L', '1', '6');
constexpr uint32_t FMT_A16L16 = MAKEFOURCC('A', 'L', '1', '6');
constexpr uint32_t FMT_R16G16B16 = MAKEFOURCC(' ', 'R', '1', '6');
constexpr uint32_t FMT_A16R16G16B16 = MAKEFOURCC('A', 'R', '1', '6');

// Channel widths by kind:
//   Rgb:       [0] 0, [1] alpha, [2] red, [3] green, [4] blue
//   Palette:   [0] 0, [1] alpha, [2..4] red/green/blue of the palette entries
//   Luminance: [0] 0, [1] alpha, [2..4] luminance
//   BumpMap:   [0] luminance or alpha beside the signed channels, [1] Q, [2] W, [3] V, [4] U
//   Depth:     [0] 1 for the lockable 16-bit format, [1] 0, [2] 0, [3] stencil, [4] depth
struct FormatInfo {
  uint32_t format;
  uint32_t kind;          // FormatKind
  uint32_t bitsPerPixel;  // 16 for the DXT formats
  uint32_t channelBits[5];
  uint32_t substitutable;  // 1: the closest-format search may offer it in place of another
};

// Every row, in the fixed order that the closest-format search walks.
std::span<const FormatInfo> FormatTable();

// The row for a format code; the default row (32-bit ARGB, not substitutable) when none matches.
const FormatInfo& GetFormatInfo(uint32_t format);

// The platform format that stands for a format outside the loader: our 16-bit-per-channel
// formats map to their 8-bit counterparts, everything else to itself.
uint32_t NearestExternalFormat(uint32_t format);

}  // namespace vellomir
