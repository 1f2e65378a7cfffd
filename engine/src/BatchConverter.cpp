#include "engine/BatchConverter.h"

#include <string>

#include "engine/FileConverter.h"
#include "engine/OutputNamer.h"

namespace corvane {

void BatchConverter::Run(const PathList& list, ConversionObserver& observer) {
  observer.ClearFeedback();
  observer.SetBusy(true);
  try {
    // The bound is read once: files added while the batch runs (at the event
    // point) wait for the next batch, but each entry is read when its turn
    // comes, so it is whatever the list holds at that index by then.
    const int count = list.Count();
    const OutputNamer namer;
    for (int k = 0; k < count; ++k) {
      const std::string inputPath = list.At(k);
      // Opened first, so a missing input fails before the status names it.
      InputFile input = InputFile::Open(inputPath);
      const std::string outputPath = namer.OutputPath(inputPath);
      observer.SetStatus("Converting file:" + inputPath);
      observer.PumpEvents();
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
  observer.SetStatus("Processed " + std::to_string(list.Count()) + " files.");
}

}  // namespace corvane
