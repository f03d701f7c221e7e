// Test seams of the math dispatch. The table, its state and the MMX answer are filled once
// per process; tests put them back to their start-up values to run a fill again.
#pragma once

#include <cstdint>

#include "math/dispatch.h"

namespace vellomir::math_testing {

// Restores the first-use forwarders, MathDispatchState 0xFFFF and the unasked MMX answer.
void ResetMathDispatch();

// The table as it stands before any fill (one forwarder per slot).
const MathDispatchTable& FirstUseMathTable();
// The portable implementation set that each fill starts from.
const MathDispatchTable& PortableMathTable();

// Bits of InstalledMathSets(): the variant sets the last fill installed on top of the portable
// copy.
inline constexpr uint32_t kMathSetX86Subset = 1u << 0;
inline constexpr uint32_t kMathSet3DNow = 1u << 1;
inline constexpr uint32_t kMathSetExtended3DNow = 1u << 2;
inline constexpr uint32_t kMathSetSse2 = 1u << 3;
inline constexpr uint32_t kMathSetSse = 1u << 4;
uint32_t InstalledMathSets();

}  // namespace vellomir::math_testing
