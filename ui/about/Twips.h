// Window geometry is laid out in twips: 15 twips to a device-independent pixel
// at the reference font. A larger font scales the whole layout with it, so
// that every caption still fits its control.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRect>
#include <QSize>
#include <algorithm>
#include <cmath>

#include "Layout.h"

namespace corvane {

// The line height, in device-independent pixels, of the font the twip layout
// is exact for: a 9 pt sans-serif at 96 dots per inch.
inline constexpr double kReferenceFontHeight = 14.0;

class TwipScale {
 public:
  // The layout for a font: twips scaled by the font's height over the
  // reference height, never below the reference layout.
  explicit TwipScale(const QFont& font)
      : factor_(std::max(1.0, QFontMetricsF(font).height() / kReferenceFontHeight)) {}
  explicit TwipScale(double factor) : factor_(factor) {}

  double Factor() const { return factor_; }

  int Pixels(int twips) const {
    return static_cast<int>(std::lround(twips * factor_ / layout::kTwipsPerPixel));
  }

  QRect Rect(int left, int top, int width, int height) const {
    return QRect(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
  }

  QRect Rect(const layout::TwipRect& r) const { return Rect(r.left, r.top, r.width, r.height); }

  QSize Size(int width, int height) const { return QSize(Pixels(width), Pixels(height)); }

 private:
  double factor_;
};

}  // namespace corvane
