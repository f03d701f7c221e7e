// The application shell: the window, the device, the fixed-step frame loop and shutdown.
// The module-wide objects live in one GameShell record so that they can be inspected.
#pragma once

#include <cstdint>

#include "platform/api/d3d8.h"
#include "platform/api/win32.h"

namespace vellomir {

// Client-area size of the main window and size of the back buffer, in pixels.
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
// One game step, in milliseconds of timeGetTime.
constexpr double kFrameStepMs = 16.6666666;

struct GameShell {
  HINSTANCE instance = nullptr;  // the one WinMain received
  HWND mainWindow = nullptr;
  HWND deviceWindow = nullptr;  // the same window, stored by device set-up
  IDirect3D8* direct3d = nullptr;
  IDirect3DDevice8* device = nullptr;
  D3DPRESENT_PARAMETERS presentParameters{};  // kept for Reset after a lost device
  // Start of the current step in timeGetTime milliseconds; always within one step of the
  // clock after a step has run.
  double frameReference = 0.0;
  // Scene steps the frame loop has run since start-up.
  uint64_t stepsRun = 0;
};

GameShell& Shell();
// Back to the start-up values (releases nothing: for a fresh start after Shutdown).
void ResetShell();

int CreateMainWindow(int width, int height);
LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int InitDevice(int width, int height, HWND window);
void FrameStep();
void Shutdown();

}  // namespace vellomir
