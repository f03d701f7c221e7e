// Weight lists of the triangle filter: for every source sample, the destination samples its
// tent covers and the area of the tent over each of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

namespace vellomir {

// One (destination index, weight) pair of a source sample's list.
struct TrianglePair {
  int32_t index;
  float weight;
};

// All lists of one axis in a single allocation of 32-bit words: the total length in bytes,
// then one record per source sample in source order. A record's first word is its own length
// in bytes (that word included), followed by its pairs. Only weights above 0.00001 are kept.
class TriangleWeightList {
 public:
  // Reads the pairs of one record (copied out of the 32-bit words, so no aliasing games).
  class PairIterator {
   public:
    explicit PairIterator(const uint32_t* p) : p_(p) {}
    TrianglePair operator*() const {
      TrianglePair pair;
      std::memcpy(&pair, p_, sizeof pair);
      return pair;
    }
    PairIterator& operator++() {
      p_ += 2;
      return *this;
    }
    bool operator!=(const PairIterator& other) const { return p_ != other.p_; }

   private:
    const uint32_t* p_;
  };

  // Walks the records in source order.
  class Cursor {
   public:
    explicit Cursor(const uint32_t* record) : record_(record) {}
    PairIterator begin() const { return PairIterator(record_ + 1); }
    PairIterator end() const { return PairIterator(record_ + 1 + 2 * size()); }
    uint32_t size() const { return (record_[0] - 4) / sizeof(TrianglePair); }
    void Next() { record_ += record_[0] / 4; }

   private:
    const uint32_t* record_;
  };

  TriangleWeightList(std::unique_ptr<uint32_t[]> words, uint32_t count)
      : words_(std::move(words)), count_(count) {}

  uint32_t sourceCount() const { return count_; }
  uint32_t totalBytes() const { return words_[0]; }
  // The record of source sample 0; Next() moves to the following one.
  Cursor First() const { return Cursor(words_.get() + 1); }

 private:
  std::unique_ptr<uint32_t[]> words_;
  uint32_t count_;
};

// Weights of `sourceCount` samples spread over `destinationCount` samples under tents one
// source sample wide on each side. wrap 1: the parts beyond an edge land on the other edge;
// wrap 0 (mirror): they fold back onto the edge. Every destination sample receives weights
// that add up to 1. Null when either count is 0 or memory runs out.
std::unique_ptr<TriangleWeightList> BuildTriangleWeights(uint32_t sourceCount,
                                                         uint32_t destinationCount, int wrap);

}  // namespace vellomir
