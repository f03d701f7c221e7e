// The Direct3D object: one software adapter, its display mode, its format support and device
// creation; plus the test seams that steer them.
#include <SDL.h>

#include <algorithm>

#include "pixel/format_table.h"
#include "platform/runtime/d3d8/runtime.h"
#include "platform/runtime/win32/modules.h"

namespace vellomir::d3d8 {

Seams& GetSeams() {
  static Seams seams;
  return seams;
}

namespace {

D3DCAPS8 BuildDefaultCaps() {
  D3DCAPS8 caps{};
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.AdapterOrdinal = 0;
  caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                           D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_CLIPTLVERTS |
                           D3DPMISCCAPS_BLENDOP;
  constexpr DWORD allCmp = 0xFF;
  caps.ZCmpCaps = allCmp;
  caps.AlphaCmpCaps = allCmp;
  constexpr DWORD allBlend = 0x3FF;
  caps.SrcBlendCaps = allBlend;
  caps.DestBlendCaps = allBlend;
  caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                     D3DPTEXTURECAPS_NONPOW2CONDITIONAL | D3DPTEXTURECAPS_CUBEMAP |
                     D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                     D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP |
                     D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_VOLUMEMAP_POW2;
  caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                           D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.CubeTextureFilterCaps = caps.TextureFilterCaps;
  caps.VolumeTextureFilterCaps = caps.TextureFilterCaps;
  caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR |
                            D3DPTADDRESSCAPS_CLAMP;
  caps.VolumeTextureAddressCaps = caps.TextureAddressCaps;
  caps.MaxTextureWidth = 2048;
  caps.MaxTextureHeight = 2048;
  caps.MaxVolumeExtent = 256;
  caps.MaxTextureRepeat = 8192;
  caps.MaxTextureAspectRatio = 2048;
  caps.MaxAnisotropy = 1;
  caps.MaxVertexW = 1e10f;
  caps.MaxTextureBlendStages = 8;
  caps.MaxSimultaneousTextures = 1;
  caps.MaxActiveLights = 8;
  caps.MaxPrimitiveCount = 0xFFFFF;
  caps.MaxVertexIndex = 0xFFFFF;
  caps.MaxStreams = 1;
  caps.MaxStreamStride = 256;
  return caps;
}

bool IsDisplayFormat(D3DFORMAT f) {
  return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8 || f == D3DFMT_R5G6B5 ||
         f == D3DFMT_X1R5G5B5;
}

bool IsDepthFormat(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D16:
      return true;
    default:
      return false;
  }
}

// The built-in answer: every format with a codec can be a texture of any kind; render targets
// are the display formats; depth formats only as depth-stencil surfaces.
bool DefaultSupport(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage) {
  if (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_WRITEONLY |
                D3DUSAGE_DYNAMIC))
    return false;
  if (IsDepthFormat(format))
    return (usage & D3DUSAGE_DEPTHSTENCIL) && !(usage & D3DUSAGE_RENDERTARGET) &&
           (type == D3DRTYPE_SURFACE || type == D3DRTYPE_TEXTURE);
  if (usage & D3DUSAGE_DEPTHSTENCIL) return false;
  if (type != D3DRTYPE_SURFACE && type != D3DRTYPE_TEXTURE && type != D3DRTYPE_VOLUMETEXTURE &&
      type != D3DRTYPE_CUBETEXTURE)
    return false;
  if (usage & D3DUSAGE_RENDERTARGET)
    return type != D3DRTYPE_VOLUMETEXTURE &&
           (IsDisplayFormat(format) || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4);
  LevelLayout layout;
  if (!ComputeLayout(format, 1, 1, &layout)) return false;
  return GetFormatInfo(format).format == static_cast<uint32_t>(format);
}

}  // namespace

D3DCAPS8 CurrentCaps() {
  const Seams& seams = GetSeams();
  return seams.capsOverridden ? seams.caps : BuildDefaultCaps();
}

D3DDISPLAYMODE CurrentDisplayMode() {
  const Seams& seams = GetSeams();
  if (seams.modeOverridden) return seams.mode;
  D3DDISPLAYMODE mode{1024, 768, 60, D3DFMT_X8R8G8B8};
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
      mode.Width = static_cast<UINT>(desktop.w);
      mode.Height = static_cast<UINT>(desktop.h);
      if (desktop.refresh_rate > 0) mode.RefreshRate = static_cast<UINT>(desktop.refresh_rate);
    }
  }
  return mode;
}

bool FormatSupported(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage) {
  const Seams& seams = GetSeams();
  for (auto it = seams.formatOverrides.rbegin(); it != seams.formatOverrides.rend(); ++it) {
    if (it->format == format && it->type == type &&
        (it->usage == 0xFFFFFFFFu || it->usage == usage))
      return it->supported;
  }
  return DefaultSupport(format, type, usage);
}

HRESULT Direct3D::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3D8) {
    *object = static_cast<IDirect3D8*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Direct3D::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
  if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
  *mode = CurrentDisplayMode();
  return D3D_OK;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                    DWORD usage, D3DRESOURCETYPE resourceType,
                                    D3DFORMAT checkFormat) {
  if (adapter != 0 || (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF))
    return D3DERR_INVALIDCALL;
  if (!IsDisplayFormat(adapterFormat)) return D3DERR_INVALIDCALL;
  return FormatSupported(checkFormat, resourceType, usage) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) {
  if (adapter != 0 || !caps || (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF))
    return D3DERR_INVALIDCALL;
  *caps = CurrentCaps();
  caps->DeviceType = deviceType;
  caps->AdapterOrdinal = adapter;
  return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                               DWORD behaviorFlags, D3DPRESENT_PARAMETERS* parameters,
                               IDirect3DDevice8** device) {
  Seams& seams = GetSeams();
  HRESULT hr = D3D_OK;
  const DWORD vertexModes = D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                            D3DCREATE_HARDWARE_VERTEXPROCESSING |
                            D3DCREATE_MIXED_VERTEXPROCESSING;
  const DWORD mode = behaviorFlags & vertexModes;
  if (device) *device = nullptr;
  if (adapter != 0 || !device || !parameters ||
      (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF) ||
      (mode != D3DCREATE_SOFTWARE_VERTEXPROCESSING && mode != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
       mode != D3DCREATE_MIXED_VERTEXPROCESSING) ||
      ((behaviorFlags & D3DCREATE_PUREDEVICE) && mode != D3DCREATE_HARDWARE_VERTEXPROCESSING)) {
    hr = D3DERR_INVALIDCALL;
  } else if (std::find(seams.failedDevices.begin(), seams.failedDevices.end(),
                       std::make_pair(deviceType, behaviorFlags)) != seams.failedDevices.end()) {
    hr = D3DERR_NOTAVAILABLE;
  } else {
    Device* created = new (std::nothrow) Device(this, adapter, deviceType, focusWindow,
                                                behaviorFlags);
    if (!created) {
      hr = E_OUTOFMEMORY;
    } else {
      hr = created->Initialise(parameters);
      if (FAILED(hr))
        created->Release();
      else
        *device = created;
    }
  }
  seams.attempts.push_back({deviceType, behaviorFlags, hr});
  return hr;
}

}  // namespace vellomir::d3d8

using vellomir::d3d8::GetSeams;

namespace {
// Muting is kept only so that the export behaves like a switch; this runtime prints nothing.
BOOL debugMuted = FALSE;
}  // namespace

extern "C" void DebugSetMute(BOOL mute) { debugMuted = mute; }

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION || GetSeams().failCreate) return nullptr;
  // The runtime counts as a loaded library from its first use, so that callers looking for
  // its debug switch through the module table find it.
  static bool registered = false;
  if (!registered) {
    registered = true;
    vellomir::platform::RegisterModule(
        "d3d8.dll", {{"DebugSetMute", vellomir::platform::ExportAddress(&DebugSetMute)}});
  }
  return new (std::nothrow) vellomir::d3d8::Direct3D();
}

namespace vellomir::platform::testing {

void ResetDirect3D() {
  d3d8::Seams& seams = GetSeams();
  seams = d3d8::Seams();
}

void FailDirect3DCreate(bool fail) { GetSeams().failCreate = fail; }

void FailCreateDevice(D3DDEVTYPE type, DWORD behaviorFlags, bool fail) {
  auto& list = GetSeams().failedDevices;
  auto key = std::make_pair(type, behaviorFlags);
  list.erase(std::remove(list.begin(), list.end(), key), list.end());
  if (fail) list.push_back(key);
}

const std::vector<CreateDeviceAttempt>& CreateDeviceAttempts() { return GetSeams().attempts; }

D3DCAPS8 DefaultDeviceCaps() { return d3d8::BuildDefaultCaps(); }

void SetDeviceCaps(const D3DCAPS8& caps) {
  GetSeams().capsOverridden = true;
  GetSeams().caps = caps;
}

void SetFormatSupport(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage, bool supported) {
  GetSeams().formatOverrides.push_back({format, type, usage, supported});
}

void SetAdapterDisplayMode(const D3DDISPLAYMODE& mode) {
  GetSeams().modeOverridden = true;
  GetSeams().mode = mode;
}

void FailPresent(bool fail) { GetSeams().failPresent = fail; }
void ForceHeadlessPresenter(bool headless) { GetSeams().forceHeadless = headless; }
DWORD LastLockFlags() { return GetSeams().lastLockFlags; }
uint32_t LockCount() { return GetSeams().lockCount; }
uint32_t CopyRectsCount() { return GetSeams().copyRectsCount; }
const PresentedFrame& LastPresentedFrame() { return GetSeams().lastFrame; }
uint32_t PresentCount() { return GetSeams().presentCount; }

}  // namespace vellomir::platform::testing
