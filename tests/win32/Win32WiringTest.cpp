// The Win32 windows' wiring under wine: the real main window and About,
// driven with window messages against the real model and a batch the test
// holds. Each control's event reaches the model and what the model says
// shows: the list's rows, the two lines, the busy pointer, the failure box,
// About's texts, sizes and modality. What the window decides is tested on
// the model (tests/model).
#include <gtest/gtest.h>

#include "MainWindow.h"
// After windows.h.
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/ProgramIdentity.h"
#include "model/AboutModel.h"
#include "support/HeldBatch.h"

namespace corvane::win32 {
namespace {

using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kDeadline(30);

std::string TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Utf8Text(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return Utf8Text(name);
}

// The texts of a window's controls, in the order they were made.
Strings ChildTexts(HWND window) {
  Strings texts;
  for (HWND c = ::GetWindow(window, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
    texts.push_back(TextOf(c));
  }
  return texts;
}

HWND Child(HWND parent, const wchar_t* kind, const std::string& text) {
  return ::FindWindowExW(parent, nullptr, kind, WideText(text).c_str());
}

SIZE ClientSize(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return SIZE{r.right, r.bottom};
}

// A visible top-level window of that class and caption (any caption: null).
HWND Shown(const char* kind, const char* caption) {
  const HWND found = ::FindWindowW(WideText(kind).c_str(),
                                   caption != nullptr ? WideText(caption).c_str() : nullptr);
  return found != nullptr && ::IsWindowVisible(found) ? found : nullptr;
}

// What a drag carries: files (CF_HDROP, wide paths), or something else.
class DragData final : public IDataObject {
 public:
  DragData(const Strings& files, bool offersFiles) : offers_(offersFiles) {
    for (const std::string& f : files) (files_ += WideText(f)) += L'\0';
    files_ += L'\0';
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    return S_OK;
  }
  // On the test's stack: no counting.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const std::size_t bytes = files_.size() * sizeof(wchar_t);
    const HGLOBAL global = ::GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(global));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), files_.data(), bytes);
    ::GlobalUnlock(global);
    *medium = STGMEDIUM{};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = global;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return offers_ && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) != 0
               ? S_OK
               : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  std::wstring files_;
  bool offers_;
};

struct Box {
  HWND owner;
  std::string title;
  Strings texts;
};

class Win32Wiring : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
  }
  void SetUp() override {
    ASSERT_TRUE(ole_.Started());
    current_ = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, BoxHook, nullptr, ::GetCurrentThreadId());
    window_ = std::make_unique<Main>();
    window_->Model().SetProcessEnd([] { ADD_FAILURE() << "the process was ended"; });
    window_->Model().SetBatchRun(batch_.Run());
    ASSERT_TRUE(window_->Create(::GetModuleHandleW(nullptr), SW_SHOWNORMAL));
    main_ = window_->Window();
    list_ = ::FindWindowExW(main_, nullptr, L"LISTBOX", nullptr);
    status_ = Child(main_, L"STATIC", "Status:");
    feedback_ = Child(main_, L"STATIC", mainwindow::kStartHint);
    ASSERT_TRUE(list_ != nullptr && status_ != nullptr && feedback_ != nullptr);
  }
  void TearDown() override {
    batch_.Release();
    window_.reset();
    ::UnhookWindowsHookEx(hook_);
    current_ = nullptr;
    // The window's end posted a quit, which would end the next test's modal loops.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }

  // Runs the thread's messages as the program's loop does until done holds.
  ::testing::AssertionResult PumpUntil(const std::function<bool()>& done, const char* what) {
    const auto deadline = Clock::now() + kDeadline;
    while (!done()) {
      if (Clock::now() > deadline) return ::testing::AssertionFailure() << "no " << what;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageW(main_, &message)) {
          ::TranslateMessage(&message);
          ::DispatchMessageW(&message);
        }
      }
    }
    return ::testing::AssertionSuccess();
  }

  // What the test does inside a modal loop (About's, the Open dialog's, a
  // menu's), from a timer: each step waits for its condition, then acts.
  // Past the deadline the step is named and the modal windows are closed.
  struct Step {
    const char* awaited;
    std::function<bool()> ready;
    std::function<void()> act;
  };
  void During(std::deque<Step> steps, const std::function<void()>& modal) {
    steps_ = std::move(steps);
    stepsDeadline_ = Clock::now() + kDeadline;
    timedOut_ = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, Tick);
    modal();
    ::KillTimer(nullptr, timer);
    if (!steps_.empty()) ADD_FAILURE() << "no " << steps_.front().awaited;
    steps_.clear();
  }
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    std::deque<Step>& steps = current_->steps_;
    if (!steps.empty() && steps.front().ready()) {
      const Step step = steps.front();
      steps.pop_front();
      step.act();
    } else if (Clock::now() > current_->stepsDeadline_) {
      // Once named; then closed on every tick until they are gone.
      if (!std::exchange(current_->timedOut_, true)) {
        ADD_FAILURE() << "timed out waiting for "
                      << (steps.empty() ? "the modal window to close" : steps.front().awaited);
      }
      steps.clear();
      ::EndMenu();
      for (const char* caption : {"About CorvaneCSVtoCRC", "Open CSV File"}) {
        if (const HWND w = Shown("#32770", caption)) ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
      }
    }
  }

  // Every message box is noted and closed with OK as it opens: none waits.
  static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && current_ != nullptr && ClassOf(window) == "#32770" &&
        window != current_->lastBox_ && TextOf(window) != "About CorvaneCSVtoCRC" &&
        TextOf(window) != "Open CSV File") {
      current_->lastBox_ = window;
      current_->boxes_.push_back(
          {::GetWindow(window, GW_OWNER), TextOf(window), ChildTexts(window)});
      ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  bool BoxOpen() const { return lastBox_ != nullptr && ::IsWindow(lastBox_) != FALSE; }

  DWORD Drop(const Strings& files, bool offersFiles = true) {
    DragData data(files, offersFiles);
    IDropTarget* target = window_->ListDropTarget();
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(&data, MK_LBUTTON, POINTL{}, &effect);
    if (effect == DROPEFFECT_NONE) {
      target->DragLeave();
      return effect;
    }
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->Drop(&data, 0, POINTL{}, &effect);
    return effect;
  }
  Strings Rows() const {
    Strings rows;
    const auto count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
      std::wstring row(static_cast<std::size_t>(::SendMessageW(list_, LB_GETTEXTLEN, i, 0)) + 1,
                       L'\0');
      row.resize(static_cast<std::size_t>(
          ::SendMessageW(list_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(row.data()))));
      rows.push_back(Utf8Text(row));
    }
    return rows;
  }
  int Selected() const { return static_cast<int>(::SendMessageW(list_, LB_GETCURSEL, 0, 0)); }
  void Click(const char* button) {
    ::SendMessageW(Child(main_, L"BUTTON", button), BM_CLICK, 0, 0);
  }
  bool BusyPointer() {
    ::SendMessageW(main_, WM_SETCURSOR, reinterpret_cast<WPARAM>(main_),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return ::GetCursor() == ::LoadCursorW(nullptr, IDC_APPSTARTING);
  }
  // Generate, and the batch held at its last file.
  void Generate(bool fails) {
    batch_.fails = fails;
    Click("Generate");
    ASSERT_TRUE(PumpUntil([&] { return window_->Model().Busy(); }, "busy batch"));
  }
  bool Ended() const { return !window_->Model().BatchRunning(); }

  static inline Win32Wiring* current_ = nullptr;
  OleSession ole_;
  HHOOK hook_ = nullptr;
  test::HeldBatch batch_;
  std::unique_ptr<Main> window_;
  HWND main_ = nullptr, list_ = nullptr, status_ = nullptr, feedback_ = nullptr;
  std::deque<Step> steps_;
  Clock::time_point stepsDeadline_;
  bool timedOut_ = false;
  HWND lastBox_ = nullptr;
  std::vector<Box> boxes_;
};

TEST_F(Win32Wiring, StartsAtItsSizeWithTheHintAndTheStatus) {
  EXPECT_EQ(TextOf(main_), "Corvane CSV to CRC");
  const SIZE size = ClientSize(main_);
  EXPECT_EQ(size.cx, 421);
  EXPECT_EQ(size.cy, 244);
  EXPECT_EQ(::GetFocus(), Child(main_, L"BUTTON", "Open CSV"));
  EXPECT_FALSE(BusyPointer());
}

TEST_F(Win32Wiring, DropsOfFilesListTheirCsvNamesAndTheListSelectsOneWithTheFocus) {
  EXPECT_EQ(Drop({"C:\\d\\x.csv"}, false), static_cast<DWORD>(DROPEFFECT_NONE));
  EXPECT_EQ(Drop({"C:\\d\\b.csv", "C:\\d\\two.txt", "C:\\d\\a.csv"}),
            static_cast<DWORD>(DROPEFFECT_COPY));
  EXPECT_EQ(Rows(), (Strings{"C:\\d\\a.csv", "C:\\d\\b.csv"}));
  EXPECT_EQ(TextOf(feedback_), mainwindow::kStartHint);
  ::SetFocus(list_);
  EXPECT_TRUE(PumpUntil([&] { return Selected() == 0; }, "first entry selected"));
}

TEST_F(Win32Wiring, GenerateShowsTheBatchsLinesAndItsBusyPointer) {
  Drop({"C:\\d\\a.csv"});
  Generate(false);
  EXPECT_EQ(TextOf(feedback_), "File 1 of 1 - 50%");
  EXPECT_EQ(TextOf(status_), "Converting file:C:\\d\\a.csv");
  EXPECT_TRUE(BusyPointer());
  batch_.Release();
  ASSERT_TRUE(PumpUntil([&] { return Ended(); }, "end of the batch"));
  EXPECT_EQ(TextOf(feedback_), "");
  EXPECT_EQ(TextOf(status_), "Processed 1 files.");
  EXPECT_FALSE(BusyPointer());
  EXPECT_TRUE(boxes_.empty());
}

// The failed entry is selected: Delete, then the context menu's Remove from
// the keyboard (Shift+F10), take it out.
TEST_F(Win32Wiring, AFailureShowsItsBoxOverTheWindowAndDeleteOrRemoveTakesTheEntryOut) {
  Drop({"C:\\d\\a.csv", "C:\\d\\b.csv"});
  const struct {
    const char* what;
    std::function<void()> remove;
    Strings rows;
  } rounds[] = {
      {"Delete", [&] { ::SendMessageW(list_, WM_KEYDOWN, VK_DELETE, 0); }, {"C:\\d\\a.csv"}},
      {"Shift+F10 > Remove",
       [&] {
         During(
             {{"context menu", [] { return Shown("#32768", nullptr) != nullptr; },
               [] { ::PostMessageW(Shown("#32768", nullptr), WM_CHAR, 'r', 0); }}},
             [&] { ::SendMessageW(main_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list_), -1); });
       },
       {}},
  };
  for (const auto& round : rounds) {
    SCOPED_TRACE(round.what);
    boxes_.clear();
    Generate(true);
    batch_.Release();
    ASSERT_TRUE(PumpUntil([&] { return Ended() && !boxes_.empty() && !BoxOpen(); }, "box"));
    const int failed = static_cast<int>(Rows().size()) - 1;
    const std::string description = "Cannot open '" + Rows().back() + "'";
    EXPECT_EQ(boxes_[0].owner, main_);
    EXPECT_EQ(boxes_[0].title, kProgramTitle);
    const std::string text = "Error 102: " + description + "\n\nFile " +
                             std::to_string(failed + 1) + " of " + std::to_string(failed + 1) + ".";
    EXPECT_NE(std::find(boxes_[0].texts.begin(), boxes_[0].texts.end(), text),
              boxes_[0].texts.end())
        << ::testing::PrintToString(boxes_[0].texts);
    EXPECT_EQ(TextOf(status_), description);
    EXPECT_EQ(Selected(), failed);
    EXPECT_TRUE(::IsWindowEnabled(main_));
    round.remove();
    EXPECT_EQ(Rows(), round.rows);
  }
}

// While About or the Open dialog is open the main window takes no input, also
// once a batch has failed meanwhile: its box comes when the modal window has
// closed, over the main window.
TEST_F(Win32Wiring, AboutAndTheOpenDialogAreModalAlsoWhenABatchFailsUnderThem) {
  Drop({"C:\\d\\gone.csv"});
  const struct {
    const char* button;
    const char* caption;
  } cases[] = {{"About", "About CorvaneCSVtoCRC"}, {"Open CSV", "Open CSV File"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    boxes_.clear();
    ::SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Generate(true);
    HWND modal = nullptr;
    HWND owner = nullptr;
    bool enabledWhileOpen = true, enabledAfterTheEnd = true;
    std::size_t boxesWhileOpen = 99;
    SIZE size{};
    Strings texts;
    During({{c.caption, [&] { return (modal = Shown("#32770", c.caption)) != nullptr; },
             [&] {
               owner = ::GetWindow(modal, GW_OWNER);
               size = ClientSize(modal);
               texts = ChildTexts(modal);
               enabledWhileOpen = ::IsWindowEnabled(main_) != FALSE;
               batch_.Release();
             }},
            {"end of the batch", [&] { return Ended() && !BoxOpen(); },
             [&] {
               enabledAfterTheEnd = ::IsWindowEnabled(main_) != FALSE;
               boxesWhileOpen = boxes_.size();
               const HWND focus = ::GetFocus();
               ::PostMessageW(::IsChild(modal, focus) ? focus : modal, WM_KEYDOWN, VK_ESCAPE, 0);
             }}},
           [&] { Click(c.button); });
    EXPECT_EQ(owner, main_);
    EXPECT_FALSE(enabledWhileOpen);
    EXPECT_FALSE(enabledAfterTheEnd);
    EXPECT_EQ(boxesWhileOpen, 0u);
    EXPECT_FALSE(::IsWindow(modal));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].owner, main_);
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(::IsWindowEnabled(main_));
    EXPECT_EQ(Rows(), Strings{"C:\\d\\gone.csv"});
    if (std::string(c.button) == "About") {
      EXPECT_EQ(size.cx, 382);
      EXPECT_EQ(size.cy, 237);
      EXPECT_EQ(texts, (Strings{"", "CorvaneCSVtoCRC", "Version 1.0.1", about::kDescription,
                                about::kDisclaimer, "OK", "&System Info..."}));
    }
  }
}

TEST_F(Win32Wiring, ExitEndsTheProgram) {
  Click("E&xit");
  EXPECT_FALSE(::IsWindow(main_));
}

}  // namespace
}  // namespace corvane::win32
