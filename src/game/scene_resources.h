// The scene's textures, fixed device state, camera and sprite batches.
#pragma once

namespace vellomir {

void SetupScene();
void ReleaseScene();

}  // namespace vellomir
