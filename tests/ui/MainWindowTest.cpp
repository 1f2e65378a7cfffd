// The main window on the offscreen platform: start state, Open, drag and drop,
// Generate on its own thread, removing entries, failures and Exit, fonts,
// themes and long paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>
#include <vector>

#include "Main.h"
#include "TestFifo.h"
#include "UiTestSupport.h"
#include "engine/SignalCleanup.h"
#include "frmAbout.h"

using uitest::Native;
using uitest::ReadFile;
using uitest::WriteFile;

namespace {

const QString kStartHint = QStringLiteral("Start with Drag 'n Drop or 'Open CRC'");
const QString kNextHint = QStringLiteral("Next - Open more or select 'Generate'");
const QColor kBlue(0, 0, 255);

QStringList ListEntries(const Main& window) {
  QStringList entries;
  for (int i = 0; i < window.lstFiles->count(); ++i) {
    entries << window.lstFiles->item(i)->text();
  }
  return entries;
}

QMimeData* FileDragData(const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& path : paths) {
    urls << QUrl::fromLocalFile(path);
  }
  data->setUrls(urls);
  return data;
}

struct DragAnswer {
  bool enterAccepted;
  Qt::DropAction enterAction;
  bool moveAccepted;
  Qt::DropAction moveAction;
};

// Moves a drag over the list as the window system would: enter (delivered
// through the application), then a move answered by the handler itself, then
// leave.
DragAnswer DragOver(Main& window, const QMimeData* data, Qt::DropActions possible) {
  QWidget* target = window.lstFiles->viewport();
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, possible, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent move(at, possible, data, Qt::LeftButton, Qt::NoModifier);
  window.lstFiles_OLEDragOver(&move);
  QDragLeaveEvent leave;
  QApplication::sendEvent(target, &leave);
  return {enter.isAccepted(), enter.dropAction(), move.isAccepted(), move.dropAction()};
}

// Drags onto the list and drops there; a drag the list refused on entering
// never reaches its drop handler.
void Drop(Main& window, const QMimeData* data, Qt::DropActions possible = Qt::CopyAction) {
  QWidget* target = window.lstFiles->viewport();
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, possible, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(at), possible, data, Qt::LeftButton, Qt::NoModifier);
  if (enter.isAccepted()) {
    QApplication::sendEvent(target, &drop);
  } else {
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
  }
}

void DropFiles(Main& window, const QStringList& paths) {
  std::unique_ptr<QMimeData> data(FileDragData(paths));
  Drop(window, data.get());
}

// The window, noting what the batch tells it.
class RecordingMain : public Main {
 public:
  int batchesStarted = 0;
  QStringList statuses;
  std::vector<bool> busyAtStatus;

  void ClearFeedback() override {
    ++batchesStarted;
    Main::ClearFeedback();
  }
  void SetStatus(const std::string& text) override {
    statuses << QString::fromStdString(text);
    busyAtStatus.push_back(cursor().shape() == Qt::BusyCursor);
    Main::SetStatus(text);
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    window_ = std::make_unique<RecordingMain>();
    window_->CommonDialog1.SetChooser([this](QWidget*, const QString& title, const QString& filter,
                                             const QString& fileName, int flags) {
      ++dialogCalls_;
      dialogTitle_ = title;
      dialogFilter_ = filter;
      dialogFileName_ = fileName;
      dialogFlags_ = flags;
      return dialogAnswer_;
    });
    window_->SetErrorBox([this](const QString& title, const QString& text) {
      errors_.push_back({title, text});
    });
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override {
    window_.reset();
    // Every test leaves the pointer as it found it.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    while (QApplication::overrideCursor() != nullptr) {
      QApplication::restoreOverrideCursor();
    }
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString OutputOf(const QString& name) const {
    return dir_.filePath(QStringLiteral("A1_") + name);
  }

  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  // Presses Generate and runs the window's events until the batch has ended.
  void Generate() {
    Click(window_->cmdGenerate);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->BatchRunning(); }, 20000));
  }

  QTemporaryDir dir_;
  std::unique_ptr<RecordingMain> window_;
  QString dialogAnswer_;
  int dialogCalls_ = 0;
  QString dialogTitle_, dialogFilter_, dialogFileName_;
  int dialogFlags_ = -1;
  struct ErrorShown {
    QString title, text;
  };
  std::vector<ErrorShown> errors_;
};

TEST_F(MainWindowTest, StartsWithItsLayoutTextsAndTips) {
  struct Control {
    QWidget* widget;
    const char* name;
    QRect pixels;
    const char* text;
    const char* toolTip;
  };
  Main& w = *window_;
  const Control controls[] = {
      {w.lstFiles,
       "lstFiles",
       {0, 0, 417, 173},
       nullptr,
       "Shows the list of files to be processed"},
      {w.cmdOpenCSV,
       "cmdOpenCSV",
       {296, 184, 65, 25},
       "Open CSV",
       "Marks a CSV file for processing"},
      {w.cmdGenerate,
       "cmdGenerate",
       {296, 216, 65, 25},
       "Generate",
       "Processes the listed files and converts them to Vellum format CRC files"},
      {w.cmdAbout, "cmdAbout", {368, 184, 49, 25}, "About", "Shows a basic About window"},
      {w.cmdExit, "cmdExit", {368, 216, 49, 25}, "E&xit", "Ends the application"},
      {w.lblFeedback,
       "lblFeedback",
       {8, 176, 273, 17},
       "Start with Drag 'n Drop or 'Open CRC'",
       "Feedback information"},
      {w.lblStatus, "lblStatus", {8, 200, 273, 41}, "Status:", "Status information"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.widget->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.widget->geometry(), c.pixels);
    EXPECT_EQ(c.widget->toolTip(), QString::fromLatin1(c.toolTip));
    if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      EXPECT_EQ(button->text(), QString::fromLatin1(c.text));
    } else if (auto* label = qobject_cast<QLabel*>(c.widget)) {
      EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
    }
  }
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvane CSV to CRC"));
  EXPECT_EQ(w.lstFiles->count(), 0);
  EXPECT_EQ(w.lblFeedback->palette().color(QPalette::WindowText), kBlue);
  EXPECT_TRUE(w.lblStatus->wordWrap());
  EXPECT_EQ(w.focusWidget(), w.cmdOpenCSV);
  EXPECT_EQ(w.CommonDialog1.DialogTitle, QStringLiteral("Open CSV File"));
  EXPECT_EQ(w.CommonDialog1.Filter, QStringLiteral("CSV File (*.csv)"));
  EXPECT_EQ(w.CommonDialog1.FileName, QStringLiteral("*.csv"));
  EXPECT_EQ(w.CommonDialog1.Flags, 0x81004);
}

TEST_F(MainWindowTest, HasAFixedSizeACloseBoxOnlyAndStartsCentred) {
  Main& w = *window_;
  EXPECT_EQ(w.size(), QSize(421, 244));
  EXPECT_EQ(w.minimumSize(), QSize(421, 244));
  EXPECT_EQ(w.maximumSize(), QSize(421, 244));
  const Qt::WindowFlags flags = w.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(w.isWindow());
  const QPoint screenCentre = w.screen()->availableGeometry().center();
  EXPECT_LE((w.frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(MainWindowTest, TabOrderRunsThroughTheCommandsThenTheList) {
  Main& w = *window_;
  std::vector<QWidget*> order;
  QWidget* next = w.cmdOpenCSV;
  do {
    if ((next->focusPolicy() & Qt::TabFocus) != 0 && next->isVisibleTo(&w) && next != &w &&
        next->parentWidget() == &w) {
      order.push_back(next);
    }
    next = next->nextInFocusChain();
  } while (next != w.cmdOpenCSV && order.size() < 20);
  const std::vector<QWidget*> expected = {w.cmdOpenCSV, w.cmdGenerate, w.cmdAbout, w.cmdExit,
                                          w.lstFiles};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(w.lblFeedback->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(w.lblStatus->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainWindowTest, CancellingOpenChangesNothing) {
  window_->lblStatus->setText(QStringLiteral("Processed 0 files."));
  dialogAnswer_.clear();
  Click(window_->cmdOpenCSV);
  EXPECT_EQ(dialogCalls_, 1);
  EXPECT_EQ(window_->lstFiles->count(), 0);
  EXPECT_EQ(window_->lblFeedback->text(), kStartHint);
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 0 files."));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, OpenAsksForOneExistingCsvFileAndListsWhatIsChosen) {
  // The filter only limits what the dialog lists: any chosen file enters the list.
  const QString chosen[] = {Native(Path("notes.txt")), Native(Path("B.csv")),
                            Native(Path("a.CSV"))};
  for (const QString& path : chosen) {
    dialogAnswer_ = path;
    Click(window_->cmdOpenCSV);
    EXPECT_EQ(dialogFileName_, QString()) << "the stored *.csv must not show";
  }
  EXPECT_EQ(dialogTitle_, QStringLiteral("Open CSV File"));
  EXPECT_EQ(dialogFilter_, QStringLiteral("CSV File (*.csv)"));
  EXPECT_EQ(dialogFlags_, 0x81004);
  EXPECT_EQ(ListEntries(*window_),
            (QStringList{Native(Path("a.CSV")), Native(Path("B.csv")), Native(Path("notes.txt"))}));
  EXPECT_EQ(window_->lblFeedback->text(), kNextHint);
  EXPECT_EQ(window_->lblFeedback->palette().color(QPalette::WindowText), kBlue);
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Status:"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, DragOverOffersACopyOnlyForFilesThatMayBeCopied) {
  struct Case {
    const char* what;
    std::function<QMimeData*()> data;
    Qt::DropActions possible;
    bool accepted;
  };
  const Case cases[] = {
      {"csv files, copy allowed", [&] { return FileDragData({Path("a.csv")}); }, Qt::CopyAction,
       true},
      {"other files still offered",
       [&] {
         return FileDragData({Path("a.txt"), Path("b.doc")});
       },
       Qt::CopyAction, true},
      {"copy among several actions", [&] { return FileDragData({Path("a.csv")}); },
       Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, true},
      {"move only", [&] { return FileDragData({Path("a.csv")}); }, Qt::MoveAction, false},
      {"link only", [&] { return FileDragData({Path("a.csv")}); }, Qt::LinkAction, false},
      {"text",
       [] {
         auto* d = new QMimeData;
         d->setText(QStringLiteral("/tmp/a.csv"));
         return d;
       },
       Qt::CopyAction, false},
      {"web address only",
       [] {
         auto* d = new QMimeData;
         d->setUrls({QUrl(QStringLiteral("https://example.com/a.csv"))});
         return d;
       },
       Qt::CopyAction, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<QMimeData> data(c.data());
    const DragAnswer answer = DragOver(*window_, data.get(), c.possible);
    EXPECT_EQ(answer.enterAccepted, c.accepted);
    EXPECT_EQ(answer.moveAccepted, c.accepted);
    if (c.accepted) {
      EXPECT_EQ(answer.enterAction, Qt::CopyAction);
      EXPECT_EQ(answer.moveAction, Qt::CopyAction);
    }
  }
  EXPECT_EQ(window_->lstFiles->count(), 0);
}

TEST_F(MainWindowTest, DropsListOnlyCsvNamesSortedAndLeaveTheTextLinesAlone) {
  window_->lblStatus->setText(QStringLiteral("Processed 2 files."));
  DropFiles(*window_, {Path("b.csv"), Path("2.txt"), Path("c.CSV"), Path("x.csv.bak")});
  DropFiles(*window_, {Path("A.csv"), Path("b.csv")});
  EXPECT_EQ(ListEntries(*window_),
            (QStringList{Native(Path("A.csv")), Native(Path("b.csv")), Native(Path("b.csv"))}));

  // A drag of text or of web addresses adds nothing.
  // Even handed to the drop handler directly, they change nothing.
  std::unique_ptr<QMimeData> text(new QMimeData);
  text->setText(Path("d.csv"));
  std::unique_ptr<QMimeData> web(new QMimeData);
  web->setUrls({QUrl(QStringLiteral("https://example.com/e.csv"))});
  for (const QMimeData* data : {text.get(), web.get()}) {
    Drop(*window_, data);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    window_->lstFiles_OLEDragDrop(&drop);
  }
  EXPECT_EQ(window_->lstFiles->count(), 3);

  EXPECT_EQ(window_->lblFeedback->text(), kStartHint);
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 2 files."));
}

TEST_F(MainWindowTest, DroppedPathsWithNonAsciiNamesRoundTrip) {
  const QString name = Path(QStringLiteral("Gr\u00FC\u00DFe \u65E5\u672C.csv"));
  ASSERT_TRUE(WriteFile(name, "a,b,c,d\r\n"));
  DropFiles(*window_, {name});
  ASSERT_EQ(ListEntries(*window_), QStringList{Native(name)});
  Generate();
  EXPECT_TRUE(errors_.empty()) << (errors_.empty() ? "" : errors_[0].text.toStdString());
  EXPECT_TRUE(QFile::exists(Path(QStringLiteral("A1_Gr\u00FC\u00DFe \u65E5\u672C.crc"))));
}

TEST_F(MainWindowTest, AFullListSaysSoInsteadOfAddingMore) {
  QStringList paths;
  for (int i = 0; i < corvane::FileList::kMaxEntries; ++i) {
    paths << QStringLiteral("/f/%1.csv").arg(i, 5, 10, QLatin1Char('0'));
  }
  DropFiles(*window_, paths);
  ASSERT_EQ(window_->lstFiles->count(), corvane::FileList::kMaxEntries);
  EXPECT_EQ(window_->lblFeedback->text(), kStartHint);

  DropFiles(*window_, {Path("late.csv"), Path("later.csv")});
  EXPECT_EQ(window_->lstFiles->count(), corvane::FileList::kMaxEntries);
  EXPECT_TRUE(window_->lblFeedback->text().contains(QStringLiteral("full")));

  window_->lblFeedback->setText(QString());
  dialogAnswer_ = Native(Path("chosen.txt"));
  Click(window_->cmdOpenCSV);
  EXPECT_EQ(window_->lstFiles->count(), corvane::FileList::kMaxEntries);
  EXPECT_TRUE(window_->lblFeedback->text().contains(QStringLiteral("full")));
  EXPECT_NE(window_->lblFeedback->text(), kNextHint);
  EXPECT_FALSE(window_->lstFiles->findItems(QStringLiteral("chosen"), Qt::MatchContains).size());
}

TEST_F(MainWindowTest, GenerateOnAnEmptyListReportsNoFiles) {
  Generate();
  EXPECT_EQ(window_->lblFeedback->text(), QString());
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 0 files."));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindowTest, GenerateConvertsInListOrderWithTheBusyPointer) {
  for (const char* name : {"c.csv", "a.csv", "B.csv"}) {
    ASSERT_TRUE(WriteFile(Path(name), QByteArray("x,y,") + name + ",w\r\n"));
  }
  DropFiles(*window_, {Path("c.csv"), Path("a.csv"), Path("B.csv")});

  Generate();

  const QString prefix = QStringLiteral("Converting file:");
  EXPECT_EQ(window_->statuses,
            (QStringList{prefix + Native(Path("a.csv")), prefix + Native(Path("B.csv")),
                         prefix + Native(Path("c.csv")), QStringLiteral("Processed 3 files.")}));
  EXPECT_EQ(window_->busyAtStatus, (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 3 files."));
  EXPECT_EQ(window_->lblFeedback->text(), QString());
  EXPECT_NE(window_->cursor().shape(), Qt::BusyCursor);
  for (const char* name : {"a", "B", "c"}) {
    SCOPED_TRACE(name);
    const QByteArray output = ReadFile(OutputOf(QString::fromLatin1(name) + ".crc"));
    EXPECT_TRUE(output.contains("111 x 222"));
    EXPECT_TRUE(output.contains(QByteArray(name) + ".csv"));
    EXPECT_TRUE(output.endsWith("\r\n"));
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindowTest, DuringABatchTheWindowAnswersAndChangesNotTheBatch) {
  if (!uitest::TestFifo::Supported()) {
    GTEST_SKIP() << "needs named pipes";
  }
  // b.csv is a pipe: the batch waits in it until the test has done its part.
  uitest::TestFifo fifo(Path("b.csv"));
  ASSERT_TRUE(fifo.Made());
  for (const char* name : {"a.csv", "c.csv", "d.csv", "e.csv"}) {
    ASSERT_TRUE(WriteFile(Path(name), "1,2,3,4\r\n"));
  }
  DropFiles(*window_, {Path("b.csv"), Path("c.csv")});

  Click(window_->cmdGenerate);
  ASSERT_TRUE(fifo.WaitForReader());
  ASSERT_TRUE(fifo.Write("5,6,7,8\r\n"));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return window_->lblFeedback->text().startsWith(QStringLiteral("File 1 of 2")); }));

  Click(window_->cmdGenerate);  // starts nothing: a batch is running
  DropFiles(*window_, {Path("a.csv"), Path("d.csv")});
  dialogAnswer_ = Native(Path("e.csv"));
  Click(window_->cmdOpenCSV);
  window_->lstFiles->setCurrentRow(ListEntries(*window_).indexOf(Native(Path("c.csv"))));
  window_->mnuRemove->trigger();
  QString aboutCaption;
  uitest::OnNextModal([&](QWidget* modal) {
    aboutCaption = modal->windowTitle();
    QTest::keyClick(modal, Qt::Key_Escape);
  });
  Click(window_->cmdAbout);
  EXPECT_EQ(aboutCaption, QStringLiteral("About CorvaneCSVtoCRC"));
  EXPECT_TRUE(window_->BatchRunning());

  fifo.Close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->BatchRunning(); }, 20000));

  // The batch converted the two files listed when it started, c.csv too though
  // it was taken out of the list; the files added meanwhile wait for the next one.
  EXPECT_EQ(window_->batchesStarted, 1);
  EXPECT_EQ(ListEntries(*window_), (QStringList{Native(Path("a.csv")), Native(Path("b.csv")),
                                                Native(Path("d.csv")), Native(Path("e.csv"))}));
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 2 files."));
  EXPECT_EQ(window_->lblFeedback->text(), QString());
  EXPECT_EQ(ReadFile(OutputOf("b.crc")), QByteArray("5\t\t6\t\t111 x 222\t\t7\t\t8\r\n"));
  EXPECT_TRUE(QFile::exists(OutputOf("c.crc")));
  for (const char* later : {"a.crc", "d.crc", "e.crc"}) {
    EXPECT_FALSE(QFile::exists(OutputOf(later))) << later;
  }
  EXPECT_TRUE(errors_.empty());
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainWindowTest, DeleteAndTheListMenuRemoveEntriesAtAnyTime) {
  DropFiles(*window_, {Path("a.csv"), Path("b.csv"), Path("c.csv")});
  const QList<QAction*> menu = window_->lstFiles->actions();
  ASSERT_EQ(menu.size(), 2);
  EXPECT_EQ(menu[0]->text(), QStringLiteral("&Remove"));
  EXPECT_EQ(menu[1]->text(), QStringLiteral("&Clear List"));
  EXPECT_EQ(window_->lstFiles->contextMenuPolicy(), Qt::ActionsContextMenu);

  window_->lstFiles->setFocus();
  window_->lstFiles->setCurrentRow(1);
  QTest::keyClick(window_->lstFiles, Qt::Key_Delete);
  EXPECT_EQ(ListEntries(*window_), (QStringList{Native(Path("a.csv")), Native(Path("c.csv"))}));
  // The next entry takes the place, so Delete again goes on down the list.
  QTest::keyClick(window_->lstFiles, Qt::Key_Delete);
  EXPECT_EQ(ListEntries(*window_), QStringList{Native(Path("a.csv"))});

  window_->mnuClearList->trigger();
  EXPECT_EQ(window_->lstFiles->count(), 0);
  EXPECT_FALSE(window_->mnuRemove->isEnabled());
  EXPECT_FALSE(window_->mnuClearList->isEnabled());
  QTest::keyClick(window_->lstFiles, Qt::Key_Delete);  // nothing to remove

  // A removed file is no longer converted.
  ASSERT_TRUE(WriteFile(Path("a.csv"), "1,2,3,4\r\n"));
  DropFiles(*window_, {Path("gone.csv"), Path("a.csv")});
  window_->lstFiles->setCurrentRow(1);
  window_->mnuRemove->trigger();
  Generate();
  EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 1 files."));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindowTest, AFailedFileIsReportedAndTheProgramGoesOn) {
  struct Case {
    const char* what;
    std::function<void()> breakSecondFile;
    std::function<void()> mendSecondFile;
    int number;
  };
  const Case cases[] = {
      {"input gone", [&] { QFile::remove(Path("b.csv")); },
       [&] { WriteFile(Path("b.csv"), "1,2,3,4\r\n"); }, 102},
      {"output name taken by a folder", [&] { QDir(dir_.path()).mkdir("A1_b.crc"); },
       [&] { QDir(dir_.path()).rmdir("A1_b.crc"); }, 104},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    window_ = std::make_unique<RecordingMain>();
    window_->SetErrorBox([this](const QString& title, const QString& text) {
      errors_.push_back({title, text});
    });
    window_->show();
    errors_.clear();
    for (const char* name : {"a.csv", "b.csv", "c.csv"}) {
      ASSERT_TRUE(WriteFile(Path(name), "1,2,3,4\r\n"));
      QFile::remove(OutputOf(QString::fromLatin1(name).replace(".csv", ".crc")));
    }
    DropFiles(*window_, {Path("a.csv"), Path("b.csv"), Path("c.csv")});
    c.breakSecondFile();

    Generate();

    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].title, QStringLiteral("CorvaneCSVtoCRC"));
    EXPECT_TRUE(errors_[0].text.startsWith(QStringLiteral("Error %1:").arg(c.number)))
        << errors_[0].text.toStdString();
    EXPECT_TRUE(errors_[0].text.contains(Native(Path("b.csv"))) ||
                errors_[0].text.contains(Native(OutputOf("b.crc"))))
        << errors_[0].text.toStdString();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->lstFiles->count(), 3);
    // The status line names the failing file and the reason, as the message does.
    const QString prefix = QStringLiteral("Error %1: ").arg(c.number);
    EXPECT_EQ(window_->lblStatus->text(), errors_[0].text.mid(prefix.size()));
    EXPECT_NE(window_->cursor().shape(), Qt::BusyCursor);
    EXPECT_TRUE(QFile::exists(OutputOf("a.crc")));
    EXPECT_FALSE(QFile::exists(OutputOf("c.crc")));

    // Once the cause is gone, the same list converts whole.
    c.mendSecondFile();
    Generate();
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_EQ(window_->lblStatus->text(), QStringLiteral("Processed 3 files."));
    EXPECT_TRUE(QFile::exists(OutputOf("c.crc")));
    ++round;
  }
  EXPECT_EQ(round, 2);
}

TEST_F(MainWindowTest, ExitOrCloseDuringABatchEndsInTimeKeepingFinishedOutputs) {
  if (!uitest::TestFifo::Supported()) {
    GTEST_SKIP() << "needs named pipes";
  }
  // b.csv is a pipe: no writer ever comes, or it sends one record and waits,
  // or it sends records for ever.
  enum class Input { kNoWriter, kWaits, kEndless };
  struct Case {
    const char* what;
    bool closeBox;
    Input input;
  };
  const Case cases[] = {
      {"Exit while the batch waits to open its input", false, Input::kNoWriter},
      {"close box while the batch waits in a read", true, Input::kWaits},
      {"Exit part-way through a long input", false, Input::kEndless},
      {"close box part-way through a long input", true, Input::kEndless},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    window_ = std::make_unique<RecordingMain>();
    QElapsedTimer sinceExit;
    qint64 processEndedAfter = -1;
    window_->SetProcessEnd([&] {
      processEndedAfter = sinceExit.elapsed();
      corvane::RemoveUnfinishedOutputs();
    });
    window_->show();
    for (const char* name : {"a.csv", "c.csv"}) {
      ASSERT_TRUE(WriteFile(dir.filePath(name), "1,2,3,4\r\n5,6,7,8\r\n"));
    }
    ASSERT_TRUE(WriteFile(dir.filePath("A1_b.crc"), "older output"));
    uitest::TestFifo fifo(dir.filePath("b.csv"));
    ASSERT_TRUE(fifo.Made());
    DropFiles(*window_, {dir.filePath("a.csv"), dir.filePath("b.csv"), dir.filePath("c.csv")});

    Click(window_->cmdGenerate);
    const auto hidden = [&] {
      return QDir(dir.path()).entryList({".A1_b.crc*"}, QDir::Files | QDir::Hidden);
    };
    if (c.input == Input::kNoWriter) {
      // a.csv done, the batch goes on to wait in opening b.csv.
      ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.filePath("A1_a.crc")); }));
      QTest::qWait(100);
    } else {
      ASSERT_TRUE(fifo.WaitForReader());
      if (c.input == Input::kEndless) {
        fifo.WriteEndlessly();
      } else {
        ASSERT_TRUE(fifo.Write("1,2,3,4\r\n"));
      }
      // The batch is under way in b.csv, its hidden output made.
      ASSERT_TRUE(QTest::qWaitFor([&] { return !hidden().isEmpty(); }));
    }

    sinceExit.start();
    if (c.closeBox) {
      window_->close();
    } else {
      Click(window_->cmdExit);
    }
    EXPECT_FALSE(window_->isVisible());
    // The batch stops between two blocks and the program ends with it; a batch
    // stuck in a call that does not return is not waited for: the process
    // ends (here the test notes it).
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return processEndedAfter >= 0 || !window_->BatchRunning(); }, 5000));
    const qint64 ended = processEndedAfter >= 0 ? processEndedAfter : sinceExit.elapsed();
    EXPECT_LT(ended, 2000);
    if (c.input == Input::kEndless) {
      EXPECT_LT(processEndedAfter, 0) << "the batch did not stop between blocks";
    }

    EXPECT_FALSE(ReadFile(dir.filePath("A1_a.crc")).isEmpty());
    EXPECT_EQ(ReadFile(dir.filePath("A1_b.crc")), QByteArray("older output"));
    EXPECT_FALSE(QFile::exists(dir.filePath("A1_c.crc")));
    EXPECT_EQ(hidden(), QStringList());
    if (c.input == Input::kNoWriter) {
      fifo.WaitForReader();  // lets a batch stuck in opening b.csv go on to its end
    }
    fifo.Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->BatchRunning(); }, 20000));
  }
}

TEST_F(MainWindowTest, ExitOutsideABatchClosesTheWindow) {
  Click(window_->cmdExit);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, EnterOnAFocusedButtonPressesIt) {
  window_->cmdOpenCSV->setFocus();
  QTest::keyClick(window_->cmdOpenCSV, Qt::Key_Return);
  EXPECT_EQ(dialogCalls_, 1);
  window_->cmdGenerate->setFocus();
  QTest::keyClick(window_->cmdGenerate, Qt::Key_Enter);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return window_->lblStatus->text() == QStringLiteral("Processed 0 files."); }));
}

TEST_F(MainWindowTest, ProgressAndLongPathsShowInTheTextLines) {
  struct Progress {
    int file, files, percent;
    const char* shown;
  };
  for (const Progress& p :
       {Progress{2, 5, 37, "File 2 of 5 - 37%"}, Progress{1, 1, -1, "File 1 of 1"}}) {
    window_->SetProgress(p.file, p.files, p.percent);
    EXPECT_EQ(window_->lblFeedback->text(), QString::fromLatin1(p.shown));
  }

  // A path too long for the status line loses its middle, not its file name;
  // the whole text is in the tip. Each list entry's tip is its whole path.
  const QString deep =
      QStringLiteral("/data/") + QStringLiteral("a-rather-long-folder-name/").repeated(8);
  const QString path = deep + QStringLiteral("quarterly-figures.csv");
  const QString texts[] = {
      QStringLiteral("Converting file:") + path,
      QStringLiteral("Cannot open '") + path +
          QStringLiteral("' for reading: No such file or directory"),
  };
  QLabel& status = *window_->lblStatus;
  for (const QString& text : texts) {
    SCOPED_TRACE(text.toStdString());
    window_->SetStatus(text.toStdString());
    const QString shown = status.text();
    EXPECT_TRUE(shown.contains(QStringLiteral("quarterly-figures.csv")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    const QRect needed = status.fontMetrics().boundingRect(QRect(0, 0, status.width(), 1000),
                                                           Qt::TextWordWrap, shown);
    EXPECT_LE(needed.width(), status.width());
    EXPECT_LE(needed.height(), status.height());
    EXPECT_EQ(status.toolTip(), text);
  }
  window_->SetStatus("Processed 1 files.");
  EXPECT_EQ(status.text(), QStringLiteral("Processed 1 files."));
  EXPECT_EQ(status.toolTip(), QStringLiteral("Status information"));

  DropFiles(*window_, {path});
  ASSERT_EQ(window_->lstFiles->count(), 1);
  EXPECT_EQ(window_->lstFiles->item(0)->toolTip(), Native(path));
}

TEST_F(MainWindowTest, AboutOpensModallyCentredAndFreshEachTime) {
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    QString caption, version;
    bool wasModal = false;
    QPoint offset;
    uitest::OnNextModal([&](QWidget* modal) {
      auto* about = qobject_cast<frmAbout*>(modal);
      ASSERT_NE(about, nullptr);
      caption = about->windowTitle();
      version = about->lblVersion->text();
      wasModal = about->isModal() && about->parentWidget() == window_.get();
      offset = about->frameGeometry().center() - window_->frameGeometry().center();
      // Someone else changing the texts must not outlive the window.
      about->lblVersion->setText(QStringLiteral("changed"));
      QTest::keyClick(about, Qt::Key_Escape);
    });
    Click(window_->cmdAbout);
    EXPECT_EQ(caption, QStringLiteral("About CorvaneCSVtoCRC"));
    EXPECT_EQ(version, QStringLiteral("Version 1.0.1"));
    EXPECT_TRUE(wasModal);
    EXPECT_LE(offset.manhattanLength(), 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

TEST(WindowLook, EveryTextFitsAtTheReferenceFontAndAQuarterLarger) {
  for (const double scale : {1.0, 1.25}) {
    SCOPED_TRACE(scale);
    uitest::AppLook look(scale, QApplication::palette());
    Main window;
    frmAbout about(&window);
    EXPECT_EQ(uitest::ClippedTexts(window), std::vector<std::string>());
    EXPECT_EQ(uitest::ClippedTexts(about), std::vector<std::string>());
    // The whole layout grows with the font, keeping its proportions.
    EXPECT_NEAR(window.width(), 421 * scale, 421 * 0.05);
    EXPECT_NEAR(window.height(), 244 * scale, 244 * 0.05);
    EXPECT_NEAR(about.width() * 1.0 / window.width(), 382.0 / 421, 0.01);
  }
}

TEST(WindowLook, TheFeedbackLineReadsWellOnLightAndDarkThemes) {
  Main window;
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    // The theme changes while the window is open.
    uitest::AppLook look(1.0, dark ? uitest::DarkPalette() : QApplication::palette());
    const QColor text = window.lblFeedback->palette().color(QPalette::WindowText);
    EXPECT_GE(uitest::Contrast(text, window.palette().color(QPalette::Window)), 4.5);
    EXPECT_GT(text.blue(), std::max(text.red(), text.green()) + 40) << "still blue";
    if (!dark) {
      EXPECT_EQ(text, QColor(0, 0, 255));
    }
  }
}

}  // namespace
