#include "BlockReader.h"

#include <cerrno>
#include <mutex>
#include <utility>

#include "FileSystem.h"
#include "engine/Errors.h"

namespace corvane::detail {

BlockReader::BlockReader(std::size_t blockSize) {
  queue_.Allocate(blockSize);
  thread_ = std::thread([this] { Run(); });
}

BlockReader::~BlockReader() {
  Abandon();
  {
    std::lock_guard lock(queue_.Mutex());
    quit_ = true;
  }
  queue_.WakeThread();
  thread_.join();
}

void BlockReader::Begin(int fd, const std::string& name) {
  {
    std::lock_guard lock(queue_.Mutex());
    fd_ = fd;
    name_ = name;
    failure_ = nullptr;
    ended_ = false;
    reading_ = true;
  }
  queue_.WakeThread();
}

BlockReader::Block BlockReader::Next() {
  Queue::Lock lock(queue_.Mutex());
  if (handedOut_ != nullptr) {
    queue_.Free(std::exchange(handedOut_, nullptr));
    queue_.WakeThread();
  }
  queue_.WaitOnCaller(lock, [this] { return queue_.HasQueued() || ended_; });
  if (queue_.HasQueued()) {
    const Queue::Block block = queue_.TakeQueued();
    handedOut_ = block.data;
    return {block.data, block.size};
  }
  if (failure_) {
    std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    std::rethrow_exception(failure);
  }
  return {nullptr, 0};
}

void BlockReader::Abandon() noexcept {
  Queue::Lock lock(queue_.Mutex());
  reading_ = false;
  queue_.WaitOnCaller(lock, [this] { return !inRead_; });
  queue_.Drop();
  if (handedOut_ != nullptr) queue_.Free(std::exchange(handedOut_, nullptr));
  failure_ = nullptr;
  fd_ = -1;
}

void BlockReader::Run() {
  Queue::Lock lock(queue_.Mutex());
  for (;;) {
    queue_.WaitOnThread(lock,
                        [this] { return quit_ || (reading_ && !ended_ && queue_.HasFree()); });
    if (quit_) return;
    char* const buffer = queue_.TakeFree();
    const int fd = fd_;
    inRead_ = true;
    lock.unlock();
    std::ptrdiff_t got = 0;
    std::exception_ptr failure;
    try {
      do {
        got = Read(fd, buffer, queue_.BufferSize());
      } while (got < 0 && errno == EINTR);
      if (got < 0) {
        throw SystemFailure(ErrorNumber::kReadInput, "Cannot read " + Quoted(name_), errno);
      }
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    inRead_ = false;
    if (!reading_) {
      queue_.Free(buffer);  // abandoned meanwhile
    } else if (got > 0 && !failure) {
      queue_.Queue({buffer, static_cast<std::size_t>(got)});
    } else {
      queue_.Free(buffer);
      ended_ = true;
      reading_ = false;
      failure_ = failure;
    }
    queue_.WakeCaller();
  }
}

}  // namespace corvane::detail
