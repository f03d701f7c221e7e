// The one-to-one texel span (sprites drawn pixel for texel, one diffuse colour, no depth) has its
// own row loop. With an always-passing depth test that writes nothing the same draw takes the
// general per-pixel path, so the two must leave the very same bits in the back buffer.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/device_fixture.h"

using namespace vellomir::platform::testing;
using vellomir::testsupport::DeviceTest;

namespace {

struct TLVertex {
  float x, y, z, rhw;
  DWORD color;
  float u, v;
};

// Small deterministic mixer, so that every channel and alpha value turns up.
uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// Texel alphas mix runs of 0 and of 255 (whole groups of four and partial ones) with values in
// between, the values next to both ends and the alpha test references.
uint32_t SpriteTexel(UINT x, UINT y) {
  const uint32_t h = Hash(x * 131u + y * 7919u + 17u);
  uint32_t alpha;
  switch ((x / 5 + y) % 6) {
    case 0: alpha = 0; break;
    case 1: alpha = 255; break;
    case 2: {
      // Next to both ends, and exactly the references of the alpha test cases.
      static constexpr uint32_t kChosen[] = {1, 254, 64, 100, 127, 128, 200};
      alpha = kChosen[(h >> 24) % 7];
      break;
    }
    default: alpha = h >> 24; break;
  }
  return (alpha << 24) | (h & 0x00FFFFFFu);
}

struct SpanCase {
  const char* name;
  UINT width, height;
  int x, y;  // top-left pixel of the sprite; may lie outside the viewport
  DWORD diffuse;
  bool blend;
  bool alphaTest;
  DWORD alphaFunc;
  DWORD alphaRef;
  DWORD alphaOp;  // MODULATE (texture x diffuse) or SELECTARG1 (texture)
};

class TexelSpanTest : public DeviceTest {
 protected:
  static constexpr UINT kWidth = 61, kHeight = 45;

  void SetUp() override {
    DeviceTest::SetUp();
    CreateDevice(kWidth, kHeight);
    // A viewport short of every border, so that clipping by it shows too.
    D3DVIEWPORT8 vp{2, 3, kWidth - 5, kHeight - 7, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    // Destination pixels of every colour and alpha, written by the general path either way.
    background_ = MakeTexture(kWidth, kHeight, [](UINT x, UINT y) { return Hash(x + y * 977u); });
  }
  void TearDown() override {
    if (device) device->SetTexture(0, nullptr);
    if (background_) background_->Release();
    DeviceTest::TearDown();
  }

  void Quad(IDirect3DTexture8* texture, int x, int y, UINT w, UINT h, DWORD diffuse) {
    const float l = static_cast<float>(x) - 0.5f, t = static_cast<float>(y) - 0.5f;
    const float r = l + static_cast<float>(w), b = t + static_cast<float>(h);
    const TLVertex quad[4] = {{l, t, 0.5f, 1, diffuse, 0, 0},
                              {r, t, 0.5f, 1, diffuse, 1, 0},
                              {r, b, 0.5f, 1, diffuse, 1, 1},
                              {l, b, 0.5f, 1, diffuse, 0, 1}};
    device->SetTexture(0, texture);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(TLVertex)), D3D_OK);
  }

  // Draws the case over the background; `general` routes the sprite through the per-pixel path.
  std::vector<uint32_t> Render(const SpanCase& c, IDirect3DTexture8* sprite, bool general) {
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000u, 1.0f, 0),
              D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    Quad(background_, 0, 0, kWidth, kHeight, 0xFFFFFFFFu);

    device->SetRenderState(D3DRS_ZENABLE, general ? D3DZB_TRUE : D3DZB_FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, c.blend);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, c.alphaTest);
    device->SetRenderState(D3DRS_ALPHAFUNC, c.alphaFunc);
    device->SetRenderState(D3DRS_ALPHAREF, c.alphaRef);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
    Quad(sprite, c.x, c.y, c.width, c.height, c.diffuse);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    return ReadBackBuffer(device).pixels;
  }

  IDirect3DTexture8* background_ = nullptr;
};

constexpr DWORD kMod = D3DTOP_MODULATE, kSel = D3DTOP_SELECTARG1;

TEST_F(TexelSpanTest, MatchesThePerPixelPathBitForBit) {
  const SpanCase cases[] = {
      {"blend_white", 40, 30, 7, 6, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"blend_tinted", 33, 21, 5, 9, 0xC0FF8040u, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"blend_colour_only", 17, 13, 9, 4, 0xFF7F3FFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"blend_alpha_only", 19, 11, 4, 12, 0x81FFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"blend_texture_alpha_tint", 23, 9, 6, 8, 0x10808080u, true, false, D3DCMP_ALWAYS, 0, kSel},
      {"width_1", 1, 9, 10, 10, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"width_3", 3, 9, 11, 10, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"width_5", 5, 9, 12, 10, 0xE0E0E0E0u, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"width_7", 7, 9, 13, 10, 0xFFFFFFFFu, true, true, D3DCMP_GREATER, 100, kMod},
      {"clipped_left_top", 25, 20, -9, -11, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"clipped_right_bottom", 27, 26, 41, 30, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"larger_than_viewport", 70, 52, -4, -3, 0xFFC0FFFFu, true, false, D3DCMP_ALWAYS, 0, kMod},
      {"test_greaterequal", 29, 15, 3, 5, 0xFFFFFFFFu, true, true, D3DCMP_GREATEREQUAL, 127, kMod},
      {"test_less", 29, 15, 3, 5, 0xB0FFFFFFu, true, true, D3DCMP_LESS, 200, kMod},
      {"test_lessequal", 29, 15, 3, 5, 0xFFFFFFFFu, true, true, D3DCMP_LESSEQUAL, 128, kMod},
      {"test_equal_255", 29, 15, 3, 5, 0xFFFFFFFFu, true, true, D3DCMP_EQUAL, 255, kMod},
      {"test_equal_127_no_blend", 29, 15, 3, 5, 0xFFFFFFFFu, false, true, D3DCMP_EQUAL, 127, kSel},
      {"test_notequal_0", 29, 15, 3, 5, 0xFF80FF80u, true, true, D3DCMP_NOTEQUAL, 0, kMod},
      {"test_never", 29, 15, 3, 5, 0xFFFFFFFFu, true, true, D3DCMP_NEVER, 0, kMod},
      {"no_blend", 31, 17, 2, 7, 0xFFFFFFFFu, false, false, D3DCMP_ALWAYS, 0, kMod},
      {"no_blend_tinted_tested", 31, 17, 2, 7, 0x9060A0FFu, false, true, D3DCMP_GREATER, 64, kMod},
  };
  for (const SpanCase& c : cases) {
    SCOPED_TRACE(c.name);
    IDirect3DTexture8* sprite = MakeTexture(c.width, c.height, SpriteTexel);
    const std::vector<uint32_t> general = Render(c, sprite, true);
    const std::vector<uint32_t> span = Render(c, sprite, false);
    sprite->Release();
    ASSERT_EQ(general.size(), span.size());
    size_t mismatches = 0, first = 0;
    for (size_t i = 0; i < general.size(); ++i)
      if (general[i] != span[i] && mismatches++ == 0) first = i;
    EXPECT_EQ(mismatches, 0u) << "first at (" << first % kWidth << ", " << first / kWidth
                              << "): general " << std::hex << general[first] << ", span "
                              << span[first];
  }
}

// The sprite must actually have changed the frame, or the comparison above proves nothing.
TEST_F(TexelSpanTest, SpriteChangesTheFrame) {
  const SpanCase c{"blend_white", 40, 30, 7, 6, 0xFFFFFFFFu, true, false, D3DCMP_ALWAYS, 0, kMod};
  IDirect3DTexture8* sprite = MakeTexture(c.width, c.height, SpriteTexel);
  const std::vector<uint32_t> drawn = Render(c, sprite, false);
  SpanCase hidden = c;
  hidden.alphaTest = true;
  hidden.alphaFunc = D3DCMP_NEVER;
  const std::vector<uint32_t> untouched = Render(hidden, sprite, false);
  sprite->Release();
  size_t changed = 0;
  for (size_t i = 0; i < drawn.size(); ++i) changed += drawn[i] != untouched[i];
  // Roughly five in six texels are not fully transparent.
  EXPECT_GT(changed, 40u * 30u / 2);
}

}  // namespace
