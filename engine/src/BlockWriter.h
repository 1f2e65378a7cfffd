// Writes a transcoder's output to a descriptor on a thread of its own, so that
// writing overlaps reading and scanning on a second core. Whole blocks are
// handed over without copying: the transcoder collects its output in buffers
// lent to it in turn from a small, fixed set, so memory stays bounded.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <thread>

#include "BlockQueue.h"
#include "LendingSink.h"

namespace corvane::detail {

// Writes every byte to fd: short writes are continued and interrupted calls
// repeated; anything else fails (kWriteOutput) naming the output `name`.
void WriteAll(int fd, const std::string& name, const char* data, std::size_t size);

class BlockWriter final : public LendingSink {
 public:
  BlockWriter();
  ~BlockWriter() override;
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // Starts an output: what is handed over from now on goes to fd; failures
  // name the output `name`.
  void Begin(int fd, const std::string& name);
  // Waits until everything handed over is written; throws the first failure
  // (a ConversionError, or whatever a write threw).
  void End();
  // Drops what is not written yet and waits until the descriptor is no
  // longer in use, so that it may be closed.
  void Abandon() noexcept;

  char* LendBuffer(std::size_t size) override;
  char* TakeBlock(char* block, std::size_t size) override;
  // The last, partial block of an output: copied into a free buffer.
  void Write(const char* data, std::size_t size) override;

 private:
  // Buffers in all: one lent to the transcoder, the rest queued or being
  // written. Three blocks in flight keep the thread busy when writes are
  // slower than the scan, in a few MiB.
  using Queue = BlockQueue<4>;
  using Block = Queue::Block;

  void Run();
  // Hands a block to the thread and waits for a free buffer, which it returns.
  char* Exchange(Block block);
  void ThrowFailure();

  // The caller fills the queue's buffers, the thread empties them; all of
  // the below is guarded by its lock, but for lent_, the caller's alone.
  Queue queue_;
  char* lent_ = nullptr;
  bool writing_ = false;  // the thread is writing a block it took
  bool quit_ = false;
  std::exception_ptr failure_;
  int fd_ = -1;
  std::string name_;
  std::thread thread_;
};

}  // namespace corvane::detail
