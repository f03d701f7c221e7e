// Screen-space textured rectangles on a Direct3D 8 device, with the caller's device state saved
// at Begin and restored at End.
#pragma once

#include "math/math.h"
#include "platform/api/d3d8.h"

namespace vellomir {

// {7C3B5E10-2A64-4D8F-9B1E-5A0C3F7D2E41}
inline constexpr GUID IID_SpriteBatch = {
    0x7C3B5E10, 0x2A64, 0x4D8F, {0x9B, 0x1E, 0x5A, 0x0C, 0x3F, 0x7D, 0x2E, 0x41}};

// Pre-transformed vertex (screen pixels), FVF 0x144.
struct SpriteVertexTL {
  float x, y, z, rhw;
  DWORD color;
  float u, v;
};
static_assert(sizeof(SpriteVertexTL) == 28);

// Untransformed vertex (pixels mapped by the world transform), FVF 0x142.
struct SpriteVertex {
  float x, y, z;
  DWORD color;
  float u, v;
};
static_assert(sizeof(SpriteVertex) == 24);

class SpriteBatch {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetDevice(IDirect3DDevice8** device) = 0;
  virtual HRESULT Begin() = 0;
  // Scaling, rotation centre and translation may be null; rotation is in radians.
  virtual HRESULT Draw(IDirect3DTexture8* texture, const RECT* sourceRect, const Vec2* scaling,
                       const Vec2* rotationCentre, float rotation, const Vec2* translation,
                       D3DCOLOR color) = 0;
  virtual HRESULT DrawWithMatrix(IDirect3DTexture8* texture, const RECT* sourceRect,
                                 const Matrix4* transform, D3DCOLOR color) = 0;
  virtual HRESULT End() = 0;
  virtual HRESULT DeviceLost() = 0;
  virtual HRESULT DeviceReset() = 0;

 protected:
  ~SpriteBatch() = default;
};

HRESULT CreateSpriteBatch(IDirect3DDevice8* device, SpriteBatch** batch);

}  // namespace vellomir
