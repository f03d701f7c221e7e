// Allocation that reports failure as null instead of throwing, so that out-of-memory paths
// can be taken (and tested) like any other result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace vellomir {

namespace detail {
// Number of allocations still allowed to succeed before every later one fails; negative
// means no limit. Single-threaded by design, like the rest of the toolkit.
inline int allocationFailureCountdown = -1;
}  // namespace detail

// Test seam: let the next `allowed` allocations succeed and fail every one after them until
// reset with a negative value.
inline void SetAllocationFailureCountdown(int allowed) {
  detail::allocationFailureCountdown = allowed;
}

// An owned array of `count` default-initialised elements, or null when the byte count would
// overflow or memory runs out. A count of 0 still yields a (one-element) buffer, so callers
// can tell success from failure by the pointer alone.
namespace detail {
// Consumes one allowance of the countdown; false when this allocation is to fail.
inline bool AllocationAllowed() {
  if (allocationFailureCountdown == 0) return false;
  if (allocationFailureCountdown > 0) --allocationFailureCountdown;
  return true;
}
}  // namespace detail

template <class T>
std::unique_ptr<T[]> AllocateArray(size_t count) {
  if (!detail::AllocationAllowed()) return nullptr;
  if (count > SIZE_MAX / sizeof(T)) return nullptr;
  return std::unique_ptr<T[]>(new (std::nothrow) T[count == 0 ? 1 : count]);
}

// One object built from `args`, or null when memory runs out.
template <class T, class... Args>
std::unique_ptr<T> AllocateObject(Args&&... args) {
  if (!detail::AllocationAllowed()) return nullptr;
  return std::unique_ptr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

}  // namespace vellomir
