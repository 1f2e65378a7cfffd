// The program's working window: the file list, the four commands and the
// feedback and status lines. It drives the batch converter as its observer.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "BatchThread.h"
#include "CommonDialog.h"
#include "engine/BatchConverter.h"
#include "filelist/FileList.h"

class QAction;
class QCloseEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QListWidget;
class QMimeData;
class QPushButton;
class QShowEvent;

// Fixed texts of the window.
namespace corvane::mainwindow {
inline constexpr const char* kCaption = "Corvane CSV to CRC";
inline constexpr const char* kStartHint = "Start with Drag 'n Drop or 'Open CRC'";
inline constexpr const char* kNextHint = "Next - Open more or select 'Generate'";
inline constexpr const char* kListFullHint =
    "The list is full (32767 files): no more files can be added";
inline constexpr const char* kStatusStart = "Status:";
inline constexpr const char* kStatusTip = "Status information";
// How long Exit or the close box lets a stopping batch take before the
// program ends without it.
inline constexpr int kEndGraceMilliseconds = 250;
}  // namespace corvane::mainwindow

class Main : public QWidget, public corvane::ConversionObserver {
  Q_OBJECT

 public:
  // Shows a failure: a message box with an OK button and the given title and text.
  using ErrorBox = std::function<void(const QString& title, const QString& text)>;
  // Ends the process at once, for Exit while a batch will not stop in time.
  using ProcessEnd = std::function<void()>;

  explicit Main(QWidget* parent = nullptr);
  ~Main() override;

  // Replaces the failure message box (the tests read it instead of a modal box).
  void SetErrorBox(ErrorBox showError);
  // Replaces the end of the process (the tests observe it instead).
  void SetProcessEnd(ProcessEnd endProcess);

  bool BatchRunning() const { return batch_ != nullptr; }

  QListWidget* lstFiles;
  QPushButton* cmdOpenCSV;
  QPushButton* cmdGenerate;
  QPushButton* cmdAbout;
  QPushButton* cmdExit;
  QLabel* lblFeedback;
  QLabel* lblStatus;
  CommonDialog CommonDialog1;
  // The list's context menu; Remove also answers the Delete key.
  QAction* mnuRemove;
  QAction* mnuClearList;

  void Form_Load();
  void cmdOpenCSV_Click();
  void cmdGenerate_Click();
  void cmdAbout_Click();
  void cmdExit_Click();
  void lstFiles_OLEDragOver(QDragMoveEvent* event);
  void lstFiles_OLEDragDrop(QDropEvent* event);
  void mnuRemove_Click();
  void mnuClearList_Click();

  // ConversionObserver, called on this window's thread.
  void ClearFeedback() override;
  void SetBusy(bool busy) override;
  void SetStatus(const std::string& text) override;
  void SetProgress(int fileNumber, int fileCount, int percent) override;
  void PumpEvents() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ShowList();
  void SelectRow(int row);
  void UpdateListActions();
  void SetFeedback(const QString& text);
  void ShowStatus(const QString& text);
  void BatchEnded(const BatchThread::Outcome& outcome);
  void EndDuringBatch();
  void EndProgram();

  corvane::FileList files_;
  std::unique_ptr<BatchThread> batch_;
  ErrorBox showError_;
  ProcessEnd endProcess_;
  bool endRequested_ = false;
  bool centred_ = false;
};
