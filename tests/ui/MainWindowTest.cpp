// The Qt main window on the offscreen platform: its layout, and its wiring to
// the window model (what the window does is tested on the model itself):
// buttons, drops, keys and the context menu reach the model, and what the
// model says shows in the widgets. Also how it looks at larger fonts and on
// dark themes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

#include "UiTestSupport.h"
#include "about/frmAbout.h"
#include "main/CommonDialog.h"
#include "main/Main.h"

using corvane::qt::frmAbout;
using corvane::qt::Main;
using corvane::qt::QtFilter;
using uitest::Native;
using uitest::ReadFile;
using uitest::WriteFile;

namespace {

QStringList ListEntries(const Main& window) {
  QStringList entries;
  for (int i = 0; i < window.lstFiles->count(); ++i) {
    entries << window.lstFiles->item(i)->text();
  }
  return entries;
}

// Drags data onto the list as the window system would: entering is answered
// by the drag-over rule, and only an accepted drag is dropped.
bool Drop(Main& window, const QMimeData& data) {
  QWidget* target = window.lstFiles->viewport();
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction) {
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
    return false;
  }
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return true;
}

bool DropFiles(Main& window, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  return Drop(window, data);
}

TEST(MainWindow, StartsWithItsLayoutTextsTipsAndTabOrder) {
  Main w;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  struct Control {
    QWidget* widget;
    const char* name;
    QRect pixels;
    const char* text;
    const char* toolTip;
  };
  const Control controls[] = {
      {w.lstFiles,
       "lstFiles",
       {0, 0, 417, 173},
       nullptr,
       "Shows the list of files to be processed"},
      {w.cmdOpenCSV,
       "cmdOpenCSV",
       {290, 184, 71, 25},
       "Open CSV",
       "Marks a CSV file for processing"},
      {w.cmdGenerate,
       "cmdGenerate",
       {290, 216, 71, 25},
       "Generate",
       "Processes the listed files and converts them to Vellum format CRC files"},
      {w.cmdAbout, "cmdAbout", {368, 184, 49, 25}, "About", "Shows a basic About window"},
      {w.cmdExit, "cmdExit", {368, 216, 49, 25}, "E&xit", "Ends the application"},
      {w.lblFeedback,
       "lblFeedback",
       {8, 176, 273, 17},
       "Start with Drag 'n Drop or 'Open CRC'",
       "Feedback information"},
      {w.lblStatus, "lblStatus", {8, 200, 273, 41}, "Status:", "Status information"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.widget->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.widget->geometry(), c.pixels);
    EXPECT_EQ(c.widget->toolTip(), QString::fromLatin1(c.toolTip));
    if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      EXPECT_EQ(button->text(), QString::fromLatin1(c.text));
    } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
      EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
    }
  }
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvane CSV to CRC"));
  EXPECT_EQ(w.lblFeedback->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(w.lblStatus->wordWrap());
  EXPECT_EQ(w.focusWidget(), w.cmdOpenCSV);

  // A fixed size, a close box only, centred on the screen.
  EXPECT_EQ(w.size(), QSize(421, 244));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  const QPoint screenCentre = w.screen()->availableGeometry().center();
  EXPECT_LE((w.frameGeometry().center() - screenCentre).manhattanLength(), 2);

  // Keyboard order: the commands, then the list; the labels take no focus.
  std::vector<QWidget*> order;
  QWidget* next = w.cmdOpenCSV;
  do {
    if ((next->focusPolicy() & Qt::TabFocus) != 0 && next->parentWidget() == &w) {
      order.push_back(next);
    }
    next = next->nextInFocusChain();
  } while (next != w.cmdOpenCSV && order.size() < 20);
  EXPECT_EQ(order, (std::vector<QWidget*>{w.cmdOpenCSV, w.cmdGenerate, w.cmdAbout, w.cmdExit,
                                          w.lstFiles}));
}

// Each control reaches the model and the model's answer shows.
TEST(MainWindow, EventsReachTheModelAndWhatItSaysShows) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString good = dir.filePath(QStringLiteral("Gr\u00FC\u00DFe.csv"));
  // A path too long for the status line.
  const QString gone = dir.filePath(
      QStringLiteral("a-folder-name-far-too-long-for-the-status-line-of-the-window/gone.csv"));
  ASSERT_TRUE(WriteFile(good, "a,b,c,d\r\n"));
  Main w;
  QString openTitle, openFilter;
  w.SetOpenDialog([&](QWidget*, const corvane::CommonDialog& dialog) {
    openTitle = QString::fromUtf8(dialog.DialogTitle);
    openFilter = QtFilter(dialog.Filter);
    return Native(gone);
  });
  QStringList errors;
  w.SetErrorBox([&](const QString& title, const QString& text) { errors << title << text; });
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

  QTest::mouseClick(w.cmdOpenCSV, Qt::LeftButton);
  EXPECT_EQ(openTitle, QStringLiteral("Open CSV File"));
  EXPECT_EQ(openFilter, QStringLiteral("CSV File (*.csv)"));
  EXPECT_EQ(w.lblFeedback->text(), QStringLiteral("Next - Open more or select 'Generate'"));
  QMimeData text;
  text.setText(good);
  EXPECT_FALSE(Drop(w, text)) << "a text drag is offered no drop";
  EXPECT_TRUE(DropFiles(w, {good, dir.filePath(QStringLiteral("notes.txt"))}));
  ASSERT_EQ(ListEntries(w), (QStringList{Native(gone), Native(good)}));
  EXPECT_EQ(w.lstFiles->item(1)->toolTip(), Native(good));

  // The failure box, the status line cut to fit with the whole text in its
  // tip and as its name for screen readers, which are told of it; the
  // failed entry selected.
  QTest::mouseClick(w.cmdGenerate, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Model().BatchRunning(); }, 20000));
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors[0], QStringLiteral("CorvaneCSVtoCRC"));
  EXPECT_TRUE(errors[1].startsWith(QStringLiteral("Error 102: "))) << errors[1].toStdString();
  const QString status = w.lblStatus->text();
  EXPECT_TRUE(status.contains(QStringLiteral("gone.csv"))) << status.toStdString();
  const QString description = errors[1].mid(11, errors[1].indexOf(QStringLiteral("\n\n")) - 11);
  EXPECT_TRUE(
      errors[1].endsWith(QStringLiteral("\n\nFile 1 of 2. The file after it was not converted.")));
  EXPECT_EQ(w.lblStatus->toolTip(), description);
  EXPECT_EQ(w.lblStatus->accessibleName(), description);
  EXPECT_EQ(w.lblAnnouncement->accessibleName(), description);
  EXPECT_TRUE(w.lblAnnouncement->isVisible());
  EXPECT_TRUE(w.lstFiles->item(0)->isSelected());
  EXPECT_NE(w.cursor().shape(), Qt::BusyCursor);
  // What screen readers see: the window a frame, the list named, the
  // announcement a notification.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&w)->role(), QAccessible::Window);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(w.lblAnnouncement)->role(),
            QAccessible::Notification);
  EXPECT_EQ(w.lstFiles->accessibleName(), w.lstFiles->toolTip());

  // Tabbing into the list selects the entry with the focus frame; Shift+F10
  // opens the context menu on it, as the Menu key does; Delete removes it.
  const QList<QAction*> menu = w.mnuList->actions();
  ASSERT_EQ(menu.size(), 2);
  EXPECT_EQ(menu[0]->text(), QStringLiteral("&Remove"));
  EXPECT_EQ(menu[1]->text(), QStringLiteral("&Clear List"));
  w.lstFiles->clearSelection();
  w.cmdExit->setFocus();
  QTest::keyClick(w.cmdExit, Qt::Key_Tab);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.lstFiles->item(0)->isSelected(); }));
  QPoint menuAt;
  bool removable = false;
  uitest::OnNextModal(
      [&](QWidget* popup) {
        menuAt = popup->geometry().topLeft();
        removable = popup->actions().value(0)->isEnabled();
        popup->close();
      },
      true);
  QTest::keyClick(w.lstFiles, Qt::Key_F10, Qt::ShiftModifier);
  QRect entry = w.lstFiles->visualItemRect(w.lstFiles->item(0));
  entry.moveTopLeft(w.lstFiles->viewport()->mapToGlobal(entry.topLeft()));
  EXPECT_TRUE(entry.contains(menuAt)) << menuAt.x() << "," << menuAt.y();
  EXPECT_TRUE(removable);
  QTest::keyClick(w.lstFiles, Qt::Key_Delete);
  EXPECT_EQ(ListEntries(w), QStringList{Native(good)});
  EXPECT_EQ(w.lstFiles->currentRow(), 0) << "the next entry takes the place";

  QTest::mouseClick(w.cmdGenerate, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Model().BatchRunning(); }, 20000));
  EXPECT_EQ(w.lblStatus->text(), QStringLiteral("Processed 1 files."));
  EXPECT_EQ(w.lblFeedback->text(), QString());
  EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("A1_Gr\u00FC\u00DFe.crc"))),
            QByteArray("a\t\tb\t\t111 x 222\t\tc\t\td\r\n"));
  w.mnuClearList->trigger();
  EXPECT_EQ(w.lstFiles->count(), 0);
  EXPECT_FALSE(w.mnuRemove->isEnabled());
  EXPECT_FALSE(w.mnuClearList->isEnabled());

  // About opens modally over the window, fresh each time, and Escape closes it.
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    QString caption, version;
    QPoint offset;
    uitest::OnNextModal([&](QWidget* modal) {
      auto* about = qobject_cast<frmAbout*>(modal);
      ASSERT_NE(about, nullptr);
      caption = about->windowTitle();
      version = about->lblVersion->text();
      offset = about->frameGeometry().center() - w.frameGeometry().center();
      about->lblVersion->setText(QStringLiteral("changed"));
      QTest::keyClick(about, Qt::Key_Escape);
    });
    QTest::mouseClick(w.cmdAbout, Qt::LeftButton);
    EXPECT_EQ(caption, QStringLiteral("About CorvaneCSVtoCRC"));
    EXPECT_EQ(version, QStringLiteral("Version 1.0.1"));
    EXPECT_LE(offset.manhattanLength(), 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }

  // Enter on a focused button presses it; Exit closes the window.
  w.cmdGenerate->setFocus();
  QTest::keyClick(w.cmdGenerate, Qt::Key_Enter);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return w.lblStatus->text() == QStringLiteral("Processed 0 files."); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Model().BatchRunning(); }, 20000));
  QTest::mouseClick(w.cmdExit, Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
}

TEST(WindowLook, EveryTextFitsAtTheReferenceFontAQuarterLargerAndInAdwaita) {
  struct Look {
    double scale;
    const char* style;  // the application's own when null
  };
  for (const Look& l : {Look{1.0, nullptr}, Look{1.25, nullptr}, Look{1.0, "Adwaita-Dark"}}) {
    SCOPED_TRACE(l.style != nullptr ? l.style : std::to_string(l.scale));
    uitest::AppLook look(l.scale, QApplication::palette(), l.style);
    ASSERT_TRUE(l.style == nullptr || look.StyleFound()) << l.style << " (adwaita-qt6) is missing";
    Main window;
    frmAbout about(&window);
    EXPECT_EQ(uitest::ClippedTexts(window), std::vector<std::string>());
    EXPECT_EQ(uitest::ClippedTexts(about), std::vector<std::string>());
    // The whole layout grows with the font, keeping its proportions.
    EXPECT_NEAR(window.width(), 421 * l.scale, 421 * 0.05);
    EXPECT_NEAR(window.height(), 244 * l.scale, 244 * 0.05);
    EXPECT_NEAR(about.width() * 1.0 / window.width(), 382.0 / 421, 0.01);
  }
}

// The feedback line reads well, and the keyboard focus shows as a frame on
// the list (empty, so that only the frame changes) and on a button.
TEST(WindowLook, TheFeedbackLineReadsWellAndTheFocusShowsInEveryTheme) {
  Main window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  const std::unique_ptr<QStyle> adwaitaDark(QStyleFactory::create(QStringLiteral("Adwaita-Dark")));
  ASSERT_NE(adwaitaDark, nullptr) << "Adwaita-Dark (adwaita-qt6) is missing";
  struct Theme {
    const char* name;
    QPalette palette;
    const char* style;  // the application's own when null
  };
  const Theme themes[] = {
      {"light", QApplication::palette(), nullptr},
      {"dark", uitest::DarkPalette(), nullptr},
      {"high contrast", uitest::HighContrastPalette(), nullptr},
      {"Adwaita-Dark", adwaitaDark->standardPalette(), "Adwaita-Dark"},
  };
  for (const Theme& theme : themes) {
    SCOPED_TRACE(theme.name);
    // The theme changes while the window is open.
    uitest::AppLook look(1.0, theme.palette, theme.style);
    const QColor text = window.lblFeedback->palette().color(QPalette::WindowText);
    EXPECT_GE(uitest::Contrast(text, window.palette().color(QPalette::Window)), 4.5);
    EXPECT_GT(text.blue(), std::max(text.red(), text.green()) + 40) << "still blue";
    if (std::string(theme.name) == "light") {
      EXPECT_EQ(text, QColor(0, 0, 255));
    }
    // The controls take the theme's colours from their window a moment later.
    ASSERT_TRUE(QTest::qWaitFor([&] {
      return window.cmdGenerate->palette().color(QPalette::ButtonText) ==
             QApplication::palette().color(QPalette::ButtonText);
    })) << "the buttons kept their colours";
    EXPECT_EQ(uitest::SidesWithoutFocusFrame(window.lstFiles, window.cmdExit),
              std::vector<std::string>());
    EXPECT_EQ(uitest::SidesWithoutFocusFrame(window.cmdGenerate, window.cmdOpenCSV),
              std::vector<std::string>());
  }
}

}  // namespace
