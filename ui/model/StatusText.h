// How a text too long for the status line is cut, as one text: the message's
// start and the file names stay, and the folders of the paths in it give way
// in their middle, every path alike; only when that is not enough do the file
// names lose their middle too, and last of all the text its end.
#pragma once

#include <string>

namespace corvane {

// How a view measures text (UTF-8) in its status line's font and box.
class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  // Whether text, wrapped as the line wraps it, fits the box, in width and in
  // height.
  virtual bool Fits(const std::string& text) const = 0;
};

// The text as it fits the box; the text itself when it fits already. What
// is cut is marked with an ellipsis (U+2026).
std::string FitStatus(const std::string& text, const TextMeasure& measure);

}  // namespace corvane
