// The sprite batch: one quad per draw, drawn immediately, inside a saved and restored device
// state.
#include "sprite/sprite_batch.h"

#include <cmath>
#include <new>

namespace vellomir {

namespace {

constexpr DWORD kFvfTL = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;       // 0x142

bool FormatHasAlpha(D3DFORMAT f) {
  switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8P8:
    case D3DFMT_P8:
    case D3DFMT_A8L8:
    case D3DFMT_A4L4:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      return true;
    default:
      return false;
  }
}

D3DMATRIX IdentityMatrix() {
  D3DMATRIX m{};
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

class SpriteBatchImpl final : public SpriteBatch {
 public:
  explicit SpriteBatchImpl(IDirect3DDevice8* device) : device(device) { device->AddRef(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_SpriteBatch) {
      AddRef();
      *object = static_cast<SpriteBatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG AddRef() override { return ++refCount; }

  ULONG Release() override {
    ULONG left = --refCount;
    if (left == 0) {
      if (spriteStateBlock) device->DeleteStateBlock(spriteStateBlock);
      if (savedStateBlock) device->DeleteStateBlock(savedStateBlock);
      device->Release();
      delete this;
    }
    return left;
  }

  HRESULT GetDevice(IDirect3DDevice8** out) override {
    if (!out) return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return S_OK;
  }

  HRESULT Begin() override {
    if (inBatch) return E_FAIL;
    if (savedStateBlock == 0) {
      // A sprite block left over from a recording whose first pass failed would otherwise be
      // orphaned on the device when it is recorded again.
      if (spriteStateBlock) device->DeleteStateBlock(spriteStateBlock);
      spriteStateBlock = 0;
      RecordPass(0, &savedStateBlock);
      RecordPass(1, &spriteStateBlock);
    }
    device->CaptureStateBlock(savedStateBlock);
    device->ApplyStateBlock(spriteStateBlock);
    if (!pretransformed) {
      // Pixel (x, y) to clip space, shifted by half a pixel so that texel centres land on pixel
      // centres; every z becomes 0.
      D3DVIEWPORT8 viewport{};
      device->GetViewport(&viewport);
      const float a = 1.0f / static_cast<float>(viewport.Width);
      const float b = 1.0f / static_cast<float>(viewport.Height);
      D3DMATRIX world{};
      world._11 = a + a;
      world._22 = b * -2.0f;
      world._41 = -a - 1.0f;
      world._42 = b + 1.0f;
      world._44 = 1.0f;
      device->SetTransform(D3DTS_WORLD, &world);
    }
    inBatch = 1;
    return S_OK;
  }

  HRESULT Draw(IDirect3DTexture8* texture, const RECT* sourceRect, const Vec2* scaling,
               const Vec2* rotationCentre, float rotation, const Vec2* translation,
               D3DCOLOR color) override {
    Vec3 s, c, t;
    Quaternion q;
    if (scaling) s = {scaling->x, scaling->y, 1.0f};
    if (rotationCentre) c = {rotationCentre->x, rotationCentre->y, 0.0f};
    if (translation) t = {translation->x, translation->y, 0.0f};
    const bool rotate = rotation != 0.0f;  // a NaN compares unequal, so it rotates too
    if (rotate) q = {0.0f, 0.0f, std::sin(rotation * -0.5f), std::cos(rotation * -0.5f)};
    Matrix4 m;
    BuildTransformation(&m, nullptr, nullptr, scaling ? &s : nullptr,
                        rotationCentre ? &c : nullptr, rotate ? &q : nullptr,
                        translation ? &t : nullptr);
    return DrawWithMatrix(texture, sourceRect, &m, color);
  }

  HRESULT DrawWithMatrix(IDirect3DTexture8* texture, const RECT* sourceRect,
                         const Matrix4* transform, D3DCOLOR color) override {
    if (!texture) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return hr;
    RECT r{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    if (sourceRect) {
      r = *sourceRect;
      if (r.left < 0 || r.left > r.right || static_cast<int64_t>(r.left) > desc.Width ||
          r.top < 0 || r.top > r.bottom || static_cast<int64_t>(r.top) > desc.Height)
        return D3DERR_INVALIDCALL;
    }
    const bool needsAlpha = (color >> 24) != 0xFF || FormatHasAlpha(desc.Format);

    const bool wasOpen = inBatch != 0;
    if (!wasOpen) {
      hr = Begin();
      if (FAILED(hr)) return hr;
    }
    device->SetTexture(0, texture);
    device->SetRenderState(canBlend ? D3DRS_ALPHABLENDENABLE : D3DRS_ALPHATESTENABLE,
                           needsAlpha ? 1 : 0);

    const float w = static_cast<float>(r.right - r.left);
    const float h = static_cast<float>(r.bottom - r.top);
    const float iw = 1.0f / static_cast<float>(desc.Width);
    const float ih = 1.0f / static_cast<float>(desc.Height);
    const float uLeft = static_cast<float>(r.left) * iw, uRight = static_cast<float>(r.right) * iw;
    const float vTop = static_cast<float>(r.top) * ih, vBottom = static_cast<float>(r.bottom) * ih;
    const float corner[4][4] = {
        {0, 0, uLeft, vTop}, {0, h, uLeft, vBottom}, {w, h, uRight, vBottom}, {w, 0, uRight, vTop}};

    if (pretransformed) {
      SpriteVertexTL v[4];
      for (int i = 0; i < 4; ++i) {
        Vec3 p{corner[i][0], corner[i][1], 0.0f};
        if (transform) TransformVec3Coord(&p, &p, transform);
        v[i] = {p.x - 0.5f, p.y - 0.5f, 0.0f, 1.0f, color, corner[i][2], corner[i][3]};
      }
      device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(SpriteVertexTL));
    } else {
      SpriteVertex v[4];
      for (int i = 0; i < 4; ++i) {
        Vec3 p{corner[i][0], corner[i][1], 0.0f};
        if (transform) TransformVec3Coord(&p, &p, transform);
        v[i] = {p.x, p.y, p.z, color, corner[i][2], corner[i][3]};
      }
      device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(SpriteVertex));
    }

    if (!wasOpen) {
      hr = End();
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT End() override {
    if (!inBatch) return E_FAIL;
    device->ApplyStateBlock(savedStateBlock);
    inBatch = 0;
    return S_OK;
  }

  HRESULT DeviceLost() override {
    if (spriteStateBlock) device->DeleteStateBlock(spriteStateBlock);
    if (savedStateBlock) device->DeleteStateBlock(savedStateBlock);
    spriteStateBlock = 0;
    savedStateBlock = 0;
    return S_OK;
  }

  HRESULT DeviceReset() override { return S_OK; }

  uint32_t refCount = 1;
  IDirect3DDevice8* device;
  uint32_t inBatch = 0;
  DWORD savedStateBlock = 0;
  DWORD spriteStateBlock = 0;
  uint32_t canBlend = 0;
  uint32_t pretransformed = 0;

 private:
  ~SpriteBatchImpl() = default;

  // Pass 0 records the states the batch touches (their values are captured at each Begin);
  // pass 1 records the sprite state itself.
  void RecordPass(int pass, DWORD* token) {
    IDirect3DDevice8* d = device;
    d->BeginStateBlock();
    d->SetVertexShader(pretransformed ? kFvfTL : kFvf);
    if (!pretransformed) {
      const D3DMATRIX identity = IdentityMatrix();
      d->SetTransform(D3DTS_VIEW, &identity);
      d->SetTransform(D3DTS_PROJECTION, &identity);
      if (pass == 0) d->SetTransform(D3DTS_WORLD, &identity);
    }
    d->SetRenderState(D3DRS_ZENABLE, 0);
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_WRAP0, 0);
    d->SetRenderState(D3DRS_CLIPPING, 1);
    d->SetRenderState(D3DRS_VERTEXBLEND, 0);
    d->SetRenderState(D3DRS_CLIPPLANEENABLE, 0);
    d->SetRenderState(D3DRS_PATCHSEGMENTS, 1);
    d->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 0);
    if (!pretransformed) {
      d->SetRenderState(D3DRS_FOGENABLE, 0);
      d->SetRenderState(D3DRS_SPECULARENABLE, 0);
      d->SetRenderState(D3DRS_STENCILENABLE, 0);
      d->SetRenderState(D3DRS_LIGHTING, 0);
      d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    }
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    d->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, 0);
    if (canBlend) {
      d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
      d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
      d->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    } else {
      d->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
      d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
      d->SetRenderState(D3DRS_ALPHAREF, 127);
    }
    if (pass == 0) {
      d->SetTexture(0, nullptr);
      d->SetStreamSource(0, nullptr, 0);
    }
    *token = 0;
    d->EndStateBlock(token);
  }
};

}  // namespace

HRESULT CreateSpriteBatch(IDirect3DDevice8* device, SpriteBatch** batch) {
  if (!device || !batch) return D3DERR_INVALIDCALL;
  auto* impl = new (std::nothrow) SpriteBatchImpl(device);
  if (!impl) return E_OUTOFMEMORY;
  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  D3DDEVICE_CREATION_PARAMETERS creation{};
  device->GetCreationParameters(&creation);
  impl->canBlend = (caps.SrcBlendCaps & D3DPBLENDCAPS_SRCALPHA) &&
                   (caps.DestBlendCaps & D3DPBLENDCAPS_INVSRCALPHA);
  impl->pretransformed = (caps.PrimitiveMiscCaps & D3DPMISCCAPS_CLIPTLVERTS) ||
                         (creation.BehaviorFlags & D3DCREATE_PUREDEVICE);
  *batch = impl;
  return S_OK;
}

}  // namespace vellomir
