// Reads a regular file ahead on a thread of its own, so that reading overlaps
// the scan: blocks are read into a small, fixed set of page-aligned buffers
// and handed over in order, so memory stays bounded.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <thread>

#include "BlockQueue.h"

namespace corvane::detail {

class BlockReader {
 public:
  // blockSize: the most one read asks for.
  explicit BlockReader(std::size_t blockSize);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Starts reading fd from where it stands; failures name the input `name`.
  void Begin(int fd, const std::string& name);
  // The next block read, in order; an empty one at the end of the input.
  // The block stays valid until the next call. Throws the read's failure.
  struct Block {
    const char* data;
    std::size_t size;
  };
  Block Next();
  // Stops reading and waits until the descriptor is no longer in use.
  void Abandon() noexcept;

 private:
  // Buffers in all: one held by the caller, the rest read ahead.
  using Queue = BlockQueue<3>;

  void Run();

  // The thread fills the queue's buffers, the caller empties them; all of
  // the below is guarded by its lock.
  Queue queue_;
  char* handedOut_ = nullptr;  // the block the caller holds
  bool reading_ = false;       // the thread has a file to read
  bool inRead_ = false;        // the thread is in a read call
  bool ended_ = false;         // the end or a failure was reached
  bool quit_ = false;
  std::exception_ptr failure_;
  int fd_ = -1;
  std::string name_;
  std::thread thread_;
};

}  // namespace corvane::detail
