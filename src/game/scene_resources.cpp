// Scene resources. Nothing is loaded yet: the pictures, device state and sprite batches come
// with the scenes that draw them.
#include "game/scene_resources.h"

namespace vellomir {

void SetupScene() {}

void ReleaseScene() {}

}  // namespace vellomir
