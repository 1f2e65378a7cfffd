// Page-aligned memory for the blocks that are read, scanned and written: reads
// into a buffer that is not at least cache-line aligned cost several times the
// kernel time. Not for use outside the engine and its tests.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace corvane::detail {

inline constexpr std::size_t kPageSize = 4096;

struct AlignedFree {
  void operator()(char* block) const noexcept {
    ::operator delete (block, std::align_val_t{kPageSize});
  }
};
using AlignedBuffer = std::unique_ptr<char[], AlignedFree>;

// size is rounded up to whole pages; throws std::bad_alloc.
inline AlignedBuffer AllocateAligned(std::size_t size) {
  const std::size_t rounded =
      size == 0 ? kPageSize : (size + kPageSize - 1) / kPageSize * kPageSize;
  return AlignedBuffer(static_cast<char*>(::operator new (rounded, std::align_val_t{kPageSize})));
}

}  // namespace corvane::detail
