// The program's working window on Qt: the file list, the four commands and
// the feedback and status lines. What it shows and does is the window
// model's (MainModel); this view draws it and passes events on.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "model/MainModel.h"

class QAction;
class QCloseEvent;
class QContextMenuEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QShowEvent;

namespace corvane::qt {

class Main : public QWidget, public MainView {
  Q_OBJECT

 public:
  // Shows a failure: a message box with an OK button and the given title and text.
  using ErrorBox = std::function<void(const QString& title, const QString& text)>;
  // Shows the Open dialog: the chosen path, or an empty text when cancelled.
  using OpenDialog = std::function<QString(QWidget* parent, const CommonDialog& dialog)>;

  explicit Main(QWidget* parent = nullptr);
  ~Main() override;

  // Replace the message box and the Open dialog (tests answer them themselves).
  void SetErrorBox(ErrorBox showError);
  void SetOpenDialog(OpenDialog showOpen);

  MainModel& Model() { return model_; }

  QListWidget* lstFiles;
  QPushButton* cmdOpenCSV;
  QPushButton* cmdGenerate;
  QPushButton* cmdAbout;
  QPushButton* cmdExit;
  QLabel* lblFeedback;
  QLabel* lblStatus;
  // What screen readers are told of a batch's result: a widget of no size
  // that they see as a notification each time it shows.
  QWidget* lblAnnouncement;
  // The list's context menu; Remove also answers the Delete key.
  QMenu* mnuList;
  QAction* mnuRemove;
  QAction* mnuClearList;

  void lstFiles_OLEDragOver(QDragMoveEvent* event);
  void lstFiles_OLEDragDrop(QDropEvent* event);
  // The context menu from the keyboard, at the current entry: the Menu key
  // (the platform asks for it) and Shift+F10.
  void lstFiles_KeyboardContextMenu();

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateListActions();
  void PaintFeedback();

  ErrorBox showError_;
  OpenDialog showOpen_;
  bool centred_ = false;
  // Last, so that it goes first: its batch posts nothing once it is gone.
  MainModel model_;
};

}  // namespace corvane::qt
