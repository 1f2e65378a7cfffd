// The main window's behaviour, without any toolkit: the file list it shows,
// the feedback and status lines and when they change, the Open dialog's
// settings, removal and Clear List, the batch on a thread of its own, and
// the Exit and close-box sequence. A view (MainView) draws what it is told
// and turns its toolkit's events into the calls below, on its own thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BatchThread.h"
#include "WindowView.h"
#include "engine/BatchConverter.h"
#include "filelist/FileList.h"

namespace corvane {

// Fixed texts of the main window.
namespace mainwindow {
inline constexpr const char* kCaption = "Corvane CSV to CRC";
inline constexpr const char* kStartHint = "Start with Drag 'n Drop or 'Open CRC'";
inline constexpr const char* kNextHint = "Next - Open more or select 'Generate'";
inline constexpr const char* kListFullHint =
    "The list is full (32767 files): no more files can be added";
inline constexpr const char* kStatusStart = "Status:";
inline constexpr const char* kListTip = "Shows the list of files to be processed";
inline constexpr const char* kOpenCsvTip = "Marks a CSV file for processing";
inline constexpr const char* kGenerateTip =
    "Processes the listed files and converts them to Vellum format CRC files";
inline constexpr const char* kAboutTip = "Shows a basic About window";
inline constexpr const char* kExitTip = "Ends the application";
inline constexpr const char* kFeedbackTip = "Feedback information";
inline constexpr const char* kStatusTip = "Status information";
inline constexpr const char* kRemove = "&Remove";
inline constexpr const char* kClearList = "&Clear List";
// How long Exit or the close box lets a stopping batch take before the
// program ends without it.
inline constexpr std::chrono::milliseconds kEndGrace{250};
}  // namespace mainwindow

// The feedback line's text while a file is converted: "File 2 of 5 - 37%",
// or without the percentage while the input's size is unknown.
std::string ProgressText(int fileNumber, int fileCount, int percent);

// The status line's tooltip once its text is cut to shown (FitStatus): the
// whole text while part of it is hidden, else the line's own tip.
std::string StatusTip(const std::string& text, const std::string& shown);

// The failure box's text for a batch that failed: "Error N: ...", which file
// of the batch it was and how many after it were not converted.
std::string BatchFailureText(const BatchThread::Outcome& outcome);

// The main window's model. It is the batch converter's observer: the batch
// runs on a thread of its own, and its calls reach these members on the
// window's thread.
class MainModel final : public ConversionObserver {
 public:
  // Ends the process at once, for a batch that will not stop in time.
  using ProcessEnd = std::function<void()>;

  explicit MainModel(MainView& view);
  ~MainModel() override;
  MainModel(const MainModel&) = delete;
  MainModel& operator=(const MainModel&) = delete;

  // Replaces what converts the files (BatchConverter::Run) and what ends the
  // process (removing unfinished outputs, then ending): tests observe them.
  void SetBatchRun(BatchThread::Run run);
  void SetProcessEnd(ProcessEnd endProcess);

  // The Open dialog's settings; Form_Load sets its flags.
  CommonDialog CommonDialog1;

  // The view's events.
  void Form_Load();
  void cmdOpenCSV_Click();
  void cmdGenerate_Click();
  void cmdAbout_Click();
  void cmdExit_Click();
  // The close box: true when the window may close now; during a batch the
  // program ends as with Exit instead.
  bool Form_QueryUnload();
  // The drop effect to offer while a drag is over the list.
  int lstFiles_OLEDragOver(bool offersFileList, int allowedEffects);
  void lstFiles_OLEDragDrop(bool offersFileList, const std::vector<std::string>& paths);
  // Remove takes out the view's current row (-1: none); the next entry takes
  // its place, so that Delete pressed again goes on down the list.
  void mnuRemove_Click(int currentRow);
  void mnuClearList_Click();
  // The list got the keyboard focus, with currentRow (-1: none) holding its
  // focus frame, selected or not: an entry is selected, so that Delete and
  // the context menu act on what the frame shows.
  void lstFiles_GotFocus(int currentRow, bool currentSelected);

  // What the view draws.
  int Count() const { return files_.Count(); }
  std::string Entry(int row) const { return files_.At(row); }
  // The entry as the list shows it: control characters escaped ("\n"), so
  // that no name spans two rows; the entry itself keeps the real path.
  std::string ShownEntry(int row) const;
  bool CanRemove(int currentRow) const { return currentRow >= 0 && currentRow < Count(); }
  bool CanClearList() const { return Count() > 0; }
  const std::string& Feedback() const { return feedback_; }
  const std::string& Status() const { return status_; }
  bool Busy() const { return busy_; }
  bool BatchRunning() const { return batch_ != nullptr; }

  // ConversionObserver, called on the window's thread.
  void ClearFeedback() override;
  void SetBusy(bool busy) override;
  void SetStatus(const std::string& text) override;
  void SetProgress(int fileNumber, int fileCount, int percent) override;
  void PumpEvents() override;

 private:
  void SetFeedback(const std::string& text);
  void BatchEnded(const BatchThread::Outcome& outcome);
  void ReportBatchEnd(const BatchThread::Outcome& outcome);
  // Shows a modal window of this one (About, the Open dialog) through show;
  // a batch that ends while it is open is held until ReportHeldEnd.
  void ShowModal(const std::function<void()>& show);
  void ReportHeldEnd();
  void EndDuringBatch();
  // The row that now holds entry index of the batch's snapshot (entries may
  // have come and gone since), or -1 when it is no longer listed.
  int RowOfBatchEntry(std::size_t index) const;

  MainView& view_;
  FileList files_;
  std::string feedback_;
  std::string status_;
  bool busy_ = false;  // the batch's busy pointer
  std::unique_ptr<BatchThread> batch_;
  std::vector<std::string> batchEntries_;  // what the running or last batch converts
  BatchThread::Run run_;
  ProcessEnd endProcess_;
  bool endRequested_ = false;
  int modalWindows_ = 0;  // modal windows of this one now open
  // A batch that ended while a modal window was open, reported when it closes.
  std::optional<BatchThread::Outcome> heldEnd_;
};

}  // namespace corvane
