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

// The device, its two textures and the sprite batch of the game frame.
struct Scene {
  IDirect3D8* d3d = nullptr;
  IDirect3DDevice8* device = nullptr;
  IDirect3DTexture8* background = nullptr;
  IDirect3DTexture8* sprite = nullptr;
  vellomir::SpriteBatch* batch = nullptr;

  explicit Scene(bool clipTransformed) {
    using namespace vellomir;
    platform::testing::ResetDirect3D();
    platform::testing::ForceHeadlessPresenter(true);
    if (!clipTransformed) {
      D3DCAPS8 caps = platform::testing::DefaultDeviceCaps();
      caps.PrimitiveMiscCaps &= ~D3DPMISCCAPS_CLIPTLVERTS;
      platform::testing::SetDeviceCaps(caps);
    }
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 640;
    pp.BackBufferHeight = 480;
    pp.SwapEffect = D3DSWAPEFFECT_FLIP;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                      &device);
    background = MakeTexture(device, 640, 480, false);
    sprite = MakeTexture(device, 200, 200, true);
    CreateSpriteBatch(device, &batch);
  }
  ~Scene() {
    batch->Release();
    sprite->Release();
    background->Release();
    device->Release();
    d3d->Release();
    vellomir::platform::testing::ResetDirect3D();
  }
  void Clear() {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFFu, 1.0f, 0);
  }
  void Draw(bool background, bool sprites) {
    device->BeginScene();
    batch->Begin();
    const vellomir::Vec2 origin{0, 0};
    const RECT whole{0, 0, 640, 480};
    if (background)
      batch->Draw(this->background, &whole, nullptr, nullptr, 0.0f, &origin, 0xFFFFFFFFu);
    for (int i = 0; sprites && i < 10; ++i) {
      const vellomir::Vec2 at{static_cast<float>(i * 44), static_cast<float>((i * 37) % 280)};
      batch->Draw(sprite, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu);
    }
    batch->End();
    device->EndScene();
  }
  void Present() { device->Present(nullptr, nullptr, nullptr, nullptr); }
};

void BM_GameFrame(benchmark::State& state) {
  Scene scene(state.range(0) != 0);
  for (auto _ : state) {
    scene.Clear();
    scene.Draw(true, true);
    scene.Present();
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GameFrame)->Arg(1)->Arg(0)->ArgName("pretransformed")->Unit(benchmark::kMicrosecond);

// The parts of the frame on their own, to see where its time goes.
void BM_FrameClear(benchmark::State& state) {
  Scene scene(true);
  for (auto _ : state) scene.Clear();
}
BENCHMARK(BM_FrameClear)->Unit(benchmark::kMicrosecond);

void BM_FramePresent(benchmark::State& state) {
  Scene scene(true);
  scene.Clear();
  for (auto _ : state) scene.Present();
}
BENCHMARK(BM_FramePresent)->Unit(benchmark::kMicrosecond);

void BM_FrameBackground(benchmark::State& state) {
  Scene scene(true);
  for (auto _ : state) scene.Draw(true, false);
}
BENCHMARK(BM_FrameBackground)->Unit(benchmark::kMicrosecond);

// Ten translucent sprites over the opaque background, which is redrawn outside the timing so
// that every iteration blends over the same pixels.
void BM_FrameSprites(benchmark::State& state) {
  Scene scene(true);
  for (auto _ : state) {
    state.PauseTiming();
    scene.Draw(true, false);
    state.ResumeTiming();
    scene.Draw(false, true);
  }
}
BENCHMARK(BM_FrameSprites)->Unit(benchmark::kMicrosecond);

}  // namespace
