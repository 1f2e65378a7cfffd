#include "BlockReader.h"

#include <cerrno>
#include <utility>

#include "FileSystem.h"
#include "engine/Errors.h"

namespace corvane::detail {

namespace {

// Buffers in all: one held by the caller, the rest read ahead.
constexpr std::size_t kBuffers = 3;

}  // namespace

BlockReader::BlockReader(std::size_t blockSize) : blockSize_(blockSize) {
  for (std::size_t i = 0; i < kBuffers; ++i) {
    buffers_.push_back(AllocateAligned(blockSize));
    free_.push_back(buffers_.back().get());
  }
  thread_ = std::thread([this] { Run(); });
}

BlockReader::~BlockReader() {
  Abandon();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  work_.notify_all();
  thread_.join();
}

void BlockReader::Begin(int fd, const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    fd_ = fd;
    name_ = name;
    failure_ = nullptr;
    ended_ = false;
    reading_ = true;
  }
  work_.notify_all();
}

BlockReader::Block BlockReader::Next() {
  std::unique_lock lock(mutex_);
  if (handedOut_ != nullptr) {
    free_.push_back(std::exchange(handedOut_, nullptr));
    work_.notify_all();
  }
  done_.wait(lock, [this] { return !filled_.empty() || ended_; });
  if (!filled_.empty()) {
    const Filled block = filled_.front();
    filled_.pop_front();
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
  std::unique_lock lock(mutex_);
  reading_ = false;
  done_.wait(lock, [this] { return !inRead_; });
  for (const Filled& block : filled_) free_.push_back(block.data);
  filled_.clear();
  if (handedOut_ != nullptr) free_.push_back(std::exchange(handedOut_, nullptr));
  failure_ = nullptr;
  fd_ = -1;
}

void BlockReader::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return quit_ || (reading_ && !ended_ && !free_.empty()); });
    if (quit_) return;
    char* const buffer = free_.back();
    free_.pop_back();
    const int fd = fd_;
    inRead_ = true;
    lock.unlock();
    std::ptrdiff_t got = 0;
    std::exception_ptr failure;
    try {
      do {
        got = Read(fd, buffer, blockSize_);
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
      free_.push_back(buffer);  // abandoned meanwhile
    } else if (got > 0 && !failure) {
      filled_.push_back({buffer, static_cast<std::size_t>(got)});
    } else {
      free_.push_back(buffer);
      ended_ = true;
      reading_ = false;
      failure_ = failure;
    }
    done_.notify_all();
  }
}

}  // namespace corvane::detail
