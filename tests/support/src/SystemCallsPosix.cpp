#include <unistd.h>

#include "support/Engine.h"

namespace corvane::test {

std::ptrdiff_t SystemRead(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }

std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}

}  // namespace corvane::test
