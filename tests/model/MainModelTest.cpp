// The window model with a view that records what it is told: the texts and
// when they change, the list and its rows, Open, drops, removal, Generate on
// its own thread, failures, Exit and the close box, and the About window's
// texts.
#include "model/MainModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/AboutModel.h"
#include "model/StatusText.h"
#include "support/Files.h"
#include "support/HeldBatch.h"

namespace corvane {
namespace {

// Deadlines generous enough for a loaded machine, and the step of a poll
// (written out: cppcheck stops at chrono literals).
constexpr std::chrono::seconds kDeadline(20);
constexpr std::chrono::milliseconds kPoll(5);
using test::HeldBatch;
using test::TempFolder;
using test::WriteFile;
using Strings = std::vector<std::string>;

// A view that keeps its own copy of the rows from the calls it gets, runs
// posted calls when the test pumps, and notes the rest.
class RecordingView final : public MainView {
 public:
  MainModel* model = nullptr;
  Strings rows;
  int listResets = 0;
  int selected = -1;
  Strings feedback, statuses;
  std::vector<bool> busy;
  Strings announced;
  std::string dialogAnswer;
  Strings dialogNamesShown, dialogFoldersShown;
  struct Failure {
    std::string title, text;
  };
  std::vector<Failure> failures;
  bool hidden = false;
  int programEnds = 0;
  // Runs while a modal window (About, the Open dialog) is open, as its loop.
  std::function<void()> whileModal;

  void Post(std::function<void()> call) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(call));
    postedChanged_.notify_all();
  }
  // Runs posted calls as the window's event loop would, until done() holds
  // (false after a generous deadline).
  bool RunUntil(const std::function<bool()>& done, std::chrono::seconds limit = kDeadline) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!postedChanged_.wait_until(lock, deadline, [&] { return !posted_.empty(); })) {
        return done();
      }
      std::function<void()> call = std::move(posted_.front());
      posted_.pop_front();
      lock.unlock();
      call();
    }
    return true;
  }

  void ShowList() override {
    ++listResets;
    rows.clear();
    for (int row = 0; row < model->Count(); ++row) rows.push_back(model->ShownEntry(row));
  }
  void ShowInsertedEntry(int row) override {
    rows.insert(rows.begin() + row, model->ShownEntry(row));
  }
  void ShowRemovedEntry(int row) override { rows.erase(rows.begin() + row); }
  void SelectEntry(int row) override { selected = row; }
  void ShowFeedback(const std::string& text) override { feedback.push_back(text); }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void AnnounceStatus() override { announced.push_back(model->Status()); }
  void ShowBusy(bool on) override { busy.push_back(on); }
  void ShowOpenDialog(CommonDialog& dialog) override {
    dialogNamesShown.push_back(dialog.FileName);
    dialogFoldersShown.push_back(dialog.InitDir);
    if (whileModal) whileModal();
    dialog.FileName = dialogAnswer;
  }
  void ShowAbout() override {
    if (whileModal) whileModal();
  }
  void ShowFailure(const std::string& title, const std::string& text) override {
    failures.push_back({title, text});
  }
  void HideWindow() override { hidden = true; }
  void EndProgram() override { ++programEnds; }

 private:
  std::mutex mutex_;
  std::condition_variable postedChanged_;
  std::deque<std::function<void()>> posted_;
};

// A batch whose file number failing (from 1) fails as the converter's do:
// the pointer goes back, and the failure names the file's place.
BatchThread::Run FailingRun(int failing) {
  return [=](std::vector<std::string> paths, ConversionObserver& observer) {
    observer.SetBusy(true);
    observer.SetBusy(false);
    const std::string& path = paths.at(static_cast<std::size_t>(failing - 1));
    throw BatchFailure(ConversionError(ErrorNumber::kOpenInput, "Cannot open " + Quoted(path)),
                       failing, static_cast<int>(paths.size()));
  };
}

class MainModelTest : public ::testing::Test {
 protected:
  MainModelTest() {
    view_.model = &model_;
    model_.SetProcessEnd([] { ADD_FAILURE() << "the process was ended"; });
    model_.Form_Load();
  }

  std::string Path(const std::string& name) const { return folder_ / name; }
  void Generate() {
    model_.cmdGenerate_Click();
    EXPECT_TRUE(view_.RunUntil([&] { return !model_.BatchRunning(); }));
  }
  void Drop(const Strings& paths) { model_.lstFiles_OLEDragDrop(true, paths); }

  TempFolder folder_;
  RecordingView view_;
  MainModel model_{view_};
};

TEST_F(MainModelTest, StartsWithTheHintAndTheOpenDialogSetUp) {
  EXPECT_EQ(view_.feedback, Strings{"Start with Drag 'n Drop or 'Open CRC'"});
  EXPECT_EQ(view_.statuses, Strings{"Status:"});
  EXPECT_EQ(model_.CommonDialog1.Flags, 0x81004);
  EXPECT_EQ(model_.CommonDialog1.DialogTitle, "Open CSV File");
  EXPECT_EQ(model_.CommonDialog1.Filter, "CSV File (*.csv)|*.csv");
  EXPECT_EQ(model_.CommonDialog1.FileName, "*.csv");
}

TEST_F(MainModelTest, OpenListsAnyChosenFileAndCancelChangesNothing) {
  view_.dialogAnswer.clear();
  model_.cmdOpenCSV_Click();
  EXPECT_EQ(view_.dialogNamesShown, Strings{""}) << "the stored *.csv must not show";
  EXPECT_EQ(view_.feedback.size(), 1u);

  // The filter only limits what the dialog lists: any chosen file enters.
  // Each Open starts in the folder of the file chosen last (none at first).
  for (const char* name : {"notes.txt", "B.csv", "sub/a.CSV"}) {
    view_.dialogAnswer = Path(name);
    model_.cmdOpenCSV_Click();
  }
  view_.dialogAnswer.clear();
  model_.cmdOpenCSV_Click();
  EXPECT_EQ(view_.dialogFoldersShown,
            (Strings{"", "", folder_.Path(), folder_.Path(), Path("sub")}));
  EXPECT_EQ(view_.rows, (Strings{Path("B.csv"), Path("notes.txt"), Path("sub/a.CSV")}));
  EXPECT_EQ(view_.feedback.back(), "Next - Open more or select 'Generate'");
  EXPECT_EQ(view_.statuses, Strings{"Status:"});
  EXPECT_EQ(view_.busy, (std::vector<bool>{true, false, true, false, true, false}));
  EXPECT_TRUE(view_.announced.empty());
}

TEST_F(MainModelTest, DropsListOnlyCsvNamesAndLeaveTheTextLinesAlone) {
  EXPECT_EQ(model_.lstFiles_OLEDragOver(true, kDropEffectCopy), kDropEffectCopy);
  EXPECT_EQ(model_.lstFiles_OLEDragOver(false, kDropEffectCopy), kDropEffectNone);
  Drop({Path("b.csv"), Path("2.txt"), Path("c.CSV"), Path("x.csv.bak")});
  Drop({Path("c\nd\x1b.csv"), Path("b.csv"), Path("A.csv")});
  model_.lstFiles_OLEDragDrop(false, {Path("d.csv")});
  // The rows show the list's order whatever the drop's (a file manager sorted
  // by date), a name holding a newline on one row, escaped; the entry is the
  // real path.
  EXPECT_EQ(view_.rows,
            (Strings{Path("A.csv"), Path("b.csv"), Path("b.csv"), Path("c\\nd\\x1b.csv")}));
  EXPECT_EQ(model_.Entry(3), Path("c\nd\x1b.csv"));
  EXPECT_EQ(view_.listResets, 0) << "a small drop shows its rows one by one";
  EXPECT_EQ(view_.feedback.size(), 1u);
  EXPECT_EQ(view_.statuses.size(), 1u);
}

// Removing one entry of a full list takes out that row alone (rebuilding all
// 32767 rows took a third of a second).
TEST_F(MainModelTest, AFullListSaysSoAndRemovingOneEntryTouchesOnlyItsRow) {
  Strings paths;
  for (int i = 0; i < FileList::kMaxEntries; ++i) {
    paths.push_back("/f/" + std::to_string(100000 + i) + ".csv");
  }
  Drop(paths);
  ASSERT_EQ(view_.rows.size(), static_cast<std::size_t>(FileList::kMaxEntries));
  EXPECT_EQ(view_.listResets, 1);
  EXPECT_EQ(view_.feedback.size(), 1u);

  Drop({Path("late.csv")});
  EXPECT_EQ(view_.feedback.back(), mainwindow::kListFullHint);
  view_.dialogAnswer = Path("chosen.txt");
  model_.cmdOpenCSV_Click();
  EXPECT_EQ(view_.feedback.back(), mainwindow::kListFullHint);
  EXPECT_EQ(model_.Count(), FileList::kMaxEntries);

  model_.mnuRemove_Click(100);
  EXPECT_EQ(view_.listResets, 1);
  EXPECT_EQ(view_.rows.size(), static_cast<std::size_t>(FileList::kMaxEntries - 1));
  EXPECT_EQ(view_.rows[100], "/f/100101.csv");
}

TEST_F(MainModelTest, RemoveTakesTheCurrentEntryAndTheNextTakesItsPlace) {
  model_.lstFiles_GotFocus(-1, false);
  EXPECT_EQ(view_.selected, -1) << "an empty list has nothing to select";
  Drop({Path("a.csv"), Path("b.csv"), Path("c.csv"), Path("gone.csv")});
  // The list gets the focus: the entry with the focus frame is selected, so
  // that Delete acts on it; the first when no entry has the frame.
  struct Focus {
    int currentRow;
    bool selected;
    int selects;
  };
  for (const Focus& f : {Focus{-1, false, 0}, Focus{2, false, 2}, Focus{1, true, -1}}) {
    SCOPED_TRACE(f.currentRow);
    view_.selected = -1;
    model_.lstFiles_GotFocus(f.currentRow, f.selected);
    EXPECT_EQ(view_.selected, f.selects);
  }
  model_.mnuRemove_Click(-1);  // no current row: nothing to remove
  model_.mnuRemove_Click(1);
  EXPECT_EQ(view_.rows, (Strings{Path("a.csv"), Path("c.csv"), Path("gone.csv")}));
  EXPECT_EQ(view_.selected, 1);
  model_.mnuRemove_Click(view_.selected);
  model_.mnuRemove_Click(view_.selected);
  EXPECT_EQ(view_.rows, Strings{Path("a.csv")});
  EXPECT_EQ(view_.selected, 0) << "the last entry removed: the one before it is current";
  EXPECT_EQ(model_.Count(), 1) << "what Generate converts is the list left";

  model_.mnuClearList_Click();
  EXPECT_TRUE(view_.rows.empty());
  EXPECT_FALSE(model_.CanClearList());
}

TEST_F(MainModelTest, GenerateConvertsInListOrderOnItsOwnThread) {
  Generate();
  EXPECT_EQ(view_.feedback.back(), "");
  EXPECT_EQ(view_.statuses.back(), "Processed 0 files.");

  for (const char* name : {"c.csv", "a.csv", "B.csv"}) {
    ASSERT_TRUE(WriteFile(Path(name), std::string(name) + ",1,2,3\r\n"));
  }
  Drop({Path("c.csv"), Path("a.csv"), Path("B.csv")});
  view_.statuses.clear();
  view_.busy.clear();
  Generate();
  const std::string prefix = "Converting file:";
  EXPECT_EQ(view_.statuses, (Strings{prefix + Path("a.csv"), prefix + Path("B.csv"),
                                     prefix + Path("c.csv"), "Processed 3 files."}));
  // The result is announced to screen readers, not each file on the way.
  EXPECT_EQ(view_.announced, (Strings{"Processed 0 files.", "Processed 3 files."}));
  EXPECT_EQ(view_.busy, (std::vector<bool>{true, false}));
  EXPECT_FALSE(model_.Busy());
  EXPECT_EQ(view_.feedback.back(), "");
  EXPECT_NE(std::find(view_.feedback.begin(), view_.feedback.end(), "File 3 of 3 - 100%"),
            view_.feedback.end());
  EXPECT_TRUE(view_.failures.empty());
}

TEST_F(MainModelTest, DuringABatchTheWindowAnswersAndChangesNotTheBatch) {
  HeldBatch batch;
  model_.SetBatchRun(batch.Run());
  Drop({Path("b.csv"), Path("c.csv"), Path("f-gone.csv")});
  model_.cmdGenerate_Click();
  batch.WaitUntilStarted();
  ASSERT_TRUE(view_.RunUntil([&] { return model_.Busy(); }));

  model_.cmdGenerate_Click();  // starts nothing: a batch is running
  Drop({Path("a.csv"), Path("d.csv")});
  view_.dialogAnswer = Path("e.csv");
  model_.cmdOpenCSV_Click();
  EXPECT_EQ(view_.busy.back(), true) << "Open puts the batch's pointer back";
  model_.mnuRemove_Click(2);  // c.csv
  EXPECT_TRUE(model_.BatchRunning());
  batch.Release();
  ASSERT_TRUE(view_.RunUntil([&] { return !model_.BatchRunning(); }));

  // The batch converted the files listed when it started, c.csv too though
  // it was taken out; the files added meanwhile wait for the next one. Its
  // last file failed: that entry is selected where it is now.
  EXPECT_EQ(batch.Starts(), 1);
  EXPECT_EQ(batch.Given(), (Strings{Path("b.csv"), Path("c.csv"), Path("f-gone.csv")}));
  EXPECT_EQ(view_.rows, (Strings{Path("a.csv"), Path("b.csv"), Path("d.csv"), Path("e.csv"),
                                 Path("f-gone.csv")}));
  ASSERT_EQ(view_.failures.size(), 1u);
  EXPECT_EQ(view_.selected, 4);
  EXPECT_FALSE(view_.hidden);
}

TEST_F(MainModelTest, AFailedFileIsReportedAndTheProgramGoesOn) {
  struct Case {
    const char* what;
    Strings listed;
    int failing;        // the batch's file that fails, from 1
    const char* place;  // what the box says of the file's place
  };
  const Case cases[] = {
      {"the second of three",
       {Path("a.csv"), Path("b.csv"), Path("c.csv")},
       2,
       "\n\nFile 2 of 3. The file after it was not converted."},
      // Its second listing fails (the first one's output stands): that entry
      // is selected, not its namesake.
      {"a file listed twice", {Path("a.csv"), Path("b.csv"), Path("b.csv")}, 3, "\n\nFile 3 of 3."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    model_.mnuClearList_Click();
    Drop(c.listed);
    model_.SetBatchRun(FailingRun(c.failing));
    view_.failures.clear();
    view_.selected = -1;
    Generate();

    // The box names the file and the reason, which file of the batch it was
    // and that the files after it were not converted; its entry is selected.
    // The status line says what the box says, and screen readers are told.
    const std::string description =
        "Cannot open " + Quoted(c.listed.at(static_cast<std::size_t>(c.failing - 1)));
    ASSERT_EQ(view_.failures.size(), 1u);
    EXPECT_EQ(view_.failures[0].title, "CorvaneCSVtoCRC");
    EXPECT_EQ(view_.failures[0].text, "Error 102: " + description + c.place);
    EXPECT_EQ(view_.selected, c.failing - 1);
    EXPECT_EQ(view_.statuses.back(), description);
    EXPECT_EQ(view_.announced.back(), description);
    EXPECT_FALSE(model_.Busy());
    EXPECT_EQ(view_.programEnds, 0);

    // The next Generate runs the list again.
    Generate();
    EXPECT_EQ(view_.failures.size(), 2u);
  }
}

// A modal window's loop runs the calls posted to the window: a batch that
// fails meanwhile is reported when it has closed, its entry found where it is
// then (the Open dialog may have added one before it).
TEST_F(MainModelTest, ABatchThatFailsUnderAModalWindowIsReportedWhenItCloses) {
  Drop({Path("gone.csv")});
  view_.dialogAnswer = Path("a.csv");
  const struct {
    const char* what;
    void (MainModel::*open)();
    int failedRow;
  } cases[] = {{"About", &MainModel::cmdAbout_Click, 0},
               {"the Open dialog", &MainModel::cmdOpenCSV_Click, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    view_.failures.clear();
    view_.selected = -1;
    std::size_t failuresWhileOpen = 99;
    view_.whileModal = [&] {
      model_.cmdGenerate_Click();
      EXPECT_TRUE(view_.RunUntil([&] { return !model_.BatchRunning(); }));
      failuresWhileOpen = view_.failures.size();
    };
    (model_.*c.open)();
    EXPECT_EQ(failuresWhileOpen, 0u);
    EXPECT_EQ(view_.failures.size(), 1u);
    EXPECT_EQ(view_.selected, c.failedRow);
  }
  view_.whileModal = nullptr;
}

TEST_F(MainModelTest, ExitAndTheCloseBoxEndTheProgramAlsoDuringABatch) {
  EXPECT_TRUE(model_.Form_QueryUnload());
  model_.cmdExit_Click();
  EXPECT_EQ(view_.programEnds, 1);

  struct Case {
    const char* what;
    bool closeBox;
    bool batchHeedsStop;
  };
  for (const Case& c : {Case{"Exit, the batch stops between blocks", false, true},
                        Case{"close box, the batch stops between blocks", true, true},
                        Case{"Exit, the batch stuck in a read", false, false}}) {
    SCOPED_TRACE(c.what);
    RecordingView view;
    MainModel model(view);
    view.model = &model;
    std::atomic<int> processEnds{0};
    std::atomic<long long> endedAfterMs{-1};
    const auto start = std::chrono::steady_clock::now();
    model.SetProcessEnd([&] {
      endedAfterMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
      ++processEnds;
    });
    HeldBatch batch(c.batchHeedsStop);
    model.SetBatchRun(batch.Run());
    model.lstFiles_OLEDragDrop(true, {Path("a.csv")});
    model.cmdGenerate_Click();
    batch.WaitUntilStarted();

    if (c.closeBox) {
      EXPECT_FALSE(model.Form_QueryUnload());
    } else {
      model.cmdExit_Click();
    }
    EXPECT_TRUE(view.hidden);
    if (c.batchHeedsStop) {
      // The batch stops and the program ends with it.
      ASSERT_TRUE(view.RunUntil([&] { return view.programEnds > 0; }));
      EXPECT_EQ(processEnds, 0);
    } else {
      // Not waited for beyond the grace period: the process ends.
      const auto deadline = std::chrono::steady_clock::now() + kDeadline;
      while (processEnds == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPoll);
      }
      EXPECT_EQ(processEnds, 1);
      EXPECT_GE(endedAfterMs, mainwindow::kEndGrace.count());
      EXPECT_EQ(view.programEnds, 0);
      batch.Release();
      ASSERT_TRUE(view.RunUntil([&] { return view.programEnds > 0; }));
    }
  }
}

// Measures each character as one unit, on lines of 40 units, 3 lines,
// wrapped at spaces; a word longer than a line does not fit.
class GridMeasure final : public TextMeasure {
 public:
  static int Width(const std::string& text) {
    return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
  }
  bool Fits(const std::string& text) const override {
    int lines = 1, column = 0;
    std::size_t start = 0;
    for (;;) {
      const std::size_t space = text.find(' ', start);
      const int word = Width(text.substr(start, space - start));
      if (word > kWidth) return false;
      if (column > 0 && column + 1 + word > kWidth) {
        ++lines;
        column = word;
      } else {
        column += (column > 0 ? 1 : 0) + word;
      }
      if (space == std::string::npos) break;
      start = space + 1;
    }
    return lines <= 3;
  }

 private:
  static constexpr int kWidth = 40;
};

TEST(WindowTexts, ProgressFailureAndStatusTexts) {
  EXPECT_EQ(ProgressText(2, 5, 37), "File 2 of 5 - 37%");
  EXPECT_EQ(ProgressText(1, 1, -1), "File 1 of 1");
  using Kind = BatchThread::Outcome::Kind;
  EXPECT_EQ(BatchFailureText({Kind::kFailed, 102, "Cannot open 'x'", 3000, 5000}),
            "Error 102: Cannot open 'x'\n\nFile 3000 of 5000. "
            "The 2000 files after it were not converted.");
  EXPECT_EQ(BatchFailureText({Kind::kFailed, 102, "Cannot open 'x'", 5, 5}),
            "Error 102: Cannot open 'x'\n\nFile 5 of 5.");

  // A status text too long for its line is cut as one text: the message's
  // start and every file name with what follows it stay, the folders give
  // way in their middle; a name too long itself, or a text without paths,
  // is cut too, but always fits.
  const std::string ellipsis = "\xE2\x80\xA6";
  const std::string folders = "/home/someone/Documents/Finance/Quarterly Reports 2024/\xC3\xBC";
  struct Row {
    std::string text, start, end;
    std::size_t cuts;
  };
  const Row rows[] = {
      {"Processed 1 files.", "Processed 1 files.", "", 0},
      {"Converting file:" + folders + "/Sales by month.csv", "Converting file:/",
       "/Sales by month.csv", 1},
      {"Cannot open '" + folders + "/Sales by month.csv' for reading: No such file or directory",
       "Cannot open '/", "/Sales by month.csv' for reading: No such file or directory", 1},
      {"Cannot read '" + folders + "/x.csv': Input/output error", "Cannot read '/",
       "/x.csv': Input/output error", 1},
      {"Cannot convert '" + folders + "/x.csv': its output '" + folders +
           "/A1_x.crc' is already the output of '" + folders + "/x.txt'",
       "Cannot convert '/", "/x.txt'", 3},
      {"Converting file:C:\\Users\\someone\\Documents\\Quarterly Reports 2024\\Sales.csv",
       "Converting file:C", "\\Sales.csv", 1},
      {"Converting file:/data/" + std::string(90, 'n') + ".csv", "Converting file:/", ".csv", 1},
      {std::string(150, 'w'), "www", ellipsis, 1},
  };
  const GridMeasure measure;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const std::string shown = FitStatus(row.text, measure);
    EXPECT_TRUE(measure.Fits(shown)) << shown;
    EXPECT_TRUE(shown.starts_with(row.start) && shown.ends_with(row.end)) << shown;
    std::size_t cuts = 0;
    for (std::size_t at = shown.find(ellipsis); at != std::string::npos;
         at = shown.find(ellipsis, at + 1)) {
      ++cuts;
    }
    EXPECT_EQ(cuts, row.cuts) << shown;
    EXPECT_EQ(shown.find("\xC3\xE2"), std::string::npos) << "a character cut in two";
    // The tooltip holds the whole text once any of it is cut.
    EXPECT_EQ(StatusTip(row.text, shown), cuts == 0 ? "Status information" : row.text);
  }
}

TEST(AboutWindow, TextsAndSystemInfo) {
  const AboutTexts texts = AboutWindowTexts();
  EXPECT_EQ(texts.caption, "About CorvaneCSVtoCRC");
  EXPECT_EQ(texts.title, "CorvaneCSVtoCRC");
  EXPECT_EQ(texts.version, "Version 1.0.1");
  EXPECT_EQ(texts.description,
            "A utility from Corvane - No Warranty applies or should be assumed etc.");
  EXPECT_TRUE(texts.disclaimer.starts_with(
      "One day I'll write some help. I sometimes bother to read mail at "));
  EXPECT_TRUE(texts.disclaimer.ends_with(" but don't hold your breath."));
  EXPECT_EQ(texts.iconName, "CorvaneCSVtoCRC");

  for (const bool started : {false, true}) {
    SCOPED_TRACE(started ? "tool started" : "no tool");
    int launches = 0;
    std::vector<std::pair<std::string, std::string>> messages;
    RunSysInfo([&] { return ++launches, started; },
               [&](const std::string& text, const std::string& title) {
                 messages.emplace_back(text, title);
               });
    EXPECT_EQ(launches, 1);
    if (started) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].first, "System Information Is Unavailable At This Time");
      EXPECT_EQ(messages[0].second, "CorvaneCSVtoCRC");
    }
  }
}

}  // namespace
}  // namespace corvane
