#include <unistd.h>

#include <cerrno>

#include "support/Engine.h"
#include "support/Files.h"

namespace corvane::test {

std::ptrdiff_t SystemRead(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }

std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}

int PathThroughAFileError() { return ENOTDIR; }
int ControlCharacterNameError() { return ENOENT; }
int DeviceNameError() { return ENOENT; }

}  // namespace corvane::test
