#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>

CommonDialog::CommonDialog(QWidget* parent) : parent_(parent), chooser_(&RunFileDialog) {}

void CommonDialog::ShowOpen() {
  FileName = chooser_(parent_, DialogTitle, Filter, FileName, Flags);
}

void CommonDialog::SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

QString CommonDialog::RunFileDialog(QWidget* parent, const QString& title, const QString& qtFilter,
                                    const QString& fileName, int flags) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if ((flags & kFlagFileMustExist) != 0) {
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setFileMode(QFileDialog::AnyFile);
  }
  dialog.setNameFilter(qtFilter);
  // A pattern as the file name only repeats the filter; a real name is offered.
  if (!fileName.isEmpty() && !fileName.contains(QLatin1Char('*')) &&
      !fileName.contains(QLatin1Char('?'))) {
    dialog.selectFile(fileName);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return QString();
  }
  return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}
