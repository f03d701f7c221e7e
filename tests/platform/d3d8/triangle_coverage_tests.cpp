// Which pixels a triangle covers, checked pixel by pixel against the edge functions themselves:
// the rasteriser walks its span bounds from row to row, so any drift in that walk shows up as
// a pixel gained or lost on some row of some slope.
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

constexpr int kSub = 256;  // positions below are whole multiples of 1/256 pixel

// Sample point (px, py) lies inside when every edge function is positive, or zero on a top or
// left edge; degenerate triangles cover nothing.
bool Covers(const int64_t (&X)[3], const int64_t (&Y)[3], int px, int py) {
  int64_t xs[3] = {X[0], X[1], X[2]}, ys[3] = {Y[0], Y[1], Y[2]};
  const int64_t area = (xs[1] - xs[0]) * (ys[2] - ys[0]) - (xs[2] - xs[0]) * (ys[1] - ys[0]);
  if (area == 0) return false;
  if (area < 0) {
    std::swap(xs[1], xs[2]);
    std::swap(ys[1], ys[2]);
  }
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const int64_t dx = xs[j] - xs[i], dy = ys[j] - ys[i];
    const int64_t e = dx * (int64_t{py} * kSub - ys[i]) - dy * (int64_t{px} * kSub - xs[i]);
    const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
    if (e < 0 || (e == 0 && !topLeft)) return false;
  }
  return true;
}

class TriangleCoverageTest : public DeviceTest {
 protected:
  static constexpr UINT kWidth = 53, kHeight = 41;
  void SetUp() override {
    DeviceTest::SetUp();
    CreateDevice(kWidth, kHeight);
    device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  }
};

TEST_F(TriangleCoverageTest, EveryPixelMatchesTheEdgeFunctions) {
  uint32_t seed = 12345;
  auto next = [&seed](int lo, int hi) {  // uniform-ish in [lo, hi]
    seed = seed * 1664525u + 1013904223u;
    return lo + static_cast<int>((seed >> 8) % static_cast<uint32_t>(hi - lo + 1));
  };
  size_t drawnPixels = 0;
  for (int t = 0; t < 300; ++t) {
    int64_t X[3], Y[3];
    FlatVertex tri[3];
    // Mostly inside with some spill past every border; every tenth a thin sliver, every
    // seventh with a horizontal edge (to exercise the top-left rule on rows).
    for (int k = 0; k < 3; ++k) {
      X[k] = next(-12 * kSub, (kWidth + 12) * kSub);
      Y[k] = next(-12 * kSub, (kHeight + 12) * kSub);
    }
    // A third on whole pixels and a third on half pixels, so that edges run exactly through
    // sample points on many rows; the rest anywhere on the 1/256 grid.
    const int64_t grid = t % 3 == 0 ? kSub : t % 3 == 1 ? kSub / 2 : 1;
    for (int k = 0; k < 3; ++k) {
      X[k] = X[k] / grid * grid;
      Y[k] = Y[k] / grid * grid;
    }
    if (t % 10 == 0) X[2] = X[1] + next(-kSub / 2, kSub / 2);
    if (t % 7 == 0) Y[1] = Y[0];
    for (int k = 0; k < 3; ++k)
      tri[k] = {static_cast<float>(X[k]) / kSub, static_cast<float>(Y[k]) / kSub, 0.5f, 1,
                0xFF000000u | static_cast<DWORD>(t + 1)};
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFFu, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(FlatVertex)), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    const std::vector<uint32_t> pixels = ReadBackBuffer(device).pixels;
    size_t wrong = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < static_cast<int>(kHeight); ++y)
      for (int x = 0; x < static_cast<int>(kWidth); ++x) {
        const bool drawn = pixels[static_cast<size_t>(y) * kWidth + x] != 0xFFFFFFFFu;
        drawnPixels += drawn;
        if (drawn != Covers(X, Y, x, y) && wrong++ == 0) {
          firstX = x;
          firstY = y;
        }
      }
    EXPECT_EQ(wrong, 0u) << "triangle " << t << " (" << X[0] << "," << Y[0] << ") (" << X[1] << ","
                         << Y[1] << ") (" << X[2] << "," << Y[2] << ")/256, first pixel " << firstX
                         << "," << firstY;
  }
  EXPECT_GT(drawnPixels, 300u * 100u);  // the triangles are not all off screen
}

}  // namespace
