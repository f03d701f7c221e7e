// Textures, volume textures, cube textures, their levels and stand-alone image surfaces: pixel
// memory, the pool rules, locking and the conversion of 2-D levels into the sampling format.
#include <algorithm>
#include <cstring>
#include <new>

#include "pixel/allocation.h"
#include "pixel/format_table.h"
#include "pixel/pixel_codec.h"
#include "platform/runtime/d3d8/runtime.h"

namespace vellomir::d3d8 {

namespace {
// Largest pixel memory of one level that the runtime hands out, in bytes.
constexpr uint64_t kMaxLevelBytes = uint64_t{1} << 31;
constexpr UINT kMaxDimension = 1u << 16;

UINT BlockBytes(D3DFORMAT f) { return f == D3DFMT_DXT1 ? 8 : 16; }

UINT FullChain(UINT w, UINT h, UINT d) {
  UINT m = std::max({w, h, d});
  UINT n = 0;
  while (m) {
    ++n;
    m >>= 1;
  }
  return n;
}

bool IsPow2(UINT v) { return v && !(v & (v - 1)); }

uint32_t ClampToByte(float v) {
  if (!(v > 0.0f)) return 0;  // also catches NaN
  if (v >= 1.0f) return 255;
  return static_cast<uint32_t>(v * 255.0f + 0.5f);
}
}  // namespace

bool IsBlockFormat(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 ||
         f == D3DFMT_DXT5;
}

bool IsPairFormat(D3DFORMAT f) { return f == D3DFMT_YUY2 || f == D3DFMT_UYVY; }

bool ComputeLayout(D3DFORMAT format, UINT width, UINT height, LevelLayout* layout) {
  if (width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension) return false;
  uint64_t pitch;
  uint64_t rows = height;
  if (IsBlockFormat(format)) {
    pitch = uint64_t{(width + 3) / 4} * BlockBytes(format);
    rows = (height + 3) / 4;
  } else if (IsPairFormat(format)) {
    pitch = uint64_t{(width + 1) / 2} * 4;
  } else {
    const FormatInfo& info = GetFormatInfo(format);
    if (info.format != static_cast<uint32_t>(format) || info.bitsPerPixel == 0 ||
        info.bitsPerPixel % 8 != 0)
      return false;
    pitch = uint64_t{width} * (info.bitsPerPixel / 8);
    pitch = (pitch + 3) & ~uint64_t{3};  // rows start on 32-bit boundaries
  }
  if (pitch * rows > kMaxLevelBytes) return false;
  layout->rowPitch = static_cast<UINT>(pitch);
  layout->rows = static_cast<UINT>(rows);
  layout->slicePitch = static_cast<UINT>(pitch * rows);
  return true;
}

HRESULT Level::Allocate() {
  if (!ComputeLayout(format, width, height, &layout)) return D3DERR_INVALIDCALL;
  uint64_t total = uint64_t{layout.slicePitch} * depth;
  if (total > kMaxLevelBytes) return D3DERR_INVALIDCALL;
  size = static_cast<size_t>(total);
  bits = AllocateArray<uint8_t>(size);
  if (!bits) return E_OUTOFMEMORY;
  std::memset(bits.get(), 0, size);
  if (wantsSampling) {
    sampled.assign(static_cast<size_t>(width) * height, 0xFF000000u);
  }
  return D3D_OK;
}

HRESULT Level::Lock(const RECT* rect, const D3DBOX* box, DWORD flags, void** out, INT* rowPitch,
                    INT* slicePitch) {
  if (!out) return D3DERR_INVALIDCALL;
  if (locked) return D3DERR_INVALIDCALL;
  // A default-pool resource lives where the processor cannot reach it unless it is dynamic.
  if (pool == D3DPOOL_DEFAULT && !(usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
  if ((flags & D3DLOCK_DISCARD) && !(usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
  if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) return D3DERR_INVALIDCALL;
  UINT left = 0, top = 0, front = 0, right = width, bottom = height, back = depth;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
        rect->top >= rect->bottom || static_cast<UINT>(rect->right) > width ||
        static_cast<UINT>(rect->bottom) > height)
      return D3DERR_INVALIDCALL;
    left = rect->left, top = rect->top, right = rect->right, bottom = rect->bottom;
  }
  if (box) {
    if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back ||
        box->Right > width || box->Bottom > height || box->Back > depth)
      return D3DERR_INVALIDCALL;
    left = box->Left, top = box->Top, right = box->Right, bottom = box->Bottom;
    front = box->Front, back = box->Back;
  }
  (void)back;
  size_t offset = static_cast<size_t>(front) * layout.slicePitch;
  if (IsBlockFormat(format)) {
    // Only whole blocks can be addressed.
    if (left % 4 || top % 4 || (right % 4 && right != width) || (bottom % 4 && bottom != height))
      return D3DERR_INVALIDCALL;
    offset += static_cast<size_t>(top / 4) * layout.rowPitch + (left / 4) * BlockBytes(format);
  } else if (IsPairFormat(format)) {
    if (left % 2 || (right % 2 && right != width)) return D3DERR_INVALIDCALL;
    offset += static_cast<size_t>(top) * layout.rowPitch + (left / 2) * 4;
  } else {
    offset += static_cast<size_t>(top) * layout.rowPitch +
              static_cast<size_t>(left) * (GetFormatInfo(format).bitsPerPixel / 8);
  }
  locked = true;
  lockedReadOnly = (flags & D3DLOCK_READONLY) != 0;
  *out = bits.get() + offset;
  if (rowPitch) *rowPitch = static_cast<INT>(layout.rowPitch);
  if (slicePitch) *slicePitch = static_cast<INT>(layout.slicePitch);
  Seams& seams = GetSeams();
  seams.lastLockFlags = flags;
  ++seams.lockCount;
  return D3D_OK;
}

HRESULT Level::Unlock() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  if (!lockedReadOnly) Upload();
  return D3D_OK;
}

void Level::Upload() {
  if (!wantsSampling) return;
  DecodeForSampling();
  uint32_t all = 0xFF000000u;
  for (uint32_t texel : sampled) all &= texel;
  opaque = (all >> 24) == 0xFF;
}

void Level::DecodeForSampling() {
  const size_t w = width;
  if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
    const uint32_t alpha = format == D3DFMT_X8R8G8B8 ? 0xFF000000u : 0u;
    for (UINT y = 0; y < height; ++y) {
      const uint8_t* src = bits.get() + static_cast<size_t>(y) * layout.rowPitch;
      uint32_t* dst = sampled.data() + y * w;
      std::memcpy(dst, src, w * 4);
      if (alpha)
        for (size_t x = 0; x < w; ++x) dst[x] |= alpha;
    }
    return;
  }
  std::unique_ptr<PixelCodec> codec;
  if (format != D3DFMT_P8 && format != D3DFMT_A8P8) {
    ImageDesc desc{};
    desc.bits = bits.get();
    desc.format = format;
    desc.rowPitch = layout.rowPitch;
    desc.slicePitch = 0;
    desc.bounds = {0, 0, width, height, 0, 1};
    desc.region = desc.bounds;
    codec = CreatePixelCodec(desc);
  }
  auto row = codec ? AllocateArray<FloatColor>(w) : nullptr;
  if (!codec || !row) {
    // No decoder for this layout (palettes are not bound to textures here): show opaque white
    // rather than stale texels.
    std::fill(sampled.begin(), sampled.end(), 0xFFFFFFFFu);
    return;
  }
  for (UINT y = 0; y < height; ++y) {
    codec->DecodeRow(y, 0, row.get());
    uint32_t* dst = sampled.data() + y * w;
    for (size_t x = 0; x < w; ++x) {
      const FloatColor& c = row[x];
      dst[x] = (ClampToByte(c.a) << 24) | (ClampToByte(c.r) << 16) | (ClampToByte(c.g) << 8) |
               ClampToByte(c.b);
    }
  }
}

TextureCore::~TextureCore() = default;

namespace {

// A level of a texture or cube texture, or a stand-alone image surface (then it owns its level
// and counts its own references).
class Surface final : public IDirect3DSurface8 {
 public:
  Surface(Device* device, Level* level, TextureCore* container)
      : device_(device), level_(level), container_(container) {}
  Surface(Device* device, std::unique_ptr<Level> owned)
      : device_(device), level_(owned.get()), owned_(std::move(owned)) {
    device_->AddInternalRef();
  }

  Level* level() const { return level_; }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DSurface8) {
      *object = static_cast<IDirect3DSurface8*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override {
    if (container_) return container_->AsBase()->AddRef();
    return ++refs_;
  }
  ULONG Release() override {
    if (container_) return container_->AsBase()->Release();
    ULONG left = --refs_;
    if (left == 0) {
      Device* device = device_;
      delete this;
      device->ReleaseInternalRef();
    }
    return left;
  }
  HRESULT GetDevice(IDirect3DDevice8** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }
  HRESULT GetContainer(REFIID riid, void** container) override {
    if (!container) return D3DERR_INVALIDCALL;
    *container = nullptr;
    if (container_) return container_->AsBase()->QueryInterface(riid, container);
    if (riid == IID_IDirect3DDevice8 || riid == IID_IUnknown) return GetDevice(
        reinterpret_cast<IDirect3DDevice8**>(container));
    return E_NOINTERFACE;
  }
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = level_->format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = level_->usage;
    desc->Pool = level_->pool;
    desc->Size = static_cast<UINT>(level_->size);
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = level_->width;
    desc->Height = level_->height;
    return D3D_OK;
  }
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    if (!locked) return D3DERR_INVALIDCALL;
    return level_->Lock(rect, nullptr, flags, &locked->pBits, &locked->Pitch, nullptr);
  }
  HRESULT UnlockRect() override { return level_->Unlock(); }

 private:
  ~Surface() = default;
  friend class Texture2D;
  friend class CubeTexture;
  ULONG refs_ = 1;
  Device* device_;
  Level* level_;
  TextureCore* container_ = nullptr;
  std::unique_ptr<Level> owned_;
};

class Volume final : public IDirect3DVolume8 {
 public:
  Volume(Device* device, Level* level, TextureCore* container)
      : device_(device), level_(level), container_(container) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVolume8) {
      *object = static_cast<IDirect3DVolume8*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return container_->AsBase()->AddRef(); }
  ULONG Release() override { return container_->AsBase()->Release(); }
  HRESULT GetDevice(IDirect3DDevice8** device) override {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
  }
  HRESULT GetContainer(REFIID riid, void** container) override {
    if (!container) return D3DERR_INVALIDCALL;
    *container = nullptr;
    return container_->AsBase()->QueryInterface(riid, container);
  }
  HRESULT GetDesc(D3DVOLUME_DESC* desc) override {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Format = level_->format;
    desc->Type = D3DRTYPE_VOLUME;
    desc->Usage = level_->usage;
    desc->Pool = level_->pool;
    desc->Size = static_cast<UINT>(level_->size);
    desc->Width = level_->width;
    desc->Height = level_->height;
    desc->Depth = level_->depth;
    return D3D_OK;
  }
  HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override {
    if (!locked) return D3DERR_INVALIDCALL;
    return level_->Lock(nullptr, box, flags, &locked->pBits, &locked->RowPitch,
                        &locked->SlicePitch);
  }
  HRESULT UnlockBox() override { return level_->Unlock(); }

 private:
  friend class VolumeTexture;
  ~Volume() = default;
  Device* device_;
  Level* level_;
  TextureCore* container_;
};

// Reference counting and the resource queries shared by the three texture kinds.
template <class Interface>
class TextureBase : public Interface, public TextureCore {
 public:
  IDirect3DBaseTexture8* AsBase() override { return this; }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      Device* owner = device;
      delete this;
      owner->ReleaseInternalRef();
    }
    return left;
  }
  HRESULT GetDevice(IDirect3DDevice8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
  }
  D3DRESOURCETYPE GetType() override { return kind; }
  DWORD GetLevelCount() override { return levelCount; }

 protected:
  HRESULT QueryAs(REFIID riid, const GUID& own, void** object) {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 ||
        riid == IID_IDirect3DBaseTexture8 || riid == own) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ~TextureBase() override = default;
  ULONG refs_ = 1;
};

void FillSurfaceDesc(const Level& level, D3DSURFACE_DESC* desc) {
  desc->Format = level.format;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = level.usage;
  desc->Pool = level.pool;
  desc->Size = static_cast<UINT>(level.size);
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->Width = level.width;
  desc->Height = level.height;
}

class Texture2D final : public TextureBase<IDirect3DTexture8> {
 public:
  std::vector<Surface*> surfaces;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryAs(riid, IID_IDirect3DTexture8, object);
  }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    if (level >= levelCount || !desc) return D3DERR_INVALIDCALL;
    FillSurfaceDesc(*LevelAt(0, level), desc);
    return D3D_OK;
  }
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = surfaces[level];
    return D3D_OK;
  }
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    return surfaces[level]->LockRect(locked, rect, flags);
  }
  HRESULT UnlockRect(UINT level) override {
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    return surfaces[level]->UnlockRect();
  }
  ~Texture2D() override {
    for (Surface* s : surfaces) delete s;
  }
};

class CubeTexture final : public TextureBase<IDirect3DCubeTexture8> {
 public:
  std::vector<Surface*> surfaces;  // [face * levelCount + level]
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryAs(riid, IID_IDirect3DCubeTexture8, object);
  }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
    if (level >= levelCount || !desc) return D3DERR_INVALIDCALL;
    FillSurfaceDesc(*LevelAt(0, level), desc);
    return D3D_OK;
  }
  HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                            IDirect3DSurface8** surface) override {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levelCount || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = surfaces[face * levelCount + level];
    return D3D_OK;
  }
  HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                   DWORD flags) override {
    if (level >= levelCount || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    return surfaces[face * levelCount + level]->LockRect(locked, rect, flags);
  }
  HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override {
    if (level >= levelCount || face > D3DCUBEMAP_FACE_NEGATIVE_Z) return D3DERR_INVALIDCALL;
    return surfaces[face * levelCount + level]->UnlockRect();
  }
  ~CubeTexture() override {
    for (Surface* s : surfaces) delete s;
  }
};

class VolumeTexture final : public TextureBase<IDirect3DVolumeTexture8> {
 public:
  std::vector<Volume*> volumes;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return QueryAs(riid, IID_IDirect3DVolumeTexture8, object);
  }
  HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override {
    if (level >= levelCount || !desc) return D3DERR_INVALIDCALL;
    return volumes[level]->GetDesc(desc);
  }
  HRESULT GetVolumeLevel(UINT level, IDirect3DVolume8** volume) override {
    if (!volume) return D3DERR_INVALIDCALL;
    *volume = nullptr;
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    AddRef();
    *volume = volumes[level];
    return D3D_OK;
  }
  HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override {
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    return volumes[level]->LockBox(locked, box, flags);
  }
  HRESULT UnlockBox(UINT level) override {
    if (level >= levelCount) return D3DERR_INVALIDCALL;
    return volumes[level]->UnlockBox();
  }
  ~VolumeTexture() override {
    for (Volume* v : volumes) delete v;
  }
};

}  // namespace

TextureCore* CoreOf(IDirect3DBaseTexture8* texture) {
  return texture ? dynamic_cast<TextureCore*>(texture) : nullptr;
}

Level* LevelOf(IDirect3DSurface8* surface) {
  Surface* s = surface ? dynamic_cast<Surface*>(surface) : nullptr;
  return s ? s->level() : nullptr;
}

HRESULT CreateTextureObject(Device* device, D3DRESOURCETYPE kind, UINT width, UINT height,
                            UINT depth, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            void** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  if (width == 0 || height == 0 || depth == 0) return D3DERR_INVALIDCALL;
  const DWORD knownUsage =
      D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
  if (usage & ~knownUsage) return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  const bool targets = (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0;
  if (targets && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && (pool == D3DPOOL_MANAGED || targets))
    return D3DERR_INVALIDCALL;
  LevelLayout probe;
  if (!ComputeLayout(format, 1, 1, &probe)) return D3DERR_INVALIDCALL;

  const UINT full = FullChain(width, height, kind == D3DRTYPE_VOLUMETEXTURE ? depth : 1);
  if (levels == 0) levels = full;
  if (levels > full) return D3DERR_INVALIDCALL;

  // Scratch resources never reach the device, so its limits do not apply to them.
  if (pool != D3DPOOL_SCRATCH) {
    if (!FormatSupported(format, kind, usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)))
      return D3DERR_INVALIDCALL;
    const D3DCAPS8 caps = CurrentCaps();
    const bool allPow2 =
        IsPow2(width) && IsPow2(height) && (kind != D3DRTYPE_VOLUMETEXTURE || IsPow2(depth));
    DWORD pow2Bit = D3DPTEXTURECAPS_POW2, mipBit = D3DPTEXTURECAPS_MIPMAP;
    if (kind == D3DRTYPE_VOLUMETEXTURE) {
      if (!(caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP)) return D3DERR_INVALIDCALL;
      if (width > caps.MaxVolumeExtent || height > caps.MaxVolumeExtent ||
          depth > caps.MaxVolumeExtent)
        return D3DERR_INVALIDCALL;
      pow2Bit = D3DPTEXTURECAPS_VOLUMEMAP_POW2;
      mipBit = D3DPTEXTURECAPS_MIPVOLUMEMAP;
    } else {
      if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
      if (kind == D3DRTYPE_CUBETEXTURE) {
        if (!(caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP)) return D3DERR_INVALIDCALL;
        pow2Bit = D3DPTEXTURECAPS_CUBEMAP_POW2;
        mipBit = D3DPTEXTURECAPS_MIPCUBEMAP;
      } else {
        if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height)
          return D3DERR_INVALIDCALL;
        const DWORD ratio = caps.MaxTextureAspectRatio;
        // Compared by multiplying: dividing would let 4097 x 2 pass a ratio of 2048.
        if (ratio && (uint64_t{width} > uint64_t{height} * ratio ||
                      uint64_t{height} > uint64_t{width} * ratio))
          return D3DERR_INVALIDCALL;
      }
    }
    if ((caps.TextureCaps & pow2Bit) && !allPow2) {
      // Conditional support: a single level of a 2-D texture may have any size.
      const bool conditional = kind == D3DRTYPE_TEXTURE &&
                               (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
      if (!conditional || levels != 1) return D3DERR_INVALIDCALL;
    }
    if (!(caps.TextureCaps & mipBit) && levels > 1) return D3DERR_INVALIDCALL;
  }

  const UINT faces = kind == D3DRTYPE_CUBETEXTURE ? 6 : 1;
  TextureCore* core = nullptr;
  Texture2D* texture = nullptr;
  CubeTexture* cube = nullptr;
  VolumeTexture* volume = nullptr;
  if (kind == D3DRTYPE_TEXTURE) core = texture = new (std::nothrow) Texture2D();
  else if (kind == D3DRTYPE_CUBETEXTURE) core = cube = new (std::nothrow) CubeTexture();
  else core = volume = new (std::nothrow) VolumeTexture();
  if (!core) return E_OUTOFMEMORY;
  core->kind = kind;
  core->device = device;
  core->format = format;
  core->pool = pool;
  core->usage = usage;
  core->levelCount = levels;
  core->faces = faces;
  device->AddInternalRef();

  HRESULT hr = D3D_OK;
  for (UINT face = 0; face < faces && SUCCEEDED(hr); ++face) {
    for (UINT i = 0; i < levels; ++i) {
      auto level = std::make_unique<Level>();
      level->format = format;
      level->type = kind == D3DRTYPE_VOLUMETEXTURE ? D3DRTYPE_VOLUME : D3DRTYPE_SURFACE;
      level->usage = usage;
      level->pool = pool;
      level->width = std::max(1u, width >> i);
      level->height = std::max(1u, height >> i);
      level->depth = kind == D3DRTYPE_VOLUMETEXTURE ? std::max(1u, depth >> i) : 1;
      level->wantsSampling = kind == D3DRTYPE_TEXTURE && pool != D3DPOOL_SCRATCH &&
                             pool != D3DPOOL_SYSTEMMEM;
      hr = level->Allocate();
      if (FAILED(hr)) break;
      Level* raw = level.get();
      core->levels.push_back(std::move(level));
      // Level wrappers are made without throwing, so running out of memory is a result.
      if (texture || cube) {
        Surface* s = new (std::nothrow) Surface(device, raw, core);
        if (!s) {
          hr = E_OUTOFMEMORY;
          break;
        }
        (texture ? texture->surfaces : cube->surfaces).push_back(s);
      } else {
        Volume* v = new (std::nothrow) Volume(device, raw, core);
        if (!v) {
          hr = E_OUTOFMEMORY;
          break;
        }
        volume->volumes.push_back(v);
      }
    }
  }
  if (FAILED(hr)) {
    core->AsBase()->Release();
    return hr;
  }
  if (texture) *out = static_cast<IDirect3DTexture8*>(texture);
  if (cube) *out = static_cast<IDirect3DCubeTexture8*>(cube);
  if (volume) *out = static_cast<IDirect3DVolumeTexture8*>(volume);
  return D3D_OK;
}

HRESULT CreateImageSurfaceObject(Device* device, UINT width, UINT height, D3DFORMAT format,
                                 IDirect3DSurface8** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  auto level = std::unique_ptr<Level>(new (std::nothrow) Level());
  if (!level) return E_OUTOFMEMORY;
  level->format = format;
  level->pool = D3DPOOL_SYSTEMMEM;
  level->width = width;
  level->height = height;
  HRESULT hr = level->Allocate();
  if (FAILED(hr)) return hr;
  Surface* surface = new (std::nothrow) Surface(device, std::move(level));
  if (!surface) return E_OUTOFMEMORY;
  *out = surface;
  return D3D_OK;
}

}  // namespace vellomir::d3d8
