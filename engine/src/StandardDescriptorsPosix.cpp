#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/StandardDescriptors.h"
#include "platform/Descriptor.h"

namespace corvane {

void KeepStandardDescriptorsOpen() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: fd itself, as the ones below it are open.
    platform::Descriptor opened(::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY));
    if (opened.Get() == fd) {
      opened.Release();  // held from now on
    } else if (opened) {
      ::dup2(opened.Get(), fd);
    }
  }
}

}  // namespace corvane
