#include "Main.h"

#include <QAction>
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
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "ProgramIcon.h"
#include "Twips.h"
#include "engine/Errors.h"
#include "engine/ProgramIdentity.h"
#include "engine/SignalCleanup.h"
#include "frmAbout.h"

namespace texts = corvane::mainwindow;

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, const QRect& rect,
                        const QString& toolTip) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(rect);
  button->setToolTip(toolTip);
  // Enter on a focused button presses it, as Space does.
  button->setAutoDefault(true);
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

// Contrast ratio of two colours as the web accessibility guidelines define it.
double RelativeLuminance(const QColor& colour) {
  const auto linear = [](double c) {
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
         0.0722 * linear(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The feedback line's blue: pure blue where it reads well on the window's
// background, else a lighter blue that does (a dark theme).
QColor FeedbackColour(const QColor& background) {
  constexpr double kReadable = 4.5;
  const QColor blue(0, 0, 255);
  QColor colour = blue;
  for (int step = 1; step <= 20 && Contrast(colour, background) < kReadable; ++step) {
    const int mixed = 255 * step / 20;
    colour = QColor(mixed, mixed, 255);
  }
  return colour;
}

// A word (a path) cut to width: its end from the last folder separator on,
// the file name, stays whole where it can, and its middle gives way.
QString ElidePath(const QString& word, const QFontMetrics& metrics, int width) {
  const qsizetype separator =
      std::max(word.lastIndexOf(QLatin1Char('/')), word.lastIndexOf(QLatin1Char('\\')));
  const QString ellipsis(QChar(0x2026));
  if (separator > 0) {
    const QString tail = word.mid(separator);
    for (qsizetype head = separator - 1; head > 0; --head) {
      QString candidate = word.left(head) + ellipsis + tail;
      if (metrics.horizontalAdvance(candidate) <= width) {
        return candidate;
      }
    }
  }
  return metrics.elidedText(word, Qt::ElideMiddle, width);
}

// The status text as it fits the label: a word too wide for a line (a path)
// loses part of its middle, and more until the whole text fits the label.
QString FitStatus(const QString& text, const QLabel& label) {
  const QFontMetrics metrics(label.font());
  const QRect box = label.contentsRect();
  const auto fits = [&](const QString& candidate) {
    const QRect needed =
        metrics.boundingRect(QRect(0, 0, box.width(), 1 << 20), Qt::TextWordWrap, candidate);
    return needed.width() <= box.width() && needed.height() <= box.height();
  };
  if (fits(text)) {
    return text;
  }
  const QStringList words = text.split(QLatin1Char(' '));
  for (int width = box.width(); width > 0; width -= std::max(1, box.width() / 8)) {
    QStringList cut = words;
    for (QString& word : cut) {
      if (metrics.horizontalAdvance(word) > width) {
        word = ElidePath(word, metrics, width);
      }
    }
    QString candidate = cut.join(QLatin1Char(' '));
    if (fits(candidate)) {
      return candidate;
    }
  }
  return metrics.elidedText(text, Qt::ElideMiddle, box.width());
}

// Ends the process at once, with no further event handling; the batch's thread
// stays where it is (a read that does not return). Its unfinished output goes
// first, so that an older output of that name stays whole.
void EndProcessNow() {
  corvane::RemoveUnfinishedOutputs();
  std::_Exit(EXIT_SUCCESS);
}

}  // namespace

Main::Main(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      CommonDialog1(this) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QString::fromLatin1(texts::kCaption));
  setWindowIcon(corvane::ProgramIcon());
  const corvane::TwipScale twips(font());

  lstFiles = new QListWidget(this);
  lstFiles->setObjectName(QStringLiteral("lstFiles"));
  lstFiles->setGeometry(twips.Rect(0, 0, 6255, 2595));
  lstFiles->setToolTip(QStringLiteral("Shows the list of files to be processed"));
  lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lstFiles->setAcceptDrops(true);
  lstFiles->viewport()->setAcceptDrops(true);
  lstFiles->viewport()->installEventFilter(this);

  mnuRemove = new QAction(QStringLiteral("&Remove"), lstFiles);
  mnuRemove->setObjectName(QStringLiteral("mnuRemove"));
  mnuRemove->setShortcut(QKeySequence::Delete);
  mnuRemove->setShortcutContext(Qt::WidgetShortcut);
  mnuClearList = new QAction(QStringLiteral("&Clear List"), lstFiles);
  mnuClearList->setObjectName(QStringLiteral("mnuClearList"));
  lstFiles->addAction(mnuRemove);
  lstFiles->addAction(mnuClearList);
  lstFiles->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(mnuRemove, &QAction::triggered, this, &Main::mnuRemove_Click);
  connect(mnuClearList, &QAction::triggered, this, &Main::mnuClearList_Click);
  connect(lstFiles, &QListWidget::currentRowChanged, this, &Main::UpdateListActions);

  cmdOpenCSV =
      MakeButton(this, "cmdOpenCSV", QStringLiteral("Open CSV"), twips.Rect(4440, 2760, 975, 375),
                 QStringLiteral("Marks a CSV file for processing"));
  cmdGenerate = MakeButton(
      this, "cmdGenerate", QStringLiteral("Generate"), twips.Rect(4440, 3240, 975, 375),
      QStringLiteral("Processes the listed files and converts them to Vellum format CRC files"));
  cmdAbout = MakeButton(this, "cmdAbout", QStringLiteral("About"), twips.Rect(5520, 2760, 735, 375),
                        QStringLiteral("Shows a basic About window"));
  cmdExit = MakeButton(this, "cmdExit", QStringLiteral("E&xit"), twips.Rect(5520, 3240, 735, 375),
                       QStringLiteral("Ends the application"));

  lblFeedback = MakeLabel(this, "lblFeedback", QString(), twips.Rect(120, 2640, 4095, 255),
                          QStringLiteral("Feedback information"));
  SetFeedback(QString::fromLatin1(texts::kStartHint));

  lblStatus = MakeLabel(this, "lblStatus", QString(), twips.Rect(120, 3000, 4095, 615),
                        QString::fromLatin1(texts::kStatusTip));
  lblStatus->setWordWrap(true);
  ShowStatus(QString::fromLatin1(texts::kStatusStart));

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
  endProcess_ = EndProcessNow;

  UpdateListActions();
  Form_Load();
}

Main::~Main() {
  lstFiles->viewport()->removeEventFilter(this);
  batch_.reset();
}

void Main::SetErrorBox(ErrorBox showError) { showError_ = std::move(showError); }

void Main::SetProcessEnd(ProcessEnd endProcess) { endProcess_ = std::move(endProcess); }

void Main::Form_Load() {
  setFixedSize(corvane::TwipScale(font()).Size(6315, 3660));
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
  SetFeedback(QString::fromLatin1(result == corvane::AddResult::kListFull ? texts::kListFullHint
                                                                          : texts::kNextHint));
}

void Main::cmdGenerate_Click() {
  // A batch is running: this click starts nothing.
  if (batch_) {
    return;
  }
  // The batch gets its own copy of the list: entries added or removed from now
  // on wait for the next Generate.
  batch_ = std::make_unique<BatchThread>(
      this, *this, files_, [this](const BatchThread::Outcome& outcome) { BatchEnded(outcome); });
}

void Main::BatchEnded(const BatchThread::Outcome& outcome) {
  batch_.reset();
  // The batch put the pointer back itself; its progress goes from the line.
  lblFeedback->setText(QString());
  if (endRequested_) {
    EndProgram();
    return;
  }
  if (outcome.kind == BatchThread::Outcome::Kind::kFailed) {
    // A failed file ends the batch but not the program: what was finished
    // stays. The status line names the file that failed and why.
    const QString description = QFile::decodeName(QByteArray::fromStdString(outcome.description));
    ShowStatus(description);
    const QString text = outcome.code != 0
                             ? QStringLiteral("Error %1: %2").arg(outcome.code).arg(description)
                             : QStringLiteral("Error: %1").arg(description);
    showError_(QString::fromLatin1(corvane::kProgramTitle), text);
  }
}

void Main::cmdAbout_Click() {
  frmAbout about(this);
  about.exec();
}

void Main::cmdExit_Click() {
  if (batch_) {
    EndDuringBatch();
    return;
  }
  EndProgram();
}

// The window goes at once; the batch stops between two blocks, removes its
// unfinished output and the program ends when it has. A batch that does not
// stop in time (a read from a pipe that waits for its writer) is not waited
// for: the process ends without it.
void Main::EndDuringBatch() {
  if (endRequested_) {
    return;
  }
  endRequested_ = true;
  batch_->RequestStop();
  hide();
  QTimer::singleShot(texts::kEndGraceMilliseconds, this, [this]() {
    if (batch_) {
      endProcess_();
    }
  });
}

void Main::EndProgram() {
  endRequested_ = false;
  close();
  QCoreApplication::quit();
}

void Main::closeEvent(QCloseEvent* event) {
  if (batch_) {
    event->ignore();
    EndDuringBatch();
    return;
  }
  QWidget::closeEvent(event);
}

void Main::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    SetFeedback(lblFeedback->text());
  }
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
    SetFeedback(QString::fromLatin1(texts::kListFullHint));
  }
  if (offers) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void Main::mnuRemove_Click() {
  const int row = lstFiles->currentRow();
  if (row < 0 || row >= files_.Count() || lstFiles->selectedItems().isEmpty()) {
    return;
  }
  files_.Remove(row);
  ShowList();
  SelectRow(std::min(row, files_.Count() - 1));
}

void Main::mnuClearList_Click() {
  files_.Clear();
  ShowList();
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

// The busy pointer says the program works; the window still answers.
void Main::SetBusy(bool busy) {
  if (busy) {
    setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
  }
}

void Main::SetStatus(const std::string& text) {
  ShowStatus(QFile::decodeName(QByteArray::fromStdString(text)));
}

void Main::SetProgress(int fileNumber, int fileCount, int percent) {
  QString text = QStringLiteral("File %1 of %2").arg(fileNumber).arg(fileCount);
  if (percent >= 0) {
    text += QStringLiteral(" - %1%").arg(percent);
  }
  SetFeedback(text);
}

void Main::PumpEvents() {}

void Main::ShowList() {
  lstFiles->setUpdatesEnabled(false);
  lstFiles->clear();
  const int count = files_.Count();
  for (int i = 0; i < count; ++i) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(files_.At(i)));
    auto* item = new QListWidgetItem(path, lstFiles);
    item->setToolTip(path);
  }
  lstFiles->setUpdatesEnabled(true);
  UpdateListActions();
}

void Main::SelectRow(int row) {
  if (row >= 0) {
    lstFiles->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  }
}

void Main::UpdateListActions() {
  mnuRemove->setEnabled(lstFiles->currentRow() >= 0);
  mnuClearList->setEnabled(files_.Count() > 0);
}

void Main::SetFeedback(const QString& text) {
  lblFeedback->setText(text);
  QPalette palette = lblFeedback->palette();
  palette.setColor(QPalette::WindowText, FeedbackColour(this->palette().color(QPalette::Window)));
  lblFeedback->setPalette(palette);
}

void Main::ShowStatus(const QString& text) {
  const QString shown = FitStatus(text, *lblStatus);
  lblStatus->setText(shown);
  lblStatus->setToolTip(shown == text ? QString::fromLatin1(texts::kStatusTip) : text);
}
