#include <gtest/gtest.h>

#include "image_builders.h"

namespace vellomir::test {
namespace {

struct PpmCase {
  const char* name;
  std::string file;
  std::vector<uint32_t> pixels;  // empty: declined
};

TEST(PpmReader, Cases) {
  const std::string red_blue("\xFF\x00\x00\x00\x00\xFF", 6);
  const PpmCase cases[] = {
      {"P6 line feeds", "P6\n2\n1\n255\n" + red_blue, {0xFFFF0000, 0xFF0000FF}},
      {"P6 spaces", "P6 2 1 255 " + red_blue, {0xFFFF0000, 0xFF0000FF}},
      {"P6 CR LF", "P6 2 1 255\r\n" + red_blue, {0xFFFF0000, 0xFF0000FF}},
      {"P6 comment and tab", "P6#c\n2\t1 # more\n255\n" + red_blue, {0xFFFF0000, 0xFF0000FF}},
      {"P6 maximum 127 scales", std::string("P6 1 1 127 \x7F\x3F\x00", 14), {0xFFFF7E00}},
      {"P6 sample above maximum stays in its channel", "P6 1 1 15 \x10\x0F\xFF", {0xFFFFFFFF}},
      {"P6 last byte missing", "P6 2 1 255\n" + red_blue.substr(0, 5), {}},
      {"P6 maximum 1023", "P6 1 1 1023\n\x01\x02\x03\x04\x05\x06", {}},
      {"P3 comment line", "P3\n# a comment\n1 1\n15\n15 0 7\n", {0xFFFF0077}},
      {"P3 maximum 1023", "P3 1 1 1023 1023 0 511", {0xFFFF007F}},
      {"P3 trailing data ignored", "P3 1 1 255 1 2 3 garbage", {0xFF010203}},
      {"P3 ends without separator", "P3 1 1 255 1 2 3", {0xFF010203}},
      {"P3 comment between samples", "P3 1 1 255 1 #x\n 2 3", {0xFF010203}},
      {"P3 missing sample", "P3 1 1 255 1 2", {}},
      {"P3 comment running to the end", "P3 1 1 255 1 2 #3", {}},
      {"P5 greymap", "P5 1 1 255 \x01", {}},
      {"P1 bitmap", "P1 1 1 1", {}},
      {"width 0", "P6 0 1 255 ", {}},
      {"height 0", "P3 1 0 255 ", {}},
      {"maximum 0", "P3 1 1 0 0 0 0", {}},
      {"letter in a number", "P3 1x 1 255 1 2 3", {}},
      {"letter in a sample", "P3 1 1 255 1 2a 3", {}},
      {"overlong number", "P3 99999999999999999999 1 255 1 2 3", {}},
      {"huge picture", "P6 65535 65535 255 \x01\x02\x03", {}},
      {"magic only", "P6", {}},
  };
  for (const PpmCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = FromString(c.file);
    LoadedImage image;
    const HRESULT hr = ReadPpm(&image, file.data(), static_cast<uint32_t>(file.size()));
    if (c.pixels.empty()) {
      EXPECT_EQ(hr, E_FAIL);
      continue;
    }
    ASSERT_EQ(hr, D3D_OK);
    EXPECT_EQ(image.format, uint32_t{D3DFMT_X8R8G8B8});
    EXPECT_EQ(image.width, c.pixels.size());
    EXPECT_EQ(image.height, 1u);
    EXPECT_EQ(image.rowPitch, 4 * image.width);
    EXPECT_EQ(image.ownsBits, 1u);
    for (uint32_t x = 0; x < image.width; ++x) EXPECT_EQ(Pixel32(image, x, 0), c.pixels[x]) << x;
  }
}

TEST(PpmReader, DispatcherReportsPpm) {
  const Bytes file = FromString("P3 2 2 255 1 2 3 4 5 6 7 8 9 10 11 12");
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.fileFormat, Ppm);
  EXPECT_EQ(info.format, uint32_t{D3DFMT_X8R8G8B8});
  EXPECT_EQ(Pixel32(image, 1, 1), 0xFF0A0B0Cu);
}

}  // namespace
}  // namespace vellomir::test
