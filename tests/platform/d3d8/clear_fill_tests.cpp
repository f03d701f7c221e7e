// Clear fills whole-width runs in one go and byte-repeating values with memset; every shape of
// rectangle and every kind of value must still land on exactly the right pixels.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/d3d8/device_fixture.h"

using namespace vellomir::platform::testing;
using vellomir::testsupport::DeviceTest;

namespace {

struct FlatVertex {
  float x, y, z, rhw;
  DWORD color;
};

class ClearFillTest : public DeviceTest {
 protected:
  static constexpr UINT kWidth = 23, kHeight = 17;
  void SetUp() override {
    DeviceTest::SetUp();
    CreateDevice(kWidth, kHeight);
  }
};

TEST_F(ClearFillTest, TargetValuesAndRectanglesFillExactlyTheirPixels) {
  const DWORD colors[] = {0xFFFFFFFFu, 0x00000000u, 0xFF000000u, 0x12345678u, 0x7F7F7F7Fu};
  struct Area {
    const char* name;
    bool whole;  // no rectangles: the viewport
    D3DRECT rect;
  };
  const Area areas[] = {
      {"whole", true, {}},
      {"full_width_rows", false, {0, 3, static_cast<LONG>(kWidth), 9}},
      {"wider_than_target", false, {-5, 4, 40, 6}},
      {"inner", false, {3, 2, 8, 11}},
      {"one_pixel", false, {kWidth - 1, kHeight - 1, kWidth, kHeight}},
  };
  for (const Area& area : areas) {
    for (DWORD color : colors) {
      SCOPED_TRACE(::testing::Message() << area.name << " " << std::hex << color);
      ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xA5C3E1F7u, 1.0f, 0), D3D_OK);
      ASSERT_EQ(device->Clear(area.whole ? 0 : 1, area.whole ? nullptr : &area.rect,
                              D3DCLEAR_TARGET, color, 1.0f, 0),
                D3D_OK);
      const std::vector<uint32_t> pixels = ReadBackBuffer(device).pixels;
      size_t wrong = 0;
      for (UINT y = 0; y < kHeight; ++y)
        for (UINT x = 0; x < kWidth; ++x) {
          const LONG lx = static_cast<LONG>(x), ly = static_cast<LONG>(y);
          const bool inside = area.whole || (lx >= area.rect.x1 && lx < area.rect.x2 &&
                                             ly >= area.rect.y1 && ly < area.rect.y2);
          wrong += pixels[y * kWidth + x] != (inside ? color : 0xA5C3E1F7u);
        }
      EXPECT_EQ(wrong, 0u);
    }
  }
}

// The depth written by Clear, seen through a LESS test of flat quads at two depths.
TEST_F(ClearFillTest, DepthValuesAndRectanglesFillExactlyTheirPixels) {
  device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  auto drawAt = [&](float z) {
    const float w = static_cast<float>(kWidth) - 0.5f, h = static_cast<float>(kHeight) - 0.5f;
    const FlatVertex quad[4] = {{-0.5f, -0.5f, z, 1, 0xFF00FF00u},
                                {w, -0.5f, z, 1, 0xFF00FF00u},
                                {w, h, z, 1, 0xFF00FF00u},
                                {-0.5f, h, z, 1, 0xFF00FF00u}};
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(FlatVertex)), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
  };
  const D3DRECT rows{0, 5, static_cast<LONG>(kWidth), 12};
  const D3DRECT inner{4, 3, 9, 14};
  struct Case {
    float clearZ;
    const D3DRECT* rect;  // null: whole viewport
  };
  const Case cases[] = {
      {0.0f, nullptr}, {1.0f, nullptr}, {0.5f, nullptr}, {0.0f, &rows}, {0.5f, &inner}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.clearZ << (c.rect ? " rect" : " whole"));
    // Everything at depth 1 first, then the case's value over its area.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Clear(c.rect ? 1 : 0, c.rect, D3DCLEAR_ZBUFFER, 0, c.clearZ, 0), D3D_OK);
    for (float z : {0.25f, 0.75f}) {
      ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
      drawAt(z);
      const std::vector<uint32_t> pixels = ReadBackBuffer(device).pixels;
      size_t wrong = 0;
      for (UINT y = 0; y < kHeight; ++y)
        for (UINT x = 0; x < kWidth; ++x) {
          const LONG lx = static_cast<LONG>(x), ly = static_cast<LONG>(y);
          const bool inside = !c.rect || (lx >= c.rect->x1 && lx < c.rect->x2 && ly >= c.rect->y1 &&
                                          ly < c.rect->y2);
          const float depth = inside ? c.clearZ : 1.0f;
          const uint32_t expected = z < depth ? 0xFF00FF00u : 0xFF000000u;
          wrong += (pixels[y * kWidth + x] | 0xFF000000u) != expected;
        }
      EXPECT_EQ(wrong, 0u) << "quad at " << z;
    }
  }
}

}  // namespace
