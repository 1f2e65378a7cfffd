#include <io.h>

#include <algorithm>
#include <cerrno>

#include "FileSystem.h"
#include "support/Engine.h"
#include "support/Files.h"

namespace corvane::test {

// The C run-time takes counts as unsigned int.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

std::ptrdiff_t SystemRead(int fd, void* data, std::size_t size) {
  return ::_read(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}

std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}

int PathThroughAFileError() { return ENOENT; }
int ControlCharacterNameError() { return EINVAL; }
int DeviceNameError() { return detail::kNotADiskFile; }

}  // namespace corvane::test
