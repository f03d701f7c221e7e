// The process entry point: hands over to WinMain as a C runtime's start-up would.
#include "platform/api/win32.h"

int main() {
  return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
}
