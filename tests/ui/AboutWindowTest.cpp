// The Qt About window: layout, keys, the separator, and System Info with its message box
// (what System Info does is tested on the model).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "about/frmAbout.h"
#include "model/AboutModel.h"

namespace {

using corvane::qt::frmAbout;

// About with a stand-in for System Info that counts its runs and starts the
// tool, so that no message box comes.
class AboutWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    launches_ = 0;
    about_ = std::make_unique<frmAbout>();
    about_->SetSysInfoLauncher([this] { return ++launches_, true; });
    about_->SetMessageBox(
        [](const std::string& text, const std::string&) { ADD_FAILURE() << text; });
  }

  std::unique_ptr<frmAbout> about_;
  int launches_ = 0;
};

// The texts are the model's; the icon's is its name for screen readers.
TEST_F(AboutWindowTest, ShowsItsControlsWhereTheyBelong) {
  struct Control {
    QWidget* widget;
    const char* name;
    QRect pixels;
    std::string text;
  };
  frmAbout& a = *about_;
  const corvane::AboutTexts texts = corvane::AboutWindowTexts();
  const Control controls[] = {
      {a.picIcon, "picIcon", {16, 16, 36, 36}, texts.iconName},
      {a.lblTitle, "lblTitle", {70, 16, 259, 32}, texts.title},
      {a.lblVersion, "lblVersion", {70, 52, 259, 15}, texts.version},
      {a.lblDescription, "lblDescription", {70, 75, 259, 78}, texts.description},
      {a.lblDisclaimer, "lblDisclaimer", {17, 171, 258, 60}, texts.disclaimer},
      {a.cmdOK, "cmdOK", {277, 175, 92, 23}, "OK"},
      {a.cmdSysInfo, "cmdSysInfo", {277, 205, 92, 23}, "&System Info..."},
  };
  // Screen readers go through the controls in this order, top to bottom;
  // the keyboard goes from OK to System Info.
  std::vector<QString> read;
  const QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&a);
  for (int i = 0; i < window->childCount(); ++i) {
    const QString name = window->child(i)->object()->objectName();
    if (name != QStringLiteral("Line1")) read.push_back(name);
  }
  std::vector<QString> expected;
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.widget->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.widget->geometry(), c.pixels);
    const QString shown =
        c.widget == a.picIcon ? a.picIcon->accessibleName() : c.widget->property("text").toString();
    EXPECT_EQ(shown.toStdString(), c.text);
    expected.push_back(c.widget->objectName());
  }
  EXPECT_EQ(read, expected);
  EXPECT_EQ(a.cmdOK->nextInFocusChain(), a.cmdSysInfo);
  EXPECT_EQ(a.size(), QSize(382, 237));
  EXPECT_EQ(a.minimumSize(), a.maximumSize());
  EXPECT_TRUE(a.isModal());
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));

  EXPECT_EQ(a.windowTitle().toStdString(), texts.caption);
  EXPECT_TRUE(a.lblDisclaimer->text().contains(QStringLiteral("@example.com")));
  EXPECT_TRUE(a.lblDisclaimer->wordWrap());
  EXPECT_TRUE(a.cmdOK->isDefault());
  EXPECT_EQ(a.picIcon->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(a.picIcon->frameShadow(), QFrame::Sunken);
  EXPECT_FALSE(a.windowIcon().isNull());
}

TEST(AboutWindowLook, TextsAndTheEtchedSeparatorFollowTheTheme) {
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    uitest::AppLook look(1.0, dark ? uitest::DarkPalette() : QApplication::palette());
    frmAbout about;
    const QColor background = about.palette().color(QPalette::Window);
    for (QLabel* label :
         {about.lblTitle, about.lblVersion, about.lblDescription, about.lblDisclaimer}) {
      SCOPED_TRACE(label->objectName().toStdString());
      EXPECT_GE(uitest::Contrast(label->palette().color(label->foregroundRole()), background), 4.5);
    }

    // Line1(1), the shadow, 1 pixel high; Line1(0), the light, 2 pixels just below it.
    const QList<QWidget*> lines = about.findChildren<QWidget*>(QStringLiteral("Line1"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(about.Line1[1]->geometry(), QRect(6, 163, 372, 1));
    EXPECT_EQ(about.Line1[0]->geometry(), QRect(7, 164, 371, 2));
    // Each line shows its palette colour (a grab's pixels are device pixels).
    const auto shown = [](QWidget* line) {
      const QImage image = line->grab().toImage();
      return image.pixel(image.width() / 2, image.height() / 2);
    };
    const QRgb shadow = about.palette().color(QPalette::Dark).rgb();
    const QRgb light = about.palette().color(QPalette::Light).rgb();
    EXPECT_EQ(shown(about.Line1[1]), shadow);
    EXPECT_EQ(shown(about.Line1[0]), light);
    EXPECT_GE(uitest::Contrast(QColor(shadow), QColor(light)), 1.5) << "the etching shows";
  }
}

TEST_F(AboutWindowTest, OkHasTheFocusAndKeysCloseItUnlessSystemInfoIsFocused) {
  struct Case {
    const char* what;
    bool focusSysInfo;
    Qt::Key key;
    bool closes;
    int sysInfoRuns;
  };
  const Case cases[] = {
      {"Escape", false, Qt::Key_Escape, true, 0},
      {"Enter on OK", false, Qt::Key_Return, true, 0},
      {"keypad Enter on OK", false, Qt::Key_Enter, true, 0},
      {"Escape on System Info", true, Qt::Key_Escape, true, 0},
      {"Enter on System Info", true, Qt::Key_Return, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    about_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_.get()));
    EXPECT_EQ(about_->focusWidget(), about_->cmdOK);
    if (c.focusSysInfo) {
      about_->cmdSysInfo->setFocus();
    }
    QTest::keyClick(about_->focusWidget(), c.key);
    EXPECT_EQ(about_->isVisible(), !c.closes);
    EXPECT_EQ(launches_, c.sysInfoRuns);
  }
}

TEST(AboutWindowMessageBox, HasOnlyOkNoIconAndTheGivenTitle) {
  frmAbout about;
  about.SetSysInfoLauncher([] { return false; });
  about.show();
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::Critical;
  QMessageBox::StandardButtons buttons;
  uitest::OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    box->accept();
  });
  QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
  EXPECT_EQ(title, QStringLiteral("CorvaneCSVtoCRC"));
  EXPECT_EQ(text, QStringLiteral("System Information Is Unavailable At This Time"));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_TRUE(about.isVisible());
}

}  // namespace
