// One batch run on a thread of its own, so that the window repaints and
// answers while files are converted.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/BatchConverter.h"
#include "filelist/FileList.h"

class BatchThread {
 public:
  // How a batch ended.
  struct Outcome {
    enum class Kind { kDone, kAbandoned, kFailed };
    Kind kind = Kind::kDone;
    int code = 0;             // the failure's number; 0 for a failure without one
    std::string description;  // the failure's description
  };
  using Ended = std::function<void(const Outcome& outcome)>;

  // Starts converting list, a copy of its own that the window's later changes
  // do not touch. The observer's calls reach window as queued calls on the
  // thread of context, in the order made, and ended comes last. Once context
  // is gone, nothing more reaches it.
  BatchThread(QObject* context, corvane::ConversionObserver& window, corvane::FileList list,
              Ended ended);
  // Waits a moment for the batch to end. A thread still blocked then (a read
  // from a pipe whose writer never comes) is left to itself and reaches the
  // window no more.
  ~BatchThread();

  BatchThread(const BatchThread&) = delete;
  BatchThread& operator=(const BatchThread&) = delete;

  // Asks the batch to stop at its next chance: between two files or two
  // blocks of a file.
  void RequestStop();

  // What the window and the batch's thread share.
  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};
