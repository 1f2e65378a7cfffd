// The modal About window: icon, title, version, description, disclaimer, and
// the System Info command.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "model/AboutModel.h"

class QLabel;
class QPushButton;

namespace corvane::qt {

class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(QWidget* parent = nullptr);
  ~frmAbout() override;

  // What System Info runs (corvane::StartSysInfo on this system by default).
  void SetSysInfoLauncher(SysInfoLauncher startSysInfo);
  // The message box System Info shows its messages in (a QMessageBox with
  // an OK button only and no icon by default).
  void SetMessageBox(SysInfoMessage showMessage);

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
  SysInfoMessage showMessage_;
};

}  // namespace corvane::qt
