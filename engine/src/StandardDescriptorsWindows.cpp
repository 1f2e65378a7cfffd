#include <fcntl.h>
#include <io.h>

#include "engine/StandardDescriptors.h"

namespace corvane {

// The C run-time's descriptors 0 to 2: without a console or a redirection
// (a program started detached, the desktop program) they lead nowhere, and
// the run-time could give their numbers to files opened later.
void KeepStandardDescriptorsOpen() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    const intptr_t handle = ::_get_osfhandle(fd);
    if (handle != -1 && handle != -2 && handle != 0) continue;
    const int opened = ::_wopen(L"NUL", (fd == 0 ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (opened >= 0 && opened != fd) {
      ::_dup2(opened, fd);
      ::_close(opened);
    }
  }
}

}  // namespace corvane
