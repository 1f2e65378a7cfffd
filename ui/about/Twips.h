// The layout's twips as Qt pixels: device-independent pixels, scaled by the
// font's line height (the layout's one rule, model/Layout.h).
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRect>
#include <QSize>

#include "model/Layout.h"

namespace corvane::qt {

class TwipScale {
 public:
  explicit TwipScale(const QFont& font)
      : factor_(layout::FontFactor(QFontMetricsF(font).height(), layout::FontHeight::kLine)) {}

  double Factor() const { return factor_; }

  int Pixels(int twips) const { return layout::Pixels(twips, layout::kReferenceDpi, factor_); }

  QRect Rect(const layout::TwipRect& r) const {
    return QRect(Pixels(r.left), Pixels(r.top), Pixels(r.width), Pixels(r.height));
  }

  QSize Size(int width, int height) const { return QSize(Pixels(width), Pixels(height)); }

 private:
  double factor_;
};

}  // namespace corvane::qt
