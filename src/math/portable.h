// The portable implementation of every dispatched operation: the reference that each table
// fill starts from. Internal to the math library; callers use math/math.h.
#pragma once

#include "math/dispatch.h"

namespace vellomir::portable {

#define MATH_SLOT(slot, field, Name, Ret, params, args) Ret Name params;
#include "math/slots.inc"
#undef MATH_SLOT

// The 57 portable entries in slot order.
const MathDispatchTable& PortableTable();

}  // namespace vellomir::portable
