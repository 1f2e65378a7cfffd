// The modal About window: icon, title, version, description, disclaimer, and
// the System Info command.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

// Fixed texts of the window.
namespace corvane::about {
inline constexpr const char* kDescription =
    "A utility from Corvane - No Warranty applies or should be assumed etc.";
inline constexpr const char* kDisclaimer =
    "One day I'll write some help. I sometimes bother to read mail at csv2crc@example.com"
    " but don't hold your breath.";
}  // namespace corvane::about

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  // A message box with an OK button only and no icon.
  using MessageBox = std::function<void(const std::string& text, const std::string& title)>;
  // Starts the system-information tool; false when it could not.
  using SysInfoLauncher = std::function<bool()>;

  explicit frmAbout(QWidget* parent = nullptr);
  ~frmAbout() override;

  // What System Info runs (corvane::StartSysInfo on this system by default).
  void SetSysInfoLauncher(SysInfoLauncher startSysInfo);
  // The message box System Info shows its messages in (a QMessageBox by default).
  void SetMessageBox(MessageBox showMessage);

  QLabel* picIcon;
  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblDescription;
  QLabel* lblDisclaimer;
  QPushButton* cmdOK;
  QPushButton* cmdSysInfo;
  // The etched separator: 0 the light line, 1 the shadow line above it.
  QWidget* Line1[2];

  void Form_Load();
  void cmdOK_Click();
  void cmdSysInfo_Click();

 private:
  SysInfoLauncher startSysInfo_;
  MessageBox showMessage_;
};
