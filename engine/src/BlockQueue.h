// Blocks handed in order between the converting thread and a thread of its
// own, through a fixed set of kBuffers page-aligned buffers, so that memory
// stays bounded. Each buffer is free, being filled, queued (in order), or
// being emptied: one side fills free buffers and queues them, the other takes
// them in the order queued and frees each when done with it. Reading ahead
// (BlockReader) the thread fills and the converting thread empties; writing
// behind (BlockWriter) the other way round.
//
// One lock guards the buffers and whatever the two sides keep beside them;
// the calls below expect it held, and each side waits on its own condition.
// Not for use outside the engine and its tests.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>

#include "AlignedBuffer.h"

namespace corvane::detail {

template <std::size_t kBuffers>
class BlockQueue {
 public:
  struct Block {
    char* data;
    std::size_t size;
  };
  using Lock = std::unique_lock<std::mutex>;

  BlockQueue() = default;
  BlockQueue(const BlockQueue&) = delete;
  BlockQueue& operator=(const BlockQueue&) = delete;

  // Makes the buffers, size bytes each, all free; all or none. Throws
  // std::bad_alloc. Once only.
  void Allocate(std::size_t size) {
    std::array<AlignedBuffer, kBuffers> made;
    for (AlignedBuffer& buffer : made) buffer = AllocateAligned(size);
    buffers_ = std::move(made);
    for (AlignedBuffer& buffer : buffers_) free_[freeCount_++] = buffer.get();
    bufferSize_ = size;
  }
  bool Allocated() const { return buffers_[0] != nullptr; }
  std::size_t BufferSize() const { return bufferSize_; }

  std::mutex& Mutex() { return mutex_; }
  // The thread of its own waits until ready() holds; the converting thread
  // wakes it.
  template <typename Ready>
  void WaitOnThread(Lock& lock, Ready ready) {
    toThread_.wait(lock, ready);
  }
  void WakeThread() { toThread_.notify_one(); }
  // The converting thread waits until ready() holds; the thread wakes it.
  template <typename Ready>
  void WaitOnCaller(Lock& lock, Ready ready) {
    toCaller_.wait(lock, ready);
  }
  void WakeCaller() { toCaller_.notify_all(); }

  // The buffer freed last is the next one filled, while still in the cache.
  bool HasFree() const { return freeCount_ != 0; }
  char* TakeFree() { return free_[--freeCount_]; }
  void Free(char* buffer) { free_[freeCount_++] = buffer; }

  bool HasQueued() const { return queuedCount_ != 0; }
  void Queue(Block block) { queued_[(first_ + queuedCount_++) % kBuffers] = block; }
  Block TakeQueued() {
    const Block block = queued_[first_];
    first_ = (first_ + 1) % kBuffers;
    --queuedCount_;
    return block;
  }
  // Frees every queued buffer unread.
  void Drop() {
    while (HasQueued()) Free(TakeQueued().data);
  }

 private:
  std::mutex mutex_;
  std::condition_variable toThread_;
  std::condition_variable toCaller_;
  std::array<AlignedBuffer, kBuffers> buffers_;
  std::size_t bufferSize_ = 0;
  char* free_[kBuffers] = {};
  std::size_t freeCount_ = 0;
  Block queued_[kBuffers] = {};  // a ring: first_ onwards
  std::size_t first_ = 0;
  std::size_t queuedCount_ = 0;
};

}  // namespace corvane::detail
