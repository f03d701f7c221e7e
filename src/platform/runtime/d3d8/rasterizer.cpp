// Clear and DrawPrimitiveUP: vertex transformation, clipping, triangle set-up with the top-left
// fill rule, texture stage 0, alpha test, depth test and alpha blending into the back buffer.
//
// Pixel (x, y) is sampled at its integer coordinates, so a quad from (-0.5, -0.5) to
// (w - 0.5, h - 0.5) covers exactly w x h pixels. Colours are handled as integers 0..255.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/runtime/d3d8/runtime.h"

namespace vellomir::d3d8 {

namespace {

// Sub-pixel precision of the snapped vertex positions: 1/256 pixel.
constexpr int64_t kSubPixel = 256;
// Positions beyond this many pixels from the origin are clamped before snapping, so that the
// edge products stay within 64 bits.
constexpr float kGuardBand = 1048576.0f;

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b != 0) && (a < 0)) --q;
  return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

inline int ToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<int>(v + 0.5f);
}

inline int Mul255(int a, int b) { return (a * b + 127) / 255; }

struct Color {
  int r, g, b, a;
};

inline Color Unpack(uint32_t c) {
  return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
          static_cast<int>(c & 0xFF), static_cast<int>(c >> 24)};
}
inline uint32_t Pack(const Color& c) {
  return (static_cast<uint32_t>(c.a) << 24) | (static_cast<uint32_t>(c.r) << 16) |
         (static_cast<uint32_t>(c.g) << 8) | static_cast<uint32_t>(c.b);
}

bool Compare(DWORD func, int value, int reference) {
  switch (func) {
    case D3DCMP_NEVER:
      return false;
    case D3DCMP_LESS:
      return value < reference;
    case D3DCMP_EQUAL:
      return value == reference;
    case D3DCMP_LESSEQUAL:
      return value <= reference;
    case D3DCMP_GREATER:
      return value > reference;
    case D3DCMP_NOTEQUAL:
      return value != reference;
    case D3DCMP_GREATEREQUAL:
      return value >= reference;
    default:
      return true;
  }
}

inline int Address(int i, int size, DWORD mode) {
  if (i >= 0 && i < size) return i;
  switch (mode) {
    case D3DTADDRESS_WRAP: {
      int m = i % size;
      return m < 0 ? m + size : m;
    }
    case D3DTADDRESS_MIRROR: {
      int period = size * 2;
      int m = i % period;
      if (m < 0) m += period;
      return m < size ? m : period - 1 - m;
    }
    default:  // clamp; the border colour is approximated by the edge texel
      return i < 0 ? 0 : size - 1;
  }
}

int BlendFactor(DWORD factor, const Color& src, const Color& dst, int channel, int dstChannel) {
  (void)dstChannel;
  switch (factor) {
    case D3DBLEND_ZERO:
      return 0;
    case D3DBLEND_ONE:
      return 255;
    case D3DBLEND_SRCCOLOR:
      return channel;
    case D3DBLEND_INVSRCCOLOR:
      return 255 - channel;
    case D3DBLEND_SRCALPHA:
      return src.a;
    case D3DBLEND_INVSRCALPHA:
      return 255 - src.a;
    case D3DBLEND_DESTALPHA:
      return dst.a;
    case D3DBLEND_INVDESTALPHA:
      return 255 - dst.a;
    case D3DBLEND_DESTCOLOR:
      return dstChannel;
    case D3DBLEND_INVDESTCOLOR:
      return 255 - dstChannel;
    default:
      return 255;
  }
}

// How the one-to-one texel span turns texels into pixels: modulation by one constant diffuse
// colour, the alpha test, then SRCALPHA / INVSRCALPHA / ADD blending or plain replacement.
struct SpanShade {
  bool modulate = false;
  Color factor{255, 255, 255, 255};  // channels left alone carry 255: Mul255(x, 255) == x
  bool alphaTest = false;
  DWORD alphaFunc = D3DCMP_ALWAYS;
  int alphaRef = 0;
  bool blend = false;
};

// One texel c over the pixel d; returns the new pixel (d itself where nothing is drawn).
inline uint32_t ShadeTexel(uint32_t c, uint32_t d, const SpanShade& s) {
  if (s.modulate) {
    Color t = Unpack(c);
    t.r = Mul255(t.r, s.factor.r);
    t.g = Mul255(t.g, s.factor.g);
    t.b = Mul255(t.b, s.factor.b);
    t.a = Mul255(t.a, s.factor.a);
    c = Pack(t);
  }
  const int alpha = static_cast<int>(c >> 24);
  if (s.alphaTest && !Compare(s.alphaFunc, alpha, s.alphaRef)) return d;
  if (s.blend && alpha != 255) {
    if (alpha == 0) return d;
    // Two channels per 32-bit word, each in a 16-bit lane; (t + (t >> 8)) >> 8 with
    // t = x + 128 is x / 255 rounded, exactly, for every x up to 255 * 255.
    const uint32_t a = static_cast<uint32_t>(alpha), ia = 255 - a;
    constexpr uint32_t kLanes = 0x00FF00FFu;
    uint32_t rb = (c & kLanes) * a + (d & kLanes) * ia + 0x00800080u;
    uint32_t ag = ((c >> 8) & kLanes) * a + ((d >> 8) & kLanes) * ia + 0x00800080u;
    rb = ((rb + ((rb >> 8) & kLanes)) >> 8) & kLanes;
    ag = ((ag + ((ag >> 8) & kLanes)) >> 8) & kLanes;
    c = rb | (ag << 8);
  }
  return c;
}

#if defined(__SSE2__)
// All ones in each 32-bit lane whose alpha (0..255) passes the test against ref.
inline __m128i AlphaTestMask(__m128i alpha, DWORD func, __m128i ref) {
  const __m128i ones = _mm_set1_epi32(-1);
  switch (func) {
    case D3DCMP_NEVER:
      return _mm_setzero_si128();
    case D3DCMP_LESS:
      return _mm_cmplt_epi32(alpha, ref);
    case D3DCMP_EQUAL:
      return _mm_cmpeq_epi32(alpha, ref);
    case D3DCMP_LESSEQUAL:
      return _mm_xor_si128(_mm_cmpgt_epi32(alpha, ref), ones);
    case D3DCMP_GREATER:
      return _mm_cmpgt_epi32(alpha, ref);
    case D3DCMP_NOTEQUAL:
      return _mm_xor_si128(_mm_cmpeq_epi32(alpha, ref), ones);
    case D3DCMP_GREATEREQUAL:
      return _mm_xor_si128(_mm_cmplt_epi32(alpha, ref), ones);
    default:
      return ones;
  }
}

// Mul255 on eight 16-bit channels: (v * f + 127) / 255, the division as a multiply by
// 0x8081 / 2^23, which is exact for every dividend below 2^16 (v * f + 127 <= 65152).
inline __m128i Mul255x8(__m128i v, __m128i f) {
  const __m128i x = _mm_add_epi16(_mm_mullo_epi16(v, f), _mm_set1_epi16(127));
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Source-alpha blend of two pixels in 16-bit channels (B, G, R, A each): the same rounding as
// ShadeTexel, which also gives back d for alpha 0 and c for alpha 255, so no lane needs a
// branch. c * a + d * (255 - a) + 128 <= 65153 never leaves the unsigned 16-bit range.
inline __m128i Blend8(__m128i c, __m128i d) {
  const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, 0xFF), 0xFF);
  const __m128i ia = _mm_sub_epi16(_mm_set1_epi16(255), a);
  const __m128i x = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(c, a), _mm_mullo_epi16(d, ia)),
                                  _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
}
#endif

// Shades `count` texels onto as many pixels; both rows are distinct memory. The settings that
// shape the loop are template arguments, so that the loop body carries no tests of them.
template <bool kModulate, bool kAlphaTest, bool kBlend>
void ShadeTexelSpan(uint32_t* dst, const uint32_t* src, size_t count, const SpanShade& s) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i factor = _mm_set_epi16(
      static_cast<short>(s.factor.a), static_cast<short>(s.factor.r),
      static_cast<short>(s.factor.g), static_cast<short>(s.factor.b),
      static_cast<short>(s.factor.a), static_cast<short>(s.factor.r),
      static_cast<short>(s.factor.g), static_cast<short>(s.factor.b));
  const __m128i ref = _mm_set1_epi32(s.alphaRef);
  for (; i + 4 <= count; i += 4) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i lo = _mm_unpacklo_epi8(c, zero), hi = _mm_unpackhi_epi8(c, zero);
    if constexpr (kModulate) {
      lo = Mul255x8(lo, factor);
      hi = Mul255x8(hi, factor);
      c = _mm_packus_epi16(lo, hi);
    }
    __m128i* out = reinterpret_cast<__m128i*>(dst + i);
    if constexpr (!kAlphaTest && !kBlend) {
      _mm_storeu_si128(out, c);
      continue;
    }
    const __m128i alpha = _mm_srli_epi32(c, 24);
    // Lanes that take the shaded texel; the others keep the pixel. Blending leaves a pixel
    // under a transparent texel as it is, which lets whole transparent groups be skipped.
    __m128i take = _mm_set1_epi32(-1);
    if constexpr (kAlphaTest) take = AlphaTestMask(alpha, s.alphaFunc, ref);
    if constexpr (kBlend) take = _mm_andnot_si128(_mm_cmpeq_epi32(alpha, zero), take);
    if (_mm_movemask_epi8(take) == 0) continue;
    const __m128i d = _mm_loadu_si128(out);
    // A group of opaque texels (the inside of most sprites) blends to the texels themselves.
    if (kBlend && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) != 0xFFFF) {
      lo = Blend8(lo, _mm_unpacklo_epi8(d, zero));
      hi = Blend8(hi, _mm_unpackhi_epi8(d, zero));
      c = _mm_packus_epi16(lo, hi);
    }
    // Without the alpha test every lane blends, and alpha 0 already gives back the pixel.
    if constexpr (kAlphaTest)
      c = _mm_or_si128(_mm_and_si128(take, c), _mm_andnot_si128(take, d));
    _mm_storeu_si128(out, c);
  }
#endif
  for (; i < count; ++i) dst[i] = ShadeTexel(src[i], dst[i], s);
}

using SpanShader = void (*)(uint32_t*, const uint32_t*, size_t, const SpanShade&);

SpanShader ChooseSpanShader(const SpanShade& s) {
  static constexpr SpanShader kShaders[8] = {
      ShadeTexelSpan<false, false, false>, ShadeTexelSpan<false, false, true>,
      ShadeTexelSpan<false, true, false>,  ShadeTexelSpan<false, true, true>,
      ShadeTexelSpan<true, false, false>,  ShadeTexelSpan<true, false, true>,
      ShadeTexelSpan<true, true, false>,   ShadeTexelSpan<true, true, true>};
  return kShaders[(s.modulate ? 4 : 0) + (s.alphaTest ? 2 : 0) + (s.blend ? 1 : 0)];
}

}  // namespace

// Everything a draw call needs, settled once from the device state.
struct Device::DrawSetup {
  const uint32_t* texels = nullptr;  // stage 0 texture, level 0, ARGB8888; null: none
  int texWidth = 0, texHeight = 0;
  bool texOpaque = false;
  DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
  bool magLinear = false, minLinear = false;
  DWORD colorOp = D3DTOP_MODULATE, colorArg1 = D3DTA_TEXTURE, colorArg2 = D3DTA_CURRENT;
  DWORD alphaOp = D3DTOP_SELECTARG1, alphaArg1 = D3DTA_TEXTURE, alphaArg2 = D3DTA_CURRENT;
  Color factor{255, 255, 255, 255};
  bool alphaTest = false;
  DWORD alphaFunc = D3DCMP_ALWAYS;
  int alphaRef = 0;
  bool blend = false;
  DWORD srcBlend = D3DBLEND_ONE, dstBlend = D3DBLEND_ZERO, blendOp = D3DBLENDOP_ADD;
  bool classicBlend = false;  // SRCALPHA, INVSRCALPHA, ADD: the sprite path
  bool depthTest = false, depthWrite = false;
  DWORD depthFunc = D3DCMP_LESSEQUAL;
  bool flat = false;
  DWORD cull = D3DCULL_CCW;
  int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;  // right/bottom exclusive
  float minZ = 0.0f, maxZ = 1.0f;
  float vpX = 0, vpY = 0, vpW = 0, vpH = 0;
};

namespace {

Color Argument(DWORD arg, const Color& diffuse, const Color& tex, const Color& factor) {
  Color c;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE:
      c = tex;
      break;
    case D3DTA_TFACTOR:
      c = factor;
      break;
    case D3DTA_SPECULAR:
      c = {0, 0, 0, 0};
      break;
    default:  // diffuse, and "current", which at stage 0 is the diffuse colour
      c = diffuse;
      break;
  }
  if (arg & D3DTA_COMPLEMENT) c = {255 - c.r, 255 - c.g, 255 - c.b, 255 - c.a};
  if (arg & D3DTA_ALPHAREPLICATE) c.r = c.g = c.b = c.a;
  return c;
}

inline int Combine(DWORD op, int a1, int a2) {
  switch (op) {
    case D3DTOP_SELECTARG1:
      return a1;
    case D3DTOP_SELECTARG2:
      return a2;
    case D3DTOP_MODULATE2X:
      return std::min(255, 2 * Mul255(a1, a2));
    case D3DTOP_MODULATE4X:
      return std::min(255, 4 * Mul255(a1, a2));
    case D3DTOP_ADD:
      return std::min(255, a1 + a2);
    default:
      return Mul255(a1, a2);
  }
}

// Interpolation plane of one attribute over a triangle: value = base + dx * x + dy * y.
struct Plane {
  float base, dx, dy;
  float At(float x, float y) const { return base + dx * x + dy * y; }
};

Plane MakePlane(const float* x, const float* y, const float* a, float invArea) {
  const float dx = ((a[1] - a[0]) * (y[2] - y[0]) - (a[2] - a[0]) * (y[1] - y[0])) * invArea;
  const float dy = ((a[2] - a[0]) * (x[1] - x[0]) - (a[1] - a[0]) * (x[2] - x[0])) * invArea;
  return {a[0] - dx * x[0] - dy * y[0], dx, dy};
}

}  // namespace

void Device::DrawTriangle(const ScreenVertex& v0, const ScreenVertex& v1in,
                          const ScreenVertex& v2in) {
  const DrawSetup& s = *draw_;
  const ScreenVertex* v[3] = {&v0, &v1in, &v2in};
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    float px = std::clamp(v[i]->x, -kGuardBand, kGuardBand);
    float py = std::clamp(v[i]->y, -kGuardBand, kGuardBand);
    if (std::isnan(px) || std::isnan(py)) return;
    X[i] = std::llround(static_cast<double>(px) * kSubPixel);
    Y[i] = std::llround(static_cast<double>(py) * kSubPixel);
  }
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return;
  // Positive area is clockwise on the screen (y grows downwards).
  if ((s.cull == D3DCULL_CW && area > 0) || (s.cull == D3DCULL_CCW && area < 0)) return;
  const ScreenVertex* flatSource = v[0];
  if (area < 0) {
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
    area = -area;
  }

  // Edge i runs from vertex i to vertex i+1; a pixel is inside when every edge function is
  // positive, or zero on a top or left edge.
  struct Edge {
    int64_t dx, dy, xa, ya, bias;
  } edges[3];
  for (int i = 0; i < 3; ++i) {
    int j = (i + 1) % 3;
    Edge& e = edges[i];
    e.dx = X[j] - X[i];
    e.dy = Y[j] - Y[i];
    e.xa = X[i];
    e.ya = Y[i];
    const bool topLeft = e.dy < 0 || (e.dy == 0 && e.dx > 0);
    e.bias = topLeft ? 0 : 1;
  }

  int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  int rowStart = static_cast<int>(std::max<int64_t>(CeilDiv(minY, kSubPixel), s.clipTop));
  int rowEnd = static_cast<int>(std::min<int64_t>(FloorDiv(maxY, kSubPixel), s.clipBottom - 1));
  int colMin = static_cast<int>(std::max<int64_t>(CeilDiv(minX, kSubPixel), s.clipLeft));
  int colMax = static_cast<int>(std::min<int64_t>(FloorDiv(maxX, kSubPixel), s.clipRight - 1));
  if (rowStart > rowEnd || colMin > colMax) return;

  // Attribute planes from the snapped positions.
  float fx[3], fy[3];
  for (int i = 0; i < 3; ++i) {
    fx[i] = static_cast<float>(X[i]) / kSubPixel;
    fy[i] = static_cast<float>(Y[i]) / kSubPixel;
  }
  const float invArea = static_cast<float>(kSubPixel * kSubPixel) / static_cast<float>(area);
  const bool perspective = std::fabs(v[0]->rhw - v[1]->rhw) > 1e-6f * std::fabs(v[0]->rhw) ||
                           std::fabs(v[0]->rhw - v[2]->rhw) > 1e-6f * std::fabs(v[0]->rhw);
  auto attr = [&](auto get) {
    float a[3];
    for (int i = 0; i < 3; ++i) a[i] = get(*v[i]) * (perspective ? v[i]->rhw : 1.0f);
    return MakePlane(fx, fy, a, invArea);
  };
  Plane pu = attr([](const ScreenVertex& p) { return p.u; });
  Plane pv = attr([](const ScreenVertex& p) { return p.v; });
  Plane pr, pg, pb, pa;
  if (s.flat) {
    pr = {flatSource->r, 0, 0};
    pg = {flatSource->g, 0, 0};
    pb = {flatSource->b, 0, 0};
    pa = {flatSource->a, 0, 0};
  } else {
    pr = attr([](const ScreenVertex& p) { return p.r; });
    pg = attr([](const ScreenVertex& p) { return p.g; });
    pb = attr([](const ScreenVertex& p) { return p.b; });
    pa = attr([](const ScreenVertex& p) { return p.a; });
  }
  float zs[3] = {v[0]->z, v[1]->z, v[2]->z};
  Plane pz = MakePlane(fx, fy, zs, invArea);
  float ws[3] = {v[0]->rhw, v[1]->rhw, v[2]->rhw};
  Plane pw = perspective ? MakePlane(fx, fy, ws, invArea) : Plane{1.0f, 0.0f, 0.0f};

  // Texture footprint: texels per pixel decides between the magnification and minification
  // filter; an affine 1:1 mapping onto texel centres needs no filtering at all.
  const bool textured = s.texels != nullptr;
  const float tw = static_cast<float>(s.texWidth), th = static_cast<float>(s.texHeight);
  bool linear = false;
  bool aligned = false;
  int alignDX = 0, alignDY = 0;  // texel = pixel + offset when aligned
  if (textured) {
    const float scale = std::max(std::fabs(pu.dx * tw) + std::fabs(pu.dy * tw),
                                 std::fabs(pv.dx * th) + std::fabs(pv.dy * th));
    linear = perspective || scale > 1.0f ? s.minLinear : s.magLinear;
    if (!perspective && std::fabs(pu.dx * tw - 1.0f) < 1e-4f && std::fabs(pu.dy * tw) < 1e-4f &&
        std::fabs(pv.dy * th - 1.0f) < 1e-4f && std::fabs(pv.dx * th) < 1e-4f) {
      // Texel coordinate of pixel (colMin, rowStart), less the half texel of its centre.
      const float tx = pu.At(static_cast<float>(colMin), static_cast<float>(rowStart)) * tw - 0.5f;
      const float ty = pv.At(static_cast<float>(colMin), static_cast<float>(rowStart)) * th - 0.5f;
      const float rx = std::nearbyint(tx), ry = std::nearbyint(ty);
      if (std::fabs(tx - rx) < 1e-3f && std::fabs(ty - ry) < 1e-3f) {
        aligned = true;
        alignDX = static_cast<int>(rx) - colMin;
        alignDY = static_cast<int>(ry) - rowStart;
      }
    }
  }

  const UINT stride = params_.BackBufferWidth;
  const bool depth = (s.depthTest || s.depthWrite) && !depthBuffer_.empty();
  const bool constantColor = pr.dx == 0 && pr.dy == 0 && pg.dx == 0 && pg.dy == 0 &&
                             pb.dx == 0 && pb.dy == 0 && pa.dx == 0 && pa.dy == 0 && !perspective;

  // The sprite case: texels one to one, one colour, no depth, stage 0 reading the texture
  // (modulated by the diffuse colour or not) and source-alpha blending or none.
  auto stageMode = [](DWORD op, DWORD arg1, DWORD arg2) {
    const auto isTex = [](DWORD a) { return a == D3DTA_TEXTURE; };
    const auto isDiffuse = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    if (op == D3DTOP_SELECTARG1 && isTex(arg1)) return 0;
    if (op == D3DTOP_SELECTARG2 && isTex(arg2)) return 0;
    if (op == D3DTOP_MODULATE &&
        ((isTex(arg1) && isDiffuse(arg2)) || (isDiffuse(arg1) && isTex(arg2))))
      return 1;
    return -1;
  };
  const int colorMode = stageMode(s.colorOp, s.colorArg1, s.colorArg2);
  const int alphaMode = stageMode(s.alphaOp, s.alphaArg1, s.alphaArg2);
  const bool fastPath = aligned && constantColor && !depth && colorMode >= 0 && alphaMode >= 0 &&
                        (!s.blend || s.classicBlend);

  // The covered span of a row comes from each edge's inequality A * x + C >= 0, where
  // A = -dy * kSubPixel is fixed and C grows by dx * kSubPixel per row. A sloped edge bounds x
  // by floor(C / |A|), kept as quotient and remainder and stepped from row to row, so that no
  // row pays for a 64-bit division; a horizontal edge (A == 0) admits all or nothing.
  struct EdgeWalk {
    int64_t m;       // |A|; 0 for a horizontal edge
    bool lower;      // A > 0: the edge bounds x from below, at -floor(C / m)
    int64_t c;       // C of the current row
    int64_t q, r;    // floor(C / m) and C - q * m, in [0, m)
    int64_t dc;      // step of C per row
    int64_t dq, dr;  // the same step split as floor(dc / m) and its remainder
  } walks[3];
  for (int i = 0; i < 3; ++i) {
    const Edge& e = edges[i];
    EdgeWalk& w = walks[i];
    const int64_t a = -e.dy * kSubPixel;
    w.m = a < 0 ? -a : a;
    w.lower = a > 0;
    w.c = e.dx * (int64_t{rowStart} * kSubPixel - e.ya) + e.dy * e.xa - e.bias;
    w.dc = e.dx * kSubPixel;
    if (w.m != 0) {
      w.q = FloorDiv(w.c, w.m);
      w.r = w.c - w.q * w.m;
      w.dq = FloorDiv(w.dc, w.m);
      w.dr = w.dc - w.dq * w.m;
    } else {
      w.q = w.r = w.dq = w.dr = 0;
    }
  }

  for (int py = rowStart; py <= rowEnd; ++py) {
    int64_t lo = colMin, hi = colMax;
    for (EdgeWalk& w : walks) {
      if (w.m == 0) {
        if (w.c < 0) hi = lo - 1;
      } else if (w.lower) {
        lo = std::max(lo, -w.q);
      } else {
        hi = std::min(hi, w.q);
      }
      // On to the next row.
      w.c += w.dc;
      w.q += w.dq;
      w.r += w.dr;
      if (w.r >= w.m && w.m != 0) {
        w.r -= w.m;
        ++w.q;
      }
    }
    if (lo > hi) continue;
    const float fyRow = static_cast<float>(py);
    uint32_t* row = backBuffer_.data() + static_cast<size_t>(py) * stride;
    uint16_t* zrow = depth ? depthBuffer_.data() + static_cast<size_t>(py) * stride : nullptr;
    const uint32_t* texRow = nullptr;
    if (aligned) {
      int ty = Address(py + alignDY, s.texHeight, s.addressV);
      texRow = s.texels + static_cast<size_t>(ty) * s.texWidth;
    }
    Color diffuseConst{};
    if (constantColor)
      diffuseConst = {ToByte(pr.base), ToByte(pg.base), ToByte(pb.base), ToByte(pa.base)};
    if (fastPath && lo + alignDX >= 0 && hi + alignDX < s.texWidth) {
      // Texels copied one to one: no filtering, addressing or per-pixel interpolation.
      const uint32_t* texel = texRow + alignDX;
      const bool modulateColor = colorMode == 1 && (diffuseConst.r != 255 ||
                                                    diffuseConst.g != 255 ||
                                                    diffuseConst.b != 255);
      const bool modulateAlpha = alphaMode == 1 && diffuseConst.a != 255;
      if (s.texOpaque && !modulateColor && !modulateAlpha) {
        // Opaque texels pass through blending unchanged; the alpha test sees only 0xFF.
        if (!s.alphaTest || Compare(s.alphaFunc, 255, s.alphaRef))
          std::memcpy(row + lo, texel + lo, static_cast<size_t>(hi - lo + 1) * 4);
        continue;
      }
      SpanShade shade;
      shade.modulate = modulateColor || modulateAlpha;
      if (modulateColor) {
        shade.factor.r = diffuseConst.r;
        shade.factor.g = diffuseConst.g;
        shade.factor.b = diffuseConst.b;
      }
      if (modulateAlpha) shade.factor.a = diffuseConst.a;
      shade.alphaTest = s.alphaTest;
      shade.alphaFunc = s.alphaFunc;
      shade.alphaRef = s.alphaRef;
      shade.blend = s.blend;
      ChooseSpanShader(shade)(row + lo, texel + lo, static_cast<size_t>(hi - lo + 1), shade);
      continue;
    }

    for (int px = static_cast<int>(lo); px <= static_cast<int>(hi); ++px) {
      const float fxp = static_cast<float>(px);
      uint16_t z16 = 0;
      if (depth) {
        float z = std::clamp(pz.At(fxp, fyRow), 0.0f, 1.0f);
        z16 = static_cast<uint16_t>(z * 65535.0f + 0.5f);
        if (s.depthTest && !Compare(s.depthFunc, z16, zrow[px])) continue;
      }
      const float w = perspective ? 1.0f / pw.At(fxp, fyRow) : 1.0f;
      Color diffuse = diffuseConst;
      if (!constantColor)
        diffuse = {ToByte(pr.At(fxp, fyRow) * w), ToByte(pg.At(fxp, fyRow) * w),
                   ToByte(pb.At(fxp, fyRow) * w), ToByte(pa.At(fxp, fyRow) * w)};
      Color tex{255, 255, 255, 255};
      if (textured) {
        if (aligned) {
          tex = Unpack(texRow[Address(px + alignDX, s.texWidth, s.addressU)]);
        } else {
          const float u = pu.At(fxp, fyRow) * w * tw, vv = pv.At(fxp, fyRow) * w * th;
          if (!linear) {
            int tx = Address(static_cast<int>(std::floor(u)), s.texWidth, s.addressU);
            int ty = Address(static_cast<int>(std::floor(vv)), s.texHeight, s.addressV);
            tex = Unpack(s.texels[static_cast<size_t>(ty) * s.texWidth + tx]);
          } else {
            const float su = u - 0.5f, sv = vv - 0.5f;
            const float flu = std::floor(su), flv = std::floor(sv);
            const int fu = static_cast<int>((su - flu) * 256.0f);
            const int fv = static_cast<int>((sv - flv) * 256.0f);
            const int x0 = Address(static_cast<int>(flu), s.texWidth, s.addressU);
            const int x1 = Address(static_cast<int>(flu) + 1, s.texWidth, s.addressU);
            const int y0 = Address(static_cast<int>(flv), s.texHeight, s.addressV);
            const int y1 = Address(static_cast<int>(flv) + 1, s.texHeight, s.addressV);
            const uint32_t* r0 = s.texels + static_cast<size_t>(y0) * s.texWidth;
            const uint32_t* r1 = s.texels + static_cast<size_t>(y1) * s.texWidth;
            const uint32_t t[4] = {r0[x0], r0[x1], r1[x0], r1[x1]};
            const int wgt[4] = {(256 - fu) * (256 - fv), fu * (256 - fv), (256 - fu) * fv,
                                fu * fv};
            int acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < 4; ++k) {
              acc[0] += static_cast<int>((t[k] >> 16) & 0xFF) * wgt[k];
              acc[1] += static_cast<int>((t[k] >> 8) & 0xFF) * wgt[k];
              acc[2] += static_cast<int>(t[k] & 0xFF) * wgt[k];
              acc[3] += static_cast<int>(t[k] >> 24) * wgt[k];
            }
            tex = {(acc[0] + 32768) >> 16, (acc[1] + 32768) >> 16, (acc[2] + 32768) >> 16,
                   (acc[3] + 32768) >> 16};
          }
        }
      }
      // Texture stage 0.
      Color out;
      if (s.colorOp == D3DTOP_DISABLE) {
        out = diffuse;
      } else {
        const Color c1 = Argument(s.colorArg1, diffuse, tex, s.factor);
        const Color c2 = Argument(s.colorArg2, diffuse, tex, s.factor);
        out.r = Combine(s.colorOp, c1.r, c2.r);
        out.g = Combine(s.colorOp, c1.g, c2.g);
        out.b = Combine(s.colorOp, c1.b, c2.b);
        if (s.alphaOp == D3DTOP_DISABLE) {
          out.a = diffuse.a;
        } else {
          const int a1 = Argument(s.alphaArg1, diffuse, tex, s.factor).a;
          const int a2 = Argument(s.alphaArg2, diffuse, tex, s.factor).a;
          out.a = Combine(s.alphaOp, a1, a2);
        }
      }
      if (s.alphaTest && !Compare(s.alphaFunc, out.a, s.alphaRef)) continue;
      if (depth && s.depthWrite) zrow[px] = z16;
      if (s.blend) {
        if (s.classicBlend) {
          if (out.a == 0) continue;
          if (out.a != 255) {
            const Color d = Unpack(row[px]);
            const int ia = 255 - out.a;
            out.r = (out.r * out.a + d.r * ia + 127) / 255;
            out.g = (out.g * out.a + d.g * ia + 127) / 255;
            out.b = (out.b * out.a + d.b * ia + 127) / 255;
            out.a = (out.a * out.a + d.a * ia + 127) / 255;
          }
        } else {
          const Color d = Unpack(row[px]);
          const Color src = out;
          int sc[4] = {src.r, src.g, src.b, src.a}, dc[4] = {d.r, d.g, d.b, d.a}, res[4];
          for (int k = 0; k < 4; ++k) {
            const int fs = BlendFactor(s.srcBlend, src, d, k == 3 ? src.a : sc[k], dc[k]);
            const int fd = BlendFactor(s.dstBlend, src, d, k == 3 ? src.a : sc[k], dc[k]);
            const int a = sc[k] * fs, b = dc[k] * fd;
            int value;
            switch (s.blendOp) {
              case D3DBLENDOP_SUBTRACT:
                value = (a - b + 127) / 255;
                break;
              case D3DBLENDOP_REVSUBTRACT:
                value = (b - a + 127) / 255;
                break;
              case D3DBLENDOP_MIN:
                value = std::min(sc[k], dc[k]);
                break;
              case D3DBLENDOP_MAX:
                value = std::max(sc[k], dc[k]);
                break;
              default:
                value = (a + b + 127) / 255;
                break;
            }
            res[k] = std::clamp(value, 0, 255);
          }
          out = {res[0], res[1], res[2], res[3]};
        }
      }
      row[px] = Pack(out);
    }
  }
}

namespace {
// Clip-space vertex: x, y, z, w, r, g, b, a, u, v.
using ClipVertex = float[10];

// Sutherland-Hodgman against one plane, given as a signed distance per vertex.
int ClipPolygon(const float (*in)[10], int count, float (*out)[10], int plane) {
  auto distance = [plane](const float* p) {
    return plane == 0 ? p[2] : p[3] - p[2];  // z >= 0, z <= w
  };
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const float* a = in[i];
    const float* b = in[(i + 1) % count];
    const float da = distance(a), db = distance(b);
    if (da >= 0) std::memcpy(out[n++], a, sizeof(ClipVertex));
    if ((da >= 0) != (db >= 0)) {
      const float t = da / (da - db);
      for (int k = 0; k < 10; ++k) out[n][k] = a[k] + (b[k] - a[k]) * t;
      ++n;
    }
  }
  return n;
}
}  // namespace

void Device::ClipAndDraw(const float (*clip)[10], int count) {
  float a[9][10], b[9][10];
  int n = ClipPolygon(clip, count, a, 0);
  if (n < 3) return;
  n = ClipPolygon(a, n, b, 1);
  if (n < 3) return;
  const DrawSetup& s = *draw_;
  ScreenVertex screen[9];
  for (int i = 0; i < n; ++i) {
    const float* p = b[i];
    if (!(p[3] > 1e-20f)) return;  // behind the eye: nothing sensible to draw
    const float rhw = 1.0f / p[3];
    screen[i] = {s.vpX + (1.0f + p[0] * rhw) * 0.5f * s.vpW,
                 s.vpY + (1.0f - p[1] * rhw) * 0.5f * s.vpH,
                 s.minZ + p[2] * rhw * (s.maxZ - s.minZ),
                 rhw,
                 p[4], p[5], p[6], p[7], p[8], p[9]};
  }
  for (int i = 1; i + 1 < n; ++i) DrawTriangle(screen[0], screen[i], screen[i + 1]);
}

namespace {
// Fills n values; a value made of one repeated byte (white, black with alpha 0, depth 0 or 1)
// goes through memset, which the C library does with the widest stores the processor has.
template <class T>
void FillPixels(T* at, size_t n, T value) {
  const auto low = static_cast<uint8_t>(value);
  T repeated = 0;
  for (size_t k = 0; k < sizeof(T); ++k) repeated = static_cast<T>((repeated << 8) | low);
  if (value == repeated)
    std::memset(at, low, n * sizeof(T));
  else
    std::fill_n(at, n, value);
}
}  // namespace

HRESULT Device::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD) {
  if (rectCount && !rects) return D3DERR_INVALIDCALL;
  if (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depthBuffer_.empty())
    return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && params_.AutoDepthStencilFormat != D3DFMT_D15S1)
    return D3DERR_INVALIDCALL;  // a 16-bit depth buffer has no stencil bits
  if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
  const uint16_t z16 = static_cast<uint16_t>(z * 65535.0f + 0.5f);
  const LONG vl = static_cast<LONG>(viewport_.X), vt = static_cast<LONG>(viewport_.Y);
  const LONG vr = vl + static_cast<LONG>(viewport_.Width);
  const LONG vb = vt + static_cast<LONG>(viewport_.Height);
  const D3DRECT whole{vl, vt, vr, vb};
  const DWORD count = rectCount ? rectCount : 1;
  const UINT stride = params_.BackBufferWidth;
  for (DWORD i = 0; i < count; ++i) {
    const D3DRECT& r = rectCount ? rects[i] : whole;
    const LONG l = std::max(r.x1, vl), t = std::max(r.y1, vt);
    const LONG rr = std::min(r.x2, vr), bb = std::min(r.y2, vb);
    if (l >= rr || t >= bb) continue;
    // Rows that span the whole width are one contiguous run.
    const bool wholeRows = l == 0 && static_cast<UINT>(rr) == stride;
    const size_t runs = wholeRows ? 1 : static_cast<size_t>(bb - t);
    const size_t length = wholeRows ? static_cast<size_t>(bb - t) * stride
                                    : static_cast<size_t>(rr - l);
    for (size_t k = 0; k < runs; ++k) {
      const size_t at = (static_cast<size_t>(t) + k) * stride + static_cast<size_t>(l);
      if (flags & D3DCLEAR_TARGET) FillPixels(backBuffer_.data() + at, length, color);
      if (flags & D3DCLEAR_ZBUFFER) FillPixels(depthBuffer_.data() + at, length, z16);
    }
  }
  return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                UINT stride) {
  if (!inScene_ || !vertices || primitiveCount == 0) return D3DERR_INVALIDCALL;
  const DWORD fvf = vertexShader_;
  const DWORD position = fvf & D3DFVF_POSITION_MASK;
  if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return D3DERR_INVALIDCALL;
  const bool pretransformed = position == D3DFVF_XYZRHW;
  UINT offset = pretransformed ? 16 : 12;
  if (fvf & D3DFVF_NORMAL) offset += 12;
  const UINT diffuseOffset = offset;
  const bool hasDiffuse = (fvf & D3DFVF_DIFFUSE) != 0;
  if (hasDiffuse) offset += 4;
  if (fvf & D3DFVF_SPECULAR) offset += 4;
  const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  const UINT texIndex = stage_[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
  const bool hasTexCoord = texIndex < texCount;
  const UINT texOffset = offset + texIndex * 8;
  offset += texCount * 8;
  if (stride < offset) return D3DERR_INVALIDCALL;

  UINT vertexCount;
  switch (type) {
    case D3DPT_TRIANGLELIST:
      if (primitiveCount > 0x3FFFFFFF) return D3DERR_INVALIDCALL;
      vertexCount = primitiveCount * 3;
      break;
    case D3DPT_TRIANGLEFAN:
    case D3DPT_TRIANGLESTRIP:
      if (primitiveCount > 0x3FFFFFFF) return D3DERR_INVALIDCALL;
      vertexCount = primitiveCount + 2;
      break;
    default:
      return D3DERR_INVALIDCALL;  // points and lines are not rasterised by this device
  }
  (void)vertexCount;

  DrawSetup setup;
  const auto& st = stage_[0];
  if (TextureCore* core = CoreOf(textures_[0]);
      core && core->kind == D3DRTYPE_TEXTURE && core->LevelAt(0, 0)->wantsSampling) {
    const Level* level0 = core->LevelAt(0, 0);
    setup.texels = level0->sampled.data();
    setup.texWidth = static_cast<int>(level0->width);
    setup.texHeight = static_cast<int>(level0->height);
    setup.texOpaque = level0->opaque;
  }
  setup.addressU = st[D3DTSS_ADDRESSU];
  setup.addressV = st[D3DTSS_ADDRESSV];
  setup.magLinear = st[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
  setup.minLinear = st[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
  setup.colorOp = st[D3DTSS_COLOROP];
  setup.colorArg1 = st[D3DTSS_COLORARG1];
  setup.colorArg2 = st[D3DTSS_COLORARG2];
  setup.alphaOp = st[D3DTSS_ALPHAOP];
  setup.alphaArg1 = st[D3DTSS_ALPHAARG1];
  setup.alphaArg2 = st[D3DTSS_ALPHAARG2];
  setup.factor = Unpack(render_[D3DRS_TEXTUREFACTOR]);
  setup.alphaTest = render_[D3DRS_ALPHATESTENABLE] != 0;
  setup.alphaFunc = render_[D3DRS_ALPHAFUNC];
  setup.alphaRef = static_cast<int>(render_[D3DRS_ALPHAREF] & 0xFF);
  setup.blend = render_[D3DRS_ALPHABLENDENABLE] != 0;
  setup.srcBlend = render_[D3DRS_SRCBLEND];
  setup.dstBlend = render_[D3DRS_DESTBLEND];
  setup.blendOp = render_[D3DRS_BLENDOP];
  setup.classicBlend = setup.srcBlend == D3DBLEND_SRCALPHA &&
                       setup.dstBlend == D3DBLEND_INVSRCALPHA && setup.blendOp == D3DBLENDOP_ADD;
  setup.depthTest = render_[D3DRS_ZENABLE] != D3DZB_FALSE;
  setup.depthWrite = setup.depthTest && render_[D3DRS_ZWRITEENABLE] != 0;
  setup.depthFunc = render_[D3DRS_ZFUNC];
  setup.flat = render_[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  setup.cull = render_[D3DRS_CULLMODE];
  setup.clipLeft = static_cast<int>(viewport_.X);
  setup.clipTop = static_cast<int>(viewport_.Y);
  setup.clipRight = static_cast<int>(viewport_.X + viewport_.Width);
  setup.clipBottom = static_cast<int>(viewport_.Y + viewport_.Height);
  setup.minZ = viewport_.MinZ;
  setup.maxZ = viewport_.MaxZ;
  setup.vpX = static_cast<float>(viewport_.X);
  setup.vpY = static_cast<float>(viewport_.Y);
  setup.vpW = static_cast<float>(viewport_.Width);
  setup.vpH = static_cast<float>(viewport_.Height);
  draw_ = &setup;

  // Combined world x view x projection for untransformed vertices (row vectors).
  float m[4][4] = {};
  if (!pretransformed) {
    float wv[4][4] = {};
    const D3DMATRIX& w = transforms_[0];
    const D3DMATRIX& v = transforms_[1];
    const D3DMATRIX& p = transforms_[2];
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        float acc = 0;
        for (int k = 0; k < 4; ++k) acc += w.m[i][k] * v.m[k][j];
        wv[i][j] = acc;
      }
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        float acc = 0;
        for (int k = 0; k < 4; ++k) acc += wv[i][k] * p.m[k][j];
        m[i][j] = acc;
      }
  }

  const uint8_t* base = static_cast<const uint8_t*>(vertices);
  auto fetch = [&](UINT index, float* out) {
    const uint8_t* p = base + static_cast<size_t>(index) * stride;
    float pos[4];
    std::memcpy(pos, p, pretransformed ? 16 : 12);
    if (pretransformed) {
      // Screen-space x, y, z and 1/w, stored in the clip layout with w = 1/rhw.
      out[0] = pos[0];
      out[1] = pos[1];
      out[2] = pos[2];
      out[3] = pos[3];
    } else {
      for (int j = 0; j < 4; ++j)
        out[j] = pos[0] * m[0][j] + pos[1] * m[1][j] + pos[2] * m[2][j] + m[3][j];
    }
    DWORD c = 0xFFFFFFFFu;
    if (hasDiffuse) std::memcpy(&c, p + diffuseOffset, 4);
    out[4] = static_cast<float>((c >> 16) & 0xFF);
    out[5] = static_cast<float>((c >> 8) & 0xFF);
    out[6] = static_cast<float>(c & 0xFF);
    out[7] = static_cast<float>(c >> 24);
    if (hasTexCoord) {
      std::memcpy(&out[8], p + texOffset, 8);
    } else {
      out[8] = out[9] = 0.0f;
    }
  };
  auto triangle = [&](UINT i0, UINT i1, UINT i2) {
    float tri[3][10];
    fetch(i0, tri[0]);
    fetch(i1, tri[1]);
    fetch(i2, tri[2]);
    if (pretransformed) {
      ScreenVertex sv[3];
      for (int k = 0; k < 3; ++k)
        sv[k] = {tri[k][0], tri[k][1], tri[k][2], tri[k][3], tri[k][4],
                 tri[k][5], tri[k][6], tri[k][7], tri[k][8], tri[k][9]};
      DrawTriangle(sv[0], sv[1], sv[2]);
    } else {
      ClipAndDraw(tri, 3);
    }
  };
  for (UINT i = 0; i < primitiveCount; ++i) {
    if (type == D3DPT_TRIANGLELIST)
      triangle(3 * i, 3 * i + 1, 3 * i + 2);
    else if (type == D3DPT_TRIANGLEFAN)
      triangle(0, i + 1, i + 2);
    else if (i % 2 == 0)
      triangle(i, i + 1, i + 2);
    else
      triangle(i + 1, i, i + 2);  // keep the winding of odd strip triangles
  }
  draw_ = nullptr;
  return D3D_OK;
}

}  // namespace vellomir::d3d8
