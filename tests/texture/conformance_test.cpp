// The third-party suites: every good file decodes to the expected picture, every corrupt one is
// refused or decoded partially, never read out of bounds.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "image_builders.h"
#include "pixel/format_table.h"

namespace vellomir::test {
namespace {

namespace fs = std::filesystem;

const fs::path kTestData = VELLOMIR_TESTDATA_DIR;

Bytes Load(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> Files(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == extension) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

struct Rgba {
  int r, g, b, a;
};

// One pixel of a decoded image as 8-bit RGBA, by the formats the readers produce.
Rgba PixelAt(const LoadedImage& image, uint32_t x, uint32_t y) {
  const uint8_t* row = image.bits + uint64_t{y} * image.rowPitch;
  auto u16 = [](const uint8_t* p) { return p[0] | (p[1] << 8); };
  switch (image.format) {
    case D3DFMT_P8: {
      const PALETTEENTRY e = image.palette[row[x]];
      return {e.peRed, e.peGreen, e.peBlue, e.peFlags};
    }
    case D3DFMT_L8: return {row[x], row[x], row[x], 255};
    case D3DFMT_A8L8: return {row[2 * x], row[2 * x], row[2 * x], row[2 * x + 1]};
    case FMT_L16: { int v = row[2 * x + 1]; return {v, v, v, 255}; }
    case FMT_A16L16: { int v = row[4 * x + 1]; return {v, v, v, row[4 * x + 3]}; }
    case D3DFMT_X8R8G8B8: { const uint8_t* p = row + 4 * x; return {p[2], p[1], p[0], 255}; }
    case D3DFMT_A8R8G8B8: { const uint8_t* p = row + 4 * x; return {p[2], p[1], p[0], p[3]}; }
    case D3DFMT_R8G8B8: { const uint8_t* p = row + 3 * x; return {p[2], p[1], p[0], 255}; }
    case FMT_R16G16B16: { const uint8_t* p = row + 6 * x; return {p[5], p[3], p[1], 255}; }
    case FMT_A16R16G16B16: { const uint8_t* p = row + 8 * x; return {p[5], p[3], p[1], p[7]}; }
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
      const int v = u16(row + 2 * x);
      auto w = [](int c) { return (c << 3) | (c >> 2); };
      return {w((v >> 10) & 31), w((v >> 5) & 31), w(v & 31),
              image.format == D3DFMT_A1R5G5B5 ? ((v & 0x8000) ? 255 : 0) : 255};
    }
    case D3DFMT_R5G6B5: {
      const int v = u16(row + 2 * x);
      return {((v >> 11) << 3) | (v >> 13), (((v >> 5) & 63) << 2) | (((v >> 5) & 63) >> 4),
              ((v & 31) << 3) | ((v & 31) >> 2), 255};
    }
    default: {
      ADD_FAILURE() << "no test decoding for format " << image.format;
      return {0, 0, 0, 0};
    }
  }
}

bool HasChunk(const Bytes& file, const char* name) {
  return std::search(file.begin(), file.end(), name, name + 4) != file.end();
}

TEST(Conformance, PngSuiteMatchesLibpngsOwnDecode) {
  const auto files = Files(kTestData / "pngsuite", ".png");
  if (files.empty()) GTEST_SKIP() << "no PNG suite under " << kTestData;
  int checked = 0;
  std::vector<std::string> refused;
  for (const fs::path& path : files) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    const Bytes file = Load(path);
    LoadedImage image;
    const HRESULT hr = Read(image, file);

    // The simplified API of the installed libpng decodes the interlaced 16-bit files with a
    // gamma chunk differently from the same pictures stored progressively (its own decodes
    // disagree); those are checked against the reference of their progressive twin.
    const bool interlaced16 = file.size() > 28 && file[24] == 16 && file[28] == 1;
    const Bytes referenceFile =
        interlaced16 ? Load(path.parent_path() / ("basn" + name.substr(4))) : file;
    png_image reference = {};
    reference.version = PNG_IMAGE_VERSION;
    Bytes expected;
    bool referenceOk = png_image_begin_read_from_memory(&reference, referenceFile.data(),
                                                        referenceFile.size());
    if (referenceOk) {
      reference.format = PNG_FORMAT_RGBA;
      expected.resize(PNG_IMAGE_SIZE(reference));
      referenceOk = png_image_finish_read(&reference, nullptr, expected.data(), 0, nullptr);
    }
    png_image_free(&reference);

    if (name[0] == 'x') {  // the suite's corrupt files
      EXPECT_NE(hr, D3D_OK);
      if (hr != D3D_OK) refused.push_back(name);
      continue;
    }
    if (hr != D3D_OK) {
      refused.push_back(name);
      ADD_FAILURE() << "refused";
      continue;
    }
    ASSERT_TRUE(referenceOk) << reference.message;
    EXPECT_EQ(image.fileFormat, Png);
    ASSERT_EQ(image.width, reference.width);
    ASSERT_EQ(image.height, reference.height);
    // Gamma chunks are applied for a 2.2 screen here and for sRGB by the reference, so the
    // two may differ a little in the dark tones; without one they must agree exactly (16-bit
    // samples are compared by their high byte against the reference's rounding).
    const bool gammaCorrected = HasChunk(file, "gAMA") && !HasChunk(file, "sRGB");
    const bool sixteen = file[24] == 16;
    const int tolerance = gammaCorrected ? 12 : sixteen ? 1 : 0;
    int worst = 0;
    for (uint32_t y = 0; y < image.height; ++y) {
      for (uint32_t x = 0; x < image.width; ++x) {
        const Rgba got = PixelAt(image, x, y);
        const uint8_t* want = &expected[(uint64_t{y} * image.width + x) * 4];
        if (want[3] == 0 && got.a == 0) continue;  // colour under full transparency is free
        worst = std::max({worst, std::abs(got.r - want[0]), std::abs(got.g - want[1]),
                          std::abs(got.b - want[2]), std::abs(got.a - want[3])});
      }
    }
    EXPECT_LE(worst, tolerance);
    ++checked;
  }
  EXPECT_GT(checked, 100);
  std::string list;
  for (const auto& n : refused) list += n + " ";
  RecordProperty("refused", list);
  std::printf("[          ] PNG suite: %d matched, refused: %s\n", checked, list.c_str());
}

// libpng's plain RGBA decode of a PNG file; empty when it cannot be read.
Bytes DecodeRgbaWithLibpng(const Bytes& file, uint32_t* width, uint32_t* height) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  Bytes rgba;
  if (png_image_begin_read_from_memory(&image, file.data(), file.size())) {
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) rgba.clear();
    *width = image.width;
    *height = image.height;
  }
  png_image_free(&image);
  return rgba;
}

// The suite renders each bitmap as a PNG beside it; variants without their own rendering show
// the picture of their family.
fs::path RenderingFor(const fs::path& html, const std::string& stem) {
  if (fs::exists(html / (stem + ".png"))) return html / (stem + ".png");
  if (fs::exists(html / (stem + "-e.png"))) return html / (stem + "-e.png");  // pixels as stored
  for (const char* family : {"pal1", "pal4", "pal8", "rgb16-565", "rgb16"})
    if (stem.rfind(family, 0) == 0 && fs::exists(html / (std::string(family) + ".png")))
      return html / (std::string(family) + ".png");
  return html / "rgb24.png";
}

TEST(Conformance, BmpSuiteGoodFilesMatchTheirPicture) {
  const fs::path good = kTestData / "bmpsuite" / "g";
  const fs::path html = kTestData / "bmpsuite" / "html";
  const auto files = Files(good, ".bmp");
  if (files.empty()) GTEST_SKIP() << "no BMP suite under " << kTestData;
  const Bytes trueColourFile = Load(good / "rgb24.bmp");
  LoadedImage trueColour;
  ASSERT_EQ(Read(trueColour, trueColourFile), D3D_OK);

  int matched = 0;
  std::vector<std::string> refused;
  for (const fs::path& path : files) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    const Bytes file = Load(path);
    LoadedImage image;
    if (Read(image, file) != D3D_OK) {
      refused.push_back(name);
      continue;
    }
    uint32_t width = 0, height = 0;
    const Bytes expected = DecodeRgbaWithLibpng(Load(RenderingFor(html, path.stem().string())),
                                                &width, &height);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    int worst = 0, worstAgainstTrueColour = 0;
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const Rgba a = PixelAt(image, x, y);
        const uint8_t* b = &expected[(uint64_t{y} * width + x) * 4];
        worst = std::max({worst, std::abs(a.r - b[0]), std::abs(a.g - b[1]), std::abs(a.b - b[2])});
        if (width == trueColour.width && height == trueColour.height) {
          const Rgba t = PixelAt(trueColour, x, y);
          worstAgainstTrueColour = std::max(
              {worstAgainstTrueColour, std::abs(a.r - t.r), std::abs(a.g - t.g), std::abs(a.b - t.b)});
        }
      }
    // 5- and 6-bit channels are widened here by bit replication, by the renderer with
    // rounding: they may differ by one level.
    const bool fewBits = image.format == D3DFMT_X1R5G5B5 || image.format == D3DFMT_R5G6B5;
    EXPECT_LE(worst, fewBits ? 1 : 0);
    // Within the precision of the encoding: 5 or 6 bits per channel lose at most 4 levels;
    // 8 bits and more nothing. (Palettes hold a reduced, dithered picture: their rendering
    // above is the check.)
    if (fewBits) {
      EXPECT_LE(worstAgainstTrueColour, 4);
    } else if (image.format != D3DFMT_P8) {
      EXPECT_EQ(worstAgainstTrueColour, 0);
    }
    ++matched;
  }
  std::string list;
  for (const auto& n : refused) list += n + " ";
  std::printf("[          ] BMP suite good: %d matched, refused: %s\n", matched, list.c_str());
  EXPECT_GE(matched, 24);
}

TEST(Conformance, BmpSuiteQuestionableAndBadFilesNeverCrash) {
  std::vector<fs::path> files;
  for (const char* folder : {"q", "b"}) {
    auto more = Files(kTestData / "bmpsuite" / folder, ".bmp");
    files.insert(files.end(), more.begin(), more.end());
  }
  if (files.empty()) GTEST_SKIP() << "no BMP suite under " << kTestData;
  std::string accepted, refused;
  for (const fs::path& path : files) {
    const Bytes file = Load(path);
    LoadedImage image;
    ImageInfo info;
    const std::string name = path.parent_path().filename().string() + "/" + path.filename().string();
    if (Read(image, file, &info) == D3D_OK) {
      accepted += name + " ";
      // Touch the last byte of the picture: out-of-bounds would show under the sanitizers.
      if (image.bits && image.height && image.rowPitch) {
        volatile uint8_t last = image.bits[uint64_t{image.rowPitch} * image.height - 1];
        (void)last;
      }
    } else {
      refused += name + " ";
    }
  }
  std::printf("[          ] BMP suite q/b accepted: %s\n[          ] refused: %s\n", accepted.c_str(),
              refused.c_str());
}

}  // namespace
}  // namespace vellomir::test
