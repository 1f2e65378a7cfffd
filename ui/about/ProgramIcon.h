// The program's 32 x 32 icon, for both windows and the About picture.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace corvane::qt {

QPixmap ProgramIconPixmap();
QIcon ProgramIcon();

}  // namespace corvane::qt
