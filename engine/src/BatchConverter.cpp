#include "engine/BatchConverter.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/ConvertRun.h"
#include "engine/Errors.h"

namespace corvane {

namespace {

// Passes what happens to the files on to the window.
class WindowEvents final : public RunEvents {
 public:
  WindowEvents(ConversionObserver& observer, const ConversionRun& run)
      : observer_(observer), run_(run), count_(static_cast<int>(run.Size())) {}

  void FileOpened(std::size_t file) override {
    observer_.SetStatus(ConvertingText(run_.Input(file)));
    // The event point, once per file.
    observer_.PumpEvents();
    if (observer_.StopRequested()) throw BatchAbandoned{};
  }

  void FileProgressed(std::size_t file, std::uint64_t bytesRead, std::uint64_t inputSize) override {
    // An input that grows while it is read gives more bytes than its size
    // at the start: it stays at 100% until its end.
    const int percent =
        inputSize == 0
            ? -1
            : static_cast<int>(std::min<std::uint64_t>(bytesRead, inputSize) * 100 / inputSize);
    observer_.SetProgress(Number(file), count_, percent);
  }

  void FileFailed(std::size_t file, const ConversionError& error) override {
    failure.emplace(error, Number(file), count_);
  }

  bool StopRequested() override { return observer_.StopRequested(); }

  std::optional<BatchFailure> failure;  // the one that ended the batch

 private:
  static int Number(std::size_t file) { return static_cast<int>(file) + 1; }

  ConversionObserver& observer_;
  const ConversionRun& run_;
  int count_;
};

}  // namespace

void BatchConverter::Run(std::vector<std::string> paths, ConversionObserver& observer) {
  observer.ClearFeedback();
  observer.SetBusy(true);
  const std::size_t count = paths.size();
  try {
    const ConversionRun run(std::move(paths));
    WindowEvents events(observer, run);
    ConvertRun(run, RunSchedule{.stopAtFirstFailure = true}, events);
    if (events.failure) throw *events.failure;
  } catch (...) {
    // Whatever ends the batch (a BatchFailure, BatchAbandoned), the
    // unfinished output is gone by now and the input is closed; the pointer
    // is put back before the failure travels on.
    observer.SetBusy(false);
    throw;
  }
  observer.SetBusy(false);
  observer.SetStatus(ProcessedText(count));
}

}  // namespace corvane
