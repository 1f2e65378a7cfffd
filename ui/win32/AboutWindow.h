// The About window on Win32 (`frmAbout`): modal, centred over its owner, not
// in the taskbar; the icon, title, version, description and disclaimer, the
// etched separator, OK (default and cancel button) and System Info.
#pragma once

#include "Win32Support.h"

namespace corvane::win32 {

// Shows the window and returns when it is closed.
void ShowAbout(HWND owner);

}  // namespace corvane::win32
