#include "MainModel.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "engine/Errors.h"
#include "engine/ProgramIdentity.h"
#include "engine/SignalCleanup.h"

namespace corvane {

namespace {

// A drop that adds more rows than this shows the list anew rather than row
// by row.
constexpr std::size_t kRowsShownOneByOne = 64;

// The batch's thread stays where it is (a read that does not return); its
// unfinished output goes first, so that an older output of that name stays
// whole.
void EndProcessNow() {
  RemoveUnfinishedOutputs();
  std::_Exit(EXIT_SUCCESS);
}

// The folder of a path (UTF-8), by the system's rules: a slash separates on
// POSIX, a backslash or a slash on Windows; a root keeps its separator.
std::string FolderOf(const std::string& path) {
  const std::u8string folder =
      std::filesystem::path(std::u8string(path.begin(), path.end())).parent_path().u8string();
  return std::string(folder.begin(), folder.end());
}

}  // namespace

std::string BatchFailureText(const BatchThread::Outcome& outcome) {
  std::string text = ErrorText(outcome.code, outcome.description);
  if (outcome.fileNumber <= 0) return text;
  text += "\n\nFile " + std::to_string(outcome.fileNumber) + " of " +
          std::to_string(outcome.fileCount) + ".";
  const int after = outcome.fileCount - outcome.fileNumber;
  if (after == 1) {
    text += " The file after it was not converted.";
  } else if (after > 1) {
    text += " The " + std::to_string(after) + " files after it were not converted.";
  }
  return text;
}

std::string StatusTip(const std::string& text, const std::string& shown) {
  return shown == text ? std::string(mainwindow::kStatusTip) : text;
}

std::string ProgressText(int fileNumber, int fileCount, int percent) {
  std::string text = "File " + std::to_string(fileNumber) + " of " + std::to_string(fileCount);
  if (percent >= 0) text += " - " + std::to_string(percent) + "%";
  return text;
}

MainModel::MainModel(MainView& view)
    : view_(view),
      run_([](std::vector<std::string> paths, ConversionObserver& observer) {
        BatchConverter().Run(std::move(paths), observer);
      }),
      endProcess_(EndProcessNow) {}

MainModel::~MainModel() { batch_.reset(); }

void MainModel::SetBatchRun(BatchThread::Run run) { run_ = std::move(run); }

void MainModel::SetProcessEnd(ProcessEnd endProcess) { endProcess_ = std::move(endProcess); }

void MainModel::Form_Load() {
  CommonDialog1.Flags = CommonDialog::kFlagExplorer | CommonDialog::kFlagFileMustExist |
                        CommonDialog::kFlagHideReadOnly;
  SetFeedback(mainwindow::kStartHint);
  SetStatus(mainwindow::kStatusStart);
}

void MainModel::cmdOpenCSV_Click() {
  CommonDialog1.FileName.clear();
  ShowModal([this] { view_.ShowOpenDialog(CommonDialog1); });
  if (!CommonDialog1.FileName.empty()) {
    // The next Open starts where this file was chosen (in this run only).
    CommonDialog1.InitDir = FolderOf(CommonDialog1.FileName);
    view_.ShowBusy(true);
    int row = 0;
    const AddResult result = files_.Add(CommonDialog1.FileName, &row);
    if (result == AddResult::kAdded) view_.ShowInsertedEntry(row);
    // Back to the batch's pointer, if a batch runs.
    view_.ShowBusy(busy_);
    SetFeedback(result == AddResult::kListFull ? mainwindow::kListFullHint : mainwindow::kNextHint);
  }
  ReportHeldEnd();
}

void MainModel::cmdGenerate_Click() {
  // A batch is running: this click starts nothing.
  if (batch_) return;
  // The batch gets its own copy of the list: entries added or removed from
  // now on wait for the next Generate.
  batchEntries_ = files_.Entries();
  batch_ = std::make_unique<BatchThread>(
      view_, *this, batchEntries_, run_,
      [this](const BatchThread::Outcome& outcome) { BatchEnded(outcome); });
}

void MainModel::cmdAbout_Click() {
  ShowModal([this] { view_.ShowAbout(); });
  ReportHeldEnd();
}

// A modal window keeps this one from input until it closes; a failure box
// over this one while it is open would give this one input back when the box
// closes (a message box enables its owner again). So a batch that ends
// meanwhile is reported by the handler that opened it, once it has closed
// and the handler has done its part (Open has listed the chosen file).
void MainModel::ShowModal(const std::function<void()>& show) {
  struct Open {
    int& count;
    explicit Open(int& c) : count(++c) {}
    ~Open() { --count; }
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;
  };
  const Open open(modalWindows_);
  show();
}

void MainModel::ReportHeldEnd() {
  if (modalWindows_ > 0 || !heldEnd_) return;
  const BatchThread::Outcome outcome = *heldEnd_;
  heldEnd_.reset();
  ReportBatchEnd(outcome);
}

void MainModel::BatchEnded(const BatchThread::Outcome& outcome) {
  batch_.reset();
  // The batch put the pointer back itself; its progress goes from the line.
  SetFeedback(std::string());
  if (endRequested_) {
    view_.EndProgram();
    return;
  }
  if (modalWindows_ > 0) {
    heldEnd_ = outcome;
    return;
  }
  ReportBatchEnd(outcome);
}

void MainModel::ReportBatchEnd(const BatchThread::Outcome& outcome) {
  if (outcome.kind == BatchThread::Outcome::Kind::kFailed) {
    // A failed file ends the batch but not the program: what was finished
    // stays. The status line names the file that failed and why, and its
    // entry is selected, so that it is found among thousands and can be
    // removed; the box says which file of the batch it was.
    SetStatus(outcome.description);
    if (outcome.fileNumber > 0) {
      const int row = RowOfBatchEntry(static_cast<std::size_t>(outcome.fileNumber - 1));
      if (row >= 0) view_.SelectEntry(row);
    }
    view_.AnnounceStatus();
    view_.ShowFailure(kProgramTitle, BatchFailureText(outcome));
  } else if (outcome.kind == BatchThread::Outcome::Kind::kDone) {
    view_.AnnounceStatus();  // "Processed N files."
  }
}

int MainModel::RowOfBatchEntry(std::size_t index) const {
  if (index >= batchEntries_.size()) return -1;
  const std::string& entry = batchEntries_[index];
  // The same file may be listed more than once: the same one of its entries.
  const auto sameBefore = std::count(
      batchEntries_.begin(), batchEntries_.begin() + static_cast<std::ptrdiff_t>(index), entry);
  int row = -1;
  std::ptrdiff_t seen = 0;
  for (int r = 0; r < files_.Count() && seen <= sameBefore; ++r) {
    if (files_.At(r) == entry) {
      row = r;
      ++seen;
    }
  }
  return row;
}

void MainModel::cmdExit_Click() {
  if (batch_) {
    EndDuringBatch();
    return;
  }
  view_.EndProgram();
}

bool MainModel::Form_QueryUnload() {
  if (!batch_) return true;
  EndDuringBatch();
  return false;
}

// The window goes at once; the batch stops between two blocks, removes its
// unfinished output and the program ends when it has. A batch that does not
// stop in time (a read from a pipe that waits for its writer) is not waited
// for: the process ends without it.
void MainModel::EndDuringBatch() {
  if (endRequested_) return;
  endRequested_ = true;
  batch_->RequestStop();
  view_.HideWindow();
  batch_->CallIfNotEndedWithin(mainwindow::kEndGrace, endProcess_);
}

int MainModel::lstFiles_OLEDragOver(bool offersFileList, int allowedEffects) {
  return DragOverEffect(offersFileList, allowedEffects);
}

void MainModel::lstFiles_OLEDragDrop(bool offersFileList, const std::vector<std::string>& paths) {
  const DropOutcome outcome = ApplyDrop(files_, offersFileList, paths);
  if (outcome.rows.size() > kRowsShownOneByOne) {
    view_.ShowList();
  } else {
    // Each row is where its entry went when it was added; a later entry
    // added before it moved it down. The view reads the entries as they
    // are now, so it gets them where they are now, top to bottom.
    std::vector<int> rows;
    for (const int row : outcome.rows) {
      for (int& earlier : rows) {
        if (earlier >= row) ++earlier;
      }
      rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    for (const int row : rows) view_.ShowInsertedEntry(row);
  }
  if (outcome.listFull > 0) SetFeedback(mainwindow::kListFullHint);
}

void MainModel::mnuRemove_Click(int currentRow) {
  if (!CanRemove(currentRow)) return;
  files_.Remove(currentRow);
  view_.ShowRemovedEntry(currentRow);
  view_.SelectEntry(std::min(currentRow, Count() - 1));
}

void MainModel::mnuClearList_Click() {
  files_.Clear();
  view_.ShowList();
}

void MainModel::lstFiles_GotFocus(int currentRow, bool currentSelected) {
  if (Count() == 0 || (currentSelected && currentRow >= 0)) return;
  view_.SelectEntry(currentRow >= 0 && currentRow < Count() ? currentRow : 0);
}

std::string MainModel::ShownEntry(int row) const { return ShownName(files_.At(row)); }

void MainModel::ClearFeedback() { SetFeedback(std::string()); }

void MainModel::SetBusy(bool busy) {
  busy_ = busy;
  view_.ShowBusy(busy);
}

void MainModel::SetStatus(const std::string& text) {
  status_ = text;
  view_.ShowStatus(status_);
}

void MainModel::SetProgress(int fileNumber, int fileCount, int percent) {
  SetFeedback(ProgressText(fileNumber, fileCount, percent));
}

// The window's thread runs its events all the time: nothing to let through.
void MainModel::PumpEvents() {}

void MainModel::SetFeedback(const std::string& text) {
  feedback_ = text;
  view_.ShowFeedback(feedback_);
}

}  // namespace corvane
