// The file-open dialog the main window owns: file name, flags, title and
// filter are set on it, ShowOpen shows it and the chosen name is read back.
#pragma once

#include <QString>
#include <functional>

class QWidget;

class CommonDialog {
 public:
  // Flags, with the values the Open dialog has always used.
  static constexpr int kFlagHideReadOnly = 0x4;  // no read-only check box
  static constexpr int kFlagFileMustExist = 0x1000;
  static constexpr int kFlagExplorer = 0x80000;

  // What the dialog is asked: its title, the filter in Qt's form, the starting
  // file name and the flags. Answers the chosen path, or an empty text on cancel.
  using Chooser =
      std::function<QString(QWidget* parent, const QString& title, const QString& qtFilter,
                            const QString& fileName, int flags)>;

  QString FileName = QStringLiteral("*.csv");
  int Flags = 0;
  QString DialogTitle = QStringLiteral("Open CSV File");
  // In Qt's form: a description with its patterns in parentheses.
  QString Filter = QStringLiteral("CSV File (*.csv)");

  explicit CommonDialog(QWidget* parent);

  // Shows the Open dialog modally and leaves the chosen path in FileName
  // (empty when cancelled).
  void ShowOpen();

  // Replaces the modal dialog (the tests answer it themselves).
  void SetChooser(Chooser chooser);

 private:
  static QString RunFileDialog(QWidget* parent, const QString& title, const QString& qtFilter,
                               const QString& fileName, int flags);

  QWidget* parent_;
  Chooser chooser_;
};
