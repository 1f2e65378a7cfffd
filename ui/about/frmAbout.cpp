#include "frmAbout.h"

#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <utility>

#include "FocusFrame.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "model/AboutModel.h"
#include "model/Layout.h"
#include "sysinfo/SysInfo.h"

namespace corvane::qt {

namespace {

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
  const TwipScale twips(font());
  setFixedSize(twips.Size(layout::kAboutWidth, layout::kAboutHeight));
  setWindowIcon(ProgramIcon());

  // Created in reading order (screen readers go through the controls in
  // this order): the icon, title, version, description, the separator, the
  // disclaimer, then OK and System Info. Of these only the two buttons take
  // the focus, OK first.
  picIcon = new QLabel(this);
  picIcon->setObjectName(QStringLiteral("picIcon"));
  picIcon->setGeometry(twips.Rect(layout::kPicIcon));
  picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  picIcon->setLineWidth(2);
  picIcon->setAlignment(Qt::AlignCenter);
  picIcon->setPixmap(ProgramIconPixmap());

  lblTitle = MakeLabel(this, "lblTitle", QString(), twips.Rect(layout::kLblTitle));
  QFont titleFont = lblTitle->font();
  titleFont.setPixelSize(
      layout::ScaledPixels(layout::kTitlePixels, layout::kReferenceDpi, twips.Factor()));
  titleFont.setBold(true);
  lblTitle->setFont(titleFont);

  lblVersion = MakeLabel(this, "lblVersion", QString(), twips.Rect(layout::kLblVersion));

  lblDescription =
      MakeLabel(this, "lblDescription", QString(), twips.Rect(layout::kLblDescription));
  lblDescription->setWordWrap(true);

  // The etched separator across the window: a shadow line 1 pixel high with a
  // light line 2 pixels high just below it.
  const int right = twips.Pixels(layout::kLine1Right);
  const int shadowTop = twips.Pixels(layout::kLine1ShadowTop);
  const int lightTop = twips.Pixels(layout::kLine1LightTop);
  Line1[1] = MakeLine(
      this, 1, QPalette::Dark,
      QRect(QPoint(twips.Pixels(layout::kLine1ShadowLeft), shadowTop), QPoint(right, shadowTop)));
  Line1[0] = MakeLine(
      this, 0, QPalette::Light,
      QRect(QPoint(twips.Pixels(layout::kLine1LightLeft), lightTop), QPoint(right, lightTop + 1)));

  lblDisclaimer = MakeLabel(this, "lblDisclaimer", QString(), twips.Rect(layout::kLblDisclaimer));
  lblDisclaimer->setWordWrap(true);

  cmdOK = new FramedButton(QString::fromLatin1(about::kOK), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setGeometry(twips.Rect(layout::kCmdOK));
  cmdOK->setDefault(true);

  cmdSysInfo = new FramedButton(QString::fromLatin1(about::kSysInfo), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setGeometry(twips.Rect(layout::kCmdSysInfo));
  setTabOrder(cmdOK, cmdSysInfo);

  connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

  startSysInfo_ = [] { return StartSysInfo(); };
  showMessage_ = [this](const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(title), QString::fromUtf8(text),
                    QMessageBox::Ok, this);
    box.exec();
  };

  Form_Load();
  cmdOK->setFocus();
}

frmAbout::~frmAbout() = default;

void frmAbout::SetSysInfoLauncher(SysInfoLauncher startSysInfo) {
  startSysInfo_ = std::move(startSysInfo);
}

void frmAbout::SetMessageBox(SysInfoMessage showMessage) { showMessage_ = std::move(showMessage); }

void frmAbout::Form_Load() {
  const AboutTexts texts = AboutWindowTexts();
  setWindowTitle(QString::fromUtf8(texts.caption));
  lblVersion->setText(QString::fromUtf8(texts.version));
  lblTitle->setText(QString::fromUtf8(texts.title));
  lblDescription->setText(QString::fromUtf8(texts.description));
  lblDisclaimer->setText(QString::fromUtf8(texts.disclaimer));
  picIcon->setAccessibleName(QString::fromUtf8(texts.iconName));
}

void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() { RunSysInfo(startSysInfo_, showMessage_); }

}  // namespace corvane::qt
