#include <cmath>

#include "platform/d3d8/device_fixture.h"

using namespace vellomir::platform::testing;
using vellomir::testsupport::DeviceTest;

namespace {

TEST(Direct3DTest, CreationSeamsAndAttempts) {
  ResetDirect3D();
  EXPECT_EQ(Direct3DCreate8(219), nullptr);
  FailDirect3DCreate(true);
  EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
  FailDirect3DCreate(false);
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);

  D3DDISPLAYMODE mode{};
  EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

  FailCreateDevice(D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, true);
  D3DPRESENT_PARAMETERS pp{};
  pp.Windowed = TRUE;
  pp.SwapEffect = D3DSWAPEFFECT_FLIP;
  pp.BackBufferWidth = 32;
  pp.BackBufferHeight = 16;
  IDirect3DDevice8* device = nullptr;
  EXPECT_LT(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                              &device), 0);
  EXPECT_EQ(device, nullptr);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                              &pp, &device), D3D_OK);
  ASSERT_EQ(CreateDeviceAttempts().size(), 2u);
  EXPECT_EQ(CreateDeviceAttempts()[0].result, D3DERR_NOTAVAILABLE);
  EXPECT_EQ(CreateDeviceAttempts()[1].type, D3DDEVTYPE_REF);
  EXPECT_EQ(pp.BackBufferFormat, D3DFMT_X8R8G8B8);  // taken from the display mode

  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
  EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
  EXPECT_EQ(caps.MaxTextureWidth, 2048u);
  D3DDEVICE_CREATION_PARAMETERS cp{};
  device->GetCreationParameters(&cp);
  EXPECT_EQ(cp.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);

  // The device keeps its Direct3D object alive.
  EXPECT_EQ(d3d->Release(), 1u);
  IDirect3D8* again = nullptr;
  EXPECT_EQ(device->GetDirect3D(&again), D3D_OK);
  EXPECT_EQ(again->Release(), 1u);
  EXPECT_EQ(device->Release(), 0u);
  ResetDirect3D();
}

TEST(Direct3DTest, CheckDeviceFormatTableAndOverride) {
  ResetDirect3D();
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  struct Case {
    D3DFORMAT format;
    DWORD usage;
    D3DRESOURCETYPE type;
    HRESULT expected;
  } cases[] = {
      {D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3D_OK},
      {D3DFMT_DXT1, 0, D3DRTYPE_TEXTURE, D3D_OK},
      {D3DFMT_R5G6B5, 0, D3DRTYPE_VOLUMETEXTURE, D3D_OK},
      {D3DFMT_L8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
      {D3DFMT_D16, 0, D3DRTYPE_TEXTURE, D3DERR_NOTAVAILABLE},
      {D3DFMT_D16, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3D_OK},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, c.usage, c.type, c.format),
              c.expected)
        << c.format;
  }
  SetFormatSupport(D3DFMT_A8R8G8B8, D3DRTYPE_TEXTURE, D3DUSAGE_RENDERTARGET, false);
  EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET,
                                   D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
            D3DERR_NOTAVAILABLE);
  d3d->Release();
  ResetDirect3D();
}

TEST_F(DeviceTest, PoolRulesForLockSetTextureAndCopy) {
  struct Case {
    D3DPOOL pool;
    DWORD usage;
    bool lockable;
    bool settable;
  } cases[] = {
      {D3DPOOL_DEFAULT, 0, false, true},
      {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true, true},
      {D3DPOOL_MANAGED, 0, true, true},
      {D3DPOOL_SYSTEMMEM, 0, true, false},
      {D3DPOOL_SCRATCH, 0, true, false},
  };
  for (const Case& c : cases) {
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 0, c.usage, D3DFMT_A8R8G8B8, c.pool, &t), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 5u);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0) == D3D_OK, c.lockable) << c.pool;
    if (c.lockable) {
      EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    }
    EXPECT_EQ(device->SetTexture(0, t) == D3D_OK, c.settable) << c.pool;
    device->SetTexture(0, nullptr);

    IDirect3DSurface8* level = nullptr;
    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->CreateImageSurface(16, 16, D3DFMT_A8R8G8B8, &image), D3D_OK);
    EXPECT_EQ(device->CopyRects(image, nullptr, 0, level, nullptr) == D3D_OK,
              c.pool != D3DPOOL_SCRATCH);
    image->Release();
    level->Release();
    EXPECT_EQ(t->Release(), 0u);
  }
  // Creation refusals: dynamic managed, render target outside the default pool, bad sizes.
  IDirect3DTexture8* t = nullptr;
  EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                  D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateTexture(4096, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateTexture(16, 16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  // Non-power-of-two sizes only as a single level under the conditional cap.
  EXPECT_EQ(device->CreateTexture(20, 12, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(device->CreateTexture(20, 12, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  t->Release();
  // Scratch ignores the device's limits.
  ASSERT_EQ(device->CreateTexture(4096, 3, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &t), D3D_OK);
  EXPECT_EQ(t->GetLevelCount(), 13u);
  t->Release();
  // The aspect ratio limit is exact: 9 x 4 exceeds a ratio of 2 although 9 / 4 rounds to 2.
  D3DCAPS8 caps = DefaultDeviceCaps();
  caps.MaxTextureAspectRatio = 2;
  SetDeviceCaps(caps);
  EXPECT_EQ(device->CreateTexture(9, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateTexture(4, 9, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
            D3DERR_INVALIDCALL);
  ASSERT_EQ(device->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  t->Release();
}

TEST_F(DeviceTest, LockRectanglesFlagsAndBlockLayouts) {
  IDirect3DTexture8* t = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t),
            D3D_OK);
  D3DLOCKED_RECT whole{}, part{};
  ASSERT_EQ(t->LockRect(0, &whole, nullptr, D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD), D3D_OK);
  EXPECT_EQ(LastLockFlags(), D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD);
  EXPECT_EQ(whole.Pitch, 32);
  EXPECT_EQ(t->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
  RECT r{2, 3, 5, 7};
  ASSERT_EQ(t->LockRect(0, &part, &r, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(part.pBits) - static_cast<uint8_t*>(whole.pBits), 3 * 32 + 2 * 4);
  t->UnlockRect(0);
  for (RECT bad : {RECT{-1, 0, 2, 2}, RECT{0, 0, 9, 2}, RECT{3, 0, 3, 2}, RECT{0, 5, 2, 4}})
    EXPECT_EQ(t->LockRect(0, &part, &bad, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(t->LockRect(0, &part, nullptr, D3DLOCK_READONLY | D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
  t->Release();

  // DXT levels are stored in whole 4x4 blocks, and only whole blocks can be locked.
  ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t), D3D_OK);
  D3DSURFACE_DESC desc{};
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Size, 32u);
  t->GetLevelDesc(3, &desc);
  EXPECT_EQ(desc.Width, 1u);
  EXPECT_EQ(desc.Size, 8u);
  ASSERT_EQ(t->LockRect(0, &whole, nullptr, 0), D3D_OK);
  EXPECT_EQ(whole.Pitch, 16);
  t->UnlockRect(0);
  RECT blocks{4, 4, 8, 8}, split{2, 0, 4, 4};
  EXPECT_EQ(t->LockRect(0, &part, &blocks, 0), D3D_OK);
  t->UnlockRect(0);
  EXPECT_EQ(t->LockRect(0, &part, &split, 0), D3DERR_INVALIDCALL);
  t->Release();
  IDirect3DTexture8* dxt5 = nullptr;
  ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt5), D3D_OK);
  dxt5->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Size, 16u);
  dxt5->Release();

  // Volumes lock boxes.
  IDirect3DVolumeTexture8* vt = nullptr;
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &vt),
            D3D_OK);
  EXPECT_EQ(vt->GetLevelCount(), 3u);
  D3DLOCKED_BOX lb{}, lb2{};
  ASSERT_EQ(vt->LockBox(0, &lb, nullptr, 0), D3D_OK);
  EXPECT_EQ(lb.RowPitch, 16);
  EXPECT_EQ(lb.SlicePitch, 64);
  vt->UnlockBox(0);
  D3DBOX box{1, 1, 3, 3, 2, 4};
  ASSERT_EQ(vt->LockBox(0, &lb2, &box, 0), D3D_OK);
  EXPECT_EQ(static_cast<uint8_t*>(lb2.pBits) - static_cast<uint8_t*>(lb.pBits), 2 * 64 + 16 + 4);
  vt->UnlockBox(0);
  vt->Release();
  IDirect3DVolumeTexture8* staticVolume = nullptr;
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                        &staticVolume), D3D_OK);
  EXPECT_EQ(staticVolume->LockBox(0, &lb, nullptr, 0), D3DERR_INVALIDCALL);
  staticVolume->Release();
}

TEST_F(DeviceTest, ContainersAndReferenceCounts) {
  IDirect3DTexture8* t = nullptr;
  ASSERT_EQ(device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  IDirect3DSurface8* level = nullptr;
  ASSERT_EQ(t->GetSurfaceLevel(1, &level), D3D_OK);
  EXPECT_EQ(t->AddRef(), 3u);  // the level's reference is the texture's
  t->Release();
  void* container = nullptr;
  EXPECT_EQ(level->GetContainer(IID_IDirect3DTexture8, &container), D3D_OK);
  EXPECT_EQ(container, static_cast<void*>(t));
  static_cast<IDirect3DTexture8*>(container)->Release();
  EXPECT_EQ(level->GetContainer(IID_IDirect3DBaseTexture8, &container), D3D_OK);
  static_cast<IDirect3DBaseTexture8*>(container)->Release();
  EXPECT_EQ(level->GetContainer(IID_IDirect3DVolumeTexture8, &container), E_NOINTERFACE);
  EXPECT_EQ(container, nullptr);
  // The texture outlives its last direct reference while a level is held.
  EXPECT_EQ(t->Release(), 1u);
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(level->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(level->Release(), 0u);

  IDirect3DSurface8* image = nullptr;
  ASSERT_EQ(device->CreateImageSurface(8, 8, D3DFMT_X8R8G8B8, &image), D3D_OK);
  EXPECT_EQ(image->GetContainer(IID_IDirect3DBaseTexture8, &container), E_NOINTERFACE);
  image->GetDesc(&desc);
  EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
  IDirect3DDevice8* owner = nullptr;
  EXPECT_EQ(image->GetDevice(&owner), D3D_OK);
  EXPECT_EQ(owner, device);
  EXPECT_EQ(owner->Release(), 1u);
  EXPECT_EQ(image->Release(), 0u);

  IDirect3DVolumeTexture8* vt = nullptr;
  ASSERT_EQ(device->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &vt),
            D3D_OK);
  IDirect3DVolume8* vol = nullptr;
  ASSERT_EQ(vt->GetVolumeLevel(0, &vol), D3D_OK);
  EXPECT_EQ(vol->GetContainer(IID_IDirect3DVolumeTexture8, &container), D3D_OK);
  static_cast<IDirect3DVolumeTexture8*>(container)->Release();
  vol->Release();
  IDirect3DCubeTexture8* cube = nullptr;
  ASSERT_EQ(device->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube), D3D_OK);
  EXPECT_EQ(cube->GetLevelCount(), 4u);
  IDirect3DSurface8* face = nullptr;
  ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 3, &face), D3D_OK);
  EXPECT_EQ(face->GetContainer(IID_IDirect3DTexture8, &container), E_NOINTERFACE);
  face->Release();
  EXPECT_EQ(cube->Release(), 0u);
  EXPECT_EQ(vt->Release(), 0u);
}

TEST_F(DeviceTest, CopyRectsWholeAndRectanglesToPoints) {
  IDirect3DSurface8* src = nullptr;
  IDirect3DSurface8* dst = nullptr;
  ASSERT_EQ(device->CreateImageSurface(4, 4, D3DFMT_A8R8G8B8, &src), D3D_OK);
  ASSERT_EQ(device->CreateImageSurface(8, 8, D3DFMT_A8R8G8B8, &dst), D3D_OK);
  D3DLOCKED_RECT lr{};
  src->LockRect(&lr, nullptr, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = y * 16 + x;
  src->UnlockRect();
  RECT rects[2] = {{1, 1, 3, 2}, {0, 3, 1, 4}};
  POINT points[2] = {{5, 6}, {7, 7}};
  ASSERT_EQ(device->CopyRects(src, rects, 2, dst, points), D3D_OK);
  dst->LockRect(&lr, nullptr, D3DLOCK_READONLY);
  auto at = [&](int x, int y) {
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
  };
  EXPECT_EQ(at(5, 6), 0x11u);
  EXPECT_EQ(at(6, 6), 0x12u);
  EXPECT_EQ(at(7, 7), 0x30u);
  EXPECT_EQ(at(4, 6), 0u);
  dst->UnlockRect();
  // Whole surface, refused when it does not fit or formats differ.
  EXPECT_EQ(device->CopyRects(dst, nullptr, 0, src, nullptr), D3DERR_INVALIDCALL);
  RECT outside{0, 0, 2, 2};
  POINT far{7, 7};
  EXPECT_EQ(device->CopyRects(src, &outside, 1, dst, &far), D3DERR_INVALIDCALL);
  const POINT overflowing{0x7FFFFFFF, 0};
  EXPECT_EQ(device->CopyRects(src, &outside, 1, dst, &overflowing), D3DERR_INVALIDCALL);
  IDirect3DSurface8* other = nullptr;
  ASSERT_EQ(device->CreateImageSurface(4, 4, D3DFMT_X8R8G8B8, &other), D3D_OK);
  EXPECT_EQ(device->CopyRects(src, nullptr, 0, other, nullptr), D3DERR_INVALIDCALL);
  other->Release();
  src->Release();
  dst->Release();
}

// A DXT level smaller than a block is worked on through a stand-in surface padded to whole
// blocks; the copies both ways move that one block.
TEST_F(DeviceTest, CopyRectsMovesWholeBlocksBetweenALevelAndItsPaddedStandIn) {
  IDirect3DTexture8* t = nullptr;
  ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_DXT1, D3DPOOL_SYSTEMMEM, &t), D3D_OK);
  IDirect3DSurface8* level = nullptr;
  ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
  IDirect3DSurface8* padded = nullptr;
  IDirect3DSurface8* large = nullptr;
  ASSERT_EQ(device->CreateImageSurface(4, 4, D3DFMT_DXT1, &padded), D3D_OK);
  ASSERT_EQ(device->CreateImageSurface(8, 8, D3DFMT_DXT1, &large), D3D_OK);
  const uint64_t block = 0x0123456789ABCDEFull;
  D3DLOCKED_RECT lr{};
  ASSERT_EQ(level->LockRect(&lr, nullptr, 0), D3D_OK);
  std::memcpy(lr.pBits, &block, 8);
  level->UnlockRect();
  ASSERT_EQ(device->CopyRects(level, nullptr, 0, padded, nullptr), D3D_OK);
  uint64_t seen = 0;
  ASSERT_EQ(padded->LockRect(&lr, nullptr, 0), D3D_OK);
  std::memcpy(&seen, lr.pBits, 8);
  EXPECT_EQ(seen, block);
  const uint64_t changed = ~block;
  std::memcpy(lr.pBits, &changed, 8);
  padded->UnlockRect();
  ASSERT_EQ(device->CopyRects(padded, nullptr, 0, level, nullptr), D3D_OK);
  ASSERT_EQ(level->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
  std::memcpy(&seen, lr.pBits, 8);
  EXPECT_EQ(seen, changed);
  level->UnlockRect();
  // A short block may not land inside a larger level, and a point must sit on a block corner.
  EXPECT_EQ(device->CopyRects(level, nullptr, 0, large, nullptr), D3DERR_INVALIDCALL);
  const POINT lastBlock{4, 4}, offGrid{2, 0};
  EXPECT_EQ(device->CopyRects(level, nullptr, 0, large, &lastBlock), D3D_OK);
  EXPECT_EQ(device->CopyRects(padded, nullptr, 0, large, &offGrid), D3DERR_INVALIDCALL);
  const POINT farAway{0x7FFFFFFC, 0};
  EXPECT_EQ(device->CopyRects(padded, nullptr, 0, large, &farAway), D3DERR_INVALIDCALL);
  large->Release();
  padded->Release();
  level->Release();
  EXPECT_EQ(t->Release(), 0u);
}

TEST_F(DeviceTest, UpdateTextureCopiesEveryLevelIntoTheDefaultPool) {
  IDirect3DTexture8* sys = nullptr;
  IDirect3DTexture8* gpu = nullptr;
  ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys), D3D_OK);
  ASSERT_EQ(device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &gpu), D3D_OK);
  for (UINT l = 0; l < 3; ++l) {
    D3DLOCKED_RECT lr{};
    sys->LockRect(l, &lr, nullptr, 0);
    *static_cast<uint32_t*>(lr.pBits) = 0xFF000000u | l;
    sys->UnlockRect(l);
  }
  EXPECT_EQ(device->UpdateTexture(gpu, sys), D3DERR_INVALIDCALL);  // wrong direction
  ASSERT_EQ(device->UpdateTexture(sys, gpu), D3D_OK);
  // Read back through a copy, as a default-pool level cannot be locked.
  for (UINT l = 0; l < 3; ++l) {
    IDirect3DSurface8* level = nullptr;
    IDirect3DSurface8* copy = nullptr;
    gpu->GetSurfaceLevel(l, &level);
    D3DSURFACE_DESC desc{};
    level->GetDesc(&desc);
    device->CreateImageSurface(desc.Width, desc.Height, desc.Format, &copy);
    ASSERT_EQ(device->CopyRects(level, nullptr, 0, copy, nullptr), D3D_OK);
    D3DLOCKED_RECT lr{};
    copy->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(*static_cast<uint32_t*>(lr.pBits), 0xFF000000u | l);
    copy->UnlockRect();
    copy->Release();
    level->Release();
  }
  sys->Release();
  gpu->Release();
}

TEST_F(DeviceTest, StateBlocksRecordCaptureAndApplyOnlyTheirSettings) {
  device->SetRenderState(D3DRS_ZENABLE, 1);
  device->SetRenderState(D3DRS_FOGENABLE, 1);
  ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
  device->SetRenderState(D3DRS_ZENABLE, 0);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetVertexShader(0x144);
  DWORD token = 0;
  ASSERT_EQ(device->EndStateBlock(&token), D3D_OK);
  // Recording does not change the device.
  DWORD value = 0;
  device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, 1u);

  ASSERT_EQ(device->ApplyStateBlock(token), D3D_OK);
  device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, 0u);
  device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_SELECTARG1));
  device->GetVertexShader(&value);
  EXPECT_EQ(value, 0x144u);

  // Capture stores the current values of the recorded states only.
  device->SetRenderState(D3DRS_ZENABLE, 1);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetVertexShader(0x142);
  ASSERT_EQ(device->CaptureStateBlock(token), D3D_OK);
  device->SetRenderState(D3DRS_ZENABLE, 0);
  device->SetRenderState(D3DRS_FOGENABLE, 0);
  device->SetVertexShader(0x144);
  device->ApplyStateBlock(token);
  device->GetRenderState(D3DRS_ZENABLE, &value);
  EXPECT_EQ(value, 1u);
  device->GetVertexShader(&value);
  EXPECT_EQ(value, 0x142u);
  device->GetRenderState(D3DRS_FOGENABLE, &value);
  EXPECT_EQ(value, 0u);  // not in the block

  EXPECT_EQ(device->DeleteStateBlock(token), D3D_OK);
  EXPECT_EQ(device->ApplyStateBlock(token), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->EndStateBlock(&token), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, StateBlockHoldsAndRestoresTexture) {
  IDirect3DTexture8* t = MakeTexture(2, 2, [](UINT, UINT) { return 0xFF0000FFu; });
  device->SetTexture(0, t);
  device->BeginStateBlock();
  device->SetTexture(0, nullptr);
  DWORD token = 0;
  device->EndStateBlock(&token);
  device->CaptureStateBlock(token);
  device->SetTexture(0, nullptr);
  EXPECT_EQ(t->AddRef(), 3u);  // ours and the block's
  t->Release();
  device->ApplyStateBlock(token);
  IDirect3DBaseTexture8* bound = nullptr;
  device->GetTexture(0, &bound);
  EXPECT_EQ(bound, t);
  bound->Release();
  device->DeleteStateBlock(token);
  device->SetTexture(0, nullptr);
  EXPECT_EQ(t->Release(), 0u);
}

struct TLVertex {
  float x, y, z, rhw;
  DWORD color;
  float u, v;
};

TEST_F(DeviceTest, ClearDrawPresentFrameIsReadBack) {
  IDirect3DTexture8* t = MakeTexture(4, 4, [](UINT x, UINT y) { return 0xFF000000u | (y * 4 + x); });
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0),
            D3D_OK);
  TLVertex quad[4] = {{9.5f, 19.5f, 0, 1, 0xFFFFFFFFu, 0, 0},
                      {9.5f, 23.5f, 0, 1, 0xFFFFFFFFu, 0, 1},
                      {13.5f, 23.5f, 0, 1, 0xFFFFFFFFu, 1, 1},
                      {13.5f, 19.5f, 0, 1, 0xFFFFFFFFu, 1, 0}};
  device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  device->SetTexture(0, t);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TLVertex)),
            D3DERR_INVALIDCALL);  // outside BeginScene
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TLVertex)), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  const PresentedFrame& frame = LastPresentedFrame();
  ASSERT_EQ(frame.width, 64u);
  for (UINT y = 18; y < 26; ++y)
    for (UINT x = 8; x < 16; ++x) {
      const bool inside = x >= 10 && x < 14 && y >= 20 && y < 24;
      EXPECT_EQ(frame.At(x, y), inside ? 0xFF000000u | ((y - 20) * 4 + (x - 10)) : 0xFFFFFFFFu)
          << x << "," << y;
    }
  device->SetTexture(0, nullptr);
  t->Release();

  FailPresent(true);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
}

TEST_F(DeviceTest, SharedEdgesAreFilledExactlyOnce) {
  // Half-transparent untextured triangles: a pixel covered twice would be darker.
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0);
  device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, 0);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  struct V {
    float x, y, z, rhw;
    DWORD c;
  };
  const DWORD c = 0x80000000u;
  // A fan around an interior point, and a quad split along its diagonal at odd coordinates.
  V fan[6] = {{20.3f, 20.7f, 0, 1, c}, {3.1f, 2.2f, 0, 1, c},   {40.6f, 5.5f, 0, 1, c},
              {37.0f, 37.0f, 0, 1, c}, {4.25f, 33.0f, 0, 1, c}, {3.1f, 2.2f, 0, 1, c}};
  device->BeginScene();
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 4, fan, sizeof(V)), D3D_OK);
  device->EndScene();
  auto frame = ReadBackBuffer(device);
  int covered = 0;
  for (UINT y = 0; y < 64; ++y)
    for (UINT x = 0; x < 64; ++x) {
      uint32_t p = frame.At(x, y) & 0xFFFFFF;
      EXPECT_TRUE(p == 0xFFFFFF || p == 0x7F7F7F) << x << "," << y << " " << std::hex << p;
      covered += p == 0x7F7F7F;
    }
  EXPECT_GT(covered, 900);
}

TEST_F(DeviceTest, TransformedVerticesGoThroughMatricesAndViewport) {
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  struct V {
    float x, y, z;
    DWORD c;
  };
  // Clip-space square covering the left half of the viewport, drawn as a list, scaled by world.
  D3DMATRIX world{};
  world._11 = 0.5f;
  world._22 = 1.0f;
  world._33 = world._44 = 1.0f;
  world._41 = -0.5f;
  D3DMATRIX id{};
  id._11 = id._22 = id._33 = id._44 = 1.0f;
  device->SetTransform(D3DTS_WORLD, &world);
  device->SetTransform(D3DTS_VIEW, &id);
  device->SetTransform(D3DTS_PROJECTION, &id);
  device->SetRenderState(D3DRS_LIGHTING, 0);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  const DWORD red = 0xFFFF0000u;
  V tris[6] = {{-1, 1, 0.5f, red}, {1, 1, 0.5f, red},  {1, -1, 0.5f, red},
               {-1, 1, 0.5f, red}, {1, -1, 0.5f, red}, {-1, -1, 0.5f, red}};
  device->BeginScene();
  ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, tris, sizeof(V)), D3D_OK);
  // A second, nearer-than-cleared but farther square in front fails the depth test.
  const DWORD green = 0xFF00FF00u;
  V behind[6] = {{-1, 1, 0.9f, green}, {1, 1, 0.9f, green},  {1, -1, 0.9f, green},
                 {-1, 1, 0.9f, green}, {1, -1, 0.9f, green}, {-1, -1, 0.9f, green}};
  device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, behind, sizeof(V));
  device->EndScene();
  // x in [-1, 0] of 64 pixels: columns 0..31 (centres at integers, top-left rule).
  EXPECT_EQ(Pixel(0, 0), red);
  EXPECT_EQ(Pixel(31, 63), red);
  EXPECT_EQ(Pixel(32, 10), 0xFF000000u);
}

TEST_F(DeviceTest, ClearHonoursRectanglesViewportAndResetRestoresDefaults) {
  D3DVIEWPORT8 vp{8, 8, 16, 16, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233u, 1.0f, 0);
  EXPECT_EQ(Pixel(8, 8), 0xFF112233u);
  EXPECT_EQ(Pixel(7, 8), 0xFF000000u);
  EXPECT_EQ(Pixel(24, 8), 0xFF000000u);
  D3DRECT r{0, 0, 10, 10};
  device->Clear(1, &r, D3DCLEAR_TARGET, 0xFF445566u, 1.0f, 0);
  EXPECT_EQ(Pixel(9, 9), 0xFF445566u);
  EXPECT_EQ(Pixel(10, 9), 0xFF112233u);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  D3DVIEWPORT8 tooBig{60, 0, 16, 16, 0.0f, 1.0f};
  EXPECT_EQ(device->SetViewport(&tooBig), D3DERR_INVALIDCALL);

  device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 32;
  pp.BackBufferHeight = 24;
  pp.SwapEffect = D3DSWAPEFFECT_FLIP;
  pp.Windowed = TRUE;
  ASSERT_EQ(device->Reset(&pp), D3D_OK);
  D3DVIEWPORT8 after{};
  device->GetViewport(&after);
  EXPECT_EQ(after.Width, 32u);
  EXPECT_EQ(after.Height, 24u);
  DWORD blend = 1;
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, 0u);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Reset(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, DeviceMemoryOutlivesTheLastDeviceReference) {
  IDirect3DTexture8* t = MakeTexture(2, 2, [](UINT, UINT) { return 0xFFFFFFFFu; });
  device->SetTexture(0, t);  // a binding must not keep the device alive
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;
  D3DSURFACE_DESC desc{};
  EXPECT_EQ(t->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(t->Release(), 0u);
}

TEST_F(DeviceTest, ReleasingTheDeviceOrItsLastResourceInEitherOrder) {
  // The binding holds the texture's last reference, so releasing the device frees the texture
  // and, with it, the device's memory during the device's own release.
  IDirect3DTexture8* t = MakeTexture(2, 2, [](UINT, UINT) { return 0xFFFFFFFFu; });
  device->SetTexture(0, t);
  EXPECT_EQ(t->Release(), 1u);
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;

  // A device revived through a resource stays alive while that reference is held.
  CreateDevice(16, 16);
  t = MakeTexture(2, 2, [](UINT, UINT) { return 0xFFFFFFFFu; });
  EXPECT_EQ(device->Release(), 0u);
  IDirect3DDevice8* revived = nullptr;
  ASSERT_EQ(t->GetDevice(&revived), D3D_OK);
  device = nullptr;
  EXPECT_EQ(t->Release(), 0u);
  D3DCAPS8 caps{};
  EXPECT_EQ(revived->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(revived->Release(), 0u);
}

}  // namespace
