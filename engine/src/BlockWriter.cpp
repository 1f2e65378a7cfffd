#include "BlockWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "FileSystem.h"
#include "engine/Errors.h"

namespace corvane::detail {

BlockWriter::BlockWriter() : thread_([this] { Run(); }) {}

BlockWriter::~BlockWriter() {
  {
    std::lock_guard lock(queue_.Mutex());
    quit_ = true;
  }
  queue_.WakeThread();
  thread_.join();
}

void BlockWriter::Begin(int fd, const std::string& name) {
  std::lock_guard lock(queue_.Mutex());
  fd_ = fd;
  name_ = name;
  failure_ = nullptr;
}

void BlockWriter::End() {
  Queue::Lock lock(queue_.Mutex());
  queue_.WaitOnCaller(lock, [this] { return !queue_.HasQueued() && !writing_; });
  if (failure_) {
    std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    std::rethrow_exception(failure);
  }
}

void BlockWriter::Abandon() noexcept {
  Queue::Lock lock(queue_.Mutex());
  queue_.Drop();
  queue_.WaitOnCaller(lock, [this] { return !writing_; });
  failure_ = nullptr;
  fd_ = -1;
}

char* BlockWriter::LendBuffer(std::size_t size) {
  std::lock_guard lock(queue_.Mutex());
  if (!queue_.Allocated()) {
    queue_.Allocate(size);
    lent_ = queue_.TakeFree();
  }
  // A transcoder made anew (after a failure) goes on in the buffer the last
  // one had: it is never queued.
  return size <= queue_.BufferSize() ? lent_ : nullptr;
}

char* BlockWriter::TakeBlock(char* block, std::size_t size) {
  return lent_ = Exchange({block, size});
}

void BlockWriter::Write(const char* data, std::size_t size) {
  while (size > 0) {
    Queue::Lock lock(queue_.Mutex());
    if (failure_) {
      lock.unlock();
      ThrowFailure();
    }
    queue_.WaitOnCaller(lock, [this] { return queue_.HasFree(); });
    char* const buffer = queue_.TakeFree();
    lock.unlock();
    const std::size_t n = std::min(size, queue_.BufferSize());
    std::memcpy(buffer, data, n);
    lock.lock();
    queue_.Queue({buffer, n});
    queue_.WakeThread();
    data += n;
    size -= n;
  }
}

char* BlockWriter::Exchange(Block block) {
  Queue::Lock lock(queue_.Mutex());
  if (failure_) {
    // The block is not queued; the caller keeps it.
    lock.unlock();
    ThrowFailure();
  }
  queue_.Queue(block);
  queue_.WakeThread();
  queue_.WaitOnCaller(lock, [this] { return queue_.HasFree(); });
  return queue_.TakeFree();
}

void BlockWriter::ThrowFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard lock(queue_.Mutex());
    failure = failure_;
  }
  std::rethrow_exception(failure);
}

void BlockWriter::Run() {
  Queue::Lock lock(queue_.Mutex());
  for (;;) {
    queue_.WaitOnThread(lock, [this] { return quit_ || queue_.HasQueued(); });
    if (quit_) return;
    const Block block = queue_.TakeQueued();
    if (!failure_) {
      writing_ = true;
      const int fd = fd_;
      const std::string name = name_;
      lock.unlock();
      std::exception_ptr failure;
      try {
        WriteAll(fd, name, block.data, block.size);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      writing_ = false;
      if (failure && !failure_) failure_ = failure;
    }
    // After a failure the rest is dropped: its buffers come back at once.
    queue_.Free(block.data);
    queue_.WakeCaller();
  }
}

// Short writes are continued and interrupted calls repeated; anything else
// fails naming the output.
void WriteAll(int fd, const std::string& name, const char* data, std::size_t size) {
  while (size > 0) {
    const std::ptrdiff_t written = detail::Write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw SystemFailure(ErrorNumber::kWriteOutput, "Cannot write " + Quoted(name), errno);
    }
    if (written == 0) {
      // A regular file accepts nothing more only when its device is full.
      throw SystemFailure(ErrorNumber::kWriteOutput, "Cannot write " + Quoted(name), ENOSPC);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace corvane::detail
