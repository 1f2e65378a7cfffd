#include "frmAbout.h"

#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <cmath>

#include "ProgramIcon.h"
#include "Twips.h"
#include "engine/ProgramIdentity.h"
#include "sysinfo/SysInfo.h"

namespace {

constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(rect);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// One line of the etched separator: a strip filled with a colour of the
// palette, so that it follows the theme.
QWidget* MakeLine(QWidget* parent, int index, QPalette::ColorRole colour, const QRect& rect) {
  auto* line = new QWidget(parent);
  line->setObjectName(QStringLiteral("Line1"));
  line->setProperty("index", index);
  line->setBackgroundRole(colour);
  line->setAutoFillBackground(true);
  line->setGeometry(rect);
  return line;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setModal(true);
  const corvane::TwipScale twips(font());
  setFixedSize(twips.Size(5730, 3555));
  setWindowIcon(corvane::ProgramIcon());

  // Tab order follows creation order: OK first, then the icon's place, then System Info.
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  // OK and System Info share a column wide enough for "System Info..." in the
  // sans-serif fonts of today's desktops.
  cmdOK->setGeometry(twips.Rect(4170, 2625, 1335, 345));
  cmdOK->setDefault(true);

  picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(twips.Rect(240, 240, 540, 540));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setLineWidth(2);
  picIcon->setAlignment(Qt::AlignCenter);
  picIcon->setPixmap(corvane::ProgramIconPixmap());

  cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setGeometry(twips.Rect(4170, 3075, 1335, 345));

  lblDescription =
      MakeLabel(this, "lblDescription", QString::fromLatin1(corvane::about::kDescription),
                twips.Rect(1050, 1125, 3885, 1170));
  lblDescription->setWordWrap(true);

  lblDisclaimer = MakeLabel(this, "lblDisclaimer", QString::fromLatin1(corvane::about::kDisclaimer),
                            twips.Rect(255, 2625, 3870, 900));
  lblDisclaimer->setWordWrap(true);

  lblTitle = MakeLabel(this, "lblTitle", QString(), twips.Rect(1050, 240, 3885, 480));
  QFont titleFont = lblTitle->font();
  titleFont.setPixelSize(static_cast<int>(std::lround(20 * twips.Factor())));
  titleFont.setBold(true);
  lblTitle->setFont(titleFont);

  lblVersion = MakeLabel(this, "lblVersion", QString(), twips.Rect(1050, 780, 3885, 225));

  // The etched separator across the window: a shadow line 1 pixel high with a
  // light line 2 pixels high just below it.
  const int right = twips.Pixels(5654);
  Line1[1] = MakeLine(
      this, 1, QPalette::Dark,
      QRect(QPoint(twips.Pixels(90), twips.Pixels(2445)), QPoint(right, twips.Pixels(2445))));
  Line1[0] = MakeLine(
      this, 0, QPalette::Light,
      QRect(QPoint(twips.Pixels(105), twips.Pixels(2460)), QPoint(right, twips.Pixels(2460) + 1)));

  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

  startSysInfo_ = [] { return corvane::StartSysInfo(); };
  showMessage_ = [this](const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(title),
                    QString::fromLocal8Bit(text), QMessageBox::Ok, this);
    box.exec();
  };

  Form_Load();
  cmdOK->setFocus();
}

frmAbout::~frmAbout() = default;

void frmAbout::SetSysInfoLauncher(SysInfoLauncher startSysInfo) {
  startSysInfo_ = std::move(startSysInfo);
}

void frmAbout::SetMessageBox(MessageBox showMessage) { showMessage_ = std::move(showMessage); }

void frmAbout::Form_Load() {
  const QString title = QString::fromLatin1(corvane::kProgramTitle);
  setWindowTitle(QStringLiteral("About ") + title);
  lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                          .arg(corvane::kVersionMajor)
                          .arg(corvane::kVersionMinor)
                          .arg(corvane::kVersionRevision));
  lblTitle->setText(title);
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() {
  if (!startSysInfo_()) showMessage_(kSysInfoUnavailable, corvane::kProgramTitle);
}
