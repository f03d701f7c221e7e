#include "sprite/sprite_batch.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/d3d8/device_fixture.h"

using namespace vellomir;
using namespace vellomir::platform::testing;

namespace {

// The batch is tried on both kinds of device: one that takes screen-space vertices (the
// default caps) and one that needs the world-transform path.
class SpriteTest : public testsupport::DeviceTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ResetDirect3D();
    ForceHeadlessPresenter(true);
    if (!GetParam()) {
      D3DCAPS8 caps = DefaultDeviceCaps();
      caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_CLIPTLVERTS;
      SetDeviceCaps(caps);
    }
    CreateDevice(640, 480);
    ASSERT_EQ(CreateSpriteBatch(device, &batch), S_OK);
  }
  void TearDown() override {
    if (batch) batch->Release();
    DeviceTest::TearDown();
  }
  void Frame() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
    device->BeginScene();
  }
  SpriteBatch* batch = nullptr;
};

uint32_t Pattern(UINT x, UINT y) { return 0xFF000000u | (x * 7919u + y * 104729u) % 0xFFFFFFu; }

TEST_P(SpriteTest, TranslationCoversExactPixelsAndReproducesTexels) {
  IDirect3DTexture8* t = MakeTexture(188, 216, Pattern);
  Frame();
  const Vec2 at{100.0f, 50.0f};
  ASSERT_EQ(batch->Begin(), S_OK);
  ASSERT_EQ(batch->Draw(t, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), S_OK);
  ASSERT_EQ(batch->End(), S_OK);
  device->EndScene();
  auto frame = ReadBackBuffer(device);
  int wrong = 0;
  for (UINT y = 40; y < 280; ++y)
    for (UINT x = 90; x < 300; ++x) {
      const bool inside = x >= 100 && x < 288 && y >= 50 && y < 266;
      const uint32_t want = inside ? Pattern(x - 100, y - 50) : 0xFFFFFFFFu;
      if ((frame.At(x, y) | 0xFF000000u) != want && ++wrong < 5)
        ADD_FAILURE() << x << "," << y << std::hex << " got " << frame.At(x, y) << " want " << want;
    }
  EXPECT_EQ(wrong, 0);
  t->Release();
}

TEST_P(SpriteTest, SourceRectangleSelectsTexels) {
  IDirect3DTexture8* t = MakeTexture(64, 32, Pattern);
  Frame();
  RECT src{10, 4, 30, 20};
  const Vec2 at{5.0f, 6.0f};
  ASSERT_EQ(batch->Draw(t, &src, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), S_OK);
  device->EndScene();
  EXPECT_EQ(Pixel(5, 6), Pattern(10, 4));
  EXPECT_EQ(Pixel(24, 21), Pattern(29, 19));
  EXPECT_EQ(Pixel(25, 21), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(24, 22), 0xFFFFFFFFu);
  t->Release();
}

TEST_P(SpriteTest, AlphaBlendingAndOpaqueFormatsSwitchBlendingPerQuad) {
  IDirect3DTexture8* translucent = MakeTexture(4, 4, [](UINT, UINT) { return 0x80FF0000u; });
  IDirect3DTexture8* opaque = MakeTexture(
      4, 4, [](UINT, UINT) { return 0x001Fu; }, D3DFMT_R5G6B5);  // blue
  Frame();
  const Vec2 a{0, 0}, b{10, 0};
  ASSERT_EQ(batch->Begin(), S_OK);
  batch->Draw(translucent, nullptr, nullptr, nullptr, 0.0f, &a, 0xFFFFFFFFu);
  DWORD blend = 0;
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, 1u);
  batch->Draw(opaque, nullptr, nullptr, nullptr, 0.0f, &b, 0xFFFFFFFFu);
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
  EXPECT_EQ(blend, 0u);
  // A translucent colour turns blending back on even for an opaque format: green at 25%.
  const Vec2 c{20, 0};
  batch->Draw(opaque, nullptr, nullptr, nullptr, 0.0f, &c, 0x40FFFFFFu);
  batch->End();
  device->EndScene();
  // 0x80 over white: 255 * 128/255 + 255 * 127/255.
  EXPECT_EQ(Pixel(1, 1), 0xFFFF7F7Fu);
  EXPECT_EQ(Pixel(11, 1), 0xFF0000FFu);
  // Blue at alpha 0x40 over white: 255 * 191 / 255 in red and green.
  EXPECT_EQ(Pixel(21, 1), 0xFFBFBFFFu);
  translucent->Release();
  opaque->Release();
}

TEST_P(SpriteTest, AlphaTestingWithoutBlendCaps) {
  batch->Release();
  batch = nullptr;
  D3DCAPS8 caps = DefaultDeviceCaps();
  if (!GetParam()) caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_CLIPTLVERTS;
  caps.DestBlendCaps &= ~D3DPBLENDCAPS_INVSRCALPHA;
  SetDeviceCaps(caps);
  CreateDevice(64, 64);
  ASSERT_EQ(CreateSpriteBatch(device, &batch), S_OK);
  // Alpha 126 is dropped, 127 and above drawn as they are.
  IDirect3DTexture8* t = MakeTexture(2, 1, [](UINT x, UINT) {
    return x == 0 ? 0x7E00FF00u : 0x7F00FF00u;
  });
  Frame();
  const Vec2 at{0, 0};
  batch->Draw(t, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu);
  device->EndScene();
  EXPECT_EQ(Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(1, 0), 0xFF00FF00u);
  DWORD test = 1;
  device->GetRenderState(D3DRS_ALPHATESTENABLE, &test);
  EXPECT_EQ(test, 0u);  // restored after the self-bracketed draw
  t->Release();
}

TEST_P(SpriteTest, EndRestoresEveryStateTheBatchChanged) {
  IDirect3DTexture8* callers = MakeTexture(2, 2, Pattern);
  IDirect3DTexture8* sprite = MakeTexture(2, 2, Pattern);
  D3DMATRIX view{};
  view._11 = 2.0f;
  view._22 = view._33 = view._44 = 1.0f;
  view._43 = 7.0f;
  D3DMATRIX world = view;
  world._41 = 3.0f;
  device->SetTransform(D3DTS_VIEW, &view);
  device->SetTransform(D3DTS_PROJECTION, &view);
  device->SetTransform(D3DTS_WORLD, &world);
  device->SetRenderState(D3DRS_ZENABLE, 1);
  device->SetRenderState(D3DRS_FOGENABLE, 1);
  device->SetRenderState(D3DRS_LIGHTING, 1);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetVertexShader(0x152);
  device->SetTexture(0, callers);

  Frame();
  ASSERT_EQ(batch->Begin(), S_OK);
  DWORD v = 0;
  device->GetRenderState(D3DRS_ZENABLE, &v);
  EXPECT_EQ(v, 0u);
  const Vec2 at{1, 1};
  batch->Draw(sprite, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu);
  ASSERT_EQ(batch->End(), S_OK);
  device->EndScene();

  device->GetRenderState(D3DRS_ZENABLE, &v);
  EXPECT_EQ(v, 1u);
  device->GetRenderState(D3DRS_CULLMODE, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CW));
  device->GetRenderState(D3DRS_ALPHABLENDENABLE, &v);
  EXPECT_EQ(v, 0u);
  device->GetRenderState(D3DRS_FOGENABLE, &v);
  EXPECT_EQ(v, 1u);
  device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_SELECTARG1));
  device->GetTextureStageState(0, D3DTSS_COLORARG2, &v);
  EXPECT_EQ(v, D3DTA_CURRENT);
  device->GetTextureStageState(0, D3DTSS_ADDRESSU, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
  device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
  device->GetVertexShader(&v);
  EXPECT_EQ(v, 0x152u);
  IDirect3DBaseTexture8* bound = nullptr;
  device->GetTexture(0, &bound);
  EXPECT_EQ(bound, callers);
  if (bound) bound->Release();
  D3DMATRIX m{};
  device->GetTransform(D3DTS_VIEW, &m);
  EXPECT_EQ(std::memcmp(&m, &view, sizeof m), 0);
  device->GetTransform(D3DTS_PROJECTION, &m);
  EXPECT_EQ(std::memcmp(&m, &view, sizeof m), 0);
  device->GetTransform(D3DTS_WORLD, &m);
  EXPECT_EQ(std::memcmp(&m, &world, sizeof m), 0);

  device->SetTexture(0, nullptr);
  callers->Release();
  sprite->Release();
}

TEST_P(SpriteTest, BracketErrors) {
  EXPECT_EQ(batch->End(), E_FAIL);
  ASSERT_EQ(batch->Begin(), S_OK);
  EXPECT_EQ(batch->Begin(), E_FAIL);
  EXPECT_EQ(batch->End(), S_OK);
  EXPECT_EQ(batch->End(), E_FAIL);
}

TEST_P(SpriteTest, BadSourceRectanglesAndMissingTextureDrawNothing) {
  IDirect3DTexture8* t = MakeTexture(8, 8, Pattern);
  Frame();
  const Vec2 at{0, 0};
  const RECT bad[] = {{5, 0, 4, 8}, {0, -1, 8, 8}, {-1, 0, 8, 8}, {0, 5, 8, 4}, {9, 0, 12, 8},
                      {0, 9, 8, 12}};
  for (const RECT& r : bad)
    EXPECT_EQ(batch->Draw(t, &r, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
  EXPECT_EQ(batch->Draw(nullptr, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu),
            D3DERR_INVALIDCALL);
  // Right and bottom may run past the texture; clamping repeats the edge texels.
  const RECT wide{4, 4, 10, 8};
  EXPECT_EQ(batch->Draw(t, &wide, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), S_OK);
  device->EndScene();
  EXPECT_EQ(Pixel(0, 0), Pattern(4, 4));
  EXPECT_EQ(Pixel(5, 0), Pattern(7, 4));
  EXPECT_EQ(Pixel(6, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(10, 10), 0xFFFFFFFFu);
  t->Release();
}

TEST_P(SpriteTest, RotationZeroIsNoRotationAndNaNIsOne) {
  IDirect3DTexture8* t = MakeTexture(8, 8, Pattern);
  const Vec2 at{10, 10};
  Frame();
  batch->Draw(t, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu);
  device->EndScene();
  EXPECT_EQ(Pixel(10, 10), Pattern(0, 0));
  // A NaN rotation poisons the matrix: nothing lands on the screen.
  Frame();
  EXPECT_EQ(batch->Draw(t, nullptr, nullptr, nullptr, std::numeric_limits<float>::quiet_NaN(), &at,
                        0xFFFFFFFFu),
            S_OK);
  device->EndScene();
  EXPECT_EQ(Pixel(10, 10), 0xFFFFFFFFu);
  // A half turn about the centre mirrors the texels in both directions.
  Frame();
  const Vec2 centre{4, 4};
  batch->Draw(t, nullptr, nullptr, &centre, 3.14159265f, &at, 0xFFFFFFFFu);
  device->EndScene();
  EXPECT_EQ(Pixel(10, 10), Pattern(7, 7));
  EXPECT_EQ(Pixel(17, 17), Pattern(0, 0));
  t->Release();
}

TEST_P(SpriteTest, ReferenceCountsAndInterfaces) {
  EXPECT_EQ(device->AddRef(), 3u);  // ours, the batch's, this one
  device->Release();
  IDirect3DDevice8* d = nullptr;
  EXPECT_EQ(batch->GetDevice(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(batch->GetDevice(&d), S_OK);
  EXPECT_EQ(d, device);
  EXPECT_EQ(d->Release(), 2u);
  void* out = nullptr;
  EXPECT_EQ(batch->QueryInterface(IID_SpriteBatch, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(batch));
  EXPECT_EQ(batch->Release(), 1u);
  EXPECT_EQ(batch->QueryInterface(IID_IDirect3DTexture8, &out), E_NOINTERFACE);
  EXPECT_EQ(batch->AddRef(), 2u);
  EXPECT_EQ(batch->Release(), 1u);
  // Blocks recorded by Begin are deleted with the batch.
  batch->Begin();
  batch->End();
  EXPECT_EQ(batch->DeviceLost(), S_OK);
  EXPECT_EQ(batch->DeviceReset(), S_OK);
  EXPECT_EQ(batch->Begin(), S_OK);
  EXPECT_EQ(batch->End(), S_OK);
  for (int i = 0; i < 3; ++i) {
    SpriteBatch* other = nullptr;
    ASSERT_EQ(CreateSpriteBatch(device, &other), S_OK);
    EXPECT_EQ(other->Release(), 0u);
  }
  EXPECT_EQ(batch->Release(), 0u);
  batch = nullptr;
  EXPECT_EQ(device->AddRef(), 2u);
  device->Release();
  SpriteBatch* none = nullptr;
  EXPECT_EQ(CreateSpriteBatch(nullptr, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(CreateSpriteBatch(device, nullptr), D3DERR_INVALIDCALL);
}

INSTANTIATE_TEST_SUITE_P(BothVertexPaths, SpriteTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pretransformed" : "Transformed"; });

}  // namespace
