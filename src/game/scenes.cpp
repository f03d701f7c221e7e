// Scene steps. Until the game rules are in, every scene keeps the window alive by presenting
// a blank frame, so that the window repaints and a lost device is recovered.
#include "game/scenes.h"

#include "game/shell.h"

namespace vellomir {
namespace {

constexpr D3DCOLOR kBlankColor = 0xFFFFFFFF;

// One whole frame with nothing on it: clear, an empty scene, present; Reset after a failed
// Present (its result is not examined).
void PresentBlankFrame() {
  IDirect3DDevice8* device = Shell().device;
  if (!device) return;
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlankColor, 1.0f, 0);
  device->BeginScene();
  device->EndScene();
  if (FAILED(device->Present(nullptr, nullptr, nullptr, nullptr)))
    device->Reset(&Shell().presentParameters);
}

}  // namespace

GameWorld& World() {
  static GameWorld world;
  return world;
}

void InitGameState() { World() = GameWorld{}; }

void TitleStep() { PresentBlankFrame(); }

void PlayStep() {}

void GameOverStep() {}

}  // namespace vellomir
