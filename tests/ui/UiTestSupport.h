// Helpers shared by the window tests.
#pragma once

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace uitest {

// The path as the windows show it (native separators).
inline QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Drags data onto the list as the window system would: entering is answered
// by the drag-over rule, and only an accepted drag is dropped.
inline bool Drop(QListWidget& list, const QMimeData& data) {
  QWidget* target = list.viewport();
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction) {
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
    return false;
  }
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return true;
}

inline bool DropFiles(QListWidget& list, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  return Drop(list, data);
}

// Runs action on the next modal window (or popup menu) that opens, from a timer,
// so that no modal window waits for input. Gives up after about five seconds.
inline void OnNextModal(std::function<void(QWidget*)> action, bool popup = false) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, action, popup]() {
    QWidget* modal = popup ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

// Contrast ratio of two colours (the web accessibility guidelines' formula);
// 4.5 is the least that reads well.
inline double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A dark desktop theme: light text on a dark grey.
inline QPalette DarkPalette() { return QPalette(QColor(0x35, 0x35, 0x35)); }

// A high-contrast theme: white text on black, a cyan highlight.
inline QPalette HighContrastPalette() {
  QPalette palette{QColor(Qt::black)};
  for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase,
                                         QPalette::Button, QPalette::ToolTipBase}) {
    palette.setColor(role, Qt::black);
  }
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText,
        QPalette::BrightText, QPalette::Light}) {
    palette.setColor(role, Qt::white);
  }
  palette.setColor(QPalette::Highlight, QColor(0x1a, 0xeb, 0xff));
  palette.setColor(QPalette::HighlightedText, Qt::black);
  return palette;
}

// Where the keyboard focus shows no frame on control: the sides ("left",
// "right", "top", "bottom") without two pixels, within six of that edge on
// the control's middle row or column, whose colours contrast by 3:1 (what a
// focus mark needs) between the control without and with the focus. The
// focus comes to control from before with Tab, as a person moves it.
inline std::vector<std::string> SidesWithoutFocusFrame(QWidget* control, QWidget* before) {
  before->setFocus(Qt::OtherFocusReason);
  if (!QTest::qWaitFor([&] { return before->hasFocus(); })) return {"(no focus before it)"};
  const QImage without = control->grab().toImage();
  QTest::keyClick(before, Qt::Key_Tab);
  if (!QTest::qWaitFor([&] { return control->hasFocus(); })) return {"(Tab did not reach it)"};
  const QImage with = control->grab().toImage();
  if (with.size() != without.size()) return {"(its size changed)"};
  const auto contrasts = [&](int x, int y) {
    return Contrast(QColor(with.pixel(x, y)), QColor(without.pixel(x, y))) >= 3.0;
  };
  const int width = with.width(), height = with.height();
  const int row = height / 2, column = width / 2;
  struct Side {
    const char* name;
    std::function<bool(int)> at;  // the pixel at depth d from this edge contrasts
  };
  const Side sides[] = {
      {"left", [&](int d) { return contrasts(d, row); }},
      {"right", [&](int d) { return contrasts(width - 1 - d, row); }},
      {"top", [&](int d) { return contrasts(column, d); }},
      {"bottom", [&](int d) { return contrasts(column, height - 1 - d); }},
  };
  std::vector<std::string> missing;
  for (const Side& side : sides) {
    int shown = 0;
    for (int d = 0; d < 6; ++d) shown += side.at(d) ? 1 : 0;
    if (shown < 2) missing.push_back(side.name);
  }
  return missing;
}

// Sets the application's font, palette and style (by name, when given) for
// its lifetime, then puts back what was there.
class AppLook {
 public:
  AppLook(double fontScale, const QPalette& palette, const char* style = nullptr)
      : font_(QApplication::font()),
        palette_(QApplication::palette()),
        style_(QApplication::style()->name()) {
    if (style != nullptr) {
      QStyle* found = QStyleFactory::create(QString::fromLatin1(style));
      styleFound_ = found != nullptr;
      if (found != nullptr) QApplication::setStyle(found);
    }
    QFont scaled = font_;
    scaled.setPointSizeF(font_.pointSizeF() * fontScale);
    QApplication::setFont(scaled);
    QApplication::setPalette(palette);
  }
  ~AppLook() {
    if (QApplication::style()->name() != style_) {
      QApplication::setStyle(QStyleFactory::create(style_));
    }
    QApplication::setFont(font_);
    QApplication::setPalette(palette_);
  }
  bool StyleFound() const { return styleFound_; }
  AppLook(const AppLook&) = delete;
  AppLook& operator=(const AppLook&) = delete;

 private:
  QFont font_;
  QPalette palette_;
  QString style_;
  bool styleFound_ = false;
};

// The buttons and labels of a window whose text does not fit inside them.
inline std::vector<std::string> ClippedTexts(const QWidget& window) {
  std::vector<std::string> clipped;
  for (const QPushButton* button : window.findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect inside =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QSize needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    if (needed.width() > inside.width() || needed.height() > inside.height()) {
      clipped.push_back(button->objectName().toStdString());
    }
  }
  for (const QLabel* label : window.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label->text().isEmpty()) {
      continue;
    }
    const QRect inside = label->contentsRect();
    const QRect needed =
        label->fontMetrics().boundingRect(QRect(0, 0, inside.width(), 1 << 20),
                                          label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
    if (needed.width() > inside.width() || needed.height() > inside.height()) {
      clipped.push_back(label->objectName().toStdString());
    }
  }
  return clipped;
}

}  // namespace uitest
