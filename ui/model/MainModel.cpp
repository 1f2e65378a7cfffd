#include "MainModel.h"

#include <algorithm>
#include <cstdlib>
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

}  // namespace

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
  view_.ShowOpenDialog(CommonDialog1);
  if (CommonDialog1.FileName.empty()) return;
  view_.ShowBusy(true);
  int row = 0;
  const AddResult result = files_.Add(CommonDialog1.FileName, &row);
  if (result == AddResult::kAdded) view_.ShowInsertedEntry(row);
  // Back to the batch's pointer, if a batch runs.
  view_.ShowBusy(busy_);
  SetFeedback(result == AddResult::kListFull ? mainwindow::kListFullHint : mainwindow::kNextHint);
}

void MainModel::cmdGenerate_Click() {
  // A batch is running: this click starts nothing.
  if (batch_) return;
  // The batch gets its own copy of the list: entries added or removed from
  // now on wait for the next Generate.
  batch_ = std::make_unique<BatchThread>(
      view_, *this, files_.Entries(), run_,
      [this](const BatchThread::Outcome& outcome) { BatchEnded(outcome); });
}

void MainModel::BatchEnded(const BatchThread::Outcome& outcome) {
  batch_.reset();
  // The batch put the pointer back itself; its progress goes from the line.
  SetFeedback(std::string());
  if (endRequested_) {
    view_.EndProgram();
    return;
  }
  if (outcome.kind == BatchThread::Outcome::Kind::kFailed) {
    // A failed file ends the batch but not the program: what was finished
    // stays. The status line names the file that failed and why.
    SetStatus(outcome.description);
    view_.ShowFailure(kProgramTitle, ErrorText(outcome.code, outcome.description));
  }
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
    for (const int row : outcome.rows) view_.ShowInsertedEntry(row);
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
