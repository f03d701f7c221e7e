// The operating system version and the processor's features. The version is that of the
// platform the program was written for (an NT-family system, 5.1); features come from cpuid.
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <cstring>
#include <functional>
#include <map>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/testing.h"

namespace vellomir::platform::detail {
namespace {

constexpr DWORD kOsVersionInfoSize = 148;     // sizeof(OSVERSIONINFOA) on the platform
constexpr DWORD kOsVersionInfoExSize = 156;   // the extended record, also accepted

struct ProcessorState {
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  DWORD major = 5;
  DWORD minor = 1;
  DWORD build = 2600;
  bool failVersion = false;
  std::map<DWORD, bool> features;  // overrides
  std::function<void(int regs[4], int leaf)> cpuid;
};

ProcessorState& State() {
  static ProcessorState state;
  return state;
}

void RealCpuId(int regs[4], int leaf) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
#if defined(__x86_64__) || defined(__i386__)
  unsigned int uleaf = static_cast<unsigned int>(leaf);
  // Leaves beyond the processor's range read as zero rather than as whatever the processor
  // repeats for them.
  unsigned int top = __get_cpuid_max(uleaf & 0x80000000u, nullptr);
  if (top == 0 || uleaf > top) return;
  unsigned int a, b, c, d;
  __cpuid_count(uleaf, 0, a, b, c, d);
  regs[0] = static_cast<int>(a);
  regs[1] = static_cast<int>(b);
  regs[2] = static_cast<int>(c);
  regs[3] = static_cast<int>(d);
#endif
}

bool Bit(int value, int bit) { return (static_cast<unsigned>(value) >> bit) & 1u; }

}  // namespace

void ResetProcessor() { State() = ProcessorState{}; }

}  // namespace vellomir::platform::detail

using namespace vellomir::platform::detail;

namespace vellomir::platform::testing {

void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build, bool fail) {
  ProcessorState& s = State();
  s.platformId = platformId;
  s.major = major;
  s.minor = minor;
  s.build = build;
  s.failVersion = fail;
}

void SetProcessorFeature(DWORD feature, bool present) { State().features[feature] = present; }

void SetCpuId(std::function<void(int regs[4], int leaf)> cpuid) { State().cpuid = std::move(cpuid); }

}  // namespace vellomir::platform::testing

void CpuId(int regs[4], int leaf) {
  if (State().cpuid) {
    regs[0] = regs[1] = regs[2] = regs[3] = 0;
    State().cpuid(regs, leaf);
    return;
  }
  RealCpuId(regs, leaf);
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  ProcessorState& s = State();
  if (!info || (info->dwOSVersionInfoSize != kOsVersionInfoSize &&
                info->dwOSVersionInfoSize != kOsVersionInfoExSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (s.failVersion) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Only the plain record's fields are filled; an extended record's tail is left alone.
  info->dwMajorVersion = s.major;
  info->dwMinorVersion = s.minor;
  info->dwBuildNumber = s.build;
  info->dwPlatformId = s.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

BOOL IsProcessorFeaturePresent(DWORD feature) {
  auto it = State().features.find(feature);
  if (it != State().features.end()) return it->second ? TRUE : FALSE;
  int basic[4], ext[4];
  CpuId(basic, 0);
  int leaf1[4] = {0, 0, 0, 0};
  if (basic[0] >= 1) CpuId(leaf1, 1);
  CpuId(ext, static_cast<int>(0x80000000u));
  int ext1[4] = {0, 0, 0, 0};
  if (static_cast<unsigned>(ext[0]) >= 0x80000001u) CpuId(ext1, static_cast<int>(0x80000001u));
  switch (feature) {
    case PF_FLOATING_POINT_PRECISION_ERRATA:
    case PF_FLOATING_POINT_EMULATED:
      return FALSE;
    case PF_COMPARE_EXCHANGE_DOUBLE:
      return Bit(leaf1[3], 8);  // CX8
    case PF_MMX_INSTRUCTIONS_AVAILABLE:
      return Bit(leaf1[3], 23);
    case PF_XMMI_INSTRUCTIONS_AVAILABLE:
      return Bit(leaf1[3], 25);
    case PF_3DNOW_INSTRUCTIONS_AVAILABLE:
      return Bit(ext1[3], 31);
    case PF_RDTSC_INSTRUCTION_AVAILABLE:
      return Bit(leaf1[3], 4);
    case PF_PAE_ENABLED:
      return Bit(leaf1[3], 6);
    case PF_XMMI64_INSTRUCTIONS_AVAILABLE:
      return Bit(leaf1[3], 26);
    default:
      return FALSE;
  }
}
