// The dispatch table, its one-time fill, and the processor and registry queries behind it.
#include "math/dispatch.h"

#include <cstddef>
#include <cstring>
#include <iterator>

#include "math/portable.h"
#include "math/testing.h"
#include "platform/api/win32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <mmintrin.h>
#endif

namespace vellomir {

namespace {

// First-use forwarders: fill the table, then call the slot just filled with the same arguments.
#define MATH_SLOT(slot, field, Name, Ret, params, args) \
  Ret FirstUse##Name params {                           \
    FillMathDispatchTable();                            \
    return g_mathDispatchTable.field args;              \
  }
#include "math/slots.inc"
#undef MATH_SLOT

// Slots 55 and 56 start with forwarders as well, so that no slot is ever empty.
constexpr MathDispatchTable kFirstUseTable = {
#define MATH_SLOT(slot, field, Name, Ret, params, args) &FirstUse##Name,
#include "math/slots.inc"
#undef MATH_SLOT
};

// MMX answer: -1 until first asked, then 0 or 1.
int32_t g_mmxAnswer = -1;

// Which variant sets the last fill installed (math_testing::kMathSet... bits).
uint32_t g_installedSets = 0;

using Slot = void (*)();
static_assert(sizeof(Slot) * kMathDispatchSlotCount == sizeof(MathDispatchTable));

// Each field sits at its slot number: the tables are filled by position and copied slot by
// slot, while callers reach them by field name, so a field out of place (several share a
// signature) would route a call to the wrong operation.
#define MATH_SLOT(slot, field, Name, Ret, params, args)                           \
  static_assert(offsetof(MathDispatchTable, field) == (slot) * sizeof(Slot), \
                #field " is not at its slot");
#include "math/slots.inc"
#undef MATH_SLOT

// Copies slot k of src into dst. The table is an array of function pointers in slot order, so
// slot k sits at byte offset k * sizeof(Slot).
void CopySlot(MathDispatchTable* dst, const MathDispatchTable& src, int k) {
  std::memcpy(reinterpret_cast<unsigned char*>(dst) + k * sizeof(Slot),
              reinterpret_cast<const unsigned char*>(&src) + k * sizeof(Slot), sizeof(Slot));
}

template <size_t N>
void InstallSlots(const MathDispatchTable& set, const int (&slots)[N]) {
  for (int k : slots) CopySlot(&g_mathDispatchTable, set, k);
}

// The slots each variant set replaces after the portable copy.
constexpr int kX86SubsetSlots[] = {0, 1, 2, 3, 4, 5, 6, 7};
constexpr int kExtended3DNowSlots[] = {15, 18, 24, 38, 39};
constexpr int kSse2Slots[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 13, 16, 17, 18, 19,
                              20, 21, 22, 24, 25, 27, 28, 30, 31, 47, 48, 49, 50, 51, 52, 53, 54};
constexpr int kSseSlots[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 13, 16, 17, 18, 19,
                             20, 21, 22, 24, 25, 27, 28, 44, 47, 48, 49, 50, 51, 52, 53, 54};
static_assert(std::size(kSse2Slots) == 34 && std::size(kSseSlots) == 33);

// The variant implementations. This build carries only the portable code, so every variant
// set installs the portable entry for each slot it replaces: which sets are chosen (and the
// state recorded) follows the processor, while the results stay those of the portable set.
const MathDispatchTable& X86SubsetSet() { return portable::PortableTable(); }
const MathDispatchTable& ThreeDNowSet() { return portable::PortableTable(); }
const MathDispatchTable& Extended3DNowSet() { return portable::PortableTable(); }
const MathDispatchTable& Sse2Set() { return portable::PortableTable(); }
const MathDispatchTable& SseSet() { return portable::PortableTable(); }

constexpr uint32_t kEdx1Mmx = 1u << 23;
constexpr uint32_t kEdx1Sse = 1u << 25;
constexpr uint32_t kEdx1Sse2 = 1u << 26;
constexpr uint32_t kExtEdx3DNow = 1u << 31;
constexpr uint32_t kExtEdx3DNowExt = 1u << 30;
constexpr uint32_t kExtEdxMmxExt = 1u << 22;
constexpr uint32_t kExtendedBaseLeaf = 0x80000000u;

// EDX of cpuid leaf 1, or 0 when the processor has no cpuid (every register reads 0) or
// reports no leaf beyond 0.
uint32_t Leaf1Edx() {
  int regs[4] = {0, 0, 0, 0};
  CpuId(regs, 0);
  if (static_cast<uint32_t>(regs[0]) < 1) return 0;
  CpuId(regs, 1);
  return static_cast<uint32_t>(regs[3]);
}

// EDX of extended leaf 0x80000001, or 0 when the processor does not report that leaf.
uint32_t ExtendedLeaf1Edx() {
  int regs[4] = {0, 0, 0, 0};
  CpuId(regs, static_cast<int>(kExtendedBaseLeaf));
  if (static_cast<uint32_t>(regs[0]) <= kExtendedBaseLeaf) return 0;
  CpuId(regs, static_cast<int>(kExtendedBaseLeaf + 1));
  return static_cast<uint32_t>(regs[3]);
}

void Install3DNowSet() {
  const uint32_t edx = Leaf1Edx();
  const uint32_t ext = ExtendedLeaf1Edx();
  // The set needs MMX and 3DNow! as the processor itself reports them.
  if (!(edx & kEdx1Mmx) || !(ext & kExtEdx3DNow)) return;
  g_mathDispatchTable = ThreeDNowSet();  // the 3DNow! set covers every slot
  g_installedSets |= math_testing::kMathSet3DNow;
  if ((ext & kExtEdx3DNowExt) && (ext & kExtEdxMmxExt)) {
    InstallSlots(Extended3DNowSet(), kExtended3DNowSlots);
    g_installedSets |= math_testing::kMathSetExtended3DNow;
  }
}

// Windows 95 family: whether the system saves the SSE registers on a task switch.
bool SystemSavesSseState(const OSVERSIONINFOA& info) {
  if (info.dwMajorVersion > 4) return true;
  return info.dwMajorVersion == 4 && info.dwMinorVersion >= 10 &&
         (info.dwBuildNumber & 0xFFFF) >= 1373;
}

}  // namespace

MathDispatchTable g_mathDispatchTable = kFirstUseTable;
uint32_t MathDispatchState = kMathDispatchUnfilled;

int ReadDirect3DSwitch(DWORD expectedType, LPCSTR valueName, void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", &key) !=
      static_cast<LSTATUS>(ERROR_SUCCESS)) {
    return 0;
  }
  DWORD type = REG_NONE;
  DWORD bytes = size;
  const LSTATUS status =
      RegQueryValueExA(key, valueName, nullptr, &type, static_cast<BYTE*>(data), &bytes);
  RegCloseKey(key);
  return status == static_cast<LSTATUS>(ERROR_SUCCESS) && type == expectedType ? 1 : 0;
}

int IsProcessorFeatureAvailable(DWORD feature) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = 148;
  static_assert(sizeof(OSVERSIONINFOA) == 148);
  if (!GetVersionExA(&info)) return 0;

  if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    if (feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE) return (Leaf1Edx() & kEdx1Sse2) ? 1 : 0;
    return IsProcessorFeaturePresent(feature) ? 1 : 0;
  }
  if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    switch (feature) {
      case PF_XMMI_INSTRUCTIONS_AVAILABLE:
        return SystemSavesSseState(info) && (Leaf1Edx() & kEdx1Sse) ? 1 : 0;
      case PF_XMMI64_INSTRUCTIONS_AVAILABLE:
        return SystemSavesSseState(info) && (Leaf1Edx() & kEdx1Sse2) ? 1 : 0;
      case PF_3DNOW_INSTRUCTIONS_AVAILABLE: return (ExtendedLeaf1Edx() & kExtEdx3DNow) ? 1 : 0;
      default: return 0;
    }
  }
  return 0;
}

uint32_t FillMathDispatchTable() {
  if (MathDispatchState != kMathDispatchUnfilled) return MathDispatchState;

  MathDispatchState = kMathDispatchPortable;
  g_mathDispatchTable = portable::PortableTable();
  InstallSlots(X86SubsetSet(), kX86SubsetSlots);
  g_installedSets = math_testing::kMathSetX86Subset;

  // "DisableQuenlyPSGP", when present, overrides "DisablePSGP"; only the value 1 disables.
  DWORD disable = 0;
  DWORD value = 0;
  if (ReadDirect3DSwitch(REG_DWORD, "DisablePSGP", &value, sizeof(value))) disable = value;
  value = 0;
  if (ReadDirect3DSwitch(REG_DWORD, "DisableQuenlyPSGP", &value, sizeof(value))) disable = value;
  if (disable == 1) return MathDispatchState;

  if (IsProcessorFeatureAvailable(PF_3DNOW_INSTRUCTIONS_AVAILABLE)) {
    Install3DNowSet();
    MathDispatchState = kMathDispatch3DNow;
  } else if (IsProcessorFeatureAvailable(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
    InstallSlots(Sse2Set(), kSse2Slots);
    g_installedSets |= math_testing::kMathSetSse2;
    MathDispatchState = kMathDispatchSse2;
  } else if (IsProcessorFeatureAvailable(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
    InstallSlots(SseSet(), kSseSlots);
    g_installedSets |= math_testing::kMathSetSse;
    MathDispatchState = kMathDispatchSse;
  }
  return MathDispatchState;
}

int IsMmxEnabled() {
  DWORD disable = 0;
  if (ReadDirect3DSwitch(REG_DWORD, "DisableMMX", &disable, sizeof(disable)) && disable != 0) {
    g_mmxAnswer = 0;
    return 0;
  }
  if (g_mmxAnswer == -1) {
    g_mmxAnswer = 0;
    if (Leaf1Edx() & kEdx1Mmx) {
#if defined(__x86_64__) || defined(__i386__)
      _mm_empty();  // leave the floating-point registers usable for the caller
#endif
      g_mmxAnswer = 1;
    }
  }
  return g_mmxAnswer;
}

namespace math_testing {

void ResetMathDispatch() {
  g_mathDispatchTable = kFirstUseTable;
  MathDispatchState = kMathDispatchUnfilled;
  g_mmxAnswer = -1;
  g_installedSets = 0;
}

const MathDispatchTable& FirstUseMathTable() { return kFirstUseTable; }

const MathDispatchTable& PortableMathTable() { return portable::PortableTable(); }

uint32_t InstalledMathSets() { return g_installedSets; }

}  // namespace math_testing

}  // namespace vellomir
