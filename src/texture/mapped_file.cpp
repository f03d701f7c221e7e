#include "texture/mapped_file.h"

#include <memory>

#include "pixel/allocation.h"
#include "platform/api/d3d8_types.h"

namespace vellomir {

MappedFile::~MappedFile() {
  if (file != INVALID_HANDLE_VALUE) Close();
}

HRESULT MappedFile::Open(const void* name, BOOL nameIsWide) {
  if (!name) return D3DERR_INVALIDCALL;

  std::unique_ptr<char[]> converted;
  const char* ansiName = static_cast<const char*>(name);
  bool openWide = false;
  if (nameIsWide) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
      openWide = true;
    } else {
      const auto* wide = static_cast<LPCWSTR>(name);
      int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
      if (length <= 0) {
        GetLastError();
        return TEXERR_INVALIDDATA;
      }
      converted = AllocateArray<char>(static_cast<size_t>(length));
      if (!converted) return E_OUTOFMEMORY;
      if (WideCharToMultiByte(CP_ACP, 0, wide, -1, converted.get(), length, nullptr, nullptr) <=
          0) {
        GetLastError();
        return TEXERR_INVALIDDATA;
      }
      ansiName = converted.get();
    }
  }

  file = openWide ? CreateFileW(static_cast<LPCWSTR>(name), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr)
                  : CreateFileA(ansiName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_RANDOM_ACCESS, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  if (ok) {
    // A failed mapping may come back as null as well as the invalid handle; keep the
    // closed value in both cases so that Close does not release a handle never obtained.
    HANDLE created = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    mapping = created ? created : INVALID_HANDLE_VALUE;
    ok = mapping != INVALID_HANDLE_VALUE;
  }
  if (ok) {
    view = static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ok = view != nullptr;
  }
  if (ok) {
    DWORD fileSize = GetFileSize(file, nullptr);
    ok = fileSize != INVALID_FILE_SIZE;
    if (ok) size = fileSize;
  }
  if (!ok) {
    GetLastError();  // the platform's reason is not reported further
    return TEXERR_INVALIDDATA;
  }
  return D3D_OK;
}

HRESULT MappedFile::Close() {
  if (view) {
    UnmapViewOfFile(view);
    view = nullptr;
    size = 0;
  }
  if (mapping != INVALID_HANDLE_VALUE && mapping != nullptr) CloseHandle(mapping);
  mapping = INVALID_HANDLE_VALUE;
  if (file != INVALID_HANDLE_VALUE && file != nullptr) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  return 0;
}

namespace {
// Found once and kept for the life of the process; the module references are never released.
DebugSetMuteProc retailMute = nullptr;
DebugSetMuteProc debugMute = nullptr;

DebugSetMuteProc FindMute(const char* moduleName) {
  if (!GetModuleHandleA(moduleName)) return nullptr;  // never load a runtime just to mute it
  HMODULE module = LoadLibraryA(moduleName);
  if (!module) return nullptr;
  // Exports are found under a generic pointer type and called with their real signature.
  return reinterpret_cast<DebugSetMuteProc>(
      reinterpret_cast<void*>(GetProcAddress(module, "DebugSetMute")));
}
}  // namespace

void MuteDebugOutput(BOOL mute) {
  if (!retailMute && !debugMute) {
    retailMute = FindMute("d3d8.dll");
    debugMute = FindMute("d3d8d.dll");
  }
  if (retailMute) retailMute(mute);
  if (debugMute) debugMute(mute);
}

}  // namespace vellomir
