#include "AboutWindow.h"

#include <string>
#include <utility>

#include "model/AboutModel.h"
#include "sysinfo/SysInfo.h"

namespace corvane::win32 {

namespace {

constexpr UINT kRepaint = WM_APP + 1;

enum : int {
  kIdSysInfo = 101,
  kIdIcon,
  kIdDescription,
  kIdDisclaimer,
  kIdTitle,
  kIdVersion,
};

// A dialog template without controls: they are made at the window's
// resolution when it opens.
struct alignas(DWORD) EmptyDialog {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD windowClass = 0;
  WORD title = 0;
};

class frmAbout {
 public:
  frmAbout() = default;
  frmAbout(const frmAbout&) = delete;
  frmAbout& operator=(const frmAbout&) = delete;

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Form_Load();
  void LayOut(UINT dpi);
  void PaintLine1(HDC dc) const;
  void cmdSysInfo_Click() const;

  HWND dialog_ = nullptr;
  HWND cmdOK_ = nullptr;
  HWND picIcon_ = nullptr;
  HWND cmdSysInfo_ = nullptr;
  HWND lblDescription_ = nullptr;
  HWND lblDisclaimer_ = nullptr;
  HWND lblTitle_ = nullptr;
  HWND lblVersion_ = nullptr;
  FontOwner font_;
  FontOwner titleFont_;
  IconOwner icon_;
  Annotations annotations_;  // the icon's name
  UINT dpi_ = kReferenceDpi;
  double fontFactor_ = 1.0;
};

INT_PTR CALLBACK frmAbout::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<frmAbout*>(lParam);
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    self->dialog_ = dialog;
    self->Form_Load();
    // Painted once more when shown: under wine with some window managers a
    // dialog sized while it loads stays black until painted again.
    ::PostMessageW(dialog, kRepaint, 0, 0);
    // OK holds the focus.
    ::SetFocus(self->cmdOK_);
    return FALSE;
  }
  auto* self = reinterpret_cast<frmAbout*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:      // OK, or Enter while System Info has no focus
        case IDCANCEL:  // Escape or the close box
          ::EndDialog(dialog, IDOK);
          return TRUE;
        case kIdSysInfo:
          self->cmdSysInfo_Click();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(dialog, &paint);
      self->PaintLine1(dc);
      ::EndPaint(dialog, &paint);
      return TRUE;
    }
    case WM_DESTROY:
      self->annotations_.Clear(self->picIcon_);
      return FALSE;
    case kRepaint:
      ::RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
      return TRUE;
    case WM_DPICHANGED: {
      self->LayOut(HIWORD(wParam));
      MoveToSuggested(dialog, lParam);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void frmAbout::Form_Load() {
  const auto make = [this](const wchar_t* kind, const std::string& text, DWORD style, DWORD exStyle,
                           int id) { return MakeControl(dialog_, kind, text, style, exStyle, id); };
  const AboutTexts texts = AboutWindowTexts();
  // Created in reading order, which screen readers follow: the icon, title,
  // version, description, disclaimer, then OK and System Info. Of these only
  // the two buttons are tab stops, OK first.
  picIcon_ =
      make(L"STATIC", "", SS_ICON | SS_CENTERIMAGE | SS_REALSIZECONTROL, WS_EX_CLIENTEDGE, kIdIcon);
  lblTitle_ = make(L"STATIC", texts.title, SS_LEFT | SS_NOPREFIX, 0, kIdTitle);
  lblVersion_ = make(L"STATIC", texts.version, SS_LEFT | SS_NOPREFIX, 0, kIdVersion);
  lblDescription_ = make(L"STATIC", texts.description, SS_LEFT | SS_NOPREFIX, 0, kIdDescription);
  lblDisclaimer_ = make(L"STATIC", texts.disclaimer, SS_LEFT | SS_NOPREFIX, 0, kIdDisclaimer);
  cmdOK_ = make(L"BUTTON", about::kOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDOK);
  cmdSysInfo_ = make(L"BUTTON", about::kSysInfo, WS_TABSTOP | BS_PUSHBUTTON, 0, kIdSysInfo);
  ::SetWindowTextW(dialog_, WideText(texts.caption).c_str());
  // Screen readers name the icon, which has no text of its own.
  annotations_.SetName(picIcon_, WideText(texts.iconName));

  const UINT dpi = DpiOf(dialog_);
  LayOut(dpi);
  // Centred over the main window.
  RECT owner{};
  ::GetWindowRect(::GetWindow(dialog_, GW_OWNER), &owner);
  CentreOn(dialog_, owner);
}

void frmAbout::LayOut(UINT dpi) {
  LOGFONTW logFont = MessageFontAt(dpi);
  const Scale scale(dpi, logFont);
  dpi_ = dpi;
  fontFactor_ = scale.FontFactor();
  FontOwner font(::CreateFontIndirectW(&logFont));
  LOGFONTW titleLogFont = logFont;
  titleLogFont.lfHeight = -layout::ScaledPixels(layout::kTitlePixels, dpi, fontFactor_);
  titleLogFont.lfWeight = FW_BOLD;
  FontOwner titleFont(::CreateFontIndirectW(&titleLogFont));
  const struct {
    HWND control;
    layout::TwipRect place;
    HFONT font;
  } places[] = {
      {cmdOK_, layout::kCmdOK, font.get()},
      {picIcon_, layout::kPicIcon, font.get()},
      {cmdSysInfo_, layout::kCmdSysInfo, font.get()},
      {lblDescription_, layout::kLblDescription, font.get()},
      {lblDisclaimer_, layout::kLblDisclaimer, font.get()},
      {lblTitle_, layout::kLblTitle, titleFont.get()},
      {lblVersion_, layout::kLblVersion, font.get()},
  };
  for (const auto& p : places) PlaceControl(p.control, scale, p.place, p.font);
  // The controls have the new fonts: the old ones may go.
  font_ = std::move(font);
  titleFont_ = std::move(titleFont);

  IconOwner icon = ProgramIcon(::MulDiv(32, static_cast<int>(dpi), kReferenceDpi));
  ::SendMessageW(picIcon_, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  icon_ = std::move(icon);

  SizeClientArea(dialog_, scale, layout::kAboutWidth, layout::kAboutHeight);
  ::InvalidateRect(dialog_, nullptr, TRUE);
}

// The etched separator `Line1`: a shadow line one pixel high with a light
// line two pixels high just below it, in the system's 3-D colours.
void frmAbout::PaintLine1(HDC dc) const {
  const Scale scale(dpi_, MessageFontAt(dpi_));
  const int right = scale.Pixels(layout::kLine1Right);
  const int shadowTop = scale.Pixels(layout::kLine1ShadowTop);
  const int lightTop = scale.Pixels(layout::kLine1LightTop);
  const RECT shadow{scale.Pixels(layout::kLine1ShadowLeft), shadowTop, right + 1, shadowTop + 1};
  const RECT light{scale.Pixels(layout::kLine1LightLeft), lightTop, right + 1, lightTop + 2};
  ::FillRect(dc, &shadow, ::GetSysColorBrush(COLOR_3DSHADOW));
  ::FillRect(dc, &light, ::GetSysColorBrush(COLOR_3DHILIGHT));
}

void frmAbout::cmdSysInfo_Click() const {
  RunSysInfo([] { return StartSysInfo(); },
             [this](const std::string& text, const std::string& title) {
               // OK only, no icon.
               ::MessageBoxW(dialog_, WideText(text).c_str(), WideText(title).c_str(), MB_OK);
             });
}

}  // namespace

void ShowAbout(HWND owner) {
  EmptyDialog empty{};
  empty.dialog.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  // A size to start with (dialog units); the window sizes itself when it loads.
  empty.dialog.cx = 200;
  empty.dialog.cy = 120;
  frmAbout about;
  ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &empty.dialog, owner, frmAbout::DialogProc,
                            reinterpret_cast<LPARAM>(&about));
}

}  // namespace corvane::win32
