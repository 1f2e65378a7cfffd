#include "MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "AboutWindow.h"
#include "DropTarget.h"
#include "model/Colours.h"
#include "model/StatusText.h"

namespace corvane::win32 {

namespace {

namespace texts = mainwindow;

// Runs the first of the calls posted to the window's thread.
constexpr UINT kRunPosted = WM_APP + 1;

enum : int {
  kIdOpenCSV = 101,
  kIdGenerate,
  kIdStatus,
  kIdFeedback,
  kIdAbout,
  kIdExit,
  kIdList,
  kIdRemove = 201,
  kIdClearList,
};

constexpr wchar_t kClassName[] = L"CorvaneCSVtoCRCMain";
// A fixed single border with a close box: no sizing, no minimize or maximize box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// The widest a tip grows before it wraps, at 96 dots per inch.
constexpr int kTipWidth = 600;

// Measures text in a static control's font and box, for cutting the status
// text to fit.
class StaticMeasure final : public TextMeasure {
 public:
  StaticMeasure(HWND label, HFONT font) : dc_(WindowDc(label)), font_(dc_.get(), font) {
    ::GetClientRect(label, &box_);
  }

  bool Fits(const std::string& text) const override {
    const std::wstring wide = WideText(text);
    RECT needed{0, 0, box_.right, 0};
    ::DrawTextW(dc_.get(), wide.c_str(), static_cast<int>(wide.size()), &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    return needed.right <= box_.right && needed.bottom <= box_.bottom;
  }

 private:
  WindowDcOwner dc_;
  Selection font_;
  RECT box_{};
};

}  // namespace

Main::Main() : model_(*this) {}

// The window goes first; its fonts and icons after it.
Main::~Main() {
  if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
}

bool Main::Create(HINSTANCE instance, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassExW(&windowClass);
  const std::wstring caption = WideText(texts::kCaption);
  if (::CreateWindowExW(0, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                        nullptr, nullptr, instance, this) == nullptr) {
    return false;
  }
  ::ShowWindow(hwnd_, show);
  ::UpdateWindow(hwnd_);
  return true;
}

LRESULT CALLBACK Main::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Main*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Main*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = self->Handle(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->ForgetPostedCalls();
  }
  return result;
}

LRESULT CALLBACK Main::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR data) {
  auto* self = reinterpret_cast<Main*>(data);
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_DELETE) {
        self->model_.mnuRemove_Click(static_cast<int>(::SendMessageW(hwnd, LB_GETCURSEL, 0, 0)));
        return 0;
      }
      break;
    case WM_MOUSEMOVE:
      self->ListMouseMoved();
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, ListProc, 1);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT Main::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Form_Load();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdList) {
        if (HIWORD(wParam) == LBN_SETFOCUS) lstFiles_GotFocus();
      } else if (HIWORD(wParam) == BN_CLICKED) {
        Command(LOWORD(wParam));
      }
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) == lstFiles_) {
        lstFiles_ContextMenu(lParam);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == lblFeedback_) {
        // The blue, readable on the window's face colour (a dark or high
        // contrast theme makes it lighter).
        const auto dc = reinterpret_cast<HDC>(wParam);
        const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
        const Rgb blue = FeedbackColour(Rgb{GetRValue(face), GetGValue(face), GetBValue(face)});
        ::SetTextColor(dc, RGB(blue.red, blue.green, blue.blue));
        ::SetBkColor(dc, face);
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        if (header->idFrom == reinterpret_cast<UINT_PTR>(lstFiles_)) {
          info->lpszText = listTip_.data();
        } else if (header->idFrom == reinterpret_cast<UINT_PTR>(lblStatus_)) {
          info->lpszText = statusTip_.data();
        }
        return 0;
      }
      break;
    }
    case WM_SETCURSOR:
      if (busy_ && LOWORD(lParam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // Keyboard focus goes back where it was when the window is active
      // again, as after a message box.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(hwnd_, focus)) focusBeforeDeactivation_ = focus;
        return 0;
      }
      if (focusBeforeDeactivation_ != nullptr && ::IsWindow(focusBeforeDeactivation_)) {
        ::SetFocus(focusBeforeDeactivation_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      LayOut(HIWORD(wParam));
      MoveToSuggested(hwnd_, lParam);
      return 0;
    }
    case kRunPosted:
      RunPostedCall();
      return 0;
    case WM_CLOSE:
      if (model_.Form_QueryUnload()) ::DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      annotations_.Clear(lstFiles_);
      annotations_.Clear(lblStatus_);
      ::RevokeDragDrop(lstFiles_);
      dropTarget_.Reset();
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Main::Form_Load() {
  {
    const std::lock_guard<std::mutex> lock(postedMutex_);
    postTarget_ = hwnd_;
  }
  const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  const auto make = [this](const wchar_t* kind, const char* text, DWORD style, DWORD exStyle,
                           int id) { return MakeControl(hwnd_, kind, text, style, exStyle, id); };
  // Created in tab order: Open CSV, Generate, (the two labels), About, Exit, the list.
  constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
  cmdOpenCSV_ = make(L"BUTTON", "Open CSV", kButton, 0, kIdOpenCSV);
  cmdGenerate_ = make(L"BUTTON", "Generate", kButton, 0, kIdGenerate);
  lblStatus_ = make(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, kIdStatus);
  lblFeedback_ = make(L"STATIC", "", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOPREFIX | SS_NOTIFY,
                      0, kIdFeedback);
  cmdAbout_ = make(L"BUTTON", "About", kButton, 0, kIdAbout);
  cmdExit_ = make(L"BUTTON", "E&xit", kButton, 0, kIdExit);
  lstFiles_ =
      make(L"LISTBOX", "", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
           WS_EX_CLIENTEDGE, kIdList);
  ::SetWindowSubclass(lstFiles_, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));

  tips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
  static const std::wstring kTips[] = {WideText(texts::kOpenCsvTip), WideText(texts::kGenerateTip),
                                       WideText(texts::kAboutTip), WideText(texts::kExitTip),
                                       WideText(texts::kFeedbackTip)};
  AddTip(cmdOpenCSV_, kTips[0].c_str());
  AddTip(cmdGenerate_, kTips[1].c_str());
  AddTip(cmdAbout_, kTips[2].c_str());
  AddTip(cmdExit_, kTips[3].c_str());
  AddTip(lblFeedback_, kTips[4].c_str());
  // These two change: the entry under the pointer, the whole status text.
  AddTip(lstFiles_, LPSTR_TEXTCALLBACKW);
  AddTip(lblStatus_, LPSTR_TEXTCALLBACKW);
  listTip_ = WideText(texts::kListTip);
  // Screen readers name the list by its tooltip's words, and are told the
  // status line's results (the system tells them of its other changes as
  // name changes, which they do not read out).
  annotations_.SetName(lstFiles_, listTip_);
  annotations_.MakeLiveRegion(lblStatus_);

  dropTarget_.Attach(new DropTarget(model_));
  ::RegisterDragDrop(lstFiles_, dropTarget_.Get());

  const UINT dpi = DpiOf(hwnd_);
  LayOut(dpi);
  HMONITOR monitor = ::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ::GetMonitorInfoW(monitor, &info);
  CentreOn(hwnd_, info.rcWork);

  model_.Form_Load();
  ::SetFocus(cmdOpenCSV_);
  focusBeforeDeactivation_ = cmdOpenCSV_;
}

void Main::AddTip(HWND control, const wchar_t* text) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  ::SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Places the controls at the window's resolution in its message font, and
// sizes the window around them.
void Main::LayOut(UINT dpi) {
  const LOGFONTW logFont = MessageFontAt(dpi);
  const Scale scale(dpi, logFont);
  FontOwner font(::CreateFontIndirectW(&logFont));
  const struct {
    HWND control;
    layout::TwipRect place;
  } places[] = {
      {lstFiles_, layout::kLstFiles},       {cmdOpenCSV_, layout::kCmdOpenCSV},
      {cmdGenerate_, layout::kCmdGenerate}, {cmdAbout_, layout::kCmdAbout},
      {cmdExit_, layout::kCmdExit},         {lblFeedback_, layout::kLblFeedback},
      {lblStatus_, layout::kLblStatus},
  };
  for (const auto& p : places) PlaceControl(p.control, scale, p.place, font.get());
  // The controls have the new font: the old one may go.
  font_ = std::move(font);
  ::SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0,
                 ::MulDiv(kTipWidth, static_cast<int>(dpi), kReferenceDpi));

  const int big = ::MulDiv(32, static_cast<int>(dpi), kReferenceDpi);
  const int small = ::MulDiv(16, static_cast<int>(dpi), kReferenceDpi);
  IconOwner bigIcon = ProgramIcon(big);
  IconOwner smallIcon = ProgramIcon(small);
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
  bigIcon_ = std::move(bigIcon);
  smallIcon_ = std::move(smallIcon);

  SizeClientArea(hwnd_, scale, layout::kMainWidth, layout::kMainHeight);
  // The texts anew in the new font: the status line may be cut differently.
  if (!model_.Status().empty()) ShowStatus(model_.Status());
  ShowList();
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Main::Command(int id) {
  switch (id) {
    case kIdOpenCSV:
      model_.cmdOpenCSV_Click();
      break;
    case kIdGenerate:
      model_.cmdGenerate_Click();
      break;
    case kIdAbout:
      model_.cmdAbout_Click();
      break;
    case kIdExit:
      model_.cmdExit_Click();
      break;
    case IDOK: {
      // Enter: the focused button is pressed.
      const HWND focus = ::GetFocus();
      if (focus == cmdOpenCSV_ || focus == cmdGenerate_ || focus == cmdAbout_ ||
          focus == cmdExit_) {
        Command(::GetDlgCtrlID(focus));
      }
      break;
    }
    default:
      break;
  }
}

void Main::lstFiles_ContextMenu(LPARAM at) {
  POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  if (at == -1) {
    // From the keyboard: at the current entry.
    RECT item{};
    const auto row = static_cast<int>(::SendMessageW(lstFiles_, LB_GETCURSEL, 0, 0));
    if (row >= 0 && ::SendMessageW(lstFiles_, LB_GETITEMRECT, static_cast<WPARAM>(row),
                                   reinterpret_cast<LPARAM>(&item)) != LB_ERR) {
      point = POINT{item.left, item.bottom};
    } else {
      point = POINT{0, 0};
    }
    ::ClientToScreen(lstFiles_, &point);
  } else {
    // A right click makes the entry under it the current one.
    POINT client = point;
    ::ScreenToClient(lstFiles_, &client);
    const auto hit = static_cast<DWORD>(
        ::SendMessageW(lstFiles_, LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y)));
    if (HIWORD(hit) == 0) ::SendMessageW(lstFiles_, LB_SETCURSEL, LOWORD(hit), 0);
  }
  const auto row = static_cast<int>(::SendMessageW(lstFiles_, LB_GETCURSEL, 0, 0));
  const MenuOwner menu(::CreatePopupMenu());
  const std::wstring remove = WideText(texts::kRemove);
  const std::wstring clearList = WideText(texts::kClearList);
  ::AppendMenuW(menu.get(), MF_STRING | (model_.CanRemove(row) ? 0 : MF_GRAYED), kIdRemove,
                remove.c_str());
  ::AppendMenuW(menu.get(), MF_STRING | (model_.CanClearList() ? 0 : MF_GRAYED), kIdClearList,
                clearList.c_str());
  const int chosen = ::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y,
                                      0, hwnd_, nullptr);
  if (chosen == kIdRemove) model_.mnuRemove_Click(row);
  if (chosen == kIdClearList) model_.mnuClearList_Click();
}

// After a click's own selection: the entry with the focus frame is selected
// when none is.
void Main::lstFiles_GotFocus() {
  Post([this] {
    if (::GetFocus() != lstFiles_) return;
    const auto caret = static_cast<int>(::SendMessageW(lstFiles_, LB_GETCARETINDEX, 0, 0));
    const auto selected = static_cast<int>(::SendMessageW(lstFiles_, LB_GETCURSEL, 0, 0));
    model_.lstFiles_GotFocus(caret, selected != LB_ERR && selected == caret);
  });
}

// The list's tip names the entry under the pointer, with its whole path.
void Main::ListMouseMoved() {
  POINT point{};
  ::GetCursorPos(&point);
  ::ScreenToClient(lstFiles_, &point);
  const auto hit = static_cast<DWORD>(
      ::SendMessageW(lstFiles_, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y)));
  const int row = HIWORD(hit) == 0 ? static_cast<int>(LOWORD(hit)) : -1;
  if (row == tippedRow_) return;
  tippedRow_ = row;
  listTip_ = WideText(row >= 0 && row < model_.Count() ? model_.ShownEntry(row) : texts::kListTip);
  ::SendMessageW(tips_, TTM_UPDATE, 0, 0);
}

void Main::FitListWidth(const std::wstring& entry) {
  SIZE size{};
  {
    const WindowDcOwner dc = WindowDc(lstFiles_);
    const Selection font(dc.get(), font_.get());
    ::GetTextExtentPoint32W(dc.get(), entry.c_str(), static_cast<int>(entry.size()), &size);
  }
  if (size.cx > listWidth_) {
    listWidth_ = size.cx;
    ::SendMessageW(lstFiles_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(listWidth_ + 4), 0);
  }
}

void Main::Post(std::function<void()> call) {
  const std::lock_guard<std::mutex> lock(postedMutex_);
  if (postTarget_ == nullptr) return;
  posted_.push_back(std::move(call));
  // A message that cannot be posted (a full queue) takes its call with it.
  if (::PostMessageW(postTarget_, kRunPosted, 0, 0) == FALSE) posted_.pop_back();
}

void Main::RunPostedCall() {
  std::function<void()> call;
  {
    const std::lock_guard<std::mutex> lock(postedMutex_);
    if (posted_.empty()) return;
    call = std::move(posted_.front());
    posted_.pop_front();
  }
  // Unlocked: the call may post, or run a modal loop that runs later calls.
  call();
}

// The window is gone: calls still queued are dropped, and later ones are not
// taken. (Their messages, if any are left, find nothing to run.)
void Main::ForgetPostedCalls() {
  std::deque<std::function<void()>> dropped;
  const std::lock_guard<std::mutex> lock(postedMutex_);
  postTarget_ = nullptr;
  dropped.swap(posted_);
}

void Main::ShowList() {
  ::SendMessageW(lstFiles_, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(lstFiles_, LB_RESETCONTENT, 0, 0);
  listWidth_ = 0;
  ::SendMessageW(lstFiles_, LB_SETHORIZONTALEXTENT, 0, 0);
  const int count = model_.Count();
  ::SendMessageW(lstFiles_, LB_INITSTORAGE, static_cast<WPARAM>(count),
                 static_cast<LPARAM>(count) * 128);
  for (int row = 0; row < count; ++row) {
    const std::wstring entry = WideText(model_.ShownEntry(row));
    ::SendMessageW(lstFiles_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    FitListWidth(entry);
  }
  ::SendMessageW(lstFiles_, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(lstFiles_, nullptr, TRUE);
}

void Main::ShowInsertedEntry(int row) {
  const std::wstring entry = WideText(model_.ShownEntry(row));
  ::SendMessageW(lstFiles_, LB_INSERTSTRING, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(entry.c_str()));
  FitListWidth(entry);
}

void Main::ShowRemovedEntry(int row) {
  ::SendMessageW(lstFiles_, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
}

// The list box scrolls the selected entry into view.
void Main::SelectEntry(int row) {
  ::SendMessageW(lstFiles_, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

void Main::ShowFeedback(const std::string& text) {
  ::SetWindowTextW(lblFeedback_, WideText(text).c_str());
}

void Main::ShowStatus(const std::string& text) {
  const std::string shown = FitStatus(text, StaticMeasure(lblStatus_, font_.get()));
  // The whole text is the line's name before the system tells of the change.
  annotations_.SetName(lblStatus_, WideText(text));
  ::SetWindowTextW(lblStatus_, WideText(shown).c_str());
  statusTip_ = WideText(StatusTip(text, shown));
}

void Main::AnnounceStatus() { Annotations::Announce(lblStatus_); }

// The busy pointer says the program works; the window still answers.
void Main::ShowBusy(bool busy) {
  busy_ = busy;
  POINT point{};
  ::GetCursorPos(&point);
  const HWND under = ::WindowFromPoint(point);
  if (under == hwnd_ || ::IsChild(hwnd_, under)) {
    ::SetCursor(::LoadCursorW(nullptr, busy_ ? IDC_APPSTARTING : IDC_ARROW));
  }
}

void Main::ShowOpenDialog(CommonDialog& dialog) {
  // The filter's pairs, each part ended by a NUL and the whole by another.
  std::wstring filter = WideText(dialog.Filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  const std::wstring title = WideText(dialog.DialogTitle);
  const std::wstring folder = WideText(dialog.InitDir);
  std::wstring file = WideText(dialog.FileName);
  file.resize(32768, L'\0');  // room for a long path
  OPENFILENAMEW open{};
  open.lStructSize = sizeof open;
  open.hwndOwner = hwnd_;
  open.lpstrFilter = filter.c_str();
  open.nFilterIndex = 1;
  open.lpstrFile = file.data();
  open.nMaxFile = static_cast<DWORD>(file.size());
  open.lpstrTitle = title.c_str();
  open.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  open.Flags = static_cast<DWORD>(dialog.Flags);
  // Cancelled, or the dialog failed: no name.
  dialog.FileName = ::GetOpenFileNameW(&open) != FALSE ? Utf8Text(file.c_str()) : std::string();
}

void Main::ShowAbout() { win32::ShowAbout(hwnd_); }

void Main::ShowFailure(const std::string& title, const std::string& text) {
  ::MessageBoxW(hwnd_, WideText(text).c_str(), WideText(title).c_str(), MB_OK | MB_ICONERROR);
}

void Main::HideWindow() { ::ShowWindow(hwnd_, SW_HIDE); }

void Main::EndProgram() { ::DestroyWindow(hwnd_); }

}  // namespace corvane::win32
