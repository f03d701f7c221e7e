#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "image_builders.h"
#include "platform/runtime/win32/modules.h"
#include "texture/mapped_file.h"

namespace vellomir::test {
namespace {

TEST(ReadImageFile, BmpSignatureWithShortFileFallsThroughToEveryReader) {
  // "BM" and a file size larger than the data: the BMP reader refuses, nobody else accepts.
  Bytes file = {'B', 'M', 0xFF, 0xFF, 0, 0};
  file.resize(64, 0);
  LoadedImage image;
  EXPECT_EQ(Read(image, file), TEXERR_INVALIDDATA);
  EXPECT_EQ(image.bits, nullptr);

  LoadedImage empty;
  EXPECT_EQ(ReadImageFile(&empty, nullptr, 0, nullptr), TEXERR_INVALIDDATA);
}

TEST(ReadImageFile, BareDibIsReadLast) {
  DibSpec s;
  s.width = 2;
  s.height = 2;
  s.bitCount = 32;
  s.pixels.resize(16, 7);
  const Bytes file = DibFile(s);
  LoadedImage image;
  ImageInfo info;
  ASSERT_EQ(Read(image, file, &info), D3D_OK);
  EXPECT_EQ(info.fileFormat, Dib);
  EXPECT_EQ(image.fileFormat, Dib);
  EXPECT_EQ(info.format, uint32_t{D3DFMT_X8R8G8B8});
  EXPECT_EQ(info.resourceType, uint32_t{D3DRTYPE_TEXTURE});
  EXPECT_EQ(info.mipLevels, 1u);
  EXPECT_EQ(info.depth, 1u);
  const D3DBOX expected = {0, 0, 2, 2, 0, 1};
  EXPECT_EQ(0, std::memcmp(&image.region, &expected, sizeof(expected)));
}

TEST(ReadImageFile, FailedAttemptsLeaveNothingBehind) {
  // A colour-mapped TGA whose pixels are missing: the reader builds a palette and declines;
  // the image handed back must hold nothing of it (and the sanitizer build sees no leak).
  TgaSpec s;
  s.colourMapType = 1;
  s.imageType = 9;
  s.pixelDepth = 8;
  s.entrySize = 24;
  s.mapLength = 2;
  s.map.resize(6, 1);
  s.width = 8;
  s.pixels = {0x80};  // a run packet without its value
  const Bytes file = TgaFile(s);
  LoadedImage image;
  EXPECT_EQ(Read(image, file), TEXERR_INVALIDDATA);
  EXPECT_EQ(image.bits, nullptr);
  EXPECT_EQ(image.palette, nullptr);
  EXPECT_EQ(image.ownsPalette, 0u);
  EXPECT_EQ(image.nextLevel, nullptr);
  EXPECT_EQ(image.nextFace, nullptr);

  // A cube whose last face is short: five faces were linked before the refusal.
  DdsSpec cube;
  cube.width = cube.height = 2;
  cube.mipCount = 2;
  cube.caps2 = 0xFE00;
  Bytes dds = DdsHeader(cube);
  dds.resize(dds.size() + 6 * 20 - 1, 0);
  LoadedImage comb;
  EXPECT_EQ(Read(comb, dds), TEXERR_INVALIDDATA);
  EXPECT_EQ(comb.nextFace, nullptr);
  EXPECT_EQ(comb.nextLevel, nullptr);
}

std::filesystem::path TempFile(const char* name, const Bytes& content) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  return path;
}

TEST(MappedFile, OpenMapsTheWholeFile) {
  const Bytes content = FromString("P3 1 1 255 1 2 3");
  const auto path = TempFile("vellomir_mapped_file_test.ppm", content);
  MappedFile file;
  EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
  ASSERT_EQ(file.Open(path.c_str(), 0), D3D_OK);
  ASSERT_NE(file.view, nullptr);
  ASSERT_EQ(file.size, content.size());
  EXPECT_EQ(0, std::memcmp(file.view, content.data(), content.size()));
  LoadedImage image;
  EXPECT_EQ(ReadImageFile(&image, file.view, file.size, nullptr), D3D_OK);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.view, nullptr);
  EXPECT_EQ(file.size, 0u);
  EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(file.mapping, INVALID_HANDLE_VALUE);

  const std::wstring wide(path.native().begin(), path.native().end());
  MappedFile wideFile;
  ASSERT_EQ(wideFile.Open(wide.c_str(), 1), D3D_OK);
  EXPECT_EQ(wideFile.size, content.size());
  std::filesystem::remove(path);
}

TEST(MappedFile, Failures) {
  MappedFile file;
  EXPECT_EQ(file.Open(nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(file.Open("/nonexistent/vellomir/none.bmp", 0), TEXERR_INVALIDDATA);
  file.Close();
  const auto empty = TempFile("vellomir_mapped_file_empty.bmp", {});
  MappedFile emptyFile;
  EXPECT_EQ(emptyFile.Open(empty.c_str(), 0), TEXERR_INVALIDDATA);
  emptyFile.Close();
  std::filesystem::remove(empty);
}

std::vector<BOOL>& MuteCalls() {
  static std::vector<BOOL> calls;
  return calls;
}
void RecordMute(BOOL mute) { MuteCalls().push_back(mute); }

TEST(MuteDebugOutput, DoesNothingUntilARuntimeIsLoadedThenCallsIt) {
  // Runs once per process: the export, once found, is kept.
  ASSERT_EQ(GetModuleHandleA("d3d8.dll"), nullptr);
  MuteDebugOutput(1);
  MuteDebugOutput(0);
  EXPECT_EQ(GetModuleHandleA("d3d8.dll"), nullptr);  // not loaded by the lookup
  EXPECT_EQ(GetModuleHandleA("d3d8d.dll"), nullptr);

  platform::RegisterModule("d3d8.dll", {{"DebugSetMute", platform::ExportAddress(RecordMute)}});
  MuteDebugOutput(1);
  MuteDebugOutput(0);
  EXPECT_EQ(MuteCalls(), (std::vector<BOOL>{1, 0}));
}

}  // namespace
}  // namespace vellomir::test
