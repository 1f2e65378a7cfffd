// The Generate command: converts every listed file beside itself.
#pragma once

#include <string>
#include <vector>

#include "engine/Errors.h"

namespace corvane {

// How the batch drives the window.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  virtual void ClearFeedback() = 0;
  virtual void SetBusy(bool busy) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // Lets pending window events run once. An observer may throw
  // BatchAbandoned from here to abandon the batch (the program is ending).
  virtual void PumpEvents() = 0;

  // Where the batch is: the file being converted (counted from 1) of the
  // files in the batch, and how much of its input has been read in percent
  // (-1 while its size is unknown, as for a pipe; never above 100, also for
  // an input that grows while it is read). Called when a file starts
  // and then at most a few times a second.
  virtual void SetProgress(int fileNumber, int fileCount, int percent) {
    (void)fileNumber;
    (void)fileCount;
    (void)percent;
  }

  // Asked at the event point and between the blocks of a file, on the thread
  // that runs the batch. True ends the batch: the output being written is
  // abandoned (an older file of its name stays whole) and Run throws
  // BatchAbandoned.
  virtual bool StopRequested() { return false; }
};

// Thrown by an observer to abandon a batch, and by Run when StopRequested
// said so; Run removes any unfinished output and lets it pass.
using BatchAbandoned = ConversionStopped;

// The failure that ended a batch, and where in the batch it happened: the
// failing file's number (counted from 1) of the files in the batch. The files
// after it were not converted.
class BatchFailure : public ConversionError {
 public:
  BatchFailure(const ConversionError& error, int fileNumber, int fileCount)
      : ConversionError(error), fileNumber_(fileNumber), fileCount_(fileCount) {}

  int FileNumber() const noexcept { return fileNumber_; }
  int FileCount() const noexcept { return fileCount_; }

 private:
  int fileNumber_;
  int fileCount_;
};

class BatchConverter {
 public:
  // Converts the listed files one at a time in list order (ConvertRun, its
  // events turned into the observer's calls), and ends with "Processed N
  // files." counting them. The list is the caller's snapshot: a window takes
  // one when Generate is pressed, so that entries added meanwhile wait for
  // the next batch. The first failure ends the batch and leaves as
  // BatchFailure, naming the file's place; outputs finished before it stay,
  // the one being written is removed and an older file of its name is left
  // untouched; the files after it are not touched. Whatever ends the batch
  // early (a BatchFailure, BatchAbandoned), Run calls SetBusy(false) before
  // letting it pass; the status line keeps the name of the file that failed.
  void Run(std::vector<std::string> paths, ConversionObserver& observer);
};

}  // namespace corvane
