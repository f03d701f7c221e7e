// Test seams of the Win32 runtime: everything a test needs to drive the platform without a
// display, a real clock, a keyboard, a registry or a particular processor.
// Every setter holds until the matching reset; ResetAll() restores the defaults.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/api/win32.h"

namespace vellomir::platform::testing {

// Restores every seam below to its default (real clock, real keyboard, empty registry, ...).
void ResetAll();

// --- Display -----------------------------------------------------------------------------
// Headless: windows are created without any SDL window; the message queue only carries what
// tests post. Default: headless when no display can be opened, or when SDL runs its "dummy"
// or "offscreen" video driver (which show nothing). SetHeadless(false) forces SDL windows.
void SetHeadless(bool headless);
bool IsHeadless();

// --- Clock -------------------------------------------------------------------------------
// From now on timeGetTime() returns `ms` until changed again.
void SetFakeTime(DWORD ms);
void AdvanceFakeTime(DWORD ms);
void UseRealTime();

// --- Keyboard and messages ---------------------------------------------------------------
// Scripted key state for GetAsyncKeyState (replaces the real keyboard while any is set).
void SetKeyDown(int virtualKey, bool down);
// Queues a message as if the window system had delivered it (for example WM_KEYDOWN with
// VK_ESCAPE, or WM_DESTROY for a closed window). hwnd null means the main (first) window.
void PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a window close: the window procedure then receives WM_DESTROY.
void CloseWindow(HWND window);
// Called whenever PeekMessageA or GetMessageA finds nothing waiting, instead of sleeping for a
// moment: a test can advance the fake clock, post messages or press keys from here, and a
// message posted by the hook is returned by that same call. Null removes the hook.
void SetIdleHook(std::function<void()> hook);

// --- Windows ------------------------------------------------------------------------------
// Makes the next RegisterClassExA / CreateWindowExA calls fail.
void FailRegisterClass(bool fail);
void FailCreateWindow(bool fail);
struct CreatedWindow {
  DWORD exStyle;
  std::string className;
  std::string title;
  DWORD style;
  int x, y, width, height;
  HWND handle;
};
// The windows created since the last reset, oldest first.
const std::vector<CreatedWindow>& CreatedWindows();

// --- Message boxes -------------------------------------------------------------------------
// Message boxes are captured here instead of shown (always in headless mode, and whenever
// CaptureMessageBoxes(true) was called).
struct CapturedMessageBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};
void CaptureMessageBoxes(bool capture);
const std::vector<CapturedMessageBox>& CapturedMessageBoxes();

// --- Registry ------------------------------------------------------------------------------
void SetRegistryDword(HKEY root, const std::string& subKey, const std::string& valueName,
                      DWORD value);
// Stores a value of any type (for the wrong-type cases).
void SetRegistryValue(HKEY root, const std::string& subKey, const std::string& valueName,
                      DWORD type, const std::vector<BYTE>& data);
void ClearRegistry();

// --- Version and processor ---------------------------------------------------------------
// What GetVersionExA reports; fail makes it return FALSE.
void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build, bool fail = false);
// Overrides IsProcessorFeaturePresent for one feature.
void SetProcessorFeature(DWORD feature, bool present);
// Replaces the cpuid instruction; a null function restores the real one.
void SetCpuId(std::function<void(int regs[4], int leaf)> cpuid);

}  // namespace vellomir::platform::testing
