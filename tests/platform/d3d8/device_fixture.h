// A headless software device for tests, and small helpers to fill textures.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/api/d3d8.h"
#include "platform/runtime/d3d8/testing.h"

namespace vellomir::testsupport {

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetDirect3D();
    platform::testing::ForceHeadlessPresenter(true);
    CreateDevice(64, 64);
  }
  void TearDown() override {
    if (device) device->Release();
    if (d3d) d3d->Release();
    platform::testing::ResetDirect3D();
  }
  void CreateDevice(UINT width, UINT height, DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
    if (device) device->Release();
    if (!d3d) d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_FLIP;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behavior, &pp, &device), D3D_OK);
  }
  // A managed A8R8G8B8 texture whose texel (x, y) is pixel(x, y).
  template <class F>
  IDirect3DTexture8* MakeTexture(UINT w, UINT h, F pixel, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture8* t = nullptr;
    EXPECT_EQ(device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &t), D3D_OK);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < h; ++y)
      for (UINT x = 0; x < w; ++x) {
        auto* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
        if (format == D3DFMT_R5G6B5) {
          uint16_t v = static_cast<uint16_t>(pixel(x, y));
          std::memcpy(row + x * 2, &v, 2);
        } else {
          uint32_t v = pixel(x, y);
          std::memcpy(row + x * 4, &v, 4);
        }
      }
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    return t;
  }
  uint32_t Pixel(UINT x, UINT y) {
    auto frame = platform::testing::ReadBackBuffer(device);
    return frame.At(x, y) | 0xFF000000u;
  }

  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* device = nullptr;
};

}  // namespace vellomir::testsupport
