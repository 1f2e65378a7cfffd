#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/StandardDescriptors.h"

namespace corvane {

void KeepStandardDescriptorsOpen() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: fd itself, as the ones below it are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace corvane
