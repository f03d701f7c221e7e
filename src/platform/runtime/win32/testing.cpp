// Resets every seam of the Win32 runtime at once.
#include "platform/runtime/win32/testing.h"

#include "platform/runtime/win32/internal.h"

namespace vellomir::platform::testing {

void ResetAll() {
  using namespace vellomir::platform::detail;
  ResetMessages();
  ResetWindows();
  ResetMessageBoxes();
  ResetRegistry();
  ResetProcessor();
  ResetClock();
}

}  // namespace vellomir::platform::testing
