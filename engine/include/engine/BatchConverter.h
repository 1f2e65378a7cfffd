// The Generate command: converts every listed file beside itself.
#pragma once

#include <string>

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
};

// Thrown by an observer to abandon a batch; Run removes any unfinished output
// and lets it pass.
struct BatchAbandoned {};

// An ordered list of input paths, read by index. It may grow while a batch
// runs (drops at the event point); the batch keeps the count it read first.
class PathList {
 public:
  virtual ~PathList() = default;
  virtual int Count() const = 0;
  virtual std::string At(int index) const = 0;
};

class BatchConverter {
 public:
  // Converts every listed file in list order. The first failure ends the batch
  // and leaves as ConversionError; outputs finished before it stay, the one
  // being written is removed and an older file of its name is left untouched.
  // Whatever ends the batch early (a ConversionError, BatchAbandoned), Run
  // calls SetBusy(false) before letting it pass; the status line keeps the
  // name of the file that failed.
  void Run(const PathList& list, ConversionObserver& observer);
};

}  // namespace corvane
