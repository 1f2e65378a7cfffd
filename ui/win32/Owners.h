// Owners of what the Win32 windows get from the system. Each kind has one:
// it releases its handle in its destructor, which never throws, and it moves
// but is never copied. COM objects are held in Microsoft::WRL::ComPtr.
#pragma once

#include "platform/WindowsApi.h"
// After windows.h.
#include <ole2.h>
#include <wrl/client.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace corvane::win32 {

using Microsoft::WRL::ComPtr;

namespace detail {

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const noexcept { ::DeleteObject(object); }
};
struct DestroyIconHandle {
  void operator()(HICON icon) const noexcept { ::DestroyIcon(icon); }
};
struct DestroyMenuHandle {
  void operator()(HMENU menu) const noexcept { ::DestroyMenu(menu); }
};
struct ReleaseWindowDc {
  HWND window = nullptr;
  void operator()(HDC dc) const noexcept { ::ReleaseDC(window, dc); }
};

}  // namespace detail

// A font from CreateFontIndirectW.
using FontOwner = std::unique_ptr<std::remove_pointer_t<HFONT>, detail::DeleteGdiObject>;
// An icon from LoadImageW (sized, so not shared).
using IconOwner = std::unique_ptr<std::remove_pointer_t<HICON>, detail::DestroyIconHandle>;
// A menu from CreatePopupMenu.
using MenuOwner = std::unique_ptr<std::remove_pointer_t<HMENU>, detail::DestroyMenuHandle>;
// A window's device context from GetDC (the screen's for no window).
using WindowDcOwner = std::unique_ptr<std::remove_pointer_t<HDC>, detail::ReleaseWindowDc>;

inline WindowDcOwner WindowDc(HWND window) {
  return WindowDcOwner(::GetDC(window), detail::ReleaseWindowDc{window});
}

// An object selected into a device context while this lives; then the one
// selected before it is back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr) ::SelectObject(dc_, previous_);
  }
  Selection(Selection&& other) noexcept
      : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)) {}
  Selection& operator=(Selection&&) = delete;
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// What IDataObject::GetData hands over: its storage, released here.
class StorageMedium {
 public:
  StorageMedium() = default;
  ~StorageMedium() { ::ReleaseStgMedium(&medium_); }
  StorageMedium(StorageMedium&& other) noexcept
      : medium_(std::exchange(other.medium_, STGMEDIUM{})) {}
  StorageMedium& operator=(StorageMedium&&) = delete;
  StorageMedium(const StorageMedium&) = delete;
  StorageMedium& operator=(const StorageMedium&) = delete;

  STGMEDIUM* Receive() { return &medium_; }
  HGLOBAL Global() const { return medium_.hGlobal; }

 private:
  STGMEDIUM medium_{};
};

// OLE started on this thread (drag and drop, the file dialog's shell parts)
// while this lives.
class OleSession {
 public:
  OleSession() : started_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~OleSession() {
    if (started_) ::OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

  bool Started() const { return started_; }

 private:
  bool started_;
};

}  // namespace corvane::win32
