#include <gtest/gtest.h>

#include <cstdlib>

#include "png_jpeg_support.h"

namespace vellomir::test {
namespace {

HRESULT ReadJpegBytes(LoadedImage& image, const Bytes& file) {
  return ReadJpeg(&image, file.data(), static_cast<uint32_t>(file.size()));
}

Bytes Gradient(uint32_t width, uint32_t height, int components) {
  Bytes samples;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        samples.push_back(static_cast<uint8_t>(x * 8 + y * 6 + c * 40));
  return samples;
}

TEST(JpegReader, GreyIsL8WithUnroundedPitch) {
  const Bytes samples = Gradient(13, 5, 1);
  const Bytes file = EncodeJpeg(13, 5, 1, samples, 100);
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.fileFormat, Jpg);
  EXPECT_EQ(image.format, uint32_t{D3DFMT_L8});
  EXPECT_EQ(image.width, 13u);
  EXPECT_EQ(image.height, 5u);
  EXPECT_EQ(image.rowPitch, 13u);
  for (size_t i = 0; i < samples.size(); ++i) EXPECT_NEAR(image.bits[i], samples[i], 3) << i;
}

TEST(JpegReader, ColourIsX8R8G8B8WithTopByteZero) {
  const Bytes samples = Gradient(9, 7, 3);
  const Bytes file = EncodeJpeg(9, 7, 3, samples, 100);
  LoadedImage image;
  ASSERT_EQ(ReadJpegBytes(image, file), D3D_OK);
  EXPECT_EQ(image.format, uint32_t{D3DFMT_X8R8G8B8});
  EXPECT_EQ(image.rowPitch, 36u);
  for (uint32_t y = 0; y < 7; ++y) {
    for (uint32_t x = 0; x < 9; ++x) {
      const uint32_t pixel = Pixel32(image, x, y);
      const uint8_t* s = &samples[(y * 9 + x) * 3];
      EXPECT_EQ(pixel >> 24, 0u);
      EXPECT_NEAR((pixel >> 16) & 0xFF, s[0], 8);
      EXPECT_NEAR((pixel >> 8) & 0xFF, s[1], 8);
      EXPECT_NEAR(pixel & 0xFF, s[2], 8);
    }
  }
}

TEST(JpegReader, RefusesFourComponentsAndForeignDataSilently) {
  const Bytes cmyk = EncodeJpeg(8, 8, 4, Gradient(8, 8, 4));
  LoadedImage image;
  EXPECT_EQ(ReadJpegBytes(image, cmyk), E_FAIL);

  const Bytes text = FromString("definitely not a JPEG file");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ReadJpegBytes(image, text), E_FAIL);
  const Bytes empty;
  EXPECT_EQ(ReadJpeg(&image, "", 0), E_FAIL);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(JpegReader, TruncatedFilesNeverReadPastTheBlock) {
  const Bytes samples = Gradient(64, 48, 3);
  const Bytes file = EncodeJpeg(64, 48, 3, samples);
  // Every cut either fails or yields a partial picture; under the sanitizers no read may
  // leave the (exactly sized) copy.
  int accepted = 0;
  for (size_t keep = 0; keep < file.size(); keep += 37) {
    const Bytes cut(file.begin(), file.begin() + keep);
    LoadedImage image;
    const HRESULT hr = ReadJpegBytes(image, cut);
    EXPECT_TRUE(hr == D3D_OK || hr == E_FAIL) << keep;
    if (hr == D3D_OK) {
      ++accepted;
      EXPECT_EQ(image.width, 64u);
      EXPECT_EQ(image.height, 48u);
    }
  }
  EXPECT_GT(accepted, 0);  // cuts after the header decode as partial pictures
}

TEST(JpegReader, OversizedHeaderIsRefusedBeforeTheLibraryAllocates) {
  // A small progressive file whose frame header claims 60000 x 60000 pixels: the library
  // would reserve gigabytes of coefficients when decompression starts.
  Bytes file = EncodeJpeg(8, 8, 3, Gradient(8, 8, 3));
  for (size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {  // baseline frame header: make it huge
      file[i + 1] = 0xC2;
      file[i + 5] = file[i + 7] = 0xEA;
      file[i + 6] = file[i + 8] = 0x60;
      break;
    }
  }
  LoadedImage image;
  EXPECT_EQ(ReadJpegBytes(image, file), E_FAIL);
  EXPECT_EQ(image.bits, nullptr);
}

}  // namespace
}  // namespace vellomir::test
