// Takes the screenshots in docs/ from the real windows: the main window at
// start, after converting the given files, and the About window.
//
//   ui_screenshots OUTPUT_DIR FILE.csv...
//
// Run on a real display (scripts/screenshots.sh uses a virtual X server).
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <cstdio>

#include "Main.h"
#include "engine/ProgramIdentity.h"

namespace {

// What the window system shows for the window, or the widget's own rendering
// when the window system cannot be read back.
bool Save(QWidget* window, const QString& path) {
  QApplication::processEvents();
  QTest::qWait(300);
  QPixmap shot;
  if (QScreen* screen = window->screen()) {
    shot = screen->grabWindow(window->winId());
  }
  if (shot.isNull() || shot.size() != window->size()) {
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
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: ui_screenshots OUTPUT_DIR FILE.csv...\n");
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
  ok &= Save(&window, out.filePath("main-window.png"));

  // The files arrive as a drop from the file manager would bring them.
  QMimeData data;
  QList<QUrl> urls;
  for (qsizetype i = 2; i < args.size(); ++i) {
    urls << QUrl::fromLocalFile(QFileInfo(args.at(i)).absoluteFilePath());
  }
  data.setUrls(urls);
  QWidget* list = window.lstFiles->viewport();
  const QPoint at = list->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list, &drop);
  QTest::mouseClick(window.cmdGenerate, Qt::LeftButton);
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
  return ok ? 0 : 1;
}
