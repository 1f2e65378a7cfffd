// <windows.h> with the declarations every Windows source of ours wants: the
// lean set (no winsock, no shell or OLE headers unless a file asks for them)
// and no min and max macros, which would break std::min and std::max.
// Include this instead of <windows.h>, and the system's other headers that
// need it (shellapi.h, oleacc.h, ...) after it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
