// What the Win32 windows share: the layout's twips scaled by the window's
// resolution and the message font, the program's icon and the annotations
// for screen readers. Text is UTF-8 inside the program and UTF-16 at the
// Windows edge (engine/WindowsText.h converts it).
#pragma once

#include "platform/WindowsApi.h"
// After windows.h.
#include <oleacc.h>

#include <string>

#include "Owners.h"
#include "engine/WindowsText.h"
#include "model/Layout.h"

namespace corvane::win32 {

inline constexpr int kReferenceDpi = layout::kReferenceDpi;

// The window's resolution in dots per inch (the system's where Windows has
// no per-window resolution).
UINT DpiOf(HWND window);

// The message font at a resolution, as the user set it.
LOGFONTW MessageFontAt(UINT dpi);

// Twips to pixels at a resolution, grown further with a message font larger
// than the reference one, as when the user makes text bigger (the layout's
// rule, by the font's character height).
class Scale {
 public:
  Scale(UINT dpi, const LOGFONTW& font);

  int Pixels(int twips) const;
  RECT Rect(const layout::TwipRect& r) const;
  double FontFactor() const { return fontFactor_; }
  UINT Dpi() const { return dpi_; }

 private:
  UINT dpi_;
  double fontFactor_;
};

// A child control of parent (visible, with the given id), its text UTF-8.
HWND MakeControl(HWND parent, const wchar_t* kind, const std::string& text, DWORD style,
                 DWORD exStyle, int id);

// Gives a control its font and its place in the layout.
void PlaceControl(HWND control, const Scale& scale, const layout::TwipRect& place, HFONT font);

// Sizes a window so that its client area is the layout's width x height.
void SizeClientArea(HWND window, const Scale& scale, int width, int height);

// Places a window centred on rect, at the size it has.
void CentreOn(HWND window, const RECT& rect);

// Moves a window to where WM_DPICHANGED suggests (lParam), at the size it has.
void MoveToSuggested(HWND window, LPARAM suggested);

// The program's icon (resource 1) at a size in pixels.
IconOwner ProgramIcon(int pixels);

// What screen readers are told beyond the controls' own texts, through the
// system's annotation service: a control's name, and a control whose text
// they announce when asked (a polite live region). Without the service
// (COM not started, an old system), the controls keep their own names.
class Annotations {
 public:
  Annotations();

  void SetName(HWND control, const std::wstring& name);
  void MakeLiveRegion(HWND control);
  // Has screen readers say the live region's name now.
  static void Announce(HWND control);
  // Forgets what was set for control (before it is destroyed).
  void Clear(HWND control);

 private:
  ComPtr<IAccPropServices> services_;
};

}  // namespace corvane::win32
