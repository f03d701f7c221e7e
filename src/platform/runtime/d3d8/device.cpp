// The device: queries, resource creation and copies, fixed-function state and state blocks,
// the frame bracket, Present and Reset. Drawing and Clear live in rasterizer.cpp.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "pixel/format_table.h"
#include "platform/runtime/d3d8/runtime.h"

namespace vellomir::d3d8 {

namespace {
D3DMATRIX Identity() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}
DWORD FloatBits(float f) { return std::bit_cast<DWORD>(f); }

template <class T>
void SetReference(T*& slot, T* value) {
  if (value) value->AddRef();
  if (slot) slot->Release();
  slot = value;
}
}  // namespace

StateBlock::~StateBlock() {
  for (auto*& t : textures) SetReference<IDirect3DBaseTexture8>(t, nullptr);
  SetReference<IDirect3DVertexBuffer8>(stream, nullptr);
}

void StateBlock::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
  textureMask.set(stage);
  SetReference(textures[stage], texture);
}

void StateBlock::SetStream(IDirect3DVertexBuffer8* buffer, UINT stride) {
  hasStream = true;
  SetReference(stream, buffer);
  streamStride = stride;
}

Device::Device(Direct3D* owner, UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behavior)
    : owner_(owner), creation_{adapter, type, focus, behavior}, caps_(CurrentCaps()) {
  caps_.DeviceType = type;
  caps_.AdapterOrdinal = adapter;
  owner_->AddRef();
}

Device::~Device() = default;

HRESULT Device::Initialise(D3DPRESENT_PARAMETERS* parameters) {
  mode_ = CurrentDisplayMode();
  HRESULT hr = CreateBuffers(*parameters);
  if (FAILED(hr)) return hr;
  *parameters = params_;
  ResetState();
  return D3D_OK;
}

HRESULT Device::CreateBuffers(const D3DPRESENT_PARAMETERS& p) {
  D3DPRESENT_PARAMETERS settled = p;
  if (!p.Windowed) return D3DERR_NOTAVAILABLE;  // this runtime only draws into windows
  if (settled.BackBufferFormat == D3DFMT_UNKNOWN) settled.BackBufferFormat = mode_.Format;
  if (settled.BackBufferFormat != D3DFMT_X8R8G8B8 && settled.BackBufferFormat != D3DFMT_A8R8G8B8 &&
      settled.BackBufferFormat != D3DFMT_R5G6B5 && settled.BackBufferFormat != D3DFMT_X1R5G5B5)
    return D3DERR_INVALIDCALL;
  if (settled.BackBufferCount > 3) return D3DERR_INVALIDCALL;
  if (settled.BackBufferCount == 0) settled.BackBufferCount = 1;
  if (settled.SwapEffect < D3DSWAPEFFECT_DISCARD || settled.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
    return D3DERR_INVALIDCALL;
  if (settled.EnableAutoDepthStencil && settled.AutoDepthStencilFormat != D3DFMT_D16 &&
      settled.AutoDepthStencilFormat != D3DFMT_D16_LOCKABLE)
    return D3DERR_NOTAVAILABLE;  // only a 16-bit depth buffer is provided
  // A zero size in a window takes the client area; without one, a sensible default.
  HWND window = settled.hDeviceWindow ? settled.hDeviceWindow : creation_.hFocusWindow;
  if (settled.BackBufferWidth == 0 || settled.BackBufferHeight == 0) {
    RECT client{0, 0, 0, 0};
    if (window) GetClientRect(window, &client);
    if (settled.BackBufferWidth == 0)
      settled.BackBufferWidth = client.right > 0 ? static_cast<UINT>(client.right) : 640;
    if (settled.BackBufferHeight == 0)
      settled.BackBufferHeight = client.bottom > 0 ? static_cast<UINT>(client.bottom) : 480;
  }
  if (settled.BackBufferWidth > 16384 || settled.BackBufferHeight > 16384)
    return D3DERR_INVALIDCALL;
  const size_t pixels = static_cast<size_t>(settled.BackBufferWidth) * settled.BackBufferHeight;
  std::vector<uint32_t> color;
  std::vector<uint16_t> depth;
  try {
    color.assign(pixels, 0xFF000000u);
    if (settled.EnableAutoDepthStencil) depth.assign(pixels, 0xFFFF);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  backBuffer_ = std::move(color);
  depthBuffer_ = std::move(depth);
  params_ = settled;
  presenter_ = GetSeams().forceHeadless ? nullptr : CreateWindowPresenter(window);
  return D3D_OK;
}

void Device::ResetState() {
  ReleaseBindings();
  render_.fill(0);
  render_[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  render_[D3DRS_FILLMODE] = D3DFILL_SOLID;
  render_[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  render_[D3DRS_ZWRITEENABLE] = TRUE;
  render_[D3DRS_LASTPIXEL] = TRUE;
  render_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  render_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  render_[D3DRS_CULLMODE] = D3DCULL_CCW;
  render_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  render_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  render_[D3DRS_FOGEND] = FloatBits(1.0f);
  render_[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  render_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  render_[D3DRS_CLIPPING] = TRUE;
  render_[D3DRS_LIGHTING] = TRUE;
  render_[D3DRS_COLORVERTEX] = TRUE;
  render_[D3DRS_LOCALVIEWER] = TRUE;
  render_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  render_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  render_[D3DRS_PATCHSEGMENTS] = FloatBits(1.0f);
  render_[D3DRS_COLORWRITEENABLE] = 0xF;
  render_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (UINT s = 0; s < D3D_TEXTURE_STAGES; ++s) {
    auto& st = stage_[s];
    st.fill(0);
    st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    st[D3DTSS_TEXCOORDINDEX] = s;
    st[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    st[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    st[D3DTSS_MAXANISOTROPY] = 1;
  }
  transforms_.fill(Identity());
  lights_.clear();
  lightEnables_.clear();
  vertexShader_ = 0;
  streamStride_ = 0;
  viewport_ = {0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
  inScene_ = false;
}

void Device::ReleaseBindings() {
  for (auto*& t : textures_) SetReference<IDirect3DBaseTexture8>(t, nullptr);
  SetReference<IDirect3DVertexBuffer8>(stream_, nullptr);
  blocks_.clear();
  recording_.reset();
}

void Device::ReleaseInternalRef() {
  // A device revived through a resource's GetDevice is referenced again and must stay.
  if (--internalRefs_ == 0 && released_ && refs_ == 0) delete this;
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DDevice8) {
    *object = static_cast<IDirect3DDevice8*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  ULONG left = --refs_;
  if (left == 0) {
    // Bindings hold references on textures, which must not keep the device's state alive.
    // Releasing the last binding of a texture can release that texture's internal reference;
    // the one held here keeps the device alive until its own teardown is finished.
    released_ = true;
    ++internalRefs_;
    ReleaseBindings();
    presenter_.reset();
    backBuffer_ = {};
    depthBuffer_ = {};
    Direct3D* owner = owner_;
    owner_ = nullptr;
    if (--internalRefs_ == 0) delete this;
    // A device revived through a resource's GetDevice has already let its owner go.
    if (owner) owner->Release();
  }
  return left;
}

HRESULT Device::TestCooperativeLevel() { return D3D_OK; }

HRESULT Device::GetDirect3D(IDirect3D8** direct3d) {
  if (!direct3d || !owner_) return D3DERR_INVALIDCALL;
  owner_->AddRef();
  *direct3d = owner_;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS8* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  return D3D_OK;
}

HRESULT Device::GetDisplayMode(D3DDISPLAYMODE* mode) {
  if (!mode) return D3DERR_INVALIDCALL;
  *mode = mode_;
  return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  *parameters = creation_;
  return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  HRESULT hr = CreateBuffers(*parameters);
  if (FAILED(hr)) return hr;
  *parameters = params_;
  ResetState();
  return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const void*) {
  if (inScene_) return D3DERR_INVALIDCALL;
  Seams& seams = GetSeams();
  if (seams.failPresent) return D3DERR_DEVICELOST;
  const bool opaque = params_.BackBufferFormat != D3DFMT_A8R8G8B8;
  auto& frame = seams.lastFrame;
  frame.width = params_.BackBufferWidth;
  frame.height = params_.BackBufferHeight;
  frame.pixels.resize(backBuffer_.size());
  if (opaque) {
    for (size_t i = 0; i < backBuffer_.size(); ++i) frame.pixels[i] = backBuffer_[i] | 0xFF000000u;
  } else {
    std::memcpy(frame.pixels.data(), backBuffer_.data(), backBuffer_.size() * 4);
  }
  ++seams.presentCount;
  if (presenter_) presenter_->Show(frame.pixels.data(), frame.width, frame.height);
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture8** texture) {
  return CreateTextureObject(this, D3DRTYPE_TEXTURE, width, height, 1, levels, usage, format, pool,
                             reinterpret_cast<void**>(texture));
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                    D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DVolumeTexture8** texture) {
  return CreateTextureObject(this, D3DRTYPE_VOLUMETEXTURE, width, height, depth, levels, usage,
                             format, pool, reinterpret_cast<void**>(texture));
}

HRESULT Device::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DCubeTexture8** texture) {
  return CreateTextureObject(this, D3DRTYPE_CUBETEXTURE, edgeLength, edgeLength, 1, levels, usage,
                             format, pool, reinterpret_cast<void**>(texture));
}

HRESULT Device::CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                                   IDirect3DSurface8** surface) {
  return CreateImageSurfaceObject(this, width, height, format, surface);
}

namespace {
// Copies a rectangle of whole pixels (or whole 4x4 blocks) between two levels of one format.
void CopyRegion(const Level& src, const RECT& r, Level* dst, LONG dx, LONG dy) {
  size_t unitBytes, srcCol, dstCol, cols, rows, srcRow, dstRow;
  if (IsBlockFormat(src.format)) {
    unitBytes = src.format == D3DFMT_DXT1 ? 8 : 16;
    srcCol = r.left / 4, dstCol = dx / 4;
    cols = (r.right - r.left + 3) / 4, rows = (r.bottom - r.top + 3) / 4;
    srcRow = r.top / 4, dstRow = dy / 4;
  } else if (IsPairFormat(src.format)) {
    unitBytes = 4;
    srcCol = r.left / 2, dstCol = dx / 2;
    cols = (r.right - r.left + 1) / 2, rows = r.bottom - r.top;
    srcRow = r.top, dstRow = dy;
  } else {
    unitBytes = GetFormatInfo(src.format).bitsPerPixel / 8;
    srcCol = r.left, dstCol = dx;
    cols = r.right - r.left, rows = r.bottom - r.top;
    srcRow = r.top, dstRow = dy;
  }
  for (size_t y = 0; y < rows; ++y) {
    const uint8_t* s = src.bits.get() + (srcRow + y) * src.layout.rowPitch + srcCol * unitBytes;
    uint8_t* d = dst->bits.get() + (dstRow + y) * dst->layout.rowPitch + dstCol * unitBytes;
    std::memmove(d, s, cols * unitBytes);
  }
}

bool RectFits(const RECT& r, UINT w, UINT h) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
         static_cast<UINT>(r.right) <= w && static_cast<UINT>(r.bottom) <= h;
}

// Block formats copy whole blocks only: edges on multiples of 4, or the level's own edge.
bool RectAligned(const Level& l, const RECT& r) {
  if (IsBlockFormat(l.format))
    return r.left % 4 == 0 && r.top % 4 == 0 &&
           (r.right % 4 == 0 || static_cast<UINT>(r.right) == l.width) &&
           (r.bottom % 4 == 0 || static_cast<UINT>(r.bottom) == l.height);
  if (IsPairFormat(l.format))
    return r.left % 2 == 0 && (r.right % 2 == 0 || static_cast<UINT>(r.right) == l.width);
  return true;
}
}  // namespace

HRESULT Device::CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                          IDirect3DSurface8* destination, const POINT* destPoints) {
  Level* src = LevelOf(source);
  Level* dst = LevelOf(destination);
  if (!src || !dst || src == dst) return D3DERR_INVALIDCALL;
  if (src->format != dst->format) return D3DERR_INVALIDCALL;
  // Scratch memory is outside the device's reach; locked memory belongs to the application.
  if (src->pool == D3DPOOL_SCRATCH || dst->pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  if (src->locked || dst->locked) return D3DERR_INVALIDCALL;
  if (src->type != D3DRTYPE_SURFACE || dst->type != D3DRTYPE_SURFACE) return D3DERR_INVALIDCALL;

  struct Job {
    RECT rect;
    LONG x, y;
  };
  std::vector<Job> jobs;
  if (!sourceRects || rectCount == 0) {
    POINT at = destPoints ? destPoints[0] : POINT{0, 0};
    jobs.push_back({{0, 0, static_cast<LONG>(src->width), static_cast<LONG>(src->height)},
                    at.x, at.y});
  } else {
    for (UINT i = 0; i < rectCount; ++i) {
      const RECT& r = sourceRects[i];
      POINT at = destPoints ? destPoints[i] : POINT{r.left, r.top};
      jobs.push_back({r, at.x, at.y});
    }
  }
  // Everything is checked before anything is written.
  for (const Job& job : jobs) {
    if (!RectFits(job.rect, src->width, src->height) || !RectAligned(*src, job.rect))
      return D3DERR_INVALIDCALL;
    if (IsBlockFormat(src->format)) {
      // Block levels store whole 4x4 blocks even where the size is not a multiple of 4, so the
      // copy is placed in block units: a 2x2 level and its 4x4 stand-in hold the same one block.
      // A short last block (the source's own edge) may only land on the destination's last
      // block, so padding texels never overwrite pixels inside the destination.
      if (job.x < 0 || job.y < 0 || job.x % 4 || job.y % 4) return D3DERR_INVALIDCALL;
      const uint64_t cols = (job.rect.right - job.rect.left + 3) / 4;
      const uint64_t rows = (job.rect.bottom - job.rect.top + 3) / 4;
      const uint64_t endCol = uint64_t(job.x / 4) + cols, endRow = uint64_t(job.y / 4) + rows;
      const uint64_t dstCols = (dst->width + 3) / 4, dstRows = (dst->height + 3) / 4;
      if (endCol > dstCols || endRow > dstRows) return D3DERR_INVALIDCALL;
      if ((job.rect.right - job.rect.left) % 4 && endCol != dstCols) return D3DERR_INVALIDCALL;
      if ((job.rect.bottom - job.rect.top) % 4 && endRow != dstRows) return D3DERR_INVALIDCALL;
      continue;
    }
    // The point is checked first so that adding the rectangle's size cannot overflow.
    if (job.x < 0 || job.y < 0 || static_cast<UINT>(job.x) > dst->width ||
        static_cast<UINT>(job.y) > dst->height)
      return D3DERR_INVALIDCALL;
    RECT target{job.x, job.y, job.x + (job.rect.right - job.rect.left),
                job.y + (job.rect.bottom - job.rect.top)};
    if (!RectFits(target, dst->width, dst->height) || !RectAligned(*dst, target))
      return D3DERR_INVALIDCALL;
  }
  for (const Job& job : jobs) CopyRegion(*src, job.rect, dst, job.x, job.y);
  dst->Upload();
  ++GetSeams().copyRectsCount;
  return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* destination) {
  TextureCore* src = CoreOf(source);
  TextureCore* dst = CoreOf(destination);
  if (!src || !dst || src == dst) return D3DERR_INVALIDCALL;
  if (src->kind != dst->kind || src->format != dst->format) return D3DERR_INVALIDCALL;
  if (src->pool != D3DPOOL_SYSTEMMEM || dst->pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  // The source may carry extra larger levels; the chains line up where the sizes first match.
  Level* dst0 = dst->LevelAt(0, 0);
  UINT offset = 0;
  while (offset < src->levelCount) {
    const Level* l = src->LevelAt(0, offset);
    if (l->width == dst0->width && l->height == dst0->height && l->depth == dst0->depth) break;
    ++offset;
  }
  if (offset == src->levelCount || src->levelCount - offset < dst->levelCount)
    return D3DERR_INVALIDCALL;
  for (UINT face = 0; face < dst->faces; ++face)
    for (UINT i = 0; i < dst->levelCount; ++i)
      if (src->LevelAt(face, offset + i)->locked || dst->LevelAt(face, i)->locked)
        return D3DERR_INVALIDCALL;
  for (UINT face = 0; face < dst->faces; ++face) {
    for (UINT i = 0; i < dst->levelCount; ++i) {
      const Level* s = src->LevelAt(face, offset + i);
      Level* d = dst->LevelAt(face, i);
      std::memcpy(d->bits.get(), s->bits.get(), std::min(s->size, d->size));
      d->Upload();
    }
  }
  return D3D_OK;
}

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

int Device::TransformSlot(DWORD state) {
  switch (state) {
    case D3DTS_WORLD:
      return 0;
    case D3DTS_VIEW:
      return 1;
    case D3DTS_PROJECTION:
      return 2;
    default:
      if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
        return 3 + static_cast<int>(state - D3DTS_TEXTURE0);
      return -1;
  }
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  int slot = TransformSlot(state);
  if (slot < 0 || !matrix) return D3DERR_INVALIDCALL;
  if (recording_)
    recording_->transforms[state] = *matrix;
  else
    transforms_[slot] = *matrix;
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  int slot = TransformSlot(state);
  if (slot < 0 || !matrix) return D3DERR_INVALIDCALL;
  *matrix = transforms_[slot];
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  if (viewport->Width == 0 || viewport->Height == 0 ||
      uint64_t{viewport->X} + viewport->Width > params_.BackBufferWidth ||
      uint64_t{viewport->Y} + viewport->Height > params_.BackBufferHeight ||
      !(viewport->MinZ >= 0.0f && viewport->MaxZ <= 1.0f && viewport->MinZ <= viewport->MaxZ))
    return D3DERR_INVALIDCALL;
  if (recording_) {
    recording_->hasViewport = true;
    recording_->viewport = *viewport;
  } else {
    viewport_ = *viewport;
  }
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
    return D3DERR_INVALIDCALL;
  if (recording_)
    recording_->lights[index] = *light;
  else
    lights_[index] = *light;
  return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
  auto it = lights_.find(index);
  if (!light || it == lights_.end()) return D3DERR_INVALIDCALL;
  *light = it->second;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  if (recording_) {
    recording_->lightEnables[index] = enable ? TRUE : FALSE;
    return D3D_OK;
  }
  // Enabling a light that was never set gives it the default light, as drivers do.
  if (!lights_.count(index)) {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    lights_[index] = light;
  }
  lightEnables_[index] = enable ? TRUE : FALSE;
  return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
  if (!enable || !lights_.count(index)) return D3DERR_INVALIDCALL;
  auto it = lightEnables_.find(index);
  *enable = it != lightEnables_.end() ? it->second : FALSE;
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state == 0 || state >= D3DRS_STATE_COUNT) return D3DERR_INVALIDCALL;
  if (recording_) {
    recording_->renderMask.set(state);
    recording_->render[state] = value;
  } else {
    render_[state] = value;
  }
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state == 0 || state >= D3DRS_STATE_COUNT || !value) return D3DERR_INVALIDCALL;
  *value = render_[state];
  return D3D_OK;
}

HRESULT Device::BeginStateBlock() {
  if (recording_) return D3DERR_INVALIDCALL;
  recording_.reset(new (std::nothrow) StateBlock());
  return recording_ ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT Device::EndStateBlock(DWORD* token) {
  if (!recording_ || !token) return D3DERR_INVALIDCALL;
  const DWORD id = nextToken_++;
  blocks_[id] = std::move(recording_);
  *token = id;
  return D3D_OK;
}

HRESULT Device::ApplyStateBlock(DWORD token) {
  auto it = blocks_.find(token);
  if (recording_ || it == blocks_.end()) return D3DERR_INVALIDCALL;
  const StateBlock& b = *it->second;
  for (UINT s = 1; s < D3DRS_STATE_COUNT; ++s)
    if (b.renderMask.test(s)) render_[s] = b.render[s];
  for (UINT st = 0; st < D3D_TEXTURE_STAGES; ++st)
    for (UINT s = 0; s < D3DTSS_STATE_COUNT; ++s)
      if (b.stageMask[st].test(s)) stage_[st][s] = b.stage[st][s];
  for (const auto& [state, m] : b.transforms) transforms_[TransformSlot(state)] = m;
  for (const auto& [index, light] : b.lights) lights_[index] = light;
  for (const auto& [index, on] : b.lightEnables) LightEnable(index, on);
  for (UINT st = 0; st < D3D_TEXTURE_STAGES; ++st)
    if (b.textureMask.test(st)) SetReference(textures_[st], b.textures[st]);
  if (b.hasVertexShader) vertexShader_ = b.vertexShader;
  if (b.hasStream) {
    SetReference(stream_, b.stream);
    streamStride_ = b.streamStride;
  }
  if (b.hasViewport) viewport_ = b.viewport;
  return D3D_OK;
}

HRESULT Device::CaptureStateBlock(DWORD token) {
  auto it = blocks_.find(token);
  if (recording_ || it == blocks_.end()) return D3DERR_INVALIDCALL;
  StateBlock& b = *it->second;
  for (UINT s = 1; s < D3DRS_STATE_COUNT; ++s)
    if (b.renderMask.test(s)) b.render[s] = render_[s];
  for (UINT st = 0; st < D3D_TEXTURE_STAGES; ++st)
    for (UINT s = 0; s < D3DTSS_STATE_COUNT; ++s)
      if (b.stageMask[st].test(s)) b.stage[st][s] = stage_[st][s];
  for (auto& [state, m] : b.transforms) m = transforms_[TransformSlot(state)];
  for (auto it2 = b.lights.begin(); it2 != b.lights.end();) {
    auto cur = lights_.find(it2->first);
    if (cur != lights_.end()) {
      it2->second = cur->second;
      ++it2;
    } else {
      it2 = b.lights.erase(it2);  // nothing to restore for a light that does not exist
    }
  }
  for (auto& [index, on] : b.lightEnables) {
    auto cur = lightEnables_.find(index);
    on = cur != lightEnables_.end() ? cur->second : FALSE;
  }
  for (UINT st = 0; st < D3D_TEXTURE_STAGES; ++st)
    if (b.textureMask.test(st)) b.SetTexture(st, textures_[st]);
  if (b.hasVertexShader) b.vertexShader = vertexShader_;
  if (b.hasStream) b.SetStream(stream_, streamStride_);
  if (b.hasViewport) b.viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::DeleteStateBlock(DWORD token) {
  auto it = blocks_.find(token);
  if (recording_ || it == blocks_.end()) return D3DERR_INVALIDCALL;
  blocks_.erase(it);
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
  if (stage >= D3D_TEXTURE_STAGES || !texture) return D3DERR_INVALIDCALL;
  *texture = textures_[stage];
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
  if (stage >= D3D_TEXTURE_STAGES) return D3DERR_INVALIDCALL;
  if (texture) {
    TextureCore* core = CoreOf(texture);
    // Only textures of this device in memory it can read can be sampled.
    if (!core || core->device != this || core->pool == D3DPOOL_SCRATCH ||
        core->pool == D3DPOOL_SYSTEMMEM)
      return D3DERR_INVALIDCALL;
  }
  if (recording_)
    recording_->SetTexture(stage, texture);
  else
    SetReference(textures_[stage], texture);
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (stage >= D3D_TEXTURE_STAGES || type == 0 || type >= D3DTSS_STATE_COUNT || !value)
    return D3DERR_INVALIDCALL;
  *value = stage_[stage][type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= D3D_TEXTURE_STAGES || type == 0 || type >= D3DTSS_STATE_COUNT)
    return D3DERR_INVALIDCALL;
  if (recording_) {
    recording_->stageMask[stage].set(type);
    recording_->stage[stage][type] = value;
  } else {
    stage_[stage][type] = value;
  }
  return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD handle) {
  if (recording_) {
    recording_->hasVertexShader = true;
    recording_->vertexShader = handle;
  } else {
    vertexShader_ = handle;
  }
  return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* handle) {
  if (!handle) return D3DERR_INVALIDCALL;
  *handle = vertexShader_;
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
  if (stream != 0) return D3DERR_INVALIDCALL;  // one stream
  if (recording_)
    recording_->SetStream(buffer, stride);
  else {
    SetReference(stream_, buffer);
    streamStride_ = stride;
  }
  return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) {
  if (stream != 0 || !buffer || !stride) return D3DERR_INVALIDCALL;
  *buffer = stream_;
  if (stream_) stream_->AddRef();
  *stride = streamStride_;
  return D3D_OK;
}

}  // namespace vellomir::d3d8

namespace vellomir::platform::testing {

PresentedFrame ReadBackBuffer(IDirect3DDevice8* device) {
  PresentedFrame frame;
  auto* d = dynamic_cast<d3d8::Device*>(device);
  if (!d) return frame;
  frame.width = d->BackBufferWidth();
  frame.height = d->BackBufferHeight();
  frame.pixels = d->BackBuffer();
  return frame;
}

}  // namespace vellomir::platform::testing
