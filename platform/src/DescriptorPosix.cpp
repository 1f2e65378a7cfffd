#include <unistd.h>

#include <cerrno>

#include "platform/Descriptor.h"

namespace corvane::platform {

int Descriptor::Close() noexcept {
  if (fd_ < 0) return 0;
  // Linux releases the descriptor even when close is interrupted, so EINTR
  // is no failure here (and retrying could close someone else's descriptor).
  const int result = ::close(std::exchange(fd_, -1));
  return result != 0 && errno == EINTR ? 0 : result;
}

}  // namespace corvane::platform
