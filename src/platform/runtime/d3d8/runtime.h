// Internals of the software Direct3D 8 runtime, shared by its translation units.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/api/d3d8.h"
#include "platform/runtime/d3d8/testing.h"

namespace vellomir::d3d8 {

class Device;

// Process-wide settings of the test seams.
struct Seams {
  bool failCreate = false;
  std::vector<std::pair<D3DDEVTYPE, DWORD>> failedDevices;
  std::vector<platform::testing::CreateDeviceAttempt> attempts;
  bool capsOverridden = false;
  D3DCAPS8 caps{};
  struct FormatOverride {
    D3DFORMAT format;
    D3DRESOURCETYPE type;
    DWORD usage;
    bool supported;
  };
  std::vector<FormatOverride> formatOverrides;
  bool modeOverridden = false;
  D3DDISPLAYMODE mode{};
  bool failPresent = false;
  bool forceHeadless = false;
  DWORD lastLockFlags = 0;
  uint32_t lockCount = 0;
  uint32_t copyRectsCount = 0;
  platform::testing::PresentedFrame lastFrame;
  uint32_t presentCount = 0;
};
Seams& GetSeams();

D3DCAPS8 CurrentCaps();
D3DDISPLAYMODE CurrentDisplayMode();
bool FormatSupported(D3DFORMAT format, D3DRESOURCETYPE type, DWORD usage);

// Memory layout of one level: bytes per row (per row of 4x4 blocks for DXT), number of rows
// (block rows for DXT) and bytes per slice.
struct LevelLayout {
  UINT rowPitch = 0;
  UINT rows = 0;
  UINT slicePitch = 0;
};
bool IsBlockFormat(D3DFORMAT format);
bool IsPairFormat(D3DFORMAT format);  // YUY2 and UYVY: two pixels share four bytes
// False for formats the runtime cannot hold in memory.
bool ComputeLayout(D3DFORMAT format, UINT width, UINT height, LevelLayout* layout);

// One image of pixel memory: a texture level, a cube face level, a volume level or an image
// surface.
struct Level {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DRESOURCETYPE type = D3DRTYPE_SURFACE;
  DWORD usage = 0;
  D3DPOOL pool = D3DPOOL_SYSTEMMEM;
  UINT width = 0, height = 0, depth = 1;
  LevelLayout layout;
  size_t size = 0;
  std::unique_ptr<uint8_t[]> bits;
  bool locked = false;
  bool lockedReadOnly = false;
  // Sampling copy in ARGB8888, filled on unlock of a level of a 2-D texture; empty otherwise.
  std::vector<uint32_t> sampled;
  bool wantsSampling = false;
  bool opaque = false;  // every sampled texel has alpha 0xFF

  HRESULT Allocate();
  HRESULT Lock(const RECT* rect, const D3DBOX* box, DWORD flags, void** bits, INT* rowPitch,
               INT* slicePitch);
  HRESULT Unlock();
  // Re-derives `sampled` from the pixel memory.
  void Upload();

 private:
  void DecodeForSampling();
};

// Common part of the three texture kinds, found from an interface pointer by dynamic_cast.
class TextureCore {
 public:
  virtual ~TextureCore();
  D3DRESOURCETYPE kind = D3DRTYPE_TEXTURE;
  Device* device = nullptr;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  D3DPOOL pool = D3DPOOL_MANAGED;
  DWORD usage = 0;
  UINT levelCount = 0;
  UINT faces = 1;
  // levels[face * levelCount + level]
  std::vector<std::unique_ptr<Level>> levels;
  Level* LevelAt(UINT face, UINT level) const {
    return face < faces && level < levelCount ? levels[face * levelCount + level].get() : nullptr;
  }
  virtual IDirect3DBaseTexture8* AsBase() = 0;
};

// Finds our own texture behind an interface; null for anything else.
TextureCore* CoreOf(IDirect3DBaseTexture8* texture);
// Finds the pixel memory of a surface made by this runtime; null for anything else.
Level* LevelOf(IDirect3DSurface8* surface);

HRESULT CreateTextureObject(Device* device, D3DRESOURCETYPE kind, UINT width, UINT height,
                            UINT depth, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            void** out);
HRESULT CreateImageSurfaceObject(Device* device, UINT width, UINT height, D3DFORMAT format,
                                 IDirect3DSurface8** out);

// The recorded part of a state block: which settings it holds, and their values.
struct StateBlock {
  std::bitset<D3DRS_STATE_COUNT> renderMask;
  std::array<DWORD, D3DRS_STATE_COUNT> render{};
  std::array<std::bitset<D3DTSS_STATE_COUNT>, D3D_TEXTURE_STAGES> stageMask;
  std::array<std::array<DWORD, D3DTSS_STATE_COUNT>, D3D_TEXTURE_STAGES> stage{};
  std::map<DWORD, D3DMATRIX> transforms;  // by D3DTRANSFORMSTATETYPE
  std::map<DWORD, D3DLIGHT8> lights;
  std::map<DWORD, BOOL> lightEnables;
  std::bitset<D3D_TEXTURE_STAGES> textureMask;
  std::array<IDirect3DBaseTexture8*, D3D_TEXTURE_STAGES> textures{};  // one reference each
  bool hasVertexShader = false;
  DWORD vertexShader = 0;
  bool hasStream = false;
  IDirect3DVertexBuffer8* stream = nullptr;  // one reference
  UINT streamStride = 0;
  bool hasViewport = false;
  D3DVIEWPORT8 viewport{};

  ~StateBlock();
  void SetTexture(DWORD stage, IDirect3DBaseTexture8* texture);
  void SetStream(IDirect3DVertexBuffer8* buffer, UINT stride);
};

class Direct3D;

// Window output for Present: an SDL window when the device window has one, else nothing (the
// headless frame record is kept in every case).
class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual void Show(const uint32_t* pixels, UINT width, UINT height) = 0;
};
std::unique_ptr<Presenter> CreateWindowPresenter(HWND window);

// Transformed, clipped vertex ready for rasterisation.
struct ScreenVertex {
  float x, y, z, rhw;
  float r, g, b, a;  // diffuse, 0..255
  float u, v;
};

class Device final : public IDirect3DDevice8 {
 public:
  Device(Direct3D* owner, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior);
  HRESULT Initialise(D3DPRESENT_PARAMETERS* parameters);

  // Internal references: resources keep the device's memory alive without keeping the device
  // itself (its state and bindings) alive, so that releasing the device cannot be stopped by a
  // texture bound to it.
  void AddInternalRef() { ++internalRefs_; }
  void ReleaseInternalRef();

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT TestCooperativeLevel() override;
  HRESULT GetDirect3D(IDirect3D8** direct3d) override;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
  HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
  HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                  const void* dirtyRegion) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                        D3DPOOL pool, IDirect3DTexture8** texture) override;
  HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                              D3DFORMAT format, D3DPOOL pool,
                              IDirect3DVolumeTexture8** texture) override;
  HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                            D3DPOOL pool, IDirect3DCubeTexture8** texture) override;
  HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                             IDirect3DSurface8** surface) override;
  HRESULT CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                    IDirect3DSurface8* destination, const POINT* destPoints) override;
  HRESULT UpdateTexture(IDirect3DBaseTexture8* source,
                        IDirect3DBaseTexture8* destination) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                DWORD stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT BeginStateBlock() override;
  HRESULT EndStateBlock(DWORD* token) override;
  HRESULT ApplyStateBlock(DWORD token) override;
  HRESULT CaptureStateBlock(DWORD token) override;
  HRESULT DeleteStateBlock(DWORD token) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                          UINT stride) override;
  HRESULT SetVertexShader(DWORD handle) override;
  HRESULT GetVertexShader(DWORD* handle) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
  HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) override;

  // Back buffer, ARGB8888 row by row (alpha forced to 0xFF for X8 formats on Present).
  const std::vector<uint32_t>& BackBuffer() const { return backBuffer_; }
  UINT BackBufferWidth() const { return params_.BackBufferWidth; }
  UINT BackBufferHeight() const { return params_.BackBufferHeight; }

 private:
  ~Device();
  void ResetState();
  void ReleaseBindings();
  HRESULT CreateBuffers(const D3DPRESENT_PARAMETERS& parameters);
  static int TransformSlot(DWORD state);
  void DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
  void ClipAndDraw(const float (*clip)[10], int count);

  ULONG refs_ = 1;
  ULONG internalRefs_ = 0;
  bool released_ = false;
  Direct3D* owner_;
  D3DDEVICE_CREATION_PARAMETERS creation_;
  D3DCAPS8 caps_;
  D3DPRESENT_PARAMETERS params_{};
  D3DDISPLAYMODE mode_{};
  std::vector<uint32_t> backBuffer_;
  std::vector<uint16_t> depthBuffer_;
  std::unique_ptr<Presenter> presenter_;
  bool inScene_ = false;

  // Current state.
  std::array<DWORD, D3DRS_STATE_COUNT> render_{};
  std::array<std::array<DWORD, D3DTSS_STATE_COUNT>, D3D_TEXTURE_STAGES> stage_{};
  std::array<D3DMATRIX, 11> transforms_{};  // world, view, projection, texture 0..7
  std::map<DWORD, D3DLIGHT8> lights_;
  std::map<DWORD, BOOL> lightEnables_;
  std::array<IDirect3DBaseTexture8*, D3D_TEXTURE_STAGES> textures_{};  // one reference each
  DWORD vertexShader_ = 0;
  IDirect3DVertexBuffer8* stream_ = nullptr;  // one reference
  UINT streamStride_ = 0;
  D3DVIEWPORT8 viewport_{};

  // State blocks by token; `recording_` collects settings between Begin and EndStateBlock.
  std::map<DWORD, std::unique_ptr<StateBlock>> blocks_;
  std::unique_ptr<StateBlock> recording_;
  DWORD nextToken_ = 1;

  // Per-draw sampling setup, valid inside DrawPrimitiveUP.
  struct DrawSetup;
  DrawSetup* draw_ = nullptr;
};

class Direct3D final : public IDirect3D8 {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                            DWORD usage, D3DRESOURCETYPE resourceType,
                            D3DFORMAT checkFormat) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice8** device) override;

 private:
  ~Direct3D() = default;
  ULONG refs_ = 1;
};

}  // namespace vellomir::d3d8
