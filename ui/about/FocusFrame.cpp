#include "FocusFrame.h"

#include <QColor>
#include <QPainter>
#include <QPalette>

#include "model/Colours.h"

namespace corvane::qt {

namespace {

constexpr int kFrameWidth = 2;

Rgb ToRgb(const QColor& colour) { return Rgb{colour.red(), colour.green(), colour.blue()}; }

// The frame shows once the keyboard has moved the focus in this window, as
// the styles' own focus marks do: a click alone shows none.
bool ShowsFocus(const QWidget& widget) {
  return widget.hasFocus() && widget.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

// A frame kFrameWidth pixels wide just inside box, painted on surface over
// its colour under, in the colour the model chooses for the control's text
// colour and the window's.
void PaintFrame(QWidget& surface, const QRect& box, QPalette::ColorRole text,
                QPalette::ColorRole under) {
  const QPalette& palette = surface.palette();
  const Rgb rgb =
      FocusFrameColour(ToRgb(palette.color(QPalette::Highlight)), ToRgb(palette.color(text)),
                       {ToRgb(palette.color(under)), ToRgb(palette.color(QPalette::Window))});
  const QColor colour(rgb.red, rgb.green, rgb.blue);
  QPainter painter(&surface);
  painter.fillRect(QRect(box.left(), box.top(), box.width(), kFrameWidth), colour);
  painter.fillRect(QRect(box.left(), box.bottom() - kFrameWidth + 1, box.width(), kFrameWidth),
                   colour);
  painter.fillRect(QRect(box.left(), box.top(), kFrameWidth, box.height()), colour);
  painter.fillRect(QRect(box.right() - kFrameWidth + 1, box.top(), kFrameWidth, box.height()),
                   colour);
}

}  // namespace

void FramedButton::paintEvent(QPaintEvent* event) {
  QPushButton::paintEvent(event);
  // Inside the button's bevel, clear of its caption.
  if (ShowsFocus(*this)) {
    PaintFrame(*this, rect().adjusted(2, 2, -2, -2), QPalette::ButtonText, QPalette::Button);
  }
}

void FramedList::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  // Along the edge of the list's inside, over its rows.
  if (ShowsFocus(*this))
    PaintFrame(*viewport(), viewport()->rect(), QPalette::Text, QPalette::Base);
}

// The list itself repaints only its current row when the focus comes or goes.
void FramedList::focusInEvent(QFocusEvent* event) {
  QListWidget::focusInEvent(event);
  viewport()->update();
}

void FramedList::focusOutEvent(QFocusEvent* event) {
  QListWidget::focusOutEvent(event);
  viewport()->update();
}

}  // namespace corvane::qt
