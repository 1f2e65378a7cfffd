#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

CommonDialog::CommonDialog(QWidget* parent) : parent_(parent), chooser_(&RunFileDialog) {}

void CommonDialog::ShowOpen() {
  FileName = chooser_(parent_, DialogTitle, QtFilter(Filter), FileName, Flags);
}

void CommonDialog::SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

QString CommonDialog::QtFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the last parentheses of the description.
    if (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))) {
      filters << description;
    } else {
      filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
  }
  return filters.join(QStringLiteral(";;"));
}

QString CommonDialog::RunFileDialog(QWidget* parent, const QString& title, const QString& qtFilter,
                                    const QString& fileName, int flags) {
  QFileDialog dialog(parent, title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if ((flags & kFlagAllowMultiSelect) != 0) {
    dialog.setFileMode(QFileDialog::ExistingFiles);
  } else if ((flags & kFlagFileMustExist) != 0) {
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
