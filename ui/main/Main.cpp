#include "Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QUrl>
#include <exception>
#include <string>
#include <vector>

#include "ProgramIcon.h"
#include "Twips.h"
#include "engine/Errors.h"
#include "engine/ProgramIdentity.h"
#include "frmAbout.h"

using corvane::TwipRect;
namespace texts = corvane::mainwindow;

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                        const QString& toolTip) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(rect);
  button->setToolTip(toolTip);
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                  const QString& toolTip) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(rect);
  label->setToolTip(toolTip);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// The drag carries files when it holds at least one local file.
bool OffersFileList(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) {
    return false;
  }
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> DroppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      paths.push_back(QFile::encodeName(QDir::toNativeSeparators(url.toLocalFile())).toStdString());
    }
  }
  return paths;
}

}  // namespace

Main::Main(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      CommonDialog1(this) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QString::fromLatin1(texts::kCaption));
  setWindowIcon(corvane::ProgramIcon());

  lstFiles = new QListWidget(this);
  lstFiles->setObjectName(QStringLiteral("lstFiles"));
  lstFiles->setGeometry(TwipRect(0, 0, 6255, 2595));
  lstFiles->setToolTip(QStringLiteral("Shows the list of files to be processed"));
  lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lstFiles->setAcceptDrops(true);
  lstFiles->viewport()->setAcceptDrops(true);
  lstFiles->viewport()->installEventFilter(this);

  cmdOpenCSV =
      MakeButton(this, "cmdOpenCSV", QStringLiteral("Open CSV"), TwipRect(4440, 2760, 975, 375),
                 QStringLiteral("Marks a CSV file for processing"));
  cmdGenerate = MakeButton(
      this, "cmdGenerate", QStringLiteral("Generate"), TwipRect(4440, 3240, 975, 375),
      QStringLiteral("Processes the listed files and converts them to Vellum format CRC files"));
  cmdAbout = MakeButton(this, "cmdAbout", QStringLiteral("About"), TwipRect(5520, 2760, 735, 375),
                        QStringLiteral("Shows a basic About window"));
  cmdExit = MakeButton(this, "cmdExit", QStringLiteral("E&xit"), TwipRect(5520, 3240, 735, 375),
                       QStringLiteral("Ends the application"));

  lblFeedback = MakeLabel(this, "lblFeedback", QString::fromLatin1(texts::kStartHint),
                          TwipRect(120, 2640, 4095, 255), QStringLiteral("Feedback information"));
  QPalette feedbackPalette = lblFeedback->palette();
  feedbackPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  lblFeedback->setPalette(feedbackPalette);

  lblStatus = MakeLabel(this, "lblStatus", QString::fromLatin1(texts::kStatusStart),
                        TwipRect(120, 3000, 4095, 615), QStringLiteral("Status information"));
  lblStatus->setWordWrap(true);

  // Keyboard order: Open CSV, Generate, About, Exit, then the list.
  setTabOrder(cmdOpenCSV, cmdGenerate);
  setTabOrder(cmdGenerate, cmdAbout);
  setTabOrder(cmdAbout, cmdExit);
  setTabOrder(cmdExit, lstFiles);

  connect(cmdOpenCSV, &QPushButton::clicked, this, &Main::cmdOpenCSV_Click);
  connect(cmdGenerate, &QPushButton::clicked, this, &Main::cmdGenerate_Click);
  connect(cmdAbout, &QPushButton::clicked, this, &Main::cmdAbout_Click);
  connect(cmdExit, &QPushButton::clicked, this, &Main::cmdExit_Click);

  showError_ = [this](const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, this);
    box.exec();
  };

  Form_Load();
}

Main::~Main() {
  lstFiles->viewport()->removeEventFilter(this);
  if (busy_) {
    QApplication::restoreOverrideCursor();
  }
}

void Main::SetErrorBox(ErrorBox showError) { showError_ = std::move(showError); }

void Main::Form_Load() {
  setFixedSize(corvane::TwipSize(6315, 3660));
  CommonDialog1.Flags = CommonDialog::kFlagExplorer | CommonDialog::kFlagFileMustExist |
                        CommonDialog::kFlagHideReadOnly;
  cmdOpenCSV->setFocus();
}

void Main::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!centred_) {
    centred_ = true;
    if (QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
    cmdOpenCSV->setFocus();
  }
}

void Main::cmdOpenCSV_Click() {
  CommonDialog1.FileName = QString();
  CommonDialog1.ShowOpen();
  if (CommonDialog1.FileName.isEmpty()) {
    return;
  }
  const std::string path = QFile::encodeName(CommonDialog1.FileName).toStdString();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const corvane::AddResult result = files_.Add(path);
  if (result == corvane::AddResult::kAdded) {
    ShowList();
  }
  QApplication::restoreOverrideCursor();
  SetFeedback(result == corvane::AddResult::kListFull ? texts::kListFullHint : texts::kNextHint);
}

void Main::cmdGenerate_Click() {
  // The event point of a running batch lets this click through: it starts nothing.
  if (batchRunning_) {
    return;
  }
  batchRunning_ = true;
  try {
    corvane::BatchConverter().Run(files_, *this);
    batchRunning_ = false;
  } catch (const corvane::BatchAbandoned&) {
    batchRunning_ = false;
    SetBusy(false);
    EndProgram();
  } catch (const corvane::ConversionError& error) {
    // A failed file ends the batch but not the program: what was finished stays.
    // The status line names the file that failed and why, also when the input
    // could not even be opened (before its "Converting file:" line).
    batchRunning_ = false;
    SetBusy(false);
    const QString description = QFile::decodeName(QByteArray(error.Description()));
    lblStatus->setText(description);
    showError_(QString::fromLatin1(corvane::kProgramTitle),
               QStringLiteral("Error %1: %2").arg(error.Code()).arg(description));
  } catch (const std::exception& error) {
    batchRunning_ = false;
    SetBusy(false);
    showError_(QString::fromLatin1(corvane::kProgramTitle),
               QStringLiteral("Error: %1").arg(QString::fromLocal8Bit(error.what())));
  }
  // Exit may have been asked for in the last moment of the batch, after the event point.
  if (endRequested_) {
    EndProgram();
  }
}

void Main::cmdAbout_Click() {
  frmAbout about(this);
  about.exec();
}

void Main::cmdExit_Click() {
  if (batchRunning_) {
    // The batch notices at its event point and unwinds; the program ends then.
    endRequested_ = true;
    return;
  }
  EndProgram();
}

void Main::EndProgram() {
  endRequested_ = false;
  close();
  QCoreApplication::quit();
}

void Main::closeEvent(QCloseEvent* event) {
  if (batchRunning_) {
    endRequested_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void Main::lstFiles_OLEDragOver(QDragMoveEvent* event) {
  const bool offers = OffersFileList(event->mimeData());
  const int allowed = (event->possibleActions() & Qt::CopyAction) != 0 ? corvane::kDropEffectCopy
                                                                       : corvane::kDropEffectNone;
  if (corvane::DragOverEffect(offers, allowed) == corvane::kDropEffectCopy) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
  }
}

void Main::lstFiles_OLEDragDrop(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  const bool offers = OffersFileList(data);
  const std::vector<std::string> paths = offers ? DroppedPaths(data) : std::vector<std::string>();
  const corvane::DropOutcome outcome = corvane::ApplyDrop(files_, offers, paths);
  ShowList();
  if (outcome.listFull > 0) {
    SetFeedback(texts::kListFullHint);
  }
  if (offers) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lstFiles->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
        lstFiles_OLEDragOver(static_cast<QDragMoveEvent*>(event));
        return true;
      case QEvent::DragLeave:
        return true;
      case QEvent::Drop:
        lstFiles_OLEDragDrop(static_cast<QDropEvent*>(event));
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Main::ClearFeedback() { lblFeedback->setText(QString()); }

void Main::SetBusy(bool busy) {
  if (busy == busy_) {
    return;
  }
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void Main::SetStatus(const std::string& text) {
  lblStatus->setText(QFile::decodeName(QByteArray::fromStdString(text)));
}

void Main::PumpEvents() {
  QCoreApplication::processEvents();
  if (endRequested_) {
    throw corvane::BatchAbandoned{};
  }
}

void Main::ShowList() {
  QStringList entries;
  const int count = files_.Count();
  entries.reserve(count);
  for (int i = 0; i < count; ++i) {
    entries << QFile::decodeName(QByteArray::fromStdString(files_.At(i)));
  }
  lstFiles->setUpdatesEnabled(false);
  lstFiles->clear();
  lstFiles->addItems(entries);
  lstFiles->setUpdatesEnabled(true);
}

void Main::SetFeedback(const char* text) {
  lblFeedback->setText(QString::fromLatin1(text));
  QPalette palette = lblFeedback->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  lblFeedback->setPalette(palette);
}
