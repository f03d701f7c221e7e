// Test seams of the software Direct3D 8 runtime: failing creation on purpose, other device caps,
// other format support, the flags of the last lock and the frames the headless presenter saw.
// Every setting holds until ResetDirect3D().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/api/d3d8.h"

namespace vellomir::platform::testing {

// Restores every seam below to its default and forgets the recorded attempts and frames.
void ResetDirect3D();

// Direct3DCreate8 returns null while set.
void FailDirect3DCreate(bool fail);

// CreateDevice with exactly this device type and these behaviour flags returns
// D3DERR_NOTAVAILABLE while set.
void FailCreateDevice(D3DDEVTYPE type, DWORD behaviorFlags, bool fail);

struct CreateDeviceAttempt {
  D3DDEVTYPE type;
  DWORD behaviorFlags;
  HRESULT result;
};
// Every CreateDevice call since the last reset, oldest first.
const std::vector<CreateDeviceAttempt>& CreateDeviceAttempts();

// The caps that devices created from now on report (and IDirect3D8::GetDeviceCaps returns);
// DeviceType and AdapterOrdinal are filled in by the device itself.
D3DCAPS8 DefaultDeviceCaps();
void SetDeviceCaps(const D3DCAPS8& caps);

// What CheckDeviceFormat answers for one format; set per resource type and usage mask (a usage
// of 0xFFFFFFFF applies to every usage). Later overrides win over earlier ones.
void SetFormatSupport(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage, bool supported);

// The adapter's display mode (default: the desktop mode, or 1024x768 X8R8G8B8 without one).
void SetAdapterDisplayMode(const D3DDISPLAYMODE& mode);

// Present fails with D3DERR_DEVICELOST while set (for the recovery path of the frame loop).
void FailPresent(bool fail);

// Headless presentation: forces the headless presenter even when a window could be shown.
// Default: headless whenever the device window has no SDL window.
void ForceHeadlessPresenter(bool headless);

// The lock flags of the most recent LockRect/LockBox on any resource, and the number of locks
// since the last reset.
DWORD LastLockFlags();
uint32_t LockCount();

// Number of CopyRects calls that succeeded since the last reset.
uint32_t CopyRectsCount();

// The last frame presented by any device, 0xAARRGGBB per pixel, row by row (X8 back buffers
// report alpha 0xFF). Empty before the first Present.
struct PresentedFrame {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(uint32_t x, uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
const PresentedFrame& LastPresentedFrame();
uint32_t PresentCount();

// Writes the last presented frame to a PNG file, for looking at a failing test. False when
// there is no frame or the file cannot be written.
bool WriteLastFrameToPng(const std::string& path);

// The device's back buffer as it is now, before Present (same layout as PresentedFrame).
PresentedFrame ReadBackBuffer(IDirect3DDevice8* device);

}  // namespace vellomir::platform::testing
