// The owner of one open file descriptor: a POSIX descriptor, or the C
// run-time's on Windows. It closes the descriptor in its destructor, which
// never throws and keeps errno; it moves, and is never copied. Where a close
// can lose data (an output), Close says how it went.
#pragma once

#include <cerrno>
#include <utility>

namespace corvane::platform {

class Descriptor {
 public:
  Descriptor() noexcept = default;
  // Takes fd over; a negative number is no descriptor.
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }

  // The number, for the calls that use it; -1 where there is none.
  int Get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() noexcept { return std::exchange(fd_, -1); }
  // Closes it now: 0, or -1 with the reason in errno. The descriptor is gone
  // either way. Nothing to close is no failure.
  int Close() noexcept;
  // Closes it, if any, failures ignored and errno kept.
  void Reset() noexcept {
    if (fd_ < 0) return;
    const int error = errno;
    Close();
    errno = error;
  }

 private:
  int fd_ = -1;
};

}  // namespace corvane::platform
