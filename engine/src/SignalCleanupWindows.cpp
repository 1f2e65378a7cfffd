#include "engine/SignalCleanup.h"

namespace corvane {

// Windows ends a console program on Ctrl+C from another thread, while the
// temporary file is still open, and an open file cannot be deleted there:
// nothing is installed. Leftovers are hidden files.
void InstallSignalCleanup() {}

}  // namespace corvane
