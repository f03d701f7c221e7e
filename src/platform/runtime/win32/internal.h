// State shared between the units of the Win32 runtime. Not for use outside this folder.
#pragma once

#include <SDL.h>

#include <string>

#include "platform/api/win32.h"

namespace vellomir::platform::detail {

// --- Display (windows.cpp) -----------------------------------------------------------------
// True when windows get no SDL window: forced by the seam, or because no display could be
// opened (or SDL was started with its dummy or offscreen driver, which show nothing).
bool Headless();
// True only when a test forced headless mode through the seam (not when no display opened).
bool HeadlessForced();
// Starts SDL's video subsystem once; false when it cannot start.
bool EnsureSdlVideo();
// Whether SDL's video subsystem is running (so that SDL events and key state are real).
bool SdlVideoActive();

struct Window;
// The window with this handle, or null when the handle is not a live window.
Window* FindWindow(HWND window);
// The window that owns an SDL window id, or null.
HWND WindowFromSdlId(Uint32 id);
// The first window still alive, or null.
HWND MainWindowHandle();
WNDPROC WindowProcOf(HWND window);
// Marks the window destroyed and hides its SDL window; WM_DESTROY is sent to its procedure.
void DestroyWindowInternal(HWND window);
// Drops every window and class (the seams' reset).
void ResetWindows();

// --- Messages (messages.cpp) ---------------------------------------------------------------
void ResetMessages();
// Called when the first real SDL window opens: arms the optional automatic quit of smoke runs.
void ArmSmokeQuit();

// --- Other units ---------------------------------------------------------------------------
void ResetMessageBoxes();
void ResetRegistry();
void ResetProcessor();
void ResetClock();

// Maps an errno value to the closest Win32 error code.
DWORD ErrorFromErrno(int error);

}  // namespace vellomir::platform::detail
