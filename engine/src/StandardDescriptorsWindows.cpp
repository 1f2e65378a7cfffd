#include <fcntl.h>
#include <io.h>

#include "engine/StandardDescriptors.h"
#include "platform/Descriptor.h"

namespace corvane {

// The C run-time's descriptors 0 to 2: without a console or a redirection
// (a program started detached, the desktop program) they lead nowhere, and
// the run-time could give their numbers to files opened later.
void KeepStandardDescriptorsOpen() noexcept {
  for (int fd = 0; fd <= 2; ++fd) {
    const intptr_t handle = ::_get_osfhandle(fd);
    if (handle != -1 && handle != -2 && handle != 0) continue;
    platform::Descriptor opened(::_wopen(L"NUL", (fd == 0 ? _O_WRONLY : _O_RDONLY) | _O_BINARY));
    if (opened.Get() == fd) {
      opened.Release();  // held from now on
    } else if (opened) {
      ::_dup2(opened.Get(), fd);
    }
  }
}

}  // namespace corvane
