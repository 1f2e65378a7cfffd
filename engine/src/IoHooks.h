// The system calls through which the engine reads and writes files, with a
// seam that lets tests replace them to inject faults (a disk that fills up
// part-way, a read error, short writes, interrupted calls, a failing rename).
// Not for use outside the engine and its tests.
#pragma once

#include <cstddef>
#include <functional>

namespace corvane::detail {

// Each function behaves like the system call it stands for: it returns what
// that call returns and reports failures through errno. A member left empty
// means the real system call.
struct IoHooks {
  std::function<std::ptrdiff_t(int fd, const void* data, std::size_t size)> write{};
  std::function<std::ptrdiff_t(int fd, void* data, std::size_t size)> read{};
  std::function<int(const char* from, const char* to)> rename{};
};

// Installs hooks for its lifetime and restores the previous ones afterwards.
// Tests only; not thread-safe against conversions running at the same time.
class ScopedIoHooks {
 public:
  explicit ScopedIoHooks(IoHooks hooks);
  ~ScopedIoHooks();
  ScopedIoHooks(const ScopedIoHooks&) = delete;
  ScopedIoHooks& operator=(const ScopedIoHooks&) = delete;

 private:
  IoHooks hooks_;
  const IoHooks* previous_;
};

}  // namespace corvane::detail
