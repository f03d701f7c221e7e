// Processor detection, the registry switches and the one-time table fill.
#include <gtest/gtest.h>

#include <cstring>

#include "math/dispatch.h"
#include "math/testing.h"
#include "math_expect.h"
#include "platform/api/win32.h"
#include "platform/runtime/win32/testing.h"

namespace vellomir {
namespace {

namespace pt = platform::testing;
using math_testing::InstalledMathSets;
using math_testing::kMathSet3DNow;
using math_testing::kMathSetExtended3DNow;
using math_testing::kMathSetSse;
using math_testing::kMathSetSse2;
using math_testing::kMathSetX86Subset;

constexpr uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr uint32_t k3DNow = 1u << 31, k3DNowExt = 1u << 30, kMmxExt = 1u << 22;

// A scripted processor: the answers of cpuid leaves 0, 1, 0x80000000 and 0x80000001.
struct FakeCpu {
  uint32_t maxLeaf = 1;
  uint32_t edx1 = 0;
  uint32_t maxExtendedLeaf = 0x80000001u;
  uint32_t extendedEdx1 = 0;

  void Install() const {
    const FakeCpu cpu = *this;
    pt::SetCpuId([cpu](int regs[4], int leaf) {
      regs[0] = regs[1] = regs[2] = regs[3] = 0;
      switch (static_cast<uint32_t>(leaf)) {
        case 0: regs[0] = static_cast<int>(cpu.maxLeaf); break;
        case 1: regs[3] = static_cast<int>(cpu.edx1); break;
        case 0x80000000u: regs[0] = static_cast<int>(cpu.maxExtendedLeaf); break;
        case 0x80000001u: regs[3] = static_cast<int>(cpu.extendedEdx1); break;
        default: break;
      }
    });
  }
};

const char kKey[] = "Software\\Direct3D";

class MathDispatch : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    pt::ResetAll();
    math_testing::ResetMathDispatch();
  }

  // A Windows NT system whose IsProcessorFeaturePresent reports the given features.
  static void Processor(bool sse, bool threeDNow, const FakeCpu& cpu) {
    pt::SetVersion(VER_PLATFORM_WIN32_NT, 5, 1, 2600);
    pt::SetProcessorFeature(PF_XMMI_INSTRUCTIONS_AVAILABLE, sse);
    pt::SetProcessorFeature(PF_3DNOW_INSTRUCTIONS_AVAILABLE, threeDNow);
    pt::SetProcessorFeature(PF_XMMI64_INSTRUCTIONS_AVAILABLE, false);
    cpu.Install();
  }
};

bool SameTable(const MathDispatchTable& a, const MathDispatchTable& b) {
  return std::memcmp(&a, &b, sizeof(MathDispatchTable)) == 0;
}

TEST_F(MathDispatch, FirstCallFillsTableAndProceeds) {
  Processor(false, false, {});
  EXPECT_EQ(MathDispatchState, 0xFFFFu);
  EXPECT_TRUE(SameTable(g_mathDispatchTable, math_testing::FirstUseMathTable()));
  // Every slot starts with its own forwarder, LogQuaternion and ExpQuaternion included.
  const auto* slots = reinterpret_cast<void (*const*)()>(&g_mathDispatchTable);
  const auto* portable = reinterpret_cast<void (*const*)()>(&math_testing::PortableMathTable());
  for (int k = 0; k < kMathDispatchSlotCount; ++k) {
    EXPECT_NE(slots[k], nullptr) << k;
    EXPECT_NE(slots[k], portable[k]) << k;
  }

  const Vec3 v = {3, 0, 4};
  Vec3 r;
  EXPECT_EQ(NormalizeVec3(&r, &v), &r);
  test::ExpectNear(r, Vec3{0.6f, 0, 0.8f});
  EXPECT_EQ(MathDispatchState, 0u);
  EXPECT_TRUE(SameTable(g_mathDispatchTable, math_testing::PortableMathTable()));
  EXPECT_EQ(InstalledMathSets(), kMathSetX86Subset);
}

TEST_F(MathDispatch, ForwardersOfRarelyUsedSlotsAlsoFill) {
  Processor(true, false, {});
  const Quaternion q = {1, 2, 3, 1};
  Quaternion r;
  LogQuaternion(&r, &q);  // slot 55, otherwise reached only through SetupSquad
  EXPECT_TRUE(test::SameBits(r, Quaternion{1, 2, 3, 0}));
  EXPECT_EQ(MathDispatchState, 3u);
}

TEST_F(MathDispatch, ChoosesTheSetForTheProcessor) {
  struct Case {
    const char* name;
    bool sse, threeDNow;
    FakeCpu cpu;
    uint32_t state, sets;
  } cases[] = {
      {"nothing", false, false, {}, 0, kMathSetX86Subset},
      {"sse", true, false, {1, kMmx | kSse}, 3, kMathSetX86Subset | kMathSetSse},
      // On NT, SSE2 is read from cpuid, not from the system.
      {"sse2", true, false, {1, kMmx | kSse | kSse2}, 2, kMathSetX86Subset | kMathSetSse2},
      {"3dnow beats sse2",
       true,
       true,
       {1, kMmx | kSse | kSse2, 0x80000001u, k3DNow},
       1,
       kMathSetX86Subset | kMathSet3DNow},
      {"extended 3dnow",
       false,
       true,
       {1, kMmx, 0x80000001u, k3DNow | k3DNowExt | kMmxExt},
       1,
       kMathSetX86Subset | kMathSet3DNow | kMathSetExtended3DNow},
      {"extended 3dnow without extended mmx",
       false,
       true,
       {1, kMmx, 0x80000001u, k3DNow | k3DNowExt},
       1,
       kMathSetX86Subset | kMathSet3DNow},
      // The system reports 3DNow! but the processor does not confirm it (or lacks MMX): the
      // state still says 3DNow!, nothing beyond the x86 subset is installed.
      {"3dnow unconfirmed", false, true, {1, kMmx, 0x80000001u, 0}, 1, kMathSetX86Subset},
      {"3dnow without mmx", false, true, {1, 0, 0x80000001u, k3DNow}, 1, kMathSetX86Subset},
      {"no extended leaves", false, true, {1, kMmx, 0x80000000u, k3DNow}, 1, kMathSetX86Subset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    Processor(c.sse, c.threeDNow, c.cpu);
    EXPECT_EQ(FillMathDispatchTable(), c.state);
    EXPECT_EQ(MathDispatchState, c.state);
    EXPECT_EQ(InstalledMathSets(), c.sets);
    EXPECT_TRUE(SameTable(g_mathDispatchTable, math_testing::PortableMathTable()));
  }
}

TEST_F(MathDispatch, RegistrySwitches) {
  auto dword = [](uint32_t v) {
    return std::vector<BYTE>{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
  };
  struct Value {
    const char* name;
    DWORD type;
    uint32_t value;
  };
  struct Case {
    const char* name;
    std::vector<Value> values;
    uint32_t state;
  } cases[] = {
      {"no values", {}, 3},
      {"DisablePSGP 1", {{"DisablePSGP", REG_DWORD, 1}}, 0},
      {"DisablePSGP 2 does not disable", {{"DisablePSGP", REG_DWORD, 2}}, 3},
      {"DisablePSGP 0", {{"DisablePSGP", REG_DWORD, 0}}, 3},
      {"DisableQuenlyPSGP 0 overrides",
       {{"DisablePSGP", REG_DWORD, 1}, {"DisableQuenlyPSGP", REG_DWORD, 0}},
       3},
      {"DisableQuenlyPSGP 1 alone", {{"DisableQuenlyPSGP", REG_DWORD, 1}}, 0},
      {"DisableQuenlyPSGP 1 over 0",
       {{"DisablePSGP", REG_DWORD, 0}, {"DisableQuenlyPSGP", REG_DWORD, 1}},
       0},
      {"wrong type ignored", {{"DisablePSGP", REG_BINARY, 1}}, 3},
      {"wrong type override ignored",
       {{"DisablePSGP", REG_DWORD, 1}, {"DisableQuenlyPSGP", REG_BINARY, 0}},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    Processor(true, false, {1, kMmx | kSse});
    for (const Value& v : c.values)
      pt::SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, v.name, v.type, dword(v.value));
    EXPECT_EQ(FillMathDispatchTable(), c.state);
    EXPECT_EQ(InstalledMathSets() & ~kMathSetX86Subset, c.state == 3 ? kMathSetSse : 0u);
  }
  // The switch lives under HKEY_LOCAL_MACHINE only.
  Reset();
  Processor(true, false, {1, kMmx | kSse});
  pt::SetRegistryDword(HKEY_CURRENT_USER, kKey, "DisablePSGP", 1);
  EXPECT_EQ(FillMathDispatchTable(), 3u);
}

Vec3* MarkerNormalize(Vec3* out, const Vec3*) {
  *out = {-1, -1, -1};
  return out;
}

TEST_F(MathDispatch, SecondFillKeepsStateAndTable) {
  Processor(true, false, {1, kMmx | kSse});
  ASSERT_EQ(FillMathDispatchTable(), 3u);
  g_mathDispatchTable.normalizeVec3 = &MarkerNormalize;
  // Even a processor change or a new switch is not looked at again.
  Processor(false, false, {});
  pt::SetRegistryDword(HKEY_LOCAL_MACHINE, kKey, "DisablePSGP", 1);
  EXPECT_EQ(FillMathDispatchTable(), 3u);
  EXPECT_EQ(g_mathDispatchTable.normalizeVec3, &MarkerNormalize);
  const Vec3 v = {1, 0, 0};
  Vec3 r;
  NormalizeVec3(&r, &v);
  EXPECT_EQ(r.x, -1.0f);  // public calls go through the table
}

TEST_F(MathDispatch, ReadDirect3DSwitch) {
  DWORD value = 0;
  EXPECT_EQ(ReadDirect3DSwitch(REG_DWORD, "DisableMMX", &value, 4), 0);  // no key
  pt::SetRegistryDword(HKEY_LOCAL_MACHINE, kKey, "DisableMMX", 7);
  EXPECT_EQ(ReadDirect3DSwitch(REG_DWORD, "DisableMMX", &value, 4), 1);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(ReadDirect3DSwitch(REG_DWORD, "Missing", &value, 4), 0);
  EXPECT_EQ(ReadDirect3DSwitch(REG_SZ, "DisableMMX", &value, 4), 0);  // type differs
}

TEST_F(MathDispatch, FeatureAnswersOnWindowsNt) {
  // SSE and 3DNow! come from the system; SSE2 from cpuid leaf 1 EDX bit 26.
  pt::SetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195);
  pt::SetProcessorFeature(PF_XMMI_INSTRUCTIONS_AVAILABLE, false);
  pt::SetProcessorFeature(PF_3DNOW_INSTRUCTIONS_AVAILABLE, true);
  pt::SetProcessorFeature(PF_XMMI64_INSTRUCTIONS_AVAILABLE, false);
  FakeCpu{1, kSse | kSse2, 0x80000001u, 0}.Install();
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI_INSTRUCTIONS_AVAILABLE), 0);
  EXPECT_NE(IsProcessorFeatureAvailable(PF_3DNOW_INSTRUCTIONS_AVAILABLE), 0);
  EXPECT_NE(IsProcessorFeatureAvailable(PF_XMMI64_INSTRUCTIONS_AVAILABLE), 0);
  // A maximum leaf of 0 (or no cpuid at all) answers 0.
  FakeCpu{0, kSse | kSse2}.Install();
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI64_INSTRUCTIONS_AVAILABLE), 0);
  // A failing GetVersionExA, or an unknown platform, answers 0 for everything.
  FakeCpu{1, kSse | kSse2, 0x80000001u, k3DNow}.Install();
  pt::SetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195, /*fail=*/true);
  for (DWORD f : {PF_XMMI_INSTRUCTIONS_AVAILABLE, PF_3DNOW_INSTRUCTIONS_AVAILABLE,
                  PF_XMMI64_INSTRUCTIONS_AVAILABLE}) {
    EXPECT_EQ(IsProcessorFeatureAvailable(f), 0) << f;
  }
  pt::SetVersion(VER_PLATFORM_WIN32s, 5, 0, 2195);
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_3DNOW_INSTRUCTIONS_AVAILABLE), 0);
  // With the version failing, the fill keeps the portable set.
  pt::SetVersion(VER_PLATFORM_WIN32_NT, 5, 0, 2195, /*fail=*/true);
  EXPECT_EQ(FillMathDispatchTable(), 0u);
}

TEST_F(MathDispatch, FeatureAnswersOnWindows95Family) {
  struct Case {
    DWORD major, minor, build;
    bool savesSse;
  } cases[] = {
      {4, 0, 950, false},         {4, 10, 1372, false}, {4, 10, 1373, true},
      {4, 90, 3000, true},        {5, 0, 0, true},      {4, 3, 5000, false},
      {4, 10, 0x040A055D, true},   // build 1373 in the low 16 bits, version in the high ones
      {4, 10, 0x00010064, false},  // low 16 bits are 100
  };
  FakeCpu{1, kMmx | kSse | kSse2, 0x80000001u, k3DNow}.Install();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.major << "." << c.minor << " build " << c.build);
    pt::SetVersion(VER_PLATFORM_WIN32_WINDOWS, c.major, c.minor, c.build);
    EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0, c.savesSse);
    EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0, c.savesSse);
    // 3DNow! needs no saved SSE state; other features are never reported.
    EXPECT_NE(IsProcessorFeatureAvailable(PF_3DNOW_INSTRUCTIONS_AVAILABLE), 0);
    EXPECT_EQ(IsProcessorFeatureAvailable(PF_MMX_INSTRUCTIONS_AVAILABLE), 0);
  }
  // The cpuid bits themselves decide, and the extended leaf must exist.
  pt::SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000);
  FakeCpu{1, kMmx | kSse, 0x80000000u, k3DNow}.Install();
  EXPECT_NE(IsProcessorFeatureAvailable(PF_XMMI_INSTRUCTIONS_AVAILABLE), 0);
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI64_INSTRUCTIONS_AVAILABLE), 0);
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_3DNOW_INSTRUCTIONS_AVAILABLE), 0);
  FakeCpu{0, kMmx | kSse | kSse2}.Install();
  EXPECT_EQ(IsProcessorFeatureAvailable(PF_XMMI_INSTRUCTIONS_AVAILABLE), 0);
  // The fill reaches the SSE set through this branch too.
  FakeCpu{1, kMmx | kSse}.Install();
  EXPECT_EQ(FillMathDispatchTable(), 3u);
}

TEST_F(MathDispatch, MmxAnswer) {
  FakeCpu{1, kMmx}.Install();
  EXPECT_EQ(IsMmxEnabled(), 1);
  // Computed once: a later processor answer is not asked for.
  FakeCpu{1, 0}.Install();
  EXPECT_EQ(IsMmxEnabled(), 1);
  // A wrong-typed or zero "DisableMMX" does not disable; a non-zero one does, even after a 1.
  pt::SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, "DisableMMX", REG_BINARY, {1, 0, 0, 0});
  EXPECT_EQ(IsMmxEnabled(), 1);
  pt::SetRegistryDword(HKEY_LOCAL_MACHINE, kKey, "DisableMMX", 0);
  EXPECT_EQ(IsMmxEnabled(), 1);
  pt::SetRegistryDword(HKEY_LOCAL_MACHINE, kKey, "DisableMMX", 2);
  EXPECT_EQ(IsMmxEnabled(), 0);

  for (const FakeCpu& cpu : {FakeCpu{1, 0}, FakeCpu{0, kMmx}}) {
    Reset();
    cpu.Install();
    EXPECT_EQ(IsMmxEnabled(), 0);
  }
}

}  // namespace
}  // namespace vellomir
