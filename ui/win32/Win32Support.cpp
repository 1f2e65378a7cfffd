#include "Win32Support.h"

#include <cstdlib>
#include <iterator>

namespace corvane::win32 {

namespace {

// Functions of newer Windows (10 1607 on), looked up so that the program
// still starts on older systems.
template <typename Function>
Function UserFunction(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

// The live region property of UI Automation (its headers in MinGW lack it),
// and its "polite" value: said when the reader is done with what it says.
constexpr GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kLivePolite = 1;

}  // namespace

UINT DpiOf(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = UserFunction<GetDpiForWindowFunction>("GetDpiForWindow");
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  const int dpi = ::GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : kReferenceDpi;
}

LOGFONTW MessageFontAt(UINT dpi) {
  using ForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = UserFunction<ForDpiFunction>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (forDpi != nullptr &&
      forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE) {
    return metrics.lfMessageFont;
  }
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  // The system's metrics are at the system's resolution.
  LOGFONTW font = metrics.lfMessageFont;
  font.lfHeight = ::MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(DpiOf(nullptr)));
  return font;
}

Scale::Scale(UINT dpi, const LOGFONTW& font)
    : dpi_(dpi),
      fontFactor_(
          layout::FontFactor(std::abs(font.lfHeight) * static_cast<double>(kReferenceDpi) / dpi,
                             layout::FontHeight::kCharacter)) {}

int Scale::Pixels(int twips) const { return layout::Pixels(twips, dpi_, fontFactor_); }

RECT Scale::Rect(const layout::TwipRect& r) const {
  const int left = Pixels(r.left);
  const int top = Pixels(r.top);
  return RECT{left, top, left + Pixels(r.width), top + Pixels(r.height)};
}

HWND MakeControl(HWND parent, const wchar_t* kind, const std::string& text, DWORD style,
                 DWORD exStyle, int id) {
  const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  return ::CreateWindowExW(exStyle, kind, WideText(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                           0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           instance, nullptr);
}

void PlaceControl(HWND control, const Scale& scale, const layout::TwipRect& place, HFONT font) {
  const RECT r = scale.Rect(place);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeClientArea(HWND window, const Scale& scale, int width, int height) {
  using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = UserFunction<AdjustFunction>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, scale.Pixels(width), scale.Pixels(height)};
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
  if (adjustForDpi == nullptr || adjustForDpi(&rect, style, FALSE, exStyle, scale.Dpi()) == FALSE) {
    ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  }
  ::SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOn(HWND window, const RECT& rect) {
  RECT outer{};
  ::GetWindowRect(window, &outer);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const int left = rect.left + (rect.right - rect.left - width) / 2;
  const int top = rect.top + (rect.bottom - rect.top - height) / 2;
  ::SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MoveToSuggested(HWND window, LPARAM suggested) {
  const auto* rect = reinterpret_cast<const RECT*>(suggested);
  ::SetWindowPos(window, nullptr, rect->left, rect->top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

IconOwner ProgramIcon(int pixels) {
  return IconOwner(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1),
                                                   IMAGE_ICON, pixels, pixels, LR_DEFAULTCOLOR)));
}

// Without the service, services_ stays empty. (MinGW's headers give the
// interface no __uuidof, so its identifier is named.)
Annotations::Annotations() {
  ::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                     reinterpret_cast<void**>(services_.ReleaseAndGetAddressOf()));
}

void Annotations::SetName(HWND control, const std::wstring& name) {
  if (!services_) return;
  services_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                            PROPID_ACC_NAME, name.c_str());
}

void Annotations::MakeLiveRegion(HWND control) {
  if (!services_) return;
  VARIANT polite;
  ::VariantInit(&polite);
  polite.vt = VT_I4;
  polite.lVal = kLivePolite;
  services_->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                         kLiveSettingProperty, polite);
}

void Annotations::Announce(HWND control) {
  ::NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF);
}

void Annotations::Clear(HWND control) {
  if (!services_) return;
  MSAAPROPID properties[] = {PROPID_ACC_NAME, kLiveSettingProperty};
  services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties,
                            static_cast<int>(std::size(properties)));
}

}  // namespace corvane::win32
