#include "CommonDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace corvane::qt {

QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts.at(i);
    filters << (description.contains(QLatin1Char('('))
                    ? description
                    : description + QStringLiteral(" (") + parts.at(i + 1) + QLatin1Char(')'));
  }
  return filters.join(QStringLiteral(";;"));
}

QString ShowOpenFileDialog(QWidget* parent, const CommonDialog& dialog) {
  QFileDialog fileDialog(parent, QString::fromUtf8(dialog.DialogTitle));
  fileDialog.setAcceptMode(QFileDialog::AcceptOpen);
  fileDialog.setFileMode((dialog.Flags & CommonDialog::kFlagFileMustExist) != 0
                             ? QFileDialog::ExistingFile
                             : QFileDialog::AnyFile);
  fileDialog.setNameFilters(QtFilter(dialog.Filter).split(QStringLiteral(";;")));
  if (!dialog.InitDir.empty()) fileDialog.setDirectory(QString::fromUtf8(dialog.InitDir));
  // A pattern as the file name only repeats the filter; a real name is offered.
  const QString fileName = QString::fromUtf8(dialog.FileName);
  if (!fileName.isEmpty() && !fileName.contains(QLatin1Char('*')) &&
      !fileName.contains(QLatin1Char('?'))) {
    fileDialog.selectFile(fileName);
  }
  if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) {
    return QString();
  }
  return QDir::toNativeSeparators(fileDialog.selectedFiles().constFirst());
}

}  // namespace corvane::qt
