// How a text too long for the status line is cut: a word too wide for a
// line (a path) loses part of its middle, keeping its file name where it can,
// and more of it until the whole text fits the line's box.
#pragma once

#include <string>

namespace corvane {

// How a view measures text (UTF-8) in its status line's font and box.
class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  // The width of text set on one line.
  virtual int Width(const std::string& text) const = 0;
  // Whether text, wrapped at spaces, fits the box, in width and in height.
  virtual bool Fits(const std::string& text) const = 0;
  virtual int BoxWidth() const = 0;
};

// The text as it fits the box; the text itself when it fits already. What
// is cut is marked with an ellipsis (U+2026).
std::string FitStatus(const std::string& text, const TextMeasure& measure);

}  // namespace corvane
