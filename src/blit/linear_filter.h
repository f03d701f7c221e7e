// Tap tables of the linear filter: two source samples and their weights per destination sample.
#pragma once

#include <cstdint>
#include <memory>

namespace vellomir {

struct LinearTap {
  int32_t i0;  // first source index
  float w0;    // weight of i0
  int32_t i1;  // second source index
  float w1;    // weight of i1 (w0 + w1 = 1)
};

// One tap per destination sample of an axis. Destination sample i looks at source position
// i * src / dst - 0.5; at the edges the sample beyond the image is the one on the other side
// (wrap 1) or the edge sample itself (wrap 0). Null when out of memory or when src is 0 (there
// is nothing to look at).
std::unique_ptr<LinearTap[]> BuildLinearTaps(uint32_t dst, uint32_t src, int wrap);

}  // namespace vellomir
