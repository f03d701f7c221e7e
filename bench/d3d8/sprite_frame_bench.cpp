// A game-like frame on the software device: clear, one full-window picture, ten 200x200
// alpha-blended sprites, present to the headless presenter.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/runtime/d3d8/testing.h"
#include "sprite/sprite_batch.h"

namespace {

IDirect3DTexture8* MakeTexture(IDirect3DDevice8* device, UINT w, UINT h, bool translucent) {
  IDirect3DTexture8* t = nullptr;
  device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t);
  D3DLOCKED_RECT lr{};
  t->LockRect(0, &lr, nullptr, 0);
  for (UINT y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
    for (UINT x = 0; x < w; ++x) {
      // Translucent sprites: a disc of varying alpha inside transparent corners.
      const int dx = static_cast<int>(x) - static_cast<int>(w / 2);
      const int dy = static_cast<int>(y) - static_cast<int>(h / 2);
      const uint32_t alpha =
          translucent ? (dx * dx + dy * dy < static_cast<int>(w * w / 4) ? (x * 3 + y) & 0xFF : 0)
                      : 0xFF;
      row[x] = (alpha << 24) | ((x * 5) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | 0x40;
    }
  }
  t->UnlockRect(0);
  return t;
}

void BM_GameFrame(benchmark::State& state) {
  using namespace vellomir;
  platform::testing::ResetDirect3D();
  platform::testing::ForceHeadlessPresenter(true);
  if (state.range(0) == 0) {
    D3DCAPS8 caps = platform::testing::DefaultDeviceCaps();
    caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_CLIPTLVERTS;
    platform::testing::SetDeviceCaps(caps);
  }
  IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = 640;
  pp.BackBufferHeight = 480;
  pp.SwapEffect = D3DSWAPEFFECT_FLIP;
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D16;
  IDirect3DDevice8* device = nullptr;
  d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device);
  IDirect3DTexture8* background = MakeTexture(device, 640, 480, false);
  IDirect3DTexture8* sprite = MakeTexture(device, 200, 200, true);
  SpriteBatch* batch = nullptr;
  CreateSpriteBatch(device, &batch);
  for (auto _ : state) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
    device->BeginScene();
    batch->Begin();
    const Vec2 origin{0, 0};
    const RECT whole{0, 0, 640, 480};
    batch->Draw(background, &whole, nullptr, nullptr, 0.0f, &origin, 0xFFFFFFFFu);
    for (int i = 0; i < 10; ++i) {
      const Vec2 at{static_cast<float>(i * 44), static_cast<float>((i * 37) % 280)};
      batch->Draw(sprite, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu);
    }
    batch->End();
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
  batch->Release();
  sprite->Release();
  background->Release();
  device->Release();
  d3d->Release();
  platform::testing::ResetDirect3D();
}
BENCHMARK(BM_GameFrame)->Arg(1)->Arg(0)->ArgName("pretransformed")->Unit(benchmark::kMicrosecond);

}  // namespace
