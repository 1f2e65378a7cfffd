#include "engine/BatchConverter.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "engine/FileConverter.h"

namespace corvane {

namespace {

// Passes what happens to one file on to the window.
class BatchEvents final : public ConversionEvents {
 public:
  BatchEvents(ConversionObserver& observer, const std::string& input, int number, int count)
      : observer_(observer), input_(input), number_(number), count_(count) {}

  void Started() override {
    observer_.SetStatus("Converting file:" + ShownName(input_));
    // The event point, once per file.
    observer_.PumpEvents();
    if (observer_.StopRequested()) throw BatchAbandoned{};
  }

  void Progress(std::uint64_t bytesRead, std::uint64_t inputSize) override {
    // An input that grows while it is read gives more bytes than its size
    // at the start: it stays at 100% until its end.
    const int percent =
        inputSize == 0
            ? -1
            : static_cast<int>(std::min<std::uint64_t>(bytesRead, inputSize) * 100 / inputSize);
    observer_.SetProgress(number_, count_, percent);
  }

  bool StopRequested() override { return observer_.StopRequested(); }

 private:
  ConversionObserver& observer_;
  const std::string& input_;
  int number_;
  int count_;
};

}  // namespace

void BatchConverter::Run(std::vector<std::string> paths, ConversionObserver& observer) {
  observer.ClearFeedback();
  observer.SetBusy(true);
  const int count = static_cast<int>(paths.size());
  try {
    const ConversionRun run(std::move(paths));
    FileConverter converter;
    for (int k = 0; k < count; ++k) {
      const auto index = static_cast<std::size_t>(k);
      BatchEvents events(observer, run.Input(index), k + 1, count);
      try {
        converter.Convert(run, index, events);
      } catch (const ConversionError& error) {
        throw BatchFailure(error, k + 1, count);
      }
    }
  } catch (...) {
    // Whatever ends the batch (a ConversionError, BatchAbandoned), the
    // unfinished output is gone by now and the input is closed; the pointer
    // is put back before the failure travels on.
    observer.SetBusy(false);
    throw;
  }
  observer.SetBusy(false);
  observer.SetStatus("Processed " + std::to_string(count) + " files.");
}

}  // namespace corvane
