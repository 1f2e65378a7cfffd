// A drag source for the Windows system test (tests/system/test_windows.py): a small
// window that, pressed, starts a real drag (XDND) of the files named on the
// command line, allowing a copy. It prints "dragging" when the drag starts,
// "accepted" when a target offers a copy (so that a test can drop only then)
// and, when the drag ends, the action the target took: "copy", or "ignore"
// when there was no drop. It then hides and runs until it is ended (at most
// two minutes).
//
//   drag_source FILE...
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace {

class Source : public QWidget {
 public:
  explicit Source(const QStringList& files) {
    for (const QString& path : files) urls_ << QUrl::fromLocalFile(path);
    setWindowTitle(QStringLiteral("corvane-drag-source"));
    setFixedSize(120, 80);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override {
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setUrls(urls_);
    drag->setMimeData(data);
    QObject::connect(drag, &QDrag::actionChanged, [](Qt::DropAction action) {
      if (action == Qt::CopyAction) {
        std::puts("accepted");
        std::fflush(stdout);
      }
    });
    std::puts("dragging");
    std::fflush(stdout);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    // The windows the drag named stay until the test ends this program: a
    // target that handles the drag's messages late (wine, on a loaded
    // machine) still finds them, where a gone window made it fail.
    hide();
    std::puts(action == Qt::CopyAction ? "copy" : "ignore");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList files = QApplication::arguments().mid(1);
  if (files.isEmpty()) {
    std::fprintf(stderr, "usage: drag_source FILE...\n");
    return 2;
  }
  Source source(files);
  // In the screen's corner, away from the window the drags go to.
  source.move(0, 0);
  source.show();
  QTimer::singleShot(std::chrono::minutes(2), &app, &QApplication::quit);
  return QApplication::exec();
}
