// The scenes of the game and their steps; FrameStep runs one step of the current scene.
#pragma once

#include <cstdint>

namespace vellomir {

enum GameState : int32_t {
  SceneTitle = 0,
  ScenePlaying = 1,
  SceneGameOver = 2,
};

// The module-wide game state.
struct GameWorld {
  GameState scene = SceneTitle;
};

GameWorld& World();

void InitGameState();
void TitleStep();
void PlayStep();
void GameOverStep();

}  // namespace vellomir
