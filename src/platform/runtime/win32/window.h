// What the rest of the runtime (the Direct3D presenter) needs to know about a window.
#pragma once

#include <SDL.h>

#include "platform/api/win32.h"

namespace vellomir::platform {

// The SDL window behind a window handle; null in headless mode or for an unknown handle.
SDL_Window* SdlWindowOf(HWND window);

// Client-area size in pixels; false for an unknown handle (the outputs are then left alone).
bool ClientSizeOf(HWND window, int* width, int* height);

}  // namespace vellomir::platform
