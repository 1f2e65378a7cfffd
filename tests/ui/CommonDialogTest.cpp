// The Open dialog as Qt shows it from the model's settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QWidget>

#include "UiTestSupport.h"
#include "main/CommonDialog.h"
#include "support/Files.h"

namespace {

// The dialog the program really shows: one existing file, the CSV filter and the title.
TEST(CommonDialogShowOpen, TheFileDialogReturnsTheChosenFileOrNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath("input.txt");
  ASSERT_TRUE(corvane::test::WriteFile(file.toStdString(), "x"));
  QWidget parent;
  for (const bool accept : {true, false}) {
    SCOPED_TRACE(accept ? "chosen" : "cancelled");
    corvane::CommonDialog dialog;
    dialog.Flags = 0x81004;
    dialog.FileName.clear();
    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::Directory;
    uitest::OnNextModal([&](QWidget* modal) {
      auto* fileDialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(fileDialog, nullptr);
      title = fileDialog->windowTitle();
      filters = fileDialog->nameFilters();
      mode = fileDialog->fileMode();
      if (accept) {
        fileDialog->setDirectory(dir.path());
        // As if typed: with the name field focused, selectFile only selects
        // the file in the list, which may not be loaded yet.
        if (QWidget* focused = fileDialog->focusWidget()) focused->clearFocus();
        fileDialog->selectFile(file);
        static_cast<QDialog*>(fileDialog)->accept();  // as the Open button does
      } else {
        fileDialog->reject();
      }
    });
    const QString chosen = corvane::qt::ShowOpenFileDialog(&parent, dialog);
    EXPECT_EQ(title, QStringLiteral("Open CSV File"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("CSV File (*.csv)")});
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(chosen, accept ? uitest::Native(file) : QString());
  }
}

}  // namespace
