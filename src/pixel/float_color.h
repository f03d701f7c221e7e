// The common colour that every pixel codec decodes to and encodes from.
#pragma once

namespace vellomir {

// Four single-precision channels. Unsigned formats keep every channel in [0, 1]; the signed
// (bump-map) formats carry U, V, W in r, g, b within [-1, 1) and their fourth quantity in a.
struct FloatColor {
  float r;
  float g;
  float b;
  float a;
};

}  // namespace vellomir
