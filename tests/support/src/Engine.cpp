#include "support/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace corvane::test {

ConversionError ExpectConversionError(const std::function<void()>& f) {
  try {
    f();
  } catch (const ConversionError& error) {
    return error;
  }
  ADD_FAILURE() << "no ConversionError";
  return ConversionError(ErrorNumber::kInvalidPath, "(none)");
}

WriteHook FailingWrites(std::size_t allowance, int error) {
  return [left = allowance, error](int fd, const void* data,
                                   std::size_t size) mutable -> std::ptrdiff_t {
    if (left == 0) {
      errno = error;
      return -1;
    }
    const std::ptrdiff_t written = SystemWrite(fd, data, std::min(size, left));
    if (written > 0) left -= static_cast<std::size_t>(written);
    return written;
  };
}

ReadHook FailingReads(std::size_t allowance, int error) {
  return [left = allowance, error](int fd, void* data, std::size_t size) mutable -> std::ptrdiff_t {
    if (left == 0 && error != 0) {
      errno = error;
      return -1;
    }
    const std::ptrdiff_t got = SystemRead(fd, data, std::min(size, left));
    if (got > 0) left -= static_cast<std::size_t>(got);
    return got;
  };
}

}  // namespace corvane::test
