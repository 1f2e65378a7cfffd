// Takes the screenshots in docs/ from the real windows under a window manager
// (title bars shown): the main window part-way through a batch with its
// progress, after the batch, the About window, and the main window on a dark
// palette.
//
//   ui_screenshots OUTPUT_DIR LARGE.csv FILE.csv...
//
// LARGE.csv must take the batch long enough (a second or so) to be caught
// part-way. Run on a real display (scripts/screenshots.sh uses a virtual X
// server with openbox).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "UiTestSupport.h"
#include "engine/ProgramIdentity.h"
#include "main/Main.h"

namespace {

using corvane::qt::Main;

// What the screen shows of the window with its frame, or the widget's own
// rendering when the screen cannot be read back.
bool Save(QWidget* window, const QString& path, bool settle = true) {
  if (settle) {
    QTest::qWait(300);
  }
  QApplication::processEvents();
  QPixmap shot;
  if (QScreen* screen = window->screen()) {
    const QRect frame = window->frameGeometry();
    shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  }
  if (shot.isNull()) {
    shot = window->grab();
  }
  const bool saved = shot.save(path, "PNG");
  std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "saved" : "FAILED to save", qPrintable(path),
               shot.width(), shot.height());
  return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(corvane::kProgramTitle));
  const QStringList args = QApplication::arguments();
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: ui_screenshots OUTPUT_DIR LARGE.csv FILE.csv...\n");
    return 2;
  }
  const QDir out(args.at(1));
  bool ok = true;

  Main window;
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    std::fprintf(stderr, "the main window did not appear\n");
    return 1;
  }
  QTest::qWait(500);  // the window manager frames and places it
  QStringList files;
  for (const QString& file : args.mid(2)) files << QFileInfo(file).absoluteFilePath();
  uitest::DropFiles(*window.lstFiles, files);

  // Part-way through the large file: the feedback line shows a percentage.
  const QRegularExpression partWay(QStringLiteral("^File \\d+ of \\d+ - ([1-8]\\d)%$"));
  QTest::mouseClick(window.cmdGenerate, Qt::LeftButton);
  if (QTest::qWaitFor([&] { return partWay.match(window.lblFeedback->text()).hasMatch(); },
                      60000)) {
    ok &= Save(&window, out.filePath("main-window-converting.png"), false);
  } else {
    std::fprintf(stderr, "the batch was not caught part-way: give a larger LARGE.csv\n");
    ok = false;
  }
  if (!QTest::qWaitFor([&] { return !window.Model().BatchRunning(); }, 120000)) {
    std::fprintf(stderr, "the batch did not end\n");
    return 1;
  }
  ok &= Save(&window, out.filePath("main-window-converted.png"));

  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    if (about == nullptr || !QTest::qWaitForWindowExposed(about)) {
      std::fprintf(stderr, "the About window did not appear\n");
      ok = false;
    } else {
      ok &= Save(about, out.filePath("about-window.png"));
    }
    if (about != nullptr) {
      about->close();
    }
  });
  QTest::mouseClick(window.cmdAbout, Qt::LeftButton);

  // A dark desktop theme, with one more file chosen in the Open dialog.
  QApplication::setPalette(uitest::DarkPalette());
  const QString chosen = QFileInfo(args.last()).absoluteFilePath();
  window.SetOpenDialog([&](QWidget*, const corvane::CommonDialog&) { return chosen; });
  QTest::mouseClick(window.cmdOpenCSV, Qt::LeftButton);
  window.lstFiles->setCurrentRow(0);
  ok &= Save(&window, out.filePath("main-window-dark.png"));
  return ok ? 0 : 1;
}
