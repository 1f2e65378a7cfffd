// A seam through which tests replace the engine's read, write, rename and
// remove calls to inject faults (a disk that fills up part-way, a read error,
// short writes, interrupted calls, a failing rename or removal). Not for use outside the engine
// and its tests.
#pragma once

#include <cstddef>
#include <functional>

namespace corvane::detail {

// Each function behaves like the system call it stands for: it returns what
// that call returns and reports failures through errno. A member left empty
// means the real call.
struct IoHooks {
  std::function<std::ptrdiff_t(int fd, const void* data, std::size_t size)> write{};
  std::function<std::ptrdiff_t(int fd, void* data, std::size_t size)> read{};
  std::function<int(const char* from, const char* to)> rename{};
  std::function<int(const char* path)> remove{};
};

// The hooks in force, or nullptr.
const IoHooks* ActiveIoHooks();

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
