// The About window: layout, keys, the separator, and System Info through the
// platform layer and the message box.
#include <gtest/gtest.h>

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
#include "frmAbout.h"
#include "sysinfo/SysInfo.h"

namespace {

// A system without the tool's registry entries, or with the first one pointing at a program.
class FakePlatform : public corvane::SysInfoPlatform {
 public:
  FakePlatform(std::string toolPath, frmAbout::MessageBox showMessage,
               std::vector<std::string>* started)
      : toolPath_(std::move(toolPath)), showMessage_(std::move(showMessage)), started_(started) {}

  long RegOpenKeyExA(std::uint32_t, const std::string& subKey, std::uint32_t, std::uint32_t,
                     corvane::RegHandle* result) override {
    if (toolPath_.empty() || subKey != corvane::kMsinfoKey) {
      *result = 0;
      return corvane::kErrorFileNotFound;
    }
    *result = 7;
    return corvane::kErrorSuccess;
  }
  long RegQueryValueExA(corvane::RegHandle, const std::string&, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    if (toolPath_.size() + 1 > *size) {
      return corvane::kErrorMoreData;
    }
    std::copy(toolPath_.begin(), toolPath_.end(), data);
    data[toolPath_.size()] = 0;
    *size = static_cast<std::uint32_t>(toolPath_.size() + 1);
    *type = corvane::kRegSz;
    return corvane::kErrorSuccess;
  }
  long RegCloseKey(corvane::RegHandle) override { return corvane::kErrorSuccess; }
  std::string FindNormalFile(const std::string&) override { return std::string(); }
  void StartProgram(const std::string& path) override { started_->push_back(path); }
  void ShowMessage(const std::string& text, const std::string& title) override {
    showMessage_(text, title);
  }

 private:
  std::string toolPath_;
  frmAbout::MessageBox showMessage_;
  std::vector<std::string>* started_;
};

struct Message {
  std::string text, title;
};

class AboutWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    about_ = std::make_unique<frmAbout>();
    about_->SetMessageBox([this](const std::string& text, const std::string& title) {
      messages_.push_back({text, title});
    });
  }

  // System Info without a tool: the fake answers "no such key".
  void UseFakePlatform(std::string toolPath = std::string()) {
    about_->SetPlatformFactory([this, toolPath](frmAbout::MessageBox showMessage) {
      ++platformsMade_;
      return std::make_unique<FakePlatform>(toolPath, std::move(showMessage), &started_);
    });
  }

  std::unique_ptr<frmAbout> about_;
  std::vector<Message> messages_;
  std::vector<std::string> started_;
  int platformsMade_ = 0;
};

TEST_F(AboutWindowTest, ShowsItsControlsWhereTheyBelong) {
  struct Control {
    QWidget* widget;
    const char* name;
    QRect pixels;
  };
  frmAbout& a = *about_;
  const Control controls[] = {
      {a.picIcon, "picIcon", {16, 16, 36, 36}},
      {a.lblTitle, "lblTitle", {70, 16, 259, 32}},
      {a.lblVersion, "lblVersion", {70, 52, 259, 15}},
      {a.lblDescription, "lblDescription", {70, 75, 259, 78}},
      {a.lblDisclaimer, "lblDisclaimer", {17, 175, 258, 60}},
      {a.cmdOK, "cmdOK", {278, 175, 89, 23}},
      {a.cmdSysInfo, "cmdSysInfo", {278, 205, 89, 23}},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.widget->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.widget->geometry(), c.pixels);
  }
  EXPECT_EQ(a.size(), QSize(382, 237));
  EXPECT_EQ(a.minimumSize(), a.maximumSize());
  EXPECT_TRUE(a.isModal());
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(a.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));

  EXPECT_EQ(a.windowTitle(), QStringLiteral("About CorvaneCSVtoCRC"));
  EXPECT_EQ(a.lblTitle->text(), QStringLiteral("CorvaneCSVtoCRC"));
  EXPECT_EQ(a.lblVersion->text(), QStringLiteral("Version 1.0.1"));
  EXPECT_EQ(
      a.lblDescription->text(),
      QStringLiteral("A utility from Corvane - No Warranty applies or should be assumed etc."));
  const QString disclaimer = a.lblDisclaimer->text();
  EXPECT_TRUE(disclaimer.startsWith(
      QStringLiteral("One day I'll write some help. I sometimes bother to read mail at ")));
  EXPECT_TRUE(disclaimer.endsWith(QStringLiteral(" but don't hold your breath.")));
  EXPECT_TRUE(disclaimer.contains(QStringLiteral("@example.com")));
  EXPECT_TRUE(a.lblDisclaimer->wordWrap());
  EXPECT_EQ(a.cmdOK->text(), QStringLiteral("OK"));
  EXPECT_TRUE(a.cmdOK->isDefault());
  EXPECT_EQ(a.cmdSysInfo->text(), QStringLiteral("&System Info..."));
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
    EXPECT_EQ(about.Line1[0]->property("index").toInt(), 0);
    EXPECT_EQ(about.Line1[1]->property("index").toInt(), 1);
    const QRgb shadow = about.palette().color(QPalette::Dark).rgb();
    const QRgb light = about.palette().color(QPalette::Light).rgb();
    const QRgb window = background.rgb();
    const QImage image = about.grab().toImage();
    for (int x : {8, 190, 375}) {
      SCOPED_TRACE(x);
      EXPECT_EQ(image.pixel(x, 163), shadow);
      EXPECT_EQ(image.pixel(x, 164), light);
      EXPECT_EQ(image.pixel(x, 165), light);
      EXPECT_EQ(image.pixel(x, 166), window);
    }
    EXPECT_EQ(image.pixel(190, 162), window);
    EXPECT_EQ(image.pixel(2, 163), window);
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
    UseFakePlatform();
    about_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_.get()));
    EXPECT_EQ(about_->focusWidget(), about_->cmdOK);
    if (c.focusSysInfo) {
      about_->cmdSysInfo->setFocus();
    }
    QTest::keyClick(about_->focusWidget(), c.key);
    EXPECT_EQ(about_->isVisible(), !c.closes);
    EXPECT_EQ(platformsMade_, c.sysInfoRuns);
    EXPECT_EQ(messages_.size(), static_cast<size_t>(c.sysInfoRuns));
  }
}

TEST_F(AboutWindowTest, SystemInfoStartsTheToolOrSaysItIsUnavailable) {
  UseFakePlatform();
  about_->show();
  QTest::mouseClick(about_->cmdSysInfo, Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "System Information Is Unavailable At This Time");
  EXPECT_EQ(messages_[0].title, "CorvaneCSVtoCRC");
  EXPECT_TRUE(started_.empty());
  EXPECT_TRUE(about_->isVisible());

  messages_.clear();
  UseFakePlatform("C:\\Tools\\msinfo32.exe");
  QTest::mouseClick(about_->cmdSysInfo, Qt::LeftButton);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(started_, std::vector<std::string>{"C:\\Tools\\msinfo32.exe"});
  EXPECT_TRUE(about_->isVisible());
}

#ifndef _WIN32
TEST_F(AboutWindowTest, TheNativeLayerHereReportsTheToolUnavailableInOurMessageBox) {
  QTest::mouseClick(about_->cmdSysInfo, Qt::LeftButton);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "System Information Is Unavailable At This Time");
  EXPECT_EQ(messages_[0].title, "CorvaneCSVtoCRC");
}
#endif

TEST(AboutWindowMessageBox, HasOnlyOkNoIconAndTheGivenTitle) {
  frmAbout about;
  about.SetPlatformFactory([](frmAbout::MessageBox showMessage) {
    return std::make_unique<FakePlatform>(std::string(), std::move(showMessage), nullptr);
  });
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
