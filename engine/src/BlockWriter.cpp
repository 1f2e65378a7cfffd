#include "BlockWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "FileSystem.h"
#include "engine/Errors.h"

namespace corvane::detail {

namespace {

// Buffers in all: one lent to the transcoder, the rest queued or being
// written. Three blocks in flight keep the thread busy when writes are slower
// than the scan, in a few MiB.
constexpr std::size_t kBuffers = 4;

}  // namespace

BlockWriter::BlockWriter() : thread_([this] { Run(); }) {}

BlockWriter::~BlockWriter() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  work_.notify_all();
  thread_.join();
}

void BlockWriter::Begin(int fd, const std::string& name) {
  std::lock_guard lock(mutex_);
  fd_ = fd;
  name_ = name;
  failure_ = nullptr;
}

void BlockWriter::End() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return queue_.empty() && !writing_; });
  if (failure_) {
    std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    std::rethrow_exception(failure);
  }
}

void BlockWriter::Abandon() noexcept {
  std::unique_lock lock(mutex_);
  for (const Block& block : queue_) free_.push_back(block.data);
  queue_.clear();
  done_.wait(lock, [this] { return !writing_; });
  failure_ = nullptr;
  fd_ = -1;
}

char* BlockWriter::LendBuffer(std::size_t size) {
  std::lock_guard lock(mutex_);
  if (buffers_.empty()) {
    bufferSize_ = size;
    for (std::size_t i = 0; i < kBuffers; ++i) {
      buffers_.push_back(AllocateAligned(size));
      free_.push_back(buffers_.back().get());
    }
    lent_ = free_.back();
    free_.pop_back();
  }
  // A transcoder made anew (after a failure) goes on in the buffer the last
  // one had: it is never queued.
  return size <= bufferSize_ ? lent_ : nullptr;
}

char* BlockWriter::TakeBlock(char* block, std::size_t size) {
  return lent_ = Exchange({block, size});
}

void BlockWriter::Write(const char* data, std::size_t size) {
  while (size > 0) {
    std::unique_lock lock(mutex_);
    if (failure_) {
      lock.unlock();
      ThrowFailure();
    }
    done_.wait(lock, [this] { return !free_.empty(); });
    char* const buffer = free_.back();
    free_.pop_back();
    lock.unlock();
    const std::size_t n = std::min(size, bufferSize_);
    std::memcpy(buffer, data, n);
    lock.lock();
    queue_.push_back({buffer, n});
    work_.notify_one();
    data += n;
    size -= n;
  }
}

char* BlockWriter::Exchange(Block block) {
  std::unique_lock lock(mutex_);
  if (failure_) {
    // The block is not queued; the caller keeps it.
    lock.unlock();
    ThrowFailure();
  }
  queue_.push_back(block);
  work_.notify_one();
  done_.wait(lock, [this] { return !free_.empty(); });
  char* const buffer = free_.back();
  free_.pop_back();
  return buffer;
}

void BlockWriter::ThrowFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard lock(mutex_);
    failure = failure_;
  }
  std::rethrow_exception(failure);
}

void BlockWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (quit_) return;
    const Block block = queue_.front();
    queue_.pop_front();
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
    free_.push_back(block.data);
    done_.notify_all();
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
