// A whole file as one read-only block of memory.
#pragma once

#include <cstdint>

#include "platform/api/win32.h"

namespace vellomir {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // name: zero-terminated, a wide string when nameIsWide is nonzero, else ANSI.
  // D3D_OK; D3DERR_INVALIDCALL for a null name; TEXERR_INVALIDDATA when the file cannot be
  // opened, mapped or sized (an empty file cannot be mapped). What was obtained before a
  // failure stays in the members until Close.
  HRESULT Open(const void* name, BOOL nameIsWide);
  // Releases the view, the mapping and the file; always 0.
  HRESULT Close();

  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = INVALID_HANDLE_VALUE;
  const uint8_t* view = nullptr;
  uint32_t size = 0;  // low 32 bits of the file size
};

// Switches the debug output of the Direct3D runtime off (1) or on (0) around calls that are
// expected to fail. Does nothing when no runtime exporting "DebugSetMute" is loaded.
void MuteDebugOutput(BOOL mute);

// The signature of the runtime's "DebugSetMute" export.
typedef void (*DebugSetMuteProc)(BOOL mute);

}  // namespace vellomir
