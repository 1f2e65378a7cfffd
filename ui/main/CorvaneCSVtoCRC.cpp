// The desktop program: shows the main window and runs until it closes.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "Main.h"
#include "engine/ProgramIdentity.h"
#include "engine/SignalCleanup.h"
#include "engine/StandardDescriptors.h"

namespace {

QtMessageHandler g_defaultHandler = nullptr;

// While the application starts, a fatal message means no window system could
// be reached (no display): say so plainly and end with status 1 instead of
// aborting.
void StartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    g_defaultHandler(type, context, message);
    return;
  }
  (void)context;
  (void)message;
  std::fprintf(stderr,
               "%s: cannot open a window: no display could be reached (is DISPLAY or "
               "WAYLAND_DISPLAY set?). To convert files without a display, use csv2crc.\n",
               corvane::kProgramTitle);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
  corvane::KeepStandardDescriptorsOpen();
  // A signal that ends the program removes the output being written first.
  corvane::InstallSignalCleanup();
  g_defaultHandler = qInstallMessageHandler(StartupMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(g_defaultHandler);
  QApplication::setApplicationName(QString::fromLatin1(corvane::kProgramTitle));
  QApplication::setApplicationVersion(QString::fromLatin1(corvane::kVersionText));
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  // Lets desktops match the window to its desktop entry and icon.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(corvane::kAppId));

  corvane::qt::Main window;
  window.show();
  return QApplication::exec();
}
