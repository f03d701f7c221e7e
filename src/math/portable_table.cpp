// The portable implementation set in slot order.
#include "math/portable.h"

namespace vellomir::portable {

const MathDispatchTable& PortableTable() {
  static constexpr MathDispatchTable kTable = {
#define MATH_SLOT(slot, field, Name, Ret, params, args) &Name,
#include "math/slots.inc"
#undef MATH_SLOT
  };
  return kTable;
}

}  // namespace vellomir::portable
