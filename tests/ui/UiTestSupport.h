// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

#include "support/Files.h"

namespace uitest {

inline bool WriteFile(const QString& path, const QByteArray& content) {
  return corvane::test::WriteFile(path.toStdString(), content.toStdString());
}

// The file's bytes; a file that cannot be read fails the test.
inline QByteArray ReadFile(const QString& path) {
  return QByteArray::fromStdString(corvane::test::ReadFile(path.toStdString()));
}

// The path as the windows show it (native separators).
inline QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Runs action on the next modal window that opens, from a timer, so that no modal
// window waits for input. Gives up after about five seconds.
inline void OnNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, action]() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

}  // namespace uitest
