#include "engine/BatchConverter.h"

#include <string>
#include <vector>

#include "engine/FileConverter.h"
#include "engine/OutputNamer.h"

namespace corvane {

void BatchConverter::Run(const PathList& list, ConversionObserver& observer) {
  observer.ClearFeedback();
  observer.SetBusy(true);
  int count = 0;
  try {
    // The entries are read once, here: files added while the batch runs wait
    // for the next batch, and none is skipped or converted twice.
    std::vector<std::string> paths;
    count = list.Count();
    paths.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) paths.push_back(list.At(k));
    const OutputNamer namer;
    for (int k = 0; k < count; ++k) {
      const std::string& inputPath = paths[static_cast<std::size_t>(k)];
      // Opened first, so a missing input fails before the status names it.
      InputFile input = InputFile::Open(inputPath);
      const std::string outputPath = namer.OutputPath(inputPath);
      observer.SetStatus("Converting file:" + inputPath);
      observer.SetProgress(k + 1, count, 0);
      observer.PumpEvents();
      if (observer.StopRequested()) throw BatchAbandoned{};
      ConvertToFile(input, outputPath);
    }
  } catch (...) {
    // Whatever ends the batch (a ConversionError, BatchAbandoned from the
    // event point), the unfinished output is gone by now and the input is
    // closed; the pointer is put back before the failure travels on.
    observer.SetBusy(false);
    throw;
  }
  observer.SetBusy(false);
  observer.SetStatus("Processed " + std::to_string(count) + " files.");
}

}  // namespace corvane
