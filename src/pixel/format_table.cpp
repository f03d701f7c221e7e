#include "pixel/format_table.h"

#include <array>

namespace vellomir {
namespace {

constexpr std::array<FormatInfo, 43> kFormats = {{
    {D3DFMT_R8G8B8, Rgb, 24, {0, 0, 8, 8, 8}, 0},
    {D3DFMT_A8R8G8B8, Rgb, 32, {0, 8, 8, 8, 8}, 1},
    {D3DFMT_X8R8G8B8, Rgb, 32, {0, 0, 8, 8, 8}, 1},
    {D3DFMT_R5G6B5, Rgb, 16, {0, 0, 5, 6, 5}, 1},
    {D3DFMT_X1R5G5B5, Rgb, 16, {0, 0, 5, 5, 5}, 1},
    {D3DFMT_A8P8, Palette, 16, {0, 8, 8, 8, 8}, 1},
    {D3DFMT_P8, Palette, 8, {0, 8, 8, 8, 8}, 1},
    {D3DFMT_A1R5G5B5, Rgb, 16, {0, 1, 5, 5, 5}, 1},
    {D3DFMT_A4R4G4B4, Rgb, 16, {0, 4, 4, 4, 4}, 1},
    {D3DFMT_R3G3B2, Rgb, 8, {0, 0, 3, 3, 2}, 1},
    {D3DFMT_A8, Rgb, 8, {0, 8, 0, 0, 0}, 1},
    {D3DFMT_A8R3G3B2, Rgb, 16, {0, 8, 3, 3, 2}, 1},
    {D3DFMT_X4R4G4B4, Rgb, 16, {0, 0, 4, 4, 4}, 1},
    {D3DFMT_A2B10G10R10, Rgb, 32, {0, 2, 10, 10, 10}, 1},
    {D3DFMT_G16R16, Rgb, 32, {0, 0, 16, 16, 0}, 1},
    {D3DFMT_L8, Luminance, 8, {0, 0, 8, 8, 8}, 1},
    {D3DFMT_A8L8, Luminance, 16, {0, 8, 8, 8, 8}, 1},
    {D3DFMT_A4L4, Luminance, 8, {0, 4, 4, 4, 4}, 1},
    {D3DFMT_V8U8, BumpMap, 16, {0, 0, 0, 8, 8}, 1},
    {D3DFMT_L6V5U5, BumpMap, 16, {6, 0, 0, 5, 5}, 1},
    {D3DFMT_X8L8V8U8, BumpMap, 32, {8, 0, 0, 8, 8}, 1},
    {D3DFMT_Q8W8V8U8, BumpMap, 32, {0, 8, 8, 8, 8}, 1},
    {D3DFMT_V16U16, BumpMap, 32, {0, 0, 0, 16, 16}, 1},
    {D3DFMT_W11V11U10, BumpMap, 32, {0, 0, 11, 11, 10}, 1},
    {D3DFMT_A2W10V10U10, BumpMap, 32, {2, 0, 10, 10, 10}, 1},
    {D3DFMT_UYVY, Rgb, 16, {0, 0, 8, 8, 8}, 0},
    {D3DFMT_YUY2, Rgb, 16, {0, 0, 8, 8, 8}, 0},
    {D3DFMT_DXT1, Rgb, 16, {0, 1, 5, 6, 5}, 0},
    {D3DFMT_DXT2, Rgb, 16, {0, 4, 5, 6, 5}, 0},
    {D3DFMT_DXT3, Rgb, 16, {0, 4, 5, 6, 5}, 0},
    {D3DFMT_DXT4, Rgb, 16, {0, 8, 5, 6, 5}, 0},
    {D3DFMT_DXT5, Rgb, 16, {0, 8, 5, 6, 5}, 0},
    {D3DFMT_D16_LOCKABLE, Depth, 16, {1, 0, 0, 0, 16}, 1},
    {D3DFMT_D32, Depth, 32, {0, 0, 0, 0, 32}, 1},
    {D3DFMT_D15S1, Depth, 16, {0, 0, 0, 1, 15}, 1},
    {D3DFMT_D24S8, Depth, 32, {0, 0, 0, 8, 24}, 1},
    {D3DFMT_D16, Depth, 16, {0, 0, 0, 0, 16}, 1},
    {D3DFMT_D24X8, Depth, 32, {0, 0, 0, 0, 24}, 1},
    {D3DFMT_D24X4S4, Depth, 32, {0, 0, 0, 4, 24}, 1},
    {FMT_L16, Luminance, 16, {0, 0, 16, 16, 16}, 0},
    {FMT_A16L16, Luminance, 32, {0, 16, 16, 16, 16}, 0},
    {FMT_R16G16B16, Rgb, 48, {0, 0, 16, 16, 16}, 0},
    {FMT_A16R16G16B16, Rgb, 64, {0, 16, 16, 16, 16}, 0},
}};

// Describes an unknown format as 32-bit ARGB with 8 bits per channel.
constexpr FormatInfo kDefaultFormat = {D3DFMT_UNKNOWN, Rgb, 32, {0, 8, 8, 8, 8}, 0};

}  // namespace

std::span<const FormatInfo> FormatTable() { return kFormats; }

const FormatInfo& GetFormatInfo(uint32_t format) {
  for (const FormatInfo& row : kFormats)
    if (row.format == format) return row;
  return kDefaultFormat;
}

uint32_t NearestExternalFormat(uint32_t format) {
  switch (format) {
    case FMT_L16: return D3DFMT_L8;
    case FMT_A16L16: return D3DFMT_A8L8;
    case FMT_R16G16B16: return D3DFMT_R8G8B8;
    case FMT_A16R16G16B16: return D3DFMT_A8R8G8B8;
    default: return format;
  }
}

}  // namespace vellomir
