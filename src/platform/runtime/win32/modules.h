// The in-process module table behind GetModuleHandleA, LoadLibraryA, GetProcAddress and
// FreeLibrary. A runtime library that stands in for a platform library registers itself here
// under that library's file name; it then counts as loaded into the process, as a library the
// program was linked against would.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/api/win32.h"

namespace vellomir::platform {

struct ModuleExport {
  std::string name;
  FARPROC address;  // cast back to the export's real signature by the caller
};

// Registers (or replaces the exports of) a module. Names compare case-insensitively, without
// any directory part, and ".dll" is implied when the name has no extension.
// Returns the module's handle.
HMODULE RegisterModule(const std::string& name, std::vector<ModuleExport> exports);

// Removes a module from the process (for tests); its handle becomes invalid.
void UnregisterModule(const std::string& name);

// Turns any function pointer into the FARPROC that GetProcAddress hands out, and back. The
// detour through void(*)() is the one function-pointer cast compilers accept without warning.
template <typename F>
FARPROC ExportAddress(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}
template <typename F>
F* ProcAs(FARPROC address) {
  return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(address));
}

}  // namespace vellomir::platform
