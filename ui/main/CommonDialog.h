// The Open dialog as Qt shows it, set up from the window model's
// `CommonDialog1`: its title, filter, starting file name and flags.
#pragma once

#include <QString>
#include <string>

#include "model/WindowView.h"

class QWidget;

namespace corvane::qt {

// The filter in Qt's form: each description with its patterns in
// parentheses, separated by ";;".
QString QtFilter(const std::string& filter);

// Shows the Open dialog modally; answers the chosen path with native
// separators, or an empty text when cancelled.
QString ShowOpenFileDialog(QWidget* parent, const CommonDialog& dialog);

}  // namespace corvane::qt
