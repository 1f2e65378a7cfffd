#include <io.h>

#include <cerrno>

#include "platform/Descriptor.h"

namespace corvane::platform {

int Descriptor::Close() noexcept {
  if (fd_ < 0) return 0;
  return ::_close(std::exchange(fd_, -1));
}

void Descriptor::Reset() noexcept {
  if (fd_ < 0) return;
  const int error = errno;
  Close();
  errno = error;
}

}  // namespace corvane::platform
