// One batch run on a thread of its own, so that the window repaints and
// answers while files are converted.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WindowView.h"
#include "engine/BatchConverter.h"

namespace corvane {

class BatchThread {
 public:
  // How a batch ended.
  struct Outcome {
    enum class Kind { kDone, kAbandoned, kFailed };
    Kind kind = Kind::kDone;
    int code = 0;             // the failure's number; 0 for a failure without one
    std::string description;  // the failure's description
    int fileNumber = 0;       // which file of the batch failed (from 1); 0: not known
    int fileCount = 0;        // the files in the batch
  };
  using Ended = std::function<void(const Outcome& outcome)>;
  // What converts the files: BatchConverter::Run (the tests hold a batch at
  // a point of their choosing instead).
  using Run = std::function<void(std::vector<std::string> paths, ConversionObserver& observer)>;

  // Starts converting paths, a snapshot that the window's later changes do
  // not touch. The observer's calls reach window as calls posted to thread,
  // in the order made, and ended comes last. Once this object is gone,
  // nothing more is posted.
  BatchThread(WindowThread& thread, ConversionObserver& window, std::vector<std::string> paths,
              Run run, Ended ended);
  // Waits a moment for the batch to end. A thread still blocked then (a read
  // from a pipe whose writer never comes) is left to itself and reaches the
  // window no more.
  ~BatchThread();

  BatchThread(const BatchThread&) = delete;
  BatchThread& operator=(const BatchThread&) = delete;

  // Asks the batch to stop at its next chance: between two files or two
  // blocks of a file.
  void RequestStop();

  // Calls late from a thread of its own when the batch has not ended within
  // grace (a read that does not return). Once only.
  void CallIfNotEndedWithin(std::chrono::milliseconds grace, std::function<void()> late);

  // What the window and the batch's thread share.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  std::thread watch_;
};

}  // namespace corvane
