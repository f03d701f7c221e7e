// Files, mappings and the wide-to-ANSI conversion.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/api/win32.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vellomir_files_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& content) {
    std::string path = (dir_ / name).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
    }
    return path;
  }

  static HANDLE OpenForReading(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_RANDOM_ACCESS, nullptr);
  }

  fs::path dir_;
};

TEST_F(FilesTest, MapsWholeFileReadOnlyAndViewOutlivesHandles) {
  std::string content = "BM\x01\x02 whole file content";
  std::string path = Write("a.bmp", content);
  HANDLE file = OpenForReading(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  DWORD high = 0xDEAD;
  EXPECT_EQ(GetFileSize(file, &high), content.size());
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(GetFileSize(file, nullptr), content.size());

  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  // The view stays readable after both handles are closed, until it is unmapped.
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(std::memcmp(view, content.data(), content.size()), 0);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  // A closed handle is no longer valid.
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
}

TEST_F(FilesTest, EmptyFileOpensButCannotBeMapped) {
  std::string path = Write("empty.dds", "");
  HANDLE file = OpenForReading(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 0u);
  EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FilesTest, OpenFailuresReportPlatformErrors) {
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {(dir_ / "missing.bmp").string(), ERROR_FILE_NOT_FOUND},
      {dir_.string(), ERROR_ACCESS_DENIED},  // a directory is not a readable file
      {"", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(OpenForReading(c.path), INVALID_HANDLE_VALUE) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, CreationDispositions) {
  std::string existing = Write("existing.bin", "12345");
  std::string fresh = (dir_ / "fresh.bin").string();
  struct Case {
    const std::string* path;
    DWORD access;
    DWORD disposition;
    DWORD error;  // ERROR_SUCCESS: opens
    DWORD sizeAfter;
  } cases[] = {
      {&existing, GENERIC_READ, OPEN_EXISTING, ERROR_SUCCESS, 5},
      {&existing, GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS, 5},
      {&existing, GENERIC_READ, OPEN_ALWAYS, ERROR_SUCCESS, 5},
      {&existing, GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER, 5},
      {&existing, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, ERROR_SUCCESS, 0},
      {&fresh, GENERIC_READ, 0, ERROR_INVALID_PARAMETER, 0},
      {&fresh, GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, 0},
      {&fresh, GENERIC_WRITE, CREATE_NEW, ERROR_SUCCESS, 0},
  };
  for (const Case& c : cases) {
    HANDLE file = CreateFileA(c.path->c_str(), c.access, 0, nullptr, c.disposition, 0, nullptr);
    EXPECT_EQ(GetLastError(), c.error) << *c.path << " " << c.disposition;
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.error == ERROR_SUCCESS);
    if (file != INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetFileSize(file, nullptr), c.sizeAfter) << *c.path << " " << c.disposition;
      CloseHandle(file);
    }
  }
}

TEST_F(FilesTest, BackslashesSeparateDirectories) {
  fs::create_directories(dir_ / "texture");
  Write("texture/t.bmp", "xyz");
  std::string name = dir_.string() + "\\texture\\t.bmp";
  HANDLE file = OpenForReading(name);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), 3u);
  CloseHandle(file);
}

TEST_F(FilesTest, ViewsRespectSizeAndAlignment) {
  std::string content(70000, 'x');
  content[65536] = 'y';
  std::string path = Write("big.bin", content);
  HANDLE file = OpenForReading(path);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  // Offsets must be whole granules of 64 KiB; a view may not reach past the end.
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MAPPED_ALIGNMENT);
  EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 70001), nullptr);
  const char* tail = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 0));
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(tail[0], 'y');
  EXPECT_TRUE(UnmapViewOfFile(tail + 10));  // any address inside the view names it
  // A mapping larger than a read-only file cannot be made.
  EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 70001, nullptr), nullptr);
  CloseHandle(mapping);
  CloseHandle(file);
}

TEST_F(FilesTest, WideNamesOpenTheSameFile) {
  // "テクスチャ.bmp" and a name with a character outside the basic plane, as UTF-16.
  std::string path1 = Write("\xE3\x83\x86\xE3\x82\xAF\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.bmp", "1");
  std::string path2 = Write("\xF0\x9F\x8E\xAE.bmp", "22");
  std::wstring dir;
  for (char c : dir_.string()) dir += static_cast<wchar_t>(static_cast<unsigned char>(c));
  std::wstring name1 = dir + L"/" + std::wstring{0x30C6, 0x30AF, 0x30B9, 0x30C1, 0x30E3} + L".bmp";
  std::wstring name2 = dir + L"/" + std::wstring{0xD83C, 0xDFAE} + L".bmp";
  const std::pair<std::wstring, DWORD> cases[] = {{name1, 1}, {name2, 2}};
  for (const auto& [name, size] : cases) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_RANDOM_ACCESS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), size);
    CloseHandle(file);
  }
  // A lone surrogate names no file.
  std::wstring broken = dir + L"/" + std::wstring{0xD83C} + L".bmp";
  EXPECT_EQ(CreateFileW(broken.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

TEST(WideCharToMultiByteTest, LengthQueryThenConversion) {
  const wchar_t wide[] = {L'a', 0x00E9, 0x30C6, 0xD83C, 0xDFAE, 0};
  const char expected[] = "a\xC3\xA9\xE3\x83\x86\xF0\x9F\x8E\xAE";  // 1 + 2 + 3 + 4 bytes + NUL
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(length, 11);
  char buffer[11];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, length, nullptr, nullptr), 11);
  EXPECT_STREQ(buffer, expected);
  // An explicit count converts exactly that many units, without a terminator.
  char two[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, 2, two, 8, nullptr, nullptr), 3);
  EXPECT_STREQ(two, "a\xC3\xA9");
}

TEST(WideCharToMultiByteTest, ErrorsAndReplacements) {
  const wchar_t wide[] = {L'a', L'b', L'c', 0};
  char small[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, small, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, nullptr, -1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 0, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, wide, -1, nullptr, 0, nullptr, nullptr), 0);

  // A lone surrogate becomes the default character, and the caller is told.
  const wchar_t lone[] = {L'x', 0xDC00, 0};
  char out[8];
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, -1, out, 8, "#", &used), 3);
  EXPECT_STREQ(out, "x#");
  EXPECT_TRUE(used);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, out, 8, nullptr, &used), 4);
  EXPECT_FALSE(used);
}

}  // namespace
