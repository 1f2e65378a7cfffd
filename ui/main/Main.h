// The program's working window: the file list, the four commands and the
// feedback and status lines. It drives the batch converter as its observer.
#pragma once

#include <QWidget>
#include <functional>

#include "CommonDialog.h"
#include "engine/BatchConverter.h"
#include "filelist/FileList.h"

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
}  // namespace corvane::mainwindow

class Main : public QWidget, public corvane::ConversionObserver {
  Q_OBJECT

 public:
  // Shows a failure: a message box with an OK button and the given title and text.
  using ErrorBox = std::function<void(const QString& title, const QString& text)>;

  explicit Main(QWidget* parent = nullptr);
  ~Main() override;

  // Replaces the failure message box (the tests read it instead of a modal box).
  void SetErrorBox(ErrorBox showError);

  QListWidget* lstFiles;
  QPushButton* cmdOpenCSV;
  QPushButton* cmdGenerate;
  QPushButton* cmdAbout;
  QPushButton* cmdExit;
  QLabel* lblFeedback;
  QLabel* lblStatus;
  CommonDialog CommonDialog1;

  void Form_Load();
  void cmdOpenCSV_Click();
  void cmdGenerate_Click();
  void cmdAbout_Click();
  void cmdExit_Click();
  void lstFiles_OLEDragOver(QDragMoveEvent* event);
  void lstFiles_OLEDragDrop(QDropEvent* event);

  // ConversionObserver.
  void ClearFeedback() override;
  void SetBusy(bool busy) override;
  void SetStatus(const std::string& text) override;
  void PumpEvents() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowList();
  void SetFeedback(const char* text);
  void EndProgram();

  corvane::FileList files_;
  ErrorBox showError_;
  bool busy_ = false;
  bool batchRunning_ = false;
  bool endRequested_ = false;
  bool centred_ = false;
};
