// What the window model asks of a view: the toolkit's side of the window.
// Qt and Win32 each implement it; the model decides what is shown and when.
#pragma once

#include <functional>
#include <string>

namespace corvane {

// The window's thread, as the view's event loop runs it.
class WindowThread {
 public:
  virtual ~WindowThread() = default;
  // Runs call later on the window's thread, calls in the order posted. Safe
  // from any thread. Once the window is gone, calls are dropped.
  virtual void Post(std::function<void()> call) = 0;
};

// The Open dialog the main window owns (`CommonDialog1`): what is set on it
// before it is shown, and the chosen name read back from FileName.
struct CommonDialog {
  static constexpr int kFlagHideReadOnly = 0x4;  // no read-only check box
  static constexpr int kFlagFileMustExist = 0x1000;
  static constexpr int kFlagExplorer = 0x80000;

  std::string FileName = "*.csv";
  // The folder the dialog starts in; empty: the system's choice.
  std::string InitDir;
  int Flags = 0;
  std::string DialogTitle = "Open CSV File";
  // Pairs of description and pattern, separated by '|'.
  std::string Filter = "CSV File (*.csv)|*.csv";
};

class MainView : public WindowThread {
 public:
  // The list's rows changed: all of them (read them anew from the model's
  // ShownEntry), one inserted, one removed.
  virtual void ShowList() = 0;
  virtual void ShowInsertedEntry(int row) = 0;
  virtual void ShowRemovedEntry(int row) = 0;
  // Makes row the current, selected row (-1: none), scrolled into view.
  virtual void SelectEntry(int row) = 0;
  // The feedback line, always in blue, and the status line: cut to fit
  // (FitStatus), the whole text in its tooltip and as its accessible name.
  virtual void ShowFeedback(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // Has screen readers say the status line's whole text now, politely (a
  // batch's result, a failure); its other changes (each file of a batch)
  // are not announced.
  virtual void AnnounceStatus() = 0;
  // The busy pointer over the window, or the normal one.
  virtual void ShowBusy(bool busy) = 0;
  // Shows the Open dialog modally as set up in dialog and leaves the chosen
  // path (UTF-8) in dialog.FileName, or an empty name when cancelled.
  virtual void ShowOpenDialog(CommonDialog& dialog) = 0;
  // Shows the About window modally; returns when it is closed.
  virtual void ShowAbout() = 0;
  // A failure: a modal message box with an OK button; keyboard focus returns
  // to where it was when it closes.
  virtual void ShowFailure(const std::string& title, const std::string& text) = 0;
  // Takes the window off the screen while the program ends.
  virtual void HideWindow() = 0;
  // Closes every window and ends the event loop.
  virtual void EndProgram() = 0;
};

}  // namespace corvane
