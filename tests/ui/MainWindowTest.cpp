// The Qt main window on the offscreen platform: its layout, and its wiring to
// the window model (what the window does is tested on the model itself):
// buttons, drops, keys and the context menu reach the model, and what the
// model says shows in the widgets. Also how it looks at larger fonts and on
// dark themes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>
#include <memory>
#include <vector>

#include "UiTestSupport.h"
#include "about/frmAbout.h"
#include "main/Main.h"
#include "support/HeldBatch.h"

using corvane::qt::frmAbout;
using corvane::qt::Main;
using uitest::Native;

namespace {

QStringList ListEntries(const Main& window) {
  QStringList entries;
  for (int i = 0; i < window.lstFiles->count(); ++i) entries << window.lstFiles->item(i)->text();
  return entries;
}

// The window shown; its batches are the case's, its paths in the temporary folder (never made).
class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  }
  static QString At(const QString& name) { return Native(QDir::temp().filePath(name)); }
  Main w;
};

TEST_F(MainWindow, StartsWithItsLayoutTextsTipsAndTabOrder) {
  struct Control {
    QWidget* widget;
    QRect pixels;
    const char* text;
    const char* toolTip;
  };
  const Control controls[] = {
      {w.lstFiles, {0, 0, 417, 173}, nullptr, "Shows the list of files to be processed"},
      {w.cmdOpenCSV, {290, 184, 71, 25}, "Open CSV", "Marks a CSV file for processing"},
      {w.cmdGenerate,
       {290, 216, 71, 25},
       "Generate",
       "Processes the listed files and converts them to Vellum format CRC files"},
      {w.cmdAbout, {368, 184, 49, 25}, "About", "Shows a basic About window"},
      {w.cmdExit, {368, 216, 49, 25}, "E&xit", "Ends the application"},
      {w.lblFeedback, {8, 176, 273, 17}, corvane::mainwindow::kStartHint, "Feedback information"},
      {w.lblStatus, {8, 200, 273, 41}, "Status:", "Status information"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.widget->objectName().toStdString());
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
  // Screen readers see a frame, the list named, the announcement a notification.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(&w)->role(), QAccessible::Window);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(w.lblAnnouncement)->role(),
            QAccessible::Notification);
  EXPECT_EQ(w.lstFiles->accessibleName(), w.lstFiles->toolTip());

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

TEST_F(MainWindow, OpenShowsTheModelsDialogOverTheWindowAndListsTheChoice) {
  w.SetOpenDialog([&](QWidget* parent, const corvane::CommonDialog& dialog) {
    EXPECT_EQ(parent, &w);
    EXPECT_EQ(&dialog, &w.Model().CommonDialog1);
    return At("notes.txt");
  });
  QTest::mouseClick(w.cmdOpenCSV, Qt::LeftButton);
  EXPECT_EQ(ListEntries(w), QStringList{At("notes.txt")});
  EXPECT_EQ(w.lblFeedback->text(), QString::fromLatin1(corvane::mainwindow::kNextHint));
}

// While the batch runs the pointer is busy and its status shows. Its failure: the box over the
// window; the status line cut to fit, whole in its tip and its name for screen readers, who are
// told; the failed entry selected.
TEST_F(MainWindow, GenerateShowsTheBatchAndItsFailure) {
  const QString failed = At(QString(70, QLatin1Char('f')) + "/gone.csv");
  ASSERT_TRUE(uitest::DropFiles(*w.lstFiles, {At("a.csv"), failed}));
  const QString whole = "Cannot open '" + failed + "'";
  corvane::test::HeldBatch batch;
  w.Model().SetBatchRun(batch.Run());
  QTest::mouseClick(w.cmdGenerate, Qt::LeftButton);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w.lblStatus->toolTip() == "Converting file:" + failed; }, 20000))
      << "awaited the batch's status";
  EXPECT_EQ(w.cursor().shape(), Qt::BusyCursor);
  QWidget* owner = nullptr;
  uitest::OnNextModal([&](QWidget* modal) {
    owner = modal->parentWidget();
    EXPECT_EQ(modal->windowTitle(), QStringLiteral("CorvaneCSVtoCRC"));
    EXPECT_EQ(modal->property("text").toString().toStdString(),
              corvane::BatchFailureText(
                  {corvane::BatchThread::Outcome::Kind::kFailed, 102, whole.toStdString(), 2, 2}));
    modal->close();
  });
  batch.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Model().BatchRunning(); }, 20000));
  EXPECT_EQ(owner, &w) << "the failure box shows over the window";
  EXPECT_NE(w.lblStatus->text(), whole);
  EXPECT_EQ(w.lblStatus->toolTip(), whole);
  EXPECT_EQ(w.lblStatus->accessibleName(), whole);
  EXPECT_EQ(w.lblAnnouncement->accessibleName(), whole);
  EXPECT_TRUE(w.lblAnnouncement->isVisible());
  EXPECT_TRUE(w.lstFiles->item(1)->isSelected());
  EXPECT_NE(w.cursor().shape(), Qt::BusyCursor);
}

// Only file drags are offered a drop; the paths reach the model (UTF-8), its rows show with the
// path as tip. Tab selects the entry with the focus frame, Delete removes it; Shift+F10 opens the
// menu on the next, as the Menu key does; Clear List removes every entry.
TEST_F(MainWindow, TheListTakesDropsAndItsKeysAndMenuActOnTheEntryWithTheFocusFrame) {
  const QString greeting = At(QStringLiteral("Gr\u00FC\u00DFe.csv"));
  QMimeData text;
  text.setText(greeting);
  EXPECT_FALSE(uitest::Drop(*w.lstFiles, text)) << "a text drag is offered no drop";
  ASSERT_TRUE(uitest::DropFiles(*w.lstFiles, {greeting, At("zz.csv")}));
  EXPECT_EQ(ListEntries(w), (QStringList{greeting, At("zz.csv")}));
  EXPECT_EQ(w.lstFiles->item(0)->toolTip(), greeting);
  EXPECT_EQ(w.mnuList->actions(), (QList<QAction*>{w.mnuRemove, w.mnuClearList}));
  w.cmdExit->setFocus();
  QTest::keyClick(w.cmdExit, Qt::Key_Tab);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.lstFiles->item(0)->isSelected(); }))
      << "awaited the entry selected by Tab";
  QTest::keyClick(w.lstFiles, Qt::Key_Delete);
  EXPECT_EQ(ListEntries(w), QStringList{At("zz.csv")});
  EXPECT_EQ(w.lstFiles->currentRow(), 0) << "the next entry takes the place";
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
  w.mnuClearList->trigger();
  EXPECT_EQ(w.lstFiles->count(), 0);
  EXPECT_FALSE(w.mnuRemove->isEnabled());
  EXPECT_FALSE(w.mnuClearList->isEnabled());
}

// About opens modally over the window, fresh each time, and Escape closes it.
TEST_F(MainWindow, AboutOpensFreshOverTheWindowEachTime) {
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    QString version;
    uitest::OnNextModal([&](QWidget* modal) {
      const QPoint offset = modal->frameGeometry().center() - w.frameGeometry().center();
      EXPECT_LE(offset.manhattanLength(), 2);
      if (auto* about = qobject_cast<frmAbout*>(modal)) {
        version = about->lblVersion->text();
        about->lblVersion->setText(QStringLiteral("changed"));
      }
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    QTest::mouseClick(w.cmdAbout, Qt::LeftButton);
    EXPECT_EQ(version, QStringLiteral("Version 1.0.1"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

// Enter on a focused button presses it: Exit closes the window.
TEST_F(MainWindow, EnterPressesTheFocusedButtonAndExitClosesTheWindow) {
  w.cmdExit->setFocus();
  QTest::keyClick(w.cmdExit, Qt::Key_Enter);
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
