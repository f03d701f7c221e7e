// Formatted output, the registry, the version and processor answers, and the module table.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/api/win32.h"
#include "platform/runtime/win32/modules.h"
#include "platform/runtime/win32/testing.h"

namespace {

namespace t = vellomir::platform::testing;

// --- wsprintfA -------------------------------------------------------------------------------

std::string Format(const char* format, ...) {
  char buffer[1100];
  std::memset(buffer, '!', sizeof buffer);
  va_list args;
  va_start(args, format);
  int n = wvsprintfA(buffer, format, args);
  va_end(args);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buffer));
  return buffer;
}

TEST(WsprintfTest, Conversions) {
  EXPECT_EQ(Format("SCORE %d", 0), "SCORE 0");
  EXPECT_EQ(Format("SCORE %d", 123456), "SCORE 123456");
  EXPECT_EQ(Format("%d|%i", -2147483647 - 1, -5), "-2147483648|-5");
  EXPECT_EQ(Format("%u", 4294967295u), "4294967295");
  EXPECT_EQ(Format("%x %X %#x", 0xBEEFu, 0xBEEFu, 255u), "beef BEEF 0xff");
  EXPECT_EQ(Format("%c%c%%", 'o', 'k'), "ok%");
  EXPECT_EQ(Format("[%s] [%s]", "texture/char.dds", static_cast<const char*>(nullptr)),
            "[texture/char.dds] [(null)]");
  EXPECT_EQ(Format("[%5d][%-5d][%05d][%.3d]", 42, 42, -42, 7), "[   42][42   ][-0042][007]");
  EXPECT_EQ(Format("[%6s][%-6s][%.2s]", "ab", "ab", "abcdef"), "[    ab][ab    ][ab]");
  EXPECT_EQ(Format("%hd %I64d %I64u", 70000, -5000000000LL, 18446744073709551615ULL),
            "4464 -5000000000 18446744073709551615");
  EXPECT_EQ(Format("%S|%ls", L"wide", L"\u00e9"), "wide|\xC3\xA9");
  EXPECT_EQ(Format("%q"), "q");  // unknown conversions print their character
}

TEST(WsprintfTest, OutputStopsAt1024BytesWithTerminator) {
  std::string long_text(2000, 'z');
  char buffer[1100];
  std::memset(buffer, '!', sizeof buffer);
  EXPECT_EQ(wsprintfA(buffer, "%s tail", long_text.c_str()), 1023);
  EXPECT_EQ(buffer[1023], '\0');
  EXPECT_EQ(buffer[1024], '!');  // nothing written past the limit
  // A huge width is cut at the same limit.
  EXPECT_EQ(wsprintfA(buffer, "%99999d", 1), 1023);
}

// --- Registry ------------------------------------------------------------------------------

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { t::ResetAll(); }
  void TearDown() override { t::ResetAll(); }
};

TEST_F(RegistryTest, MissingKeyAndValueAreNotFound) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", &key),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key, nullptr);
  t::SetRegistryDword(HKEY_LOCAL_MACHINE, "Software\\Direct3D", "DisableMMX", 1);
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", &key), 0);
  DWORD type = 0, data = 0, size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "DisablePSGP", nullptr, &type, reinterpret_cast<BYTE*>(&data),
                             &size),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
  // The same path under another root is another key.
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Direct3D", &key),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, ReadsValuesCaseInsensitivelyWithTypeAndSize) {
  t::SetRegistryDword(HKEY_LOCAL_MACHINE, "Software\\Direct3D", "DisablePSGP", 0x01020304);
  t::SetRegistryValue(HKEY_LOCAL_MACHINE, "Software\\Direct3D", "DisableMMX", REG_SZ,
                      {'1', '2', '3', 0});
  HKEY software = nullptr, key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), 0);
  ASSERT_EQ(RegOpenKeyA(software, "direct3d", &key), 0);  // relative to an open key

  DWORD type = 0, value = 0, size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(key, "disablepsgp", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size),
            0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 0x01020304u);

  // A value of another type reads as what it is; a short buffer gets the needed size.
  BYTE small[2];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "DisableMMX", nullptr, &type, small, &size),
            static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "DisableMMX", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(RegQueryValueExA(key, "DisableMMX", nullptr, nullptr, small, nullptr),
            static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
  RegCloseKey(key);
  RegCloseKey(software);

  t::ClearRegistry();
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", &key),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

// --- Version and processor ------------------------------------------------------------------

class ProcessorTest : public RegistryTest {};

TEST_F(ProcessorTest, VersionDefaultsToNt51AndFollowsTheSeam) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 148;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);

  info.dwOSVersionInfoSize = 100;  // a record of the wrong size is refused
  EXPECT_FALSE(GetVersionExA(&info));

  info.dwOSVersionInfoSize = 148;
  t::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(info.dwMinorVersion, 10u);
  EXPECT_EQ(info.dwBuildNumber, 1998u);
  t::SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600, /*fail=*/true);
  EXPECT_FALSE(GetVersionExA(&info));
}

TEST_F(ProcessorTest, FeaturesFollowCpuIdAndOverrides) {
  // A processor with MMX, SSE and SSE2 (leaf 1 EDX bits 23, 25, 26) and 3DNow! (extended leaf
  // 0x80000001 EDX bit 31).
  t::SetCpuId([](int regs[4], int leaf) {
    unsigned l = static_cast<unsigned>(leaf);
    if (l == 0) regs[0] = 1;
    if (l == 1) regs[3] = (1 << 23) | (1 << 25) | (1 << 26);
    if (l == 0x80000000u) regs[0] = static_cast<int>(0x80000001u);
    if (l == 0x80000001u) regs[3] = static_cast<int>(0x80000000u);
  });
  int regs[4];
  CpuId(regs, 1);
  EXPECT_EQ(regs[3], (1 << 23) | (1 << 25) | (1 << 26));
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE));
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE));
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE));
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE));
  EXPECT_FALSE(IsProcessorFeaturePresent(PF_FLOATING_POINT_EMULATED));

  t::SetProcessorFeature(PF_3DNOW_INSTRUCTIONS_AVAILABLE, false);
  EXPECT_FALSE(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE));

  // A processor without cpuid reads zero everywhere.
  t::SetProcessorFeature(PF_XMMI64_INSTRUCTIONS_AVAILABLE, true);
  t::SetCpuId([](int[4], int) {});
  EXPECT_FALSE(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE));
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE));  // overridden
}

#if defined(__x86_64__)
TEST_F(ProcessorTest, RealCpuIdOnThisMachine) {
  int regs[4];
  CpuId(regs, 0);
  EXPECT_GE(regs[0], 1);  // every x86-64 processor has leaf 1
  CpuId(regs, 1);
  EXPECT_NE(regs[3] & (1 << 26), 0);  // and SSE2
  EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE));
  CpuId(regs, 0x7FFFFFFF);  // far beyond the range: zeros
  EXPECT_EQ(regs[0] | regs[1] | regs[2] | regs[3], 0);
}
#endif

// --- Modules --------------------------------------------------------------------------------

int muteCalls = 0;
int lastMute = -1;
void DebugSetMuteStub(int mute) {
  ++muteCalls;
  lastMute = mute;
}

TEST(ModulesTest, RegisteredModulesAreFoundCaseInsensitively) {
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("d3d8test.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA("d3d8test.dll"), nullptr);  // nothing is loaded from disk

  HMODULE registered = vellomir::platform::RegisterModule(
      "D3D8TEST.DLL", {{"DebugSetMute", vellomir::platform::ExportAddress(&DebugSetMuteStub)}});
  ASSERT_NE(registered, nullptr);
  EXPECT_EQ(GetModuleHandleA("d3d8test.dll"), registered);
  EXPECT_EQ(GetModuleHandleA("d3d8test"), registered);  // ".dll" is implied
  EXPECT_EQ(GetModuleHandleA("C:\\Windows\\System32\\D3d8Test.dll"), registered);
  EXPECT_EQ(GetModuleHandleA("d3d8testd.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA("d3d8test.dll"), registered);

  auto mute = vellomir::platform::ProcAs<void(int)>(GetProcAddress(registered, "DebugSetMute"));
  ASSERT_NE(mute, nullptr);
  mute(1);
  EXPECT_EQ(muteCalls, 1);
  EXPECT_EQ(lastMute, 1);
  EXPECT_EQ(GetProcAddress(registered, "debugsetmute"), nullptr);  // export names are exact
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

  EXPECT_TRUE(FreeLibrary(registered));
  EXPECT_EQ(GetModuleHandleA("d3d8test.dll"), registered);  // still linked in
  vellomir::platform::UnregisterModule("d3d8test.dll");
  EXPECT_EQ(GetModuleHandleA("d3d8test.dll"), nullptr);
  EXPECT_EQ(GetProcAddress(registered, "DebugSetMute"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);  // the program itself
}

}  // namespace
