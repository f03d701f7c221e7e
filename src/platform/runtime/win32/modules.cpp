// Modules: a table of registered stand-ins for platform libraries. Handles are the addresses of
// the table's entries; the program itself is the module of GetModuleHandleA(NULL).
#include <SDL.h>

#include <cstring>
#include <list>

#include "platform/runtime/win32/internal.h"
#include "platform/runtime/win32/modules.h"

namespace vellomir::platform {
namespace {

struct Module {
  std::string name;  // normalised: lower case, no directory, with extension
  std::vector<ModuleExport> exports;
  // LoadLibraryA references on top of the registration; FreeLibrary never unloads a
  // registered module, as a library the program was linked against stays.
  unsigned loadCount = 0;
};

struct ModuleTable {
  std::list<Module> modules;  // a list: entry addresses are the handles and must not move
};

ModuleTable& Table() {
  static ModuleTable table;
  return table;
}

// The program's own module: any stable, non-null address of ours.
int programModule;

std::string Normalise(const char* name) {
  const char* base = name;
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == '/') base = p + 1;
  std::string out;
  for (const char* p = base; *p; ++p)
    out += static_cast<char>(SDL_tolower(static_cast<unsigned char>(*p)));
  if (out.find('.') == std::string::npos) out += ".dll";
  // A trailing dot means "no extension" on the platform.
  if (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

Module* FindByName(const char* name) {
  std::string key = Normalise(name);
  for (Module& m : Table().modules)
    if (m.name == key) return &m;
  return nullptr;
}

Module* FindByHandle(HMODULE handle) {
  for (Module& m : Table().modules)
    if (reinterpret_cast<HMODULE>(&m) == handle) return &m;
  return nullptr;
}

}  // namespace

HMODULE RegisterModule(const std::string& name, std::vector<ModuleExport> exports) {
  Module* existing = FindByName(name.c_str());
  if (existing) {
    existing->exports = std::move(exports);
    return reinterpret_cast<HMODULE>(existing);
  }
  Table().modules.push_back({Normalise(name.c_str()), std::move(exports), 0});
  return reinterpret_cast<HMODULE>(&Table().modules.back());
}

void UnregisterModule(const std::string& name) {
  Module* m = FindByName(name.c_str());
  if (!m) return;
  Table().modules.remove_if([m](const Module& entry) { return &entry == m; });
}

}  // namespace vellomir::platform

using namespace vellomir::platform;

HMODULE GetModuleHandleA(LPCSTR name) {
  if (!name) return reinterpret_cast<HMODULE>(&programModule);
  Module* m = FindByName(name);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(m);
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Module* m = FindByName(name);
  if (!m) {
    // Only registered modules exist: nothing is ever loaded from disk.
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++m->loadCount;
  return reinterpret_cast<HMODULE>(m);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  Module* m = FindByHandle(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Exports by ordinal (a name below 0x10000) are not offered.
  if (!name || reinterpret_cast<uintptr_t>(name) <= 0xFFFF) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  for (const ModuleExport& e : m->exports)
    if (e.name == name) return e.address;  // export names are case-sensitive
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  Module* m = FindByHandle(module);
  if (!m) {
    if (module == reinterpret_cast<HMODULE>(&programModule)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (m->loadCount > 0) --m->loadCount;
  return TRUE;
}
