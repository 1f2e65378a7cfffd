// Controls that show where the keyboard focus is with a frame of their own,
// in the colour the window model chooses (FocusFrameColour), so that it
// shows in every theme: buttons, and the file list.
#pragma once

#include <QListWidget>
#include <QPushButton>

class QFocusEvent;
class QPaintEvent;

namespace corvane::qt {

class FramedButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class FramedList : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace corvane::qt
