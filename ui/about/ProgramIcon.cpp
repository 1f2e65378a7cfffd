#include "ProgramIcon.h"

namespace corvane::qt {

QPixmap ProgramIconPixmap() { return QPixmap(QStringLiteral(":/corvane/corvane-32.png")); }

QIcon ProgramIcon() { return QIcon(ProgramIconPixmap()); }

}  // namespace corvane::qt
