#include "Main.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "CommonDialog.h"
#include "about/FocusFrame.h"
#include "about/ProgramIcon.h"
#include "about/Twips.h"
#include "about/frmAbout.h"
#include "model/Colours.h"
#include "model/Layout.h"
#include "model/StatusText.h"

namespace corvane::qt {

namespace texts = mainwindow;

namespace {

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text); }

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const QRect& rect,
                        const char* toolTip) {
  auto* button = new FramedButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(rect);
  button->setToolTip(QString::fromLatin1(toolTip));
  // Enter on a focused button presses it, as Space does.
  button->setAutoDefault(true);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& rect, const char* toolTip) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(rect);
  label->setToolTip(QString::fromLatin1(toolTip));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// The drag carries files when it holds at least one local file.
bool OffersFileList(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  const QList<QUrl> urls = data->urls();
  return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

std::vector<std::string> DroppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toUtf8().toStdString());
    }
  }
  return paths;
}

// The status label's font and box, for cutting a text to fit it.
class LabelMeasure final : public TextMeasure {
 public:
  explicit LabelMeasure(const QLabel& label) : metrics_(label.font()), box_(label.contentsRect()) {}

  bool Fits(const std::string& text) const override {
    const QRect needed =
        metrics_.boundingRect(QRect(0, 0, box_.width(), 1 << 20), Qt::TextWordWrap, FromUtf8(text));
    return needed.width() <= box_.width() && needed.height() <= box_.height();
  }

 private:
  QFontMetrics metrics_;
  QRect box_;
};

// What screen readers see of this window: the window as a frame (a plain
// top-level widget is a "filler" to them), and the announcement widget as
// a notification, which they say when it shows.
QAccessibleInterface* AccessibleOf(const QString& className, QObject* object) {
  if (!object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (className == QLatin1String(Main::staticMetaObject.className())) {
    return new QAccessibleWidget(widget, QAccessible::Window);
  }
  if (object->objectName() == QLatin1String("lblAnnouncement")) {
    return new QAccessibleWidget(widget, QAccessible::Notification);
  }
  return nullptr;
}

}  // namespace

Main::Main(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      showOpen_(ShowOpenFileDialog),
      model_(*this) {
  static const bool accessibleInstalled = [] {
    QAccessible::installFactory(AccessibleOf);
    return true;
  }();
  (void)accessibleInstalled;
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QString::fromLatin1(texts::kCaption));
  setWindowIcon(ProgramIcon());
  const TwipScale twips(font());

  lstFiles = new FramedList(this);
  lstFiles->setObjectName(QStringLiteral("lstFiles"));
  lstFiles->setGeometry(twips.Rect(layout::kLstFiles));
  lstFiles->setToolTip(QString::fromLatin1(texts::kListTip));
  // Screen readers name the list by its tooltip's words.
  lstFiles->setAccessibleName(QString::fromLatin1(texts::kListTip));
  lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lstFiles->setAcceptDrops(true);
  lstFiles->viewport()->setAcceptDrops(true);
  lstFiles->viewport()->installEventFilter(this);
  lstFiles->installEventFilter(this);

  mnuRemove = new QAction(QString::fromLatin1(texts::kRemove), lstFiles);
  mnuRemove->setObjectName(QStringLiteral("mnuRemove"));
  mnuRemove->setShortcut(QKeySequence::Delete);
  mnuRemove->setShortcutContext(Qt::WidgetShortcut);
  mnuClearList = new QAction(QString::fromLatin1(texts::kClearList), lstFiles);
  mnuClearList->setObjectName(QStringLiteral("mnuClearList"));
  lstFiles->addAction(mnuRemove);
  lstFiles->addAction(mnuClearList);
  // One menu for the window's life: screen readers heard only the first of
  // the menus made anew each time.
  mnuList = new QMenu(lstFiles);
  mnuList->setObjectName(QStringLiteral("mnuList"));
  mnuList->addAction(mnuRemove);
  mnuList->addAction(mnuClearList);
  lstFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lstFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    UpdateListActions();
    mnuList->exec(lstFiles->viewport()->mapToGlobal(at));
  });
  connect(mnuRemove, &QAction::triggered, this, [this] {
    model_.mnuRemove_Click(lstFiles->selectedItems().isEmpty() ? -1 : lstFiles->currentRow());
  });
  connect(mnuClearList, &QAction::triggered, this, [this] { model_.mnuClearList_Click(); });
  connect(lstFiles, &QListWidget::currentRowChanged, this, &Main::UpdateListActions);

  cmdOpenCSV = MakeButton(this, "cmdOpenCSV", "Open CSV", twips.Rect(layout::kCmdOpenCSV),
                          texts::kOpenCsvTip);
  cmdGenerate = MakeButton(this, "cmdGenerate", "Generate", twips.Rect(layout::kCmdGenerate),
                           texts::kGenerateTip);
  cmdAbout = MakeButton(this, "cmdAbout", "About", twips.Rect(layout::kCmdAbout), texts::kAboutTip);
  cmdExit = MakeButton(this, "cmdExit", "E&xit", twips.Rect(layout::kCmdExit), texts::kExitTip);
  lblFeedback =
      MakeLabel(this, "lblFeedback", twips.Rect(layout::kLblFeedback), texts::kFeedbackTip);
  lblStatus = MakeLabel(this, "lblStatus", twips.Rect(layout::kLblStatus), texts::kStatusTip);
  lblStatus->setWordWrap(true);
  lblAnnouncement = new QWidget(this);
  lblAnnouncement->setObjectName(QStringLiteral("lblAnnouncement"));
  lblAnnouncement->setGeometry(0, 0, 0, 0);
  lblAnnouncement->setFocusPolicy(Qt::NoFocus);
  lblAnnouncement->hide();

  // Keyboard order: Open CSV, Generate, About, Exit, then the list.
  setTabOrder(cmdOpenCSV, cmdGenerate);
  setTabOrder(cmdGenerate, cmdAbout);
  setTabOrder(cmdAbout, cmdExit);
  setTabOrder(cmdExit, lstFiles);

  connect(cmdOpenCSV, &QPushButton::clicked, this, [this] { model_.cmdOpenCSV_Click(); });
  connect(cmdGenerate, &QPushButton::clicked, this, [this] { model_.cmdGenerate_Click(); });
  connect(cmdAbout, &QPushButton::clicked, this, [this] { model_.cmdAbout_Click(); });
  connect(cmdExit, &QPushButton::clicked, this, [this] { model_.cmdExit_Click(); });

  showError_ = [this](const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, this);
    box.exec();
  };

  // Form_Load.
  setFixedSize(twips.Size(layout::kMainWidth, layout::kMainHeight));
  model_.Form_Load();
  UpdateListActions();
  cmdOpenCSV->setFocus();
}

Main::~Main() {
  lstFiles->viewport()->removeEventFilter(this);
  lstFiles->removeEventFilter(this);
}

void Main::SetErrorBox(ErrorBox showError) { showError_ = std::move(showError); }

void Main::SetOpenDialog(OpenDialog showOpen) { showOpen_ = std::move(showOpen); }

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

void Main::closeEvent(QCloseEvent* event) {
  if (!model_.Form_QueryUnload()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void Main::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) PaintFeedback();
}

void Main::lstFiles_OLEDragOver(QDragMoveEvent* event) {
  const int allowed =
      (event->possibleActions() & Qt::CopyAction) != 0 ? kDropEffectCopy : kDropEffectNone;
  if (model_.lstFiles_OLEDragOver(OffersFileList(event->mimeData()), allowed) == kDropEffectCopy) {
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
  model_.lstFiles_OLEDragDrop(offers, offers ? DroppedPaths(data) : std::vector<std::string>());
  if (offers) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

// Shift+F10 asks for the menu as the platform asks for it for the Menu key:
// at the current entry, which is the selected one (the list selects it when
// it gets the focus).
void Main::lstFiles_KeyboardContextMenu() {
  const QPoint at = lstFiles->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, lstFiles->mapToGlobal(at));
  QApplication::sendEvent(lstFiles, &menu);
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lstFiles) {
    switch (event->type()) {
      case QEvent::FocusIn:
        // After the list's own handling, which puts its focus frame on the
        // first entry without selecting it, and after a click's.
        Post([this] {
          if (!lstFiles->hasFocus()) return;
          const QListWidgetItem* current = lstFiles->currentItem();
          model_.lstFiles_GotFocus(lstFiles->currentRow(),
                                   current != nullptr && current->isSelected());
        });
        break;
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
          lstFiles_KeyboardContextMenu();
          return true;
        }
        break;
      }
      default:
        break;
    }
  }
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

void Main::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

namespace {

// An entry as the list shows it, its whole path also in its tooltip.
QListWidgetItem* MakeItem(const std::string& shown) {
  const QString path = QString::fromUtf8(shown);
  auto* item = new QListWidgetItem(path);
  item->setToolTip(path);
  return item;
}

}  // namespace

void Main::ShowList() {
  lstFiles->setUpdatesEnabled(false);
  lstFiles->clear();
  const int count = model_.Count();
  for (int row = 0; row < count; ++row) lstFiles->addItem(MakeItem(model_.ShownEntry(row)));
  lstFiles->setUpdatesEnabled(true);
  UpdateListActions();
}

void Main::ShowInsertedEntry(int row) {
  lstFiles->insertItem(row, MakeItem(model_.ShownEntry(row)));
  UpdateListActions();
}

void Main::ShowRemovedEntry(int row) {
  delete lstFiles->takeItem(row);
  UpdateListActions();
}

void Main::SelectEntry(int row) {
  if (row < 0) return;
  lstFiles->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  lstFiles->scrollToItem(lstFiles->item(row));
}

void Main::UpdateListActions() {
  mnuRemove->setEnabled(model_.CanRemove(lstFiles->currentRow()));
  mnuClearList->setEnabled(model_.CanClearList());
}

void Main::ShowFeedback(const std::string& text) {
  lblFeedback->setText(FromUtf8(text));
  PaintFeedback();
}

// The feedback line's blue, readable on the window's background.
void Main::PaintFeedback() {
  const QColor background = this->palette().color(QPalette::Window);
  const Rgb blue = FeedbackColour(Rgb{background.red(), background.green(), background.blue()});
  QPalette palette = lblFeedback->palette();
  palette.setColor(QPalette::WindowText, QColor(blue.red, blue.green, blue.blue));
  lblFeedback->setPalette(palette);
}

void Main::ShowStatus(const std::string& text) {
  const std::string shown = FitStatus(text, LabelMeasure(*lblStatus));
  lblStatus->setText(FromUtf8(shown));
  lblStatus->setToolTip(FromUtf8(StatusTip(text, shown)));
  lblStatus->setAccessibleName(FromUtf8(text));
}

// Shown anew, the notification is said by screen readers.
void Main::AnnounceStatus() {
  lblAnnouncement->hide();
  lblAnnouncement->setAccessibleName(FromUtf8(model_.Status()));
  lblAnnouncement->show();
}

// The busy pointer says the program works; the window still answers.
void Main::ShowBusy(bool busy) {
  if (busy) {
    setCursor(Qt::BusyCursor);
  } else {
    unsetCursor();
  }
}

void Main::ShowOpenDialog(CommonDialog& dialog) {
  dialog.FileName = showOpen_(this, dialog).toUtf8().toStdString();
}

void Main::ShowAbout() {
  frmAbout about(this);
  about.exec();
}

void Main::ShowFailure(const std::string& title, const std::string& text) {
  showError_(FromUtf8(title), FromUtf8(text));
}

void Main::HideWindow() { hide(); }

void Main::EndProgram() {
  close();
  QCoreApplication::quit();
}

}  // namespace corvane::qt
