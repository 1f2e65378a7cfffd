// The desktop program on Windows: shows the main window and runs until it
// closes.
#include "Win32Support.h"
// After windows.h.
#include <commctrl.h>

#include "MainWindow.h"
#include "Owners.h"
#include "engine/SignalCleanup.h"
#include "engine/StandardDescriptors.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // No file may land on descriptors 0 to 2, which lead nowhere here.
  corvane::KeepStandardDescriptorsOpen();
  corvane::InstallSignalCleanup();
  // Drag and drop, and the file dialog's shell parts.
  const corvane::win32::OleSession ole;
  if (!ole.Started()) return 1;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);

  int status = 1;
  {
    corvane::win32::Main window;
    if (window.Create(instance, show)) {
      MSG message{};
      // The dialog manager gives the window Tab, Enter and the access keys.
      while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window.Window(), &message)) {
          ::TranslateMessage(&message);
          ::DispatchMessageW(&message);
        }
      }
      status = static_cast<int>(message.wParam);
    }
  }
  return status;
}
