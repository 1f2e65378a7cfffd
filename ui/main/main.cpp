// The desktop program: shows the main window and runs until it closes.
#include <QApplication>

#include "Main.h"
#include "engine/ProgramIdentity.h"
#include "engine/SignalCleanup.h"

int main(int argc, char* argv[]) {
  // A signal that ends the program removes the output being written first.
  corvane::InstallSignalCleanup();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(corvane::kProgramTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(corvane::kVersionText));
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  // Lets desktops match the window to its desktop entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("com.example.CorvaneCSVtoCRC"));

  Main window;
  window.show();
  return QApplication::exec();
}
