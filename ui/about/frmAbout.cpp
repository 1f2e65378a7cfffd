#include "frmAbout.h"

#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QString>

#include "ProgramIcon.h"
#include "Twips.h"
#include "engine/ProgramIdentity.h"
#include "sysinfo/SysInfo.h"

using corvane::TwipRect;

namespace {

constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(rect);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

void MakeTextBlack(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
  label->setPalette(palette);
}

}  // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("frmAbout"));
  setModal(true);
  setFixedSize(corvane::TwipSize(5730, 3555));
  setWindowIcon(corvane::ProgramIcon());

  // Tab order follows creation order: OK first, then the icon's place, then System Info.
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setGeometry(TwipRect(4245, 2625, 1260, 345));
  cmdOK->setDefault(true);

  picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(TwipRect(240, 240, 540, 540));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setLineWidth(2);
  picIcon->setAlignment(Qt::AlignCenter);
  picIcon->setPixmap(corvane::ProgramIconPixmap());

  cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setGeometry(TwipRect(4260, 3075, 1245, 345));

  lblDescription =
      MakeLabel(this, "lblDescription", QString::fromLatin1(corvane::about::kDescription),
                TwipRect(1050, 1125, 3885, 1170));
  lblDescription->setWordWrap(true);
  MakeTextBlack(lblDescription);

  lblDisclaimer = MakeLabel(this, "lblDisclaimer", QString::fromLatin1(corvane::about::kDisclaimer),
                            TwipRect(255, 2625, 3870, 825));
  lblDisclaimer->setWordWrap(true);
  MakeTextBlack(lblDisclaimer);

  lblTitle = MakeLabel(this, "lblTitle", QString(), TwipRect(1050, 240, 3885, 480));
  QFont titleFont = lblTitle->font();
  titleFont.setPixelSize(20);
  titleFont.setBold(true);
  lblTitle->setFont(titleFont);

  lblVersion = MakeLabel(this, "lblVersion", QString(), TwipRect(1050, 780, 3885, 225));

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

void frmAbout::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  // The etched separator: a grey line 1 px high with a white line 2 px high just below it.
  QPainter painter(this);
  const auto px = corvane::TwipsToPixels;
  painter.fillRect(QRect(QPoint(px(90), px(2445)), QPoint(px(5654), px(2445))),
                   QColor(0x80, 0x80, 0x80));
  painter.fillRect(QRect(QPoint(px(105), px(2460)), QPoint(px(5654), px(2460) + 1)),
                   QColor(0xFF, 0xFF, 0xFF));
}
