#include <io.h>

#include "platform/Descriptor.h"

namespace corvane::platform {

int Descriptor::Close() noexcept {
  if (fd_ < 0) return 0;
  return ::_close(std::exchange(fd_, -1));
}

}  // namespace corvane::platform
