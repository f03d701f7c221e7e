// FilterTriangle (and the fallback of every other kind): each source sample scatters its
// colour under a tent, integrated exactly over each destination sample. Destination rows (or
// slices) accumulate in buffers that are encoded once their last contributing source row (or
// slice) has been added, then recycled.
#include "blit/triangle_filter.h"

#include <cmath>
#include <cstring>

#include "blit/image_blitter.h"
#include "pixel/allocation.h"

namespace vellomir {

namespace {

constexpr float kMinWeight = 0.00001f;

static_assert(sizeof(TrianglePair) == 8, "records are laid out in 32-bit words");

}  // namespace

std::unique_ptr<TriangleWeightList> BuildTriangleWeights(uint32_t sourceCount,
                                                         uint32_t destinationCount, int wrap) {
  if (sourceCount == 0 || destinationCount == 0) return nullptr;
  const uint32_t c = sourceCount;
  const uint32_t n = destinationCount;
  const float b = static_cast<float>(n) / static_cast<float>(c);

  // Each half of a tent spans b destination cells and so touches at most ceil(b) + 1 of them;
  // a run of cells with one index adds one pair, so a record holds at most 2 * (ceil(b) + 2)
  // pairs. Size the single allocation for that bound (in 32-bit words).
  const uint64_t pairsPerRecord = 2 * (static_cast<uint64_t>(std::ceil(b)) + 2);
  const uint64_t words = 1 + static_cast<uint64_t>(c) * (1 + 2 * pairsPerRecord);
  if (words > UINT32_MAX / 4) return nullptr;  // the lengths are 32-bit byte counts
  auto storage = AllocateArray<uint32_t>(static_cast<size_t>(words));
  if (!storage) return nullptr;

  uint32_t* out = storage.get() + 1;
  int32_t d = 0;  // running pair: destination index and weight
  float s = 0.0f;
  const float halfOverB = 0.5f / b;
  for (uint32_t j = 0; j < c; ++j) {
    uint32_t* record = out;
    uint32_t* cursor = record + 1;
    auto flush = [&] {
      if (s > kMinWeight) {
        TrianglePair pair{d, s};
        std::memcpy(cursor, &pair, sizeof pair);
        cursor += 2;
      }
    };
    s = 0.0f;
    for (int l = 0; l < 2; ++l) {
      const float e = static_cast<float>(j) + static_cast<float>(l) - 0.5f;
      float g = e * b;  // start of this half, in destination coordinates
      float o = g + b;  // its end
      if (!wrap) {
        if (g < 0.0f) g = 0.0f;
        if (o > static_cast<float>(n)) o = static_cast<float>(n);
      }
      // floorf is exact and does not depend on the rounding mode.
      for (int32_t m = static_cast<int32_t>(std::floor(g)); static_cast<float>(m) < o; ++m) {
        int32_t u = m;
        if (m < 0) {
          u = m + static_cast<int32_t>(n);
        } else if (m >= static_cast<int32_t>(n)) {
          u = m - static_cast<int32_t>(n);
        }
        const float mf = static_cast<float>(m);
        const float hi = mf + 1.0f < o ? mf + 1.0f : o;
        const float lo = mf > g ? mf : g;
        if (u != d) {
          flush();
          s = 0.0f;
          d = u;
        }
        // Tent height at the middle of [lo, hi]. Mirrored, the outer halves of the first and
        // last samples are clipped at the edge and kept at full height (the fold-back).
        float a = (lo + hi) * halfOverB - e;
        if (!wrap) {
          if (e < 0.0f) {
            a = 1.0f;
          } else if (e + 1.0f >= static_cast<float>(c)) {
            a = 0.0f;
          }
        }
        if (l == 1) a = 1.0f - a;
        s += (hi - lo) * a;
      }
    }
    flush();
    record[0] = static_cast<uint32_t>(cursor - record) * 4;
    out = cursor;
  }
  storage[0] = static_cast<uint32_t>(out - storage.get()) * 4;
  return AllocateObject<TriangleWeightList>(std::move(storage), c);
}

namespace {

// A destination row (2-D) or slice (3-D) being accumulated.
struct Accumulator {
  FloatColor* buffer = nullptr;  // taken from the pool while the row (slice) is open
  uint32_t pending = 0;  // contributing source rows (slices) not yet added
  bool encoded = false;
};

// Owns every accumulator buffer of one call and recycles them through a free list, so that
// the live buffers are about the rows (slices) in flight, not the whole destination. Never
// more than `capacity` buffers exist (one per destination row or slice).
class BufferPool {
 public:
  explicit BufferPool(size_t entries) : entries_(entries) {}

  // Room to track `capacity` buffers; false when out of memory.
  bool Init(size_t capacity) {
    owned_ = AllocateArray<std::unique_ptr<FloatColor[]>>(capacity);
    free_ = AllocateArray<FloatColor*>(capacity);
    return owned_ && free_;
  }

  // A zeroed buffer, or null when memory runs out.
  FloatColor* Take() {
    FloatColor* buffer;
    if (freeCount_ > 0) {
      buffer = free_[--freeCount_];
    } else {
      auto fresh = AllocateArray<FloatColor>(entries_);
      if (!fresh) return nullptr;
      buffer = fresh.get();
      owned_[ownedCount_++] = std::move(fresh);
    }
    std::memset(buffer, 0, sizeof(FloatColor) * entries_);
    return buffer;
  }
  void Give(FloatColor* buffer) { free_[freeCount_++] = buffer; }

 private:
  size_t entries_;
  std::unique_ptr<std::unique_ptr<FloatColor[]>[]> owned_;
  std::unique_ptr<FloatColor*[]> free_;
  size_t ownedCount_ = 0;
  size_t freeCount_ = 0;
};

// Pending counts: how many source records name each destination index.
void CountPending(const TriangleWeightList& list, Accumulator* acc) {
  auto rec = list.First();
  for (uint32_t i = 0; i < list.sourceCount(); ++i, rec.Next()) {
    for (const TrianglePair p : rec) ++acc[p.index].pending;
  }
}

// Adds (wx * wy) * row[x], for every source x and every pair of x's list, into the
// accumulator rows named by the source row's record `yRec`.
void Scatter(const FloatColor* row, const TriangleWeightList& xList,
             const TriangleWeightList::Cursor& yRec, Accumulator* acc) {
  auto xRec = xList.First();
  for (uint32_t x = 0; x < xList.sourceCount(); ++x, xRec.Next()) {
    const FloatColor px = row[x];
    for (const TrianglePair py : yRec) {
      FloatColor* target = acc[py.index].buffer;
      for (const TrianglePair pxw : xRec) {
        const float w = pxw.weight * py.weight;
        FloatColor& t = target[pxw.index];
        t.r += w * px.r;
        t.g += w * px.g;
        t.b += w * px.b;
        t.a += w * px.a;
      }
    }
  }
}

}  // namespace

HRESULT ImageBlitter::ResampleTriangle2D() {
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;
  if (src.depth != 1 || dst.depth != 1) return E_FAIL;

  auto xList = BuildTriangleWeights(src.width, dst.width, Wrap(FilterMirrorU));
  auto yList = BuildTriangleWeights(src.height, dst.height, Wrap(FilterMirrorV));
  if (!xList || !yList) return E_FAIL;
  auto acc = AllocateArray<Accumulator>(dst.height);
  auto srcRow = AllocateArray<FloatColor>(src.width);
  BufferPool pool(dst.width);
  if (!acc || !srcRow || !pool.Init(dst.height)) return E_OUTOFMEMORY;
  CountPending(*yList, acc.get());

  auto yRec = yList->First();
  for (uint32_t y = 0; y < src.height; ++y, yRec.Next()) {
    for (const TrianglePair p : yRec) {
      Accumulator& a = acc[p.index];
      if (!a.buffer && !(a.buffer = pool.Take())) return E_OUTOFMEMORY;
    }
    src.DecodeRow(y, 0, srcRow.get());
    Scatter(srcRow.get(), *xList, yRec, acc.get());
    for (const TrianglePair p : yRec) {
      Accumulator& a = acc[p.index];
      if (--a.pending == 0) {
        dst.EncodeRow(static_cast<uint32_t>(p.index), 0, a.buffer);
        a.encoded = true;
        pool.Give(a.buffer);
        a.buffer = nullptr;
      }
    }
  }
  // Every row is encoded exactly once, even one whose weights all fell below the cut-off (a
  // reduction by more than 1 : 100000), which then holds transparent black.
  for (uint32_t r = 0; r < dst.height; ++r) {
    if (acc[r].encoded) continue;
    FloatColor* blank = pool.Take();
    if (!blank) return E_OUTOFMEMORY;
    dst.EncodeRow(r, 0, blank);
    pool.Give(blank);
  }
  return D3D_OK;
}

HRESULT ImageBlitter::ResampleTriangle3D() {
  PixelCodec& src = *source_;
  PixelCodec& dst = *destination_;

  auto xList = BuildTriangleWeights(src.width, dst.width, Wrap(FilterMirrorU));
  auto yList = BuildTriangleWeights(src.height, dst.height, Wrap(FilterMirrorV));
  auto zList = BuildTriangleWeights(src.depth, dst.depth, Wrap(FilterMirrorW));
  if (!xList || !yList || !zList) return E_FAIL;
  const size_t sliceEntries = static_cast<size_t>(dst.width) * dst.height;
  auto acc = AllocateArray<Accumulator>(dst.depth);
  auto srcRow = AllocateArray<FloatColor>(src.width);
  BufferPool pool(sliceEntries);
  if (!acc || !srcRow || !pool.Init(dst.depth)) return E_OUTOFMEMORY;
  CountPending(*zList, acc.get());

  auto encodeSlice = [&](uint32_t k, const FloatColor* buffer) {
    for (uint32_t row = 0; row < dst.height; ++row) {
      dst.EncodeRow(row, k, buffer + static_cast<size_t>(row) * dst.width);
    }
  };

  auto zRec = zList->First();
  for (uint32_t z = 0; z < src.depth; ++z, zRec.Next()) {
    for (const TrianglePair p : zRec) {
      Accumulator& a = acc[p.index];
      if (!a.buffer && !(a.buffer = pool.Take())) return E_OUTOFMEMORY;
    }
    auto yRec = yList->First();
    for (uint32_t y = 0; y < src.height; ++y, yRec.Next()) {
      src.DecodeRow(y, z, srcRow.get());
      const FloatColor* row = srcRow.get();
      auto xRec = xList->First();
      for (uint32_t x = 0; x < src.width; ++x, xRec.Next()) {
        const FloatColor px = row[x];
        for (const TrianglePair pz : zRec) {
          FloatColor* slice = acc[pz.index].buffer;
          for (const TrianglePair py : yRec) {
            FloatColor* target = slice + static_cast<size_t>(py.index) * dst.width;
            for (const TrianglePair pxw : xRec) {
              const float w = (pxw.weight * py.weight) * pz.weight;
              FloatColor& t = target[pxw.index];
              t.r += w * px.r;
              t.g += w * px.g;
              t.b += w * px.b;
              t.a += w * px.a;
            }
          }
        }
      }
    }
    for (const TrianglePair p : zRec) {
      Accumulator& a = acc[p.index];
      if (--a.pending == 0) {
        encodeSlice(static_cast<uint32_t>(p.index), a.buffer);
        a.encoded = true;
        pool.Give(a.buffer);
        a.buffer = nullptr;
      }
    }
  }
  for (uint32_t k = 0; k < dst.depth; ++k) {
    if (acc[k].encoded) continue;
    FloatColor* blank = pool.Take();
    if (!blank) return E_OUTOFMEMORY;
    encodeSlice(k, blank);
    pool.Give(blank);
  }
  return D3D_OK;
}

}  // namespace vellomir
