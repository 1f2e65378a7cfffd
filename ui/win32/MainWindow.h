// The program's working window on Win32: the file list, the four commands
// and the feedback and status lines. What it shows and does is the window
// model's (MainModel); this view draws it and passes events on.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "Win32Support.h"
#include "model/MainModel.h"

namespace corvane::win32 {

class Main final : public MainView {
 public:
  Main();
  ~Main() override;
  Main(const Main&) = delete;
  Main& operator=(const Main&) = delete;

  // Creates the window, centred on the screen, and shows it.
  bool Create(HINSTANCE instance, int show);
  HWND Window() const { return hwnd_; }
  // The model, and the list's drop target as OLE calls it (tests drive them).
  MainModel& Model() { return model_; }
  IDropTarget* ListDropTarget() const { return dropTarget_.Get(); }

  // MainView.
  void Post(std::function<void()> call) override;
  void ShowList() override;
  void ShowInsertedEntry(int row) override;
  void ShowRemovedEntry(int row) override;
  void SelectEntry(int row) override;
  void ShowFeedback(const std::string& text) override;
  void ShowStatus(const std::string& text) override;
  void AnnounceStatus() override;
  void ShowBusy(bool busy) override;
  void ShowOpenDialog(CommonDialog& dialog) override;
  void ShowAbout() override;
  void ShowFailure(const std::string& title, const std::string& text) override;
  void HideWindow() override;
  void EndProgram() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void Form_Load();
  void LayOut(UINT dpi);
  void AddTip(HWND control, const wchar_t* text);
  void Command(int id);
  void lstFiles_ContextMenu(LPARAM at);
  void lstFiles_GotFocus();
  void ListMouseMoved();
  void FitListWidth(const std::wstring& entry);
  void RunPostedCall();
  void ForgetPostedCalls();

  HWND hwnd_ = nullptr;
  HWND lstFiles_ = nullptr;
  HWND cmdOpenCSV_ = nullptr;
  HWND cmdGenerate_ = nullptr;
  HWND cmdAbout_ = nullptr;
  HWND cmdExit_ = nullptr;
  HWND lblFeedback_ = nullptr;
  HWND lblStatus_ = nullptr;
  HWND tips_ = nullptr;
  FontOwner font_;
  IconOwner bigIcon_;
  IconOwner smallIcon_;
  ComPtr<IDropTarget> dropTarget_;
  std::wstring statusTip_;
  std::wstring listTip_;  // the tip shown for the list where it points
  int tippedRow_ = -2;
  int listWidth_ = 0;  // the widest entry, in pixels
  bool busy_ = false;
  HWND focusBeforeDeactivation_ = nullptr;
  Annotations annotations_;  // the list's name, the status line's whole text
  // The calls posted to the window's thread, in order; each posted message
  // runs the first. They belong to the window, not to its messages: once the
  // window is gone, or the program's loop has ended, none is left behind.
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
  HWND postTarget_ = nullptr;  // null: no more calls are taken
  // Last, so that it goes first: its batch posts nothing once it is gone.
  MainModel model_;
};

}  // namespace corvane::win32
