// Owners of Windows handles: a kernel object's (a file, a pipe, a process, a
// thread; CloseHandle) and a file search's (FindClose). Each releases its
// handle in its destructor, which never throws and keeps the thread's last
// error; it moves, and is never copied. Neither null nor
// INVALID_HANDLE_VALUE is a handle to release.
#pragma once

#include "platform/WindowsApi.h"

#include <utility>

namespace corvane::platform {

namespace detail {

struct CloseKernelObject {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
struct CloseFileSearch {
  void operator()(HANDLE handle) const noexcept { ::FindClose(handle); }
};

}  // namespace detail

template <typename Closer>
class BasicHandle {
 public:
  BasicHandle() noexcept = default;
  // Takes handle over.
  explicit BasicHandle(HANDLE handle) noexcept : handle_(handle) {}
  BasicHandle(BasicHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  BasicHandle& operator=(BasicHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  BasicHandle(const BasicHandle&) = delete;
  BasicHandle& operator=(const BasicHandle&) = delete;
  ~BasicHandle() { Reset(); }

  HANDLE Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }
  // Gives the handle up without releasing it.
  HANDLE Release() noexcept { return std::exchange(handle_, nullptr); }
  // Releases the handle held, if any, and takes handle over.
  void Reset(HANDLE handle = nullptr) noexcept {
    if (*this) {
      const DWORD error = ::GetLastError();
      Closer{}(handle_);
      ::SetLastError(error);
    }
    handle_ = handle;
  }
  // Where a call that returns a handle through a pointer puts it.
  HANDLE* Receive() noexcept {
    Reset();
    return &handle_;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A kernel object's handle.
using Handle = BasicHandle<detail::CloseKernelObject>;
// What FindFirstFile returns.
using SearchHandle = BasicHandle<detail::CloseFileSearch>;

}  // namespace corvane::platform
