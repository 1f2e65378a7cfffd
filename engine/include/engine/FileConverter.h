// Converting the files of a run, with complete-or-untouched outputs.
#pragma once

#include <cstddef>
#include <memory>

#include "engine/ConversionEvents.h"
#include "engine/ConversionRun.h"

namespace corvane {

namespace detail {
class Pump;  // inside the engine only
}

// Converts files of a run, one at a time; its buffers are made once and used
// for every file. One per converting thread.
//
// An output is written to a hidden temporary file beside it (".<name>.XXXXXX",
// or ".corvane.XXXXXX" where that name is too long for the folder) and moved
// over the output name only when complete; a symbolic link of that name is
// replaced, not followed. No one may read or write an output who may not
// read its input: a new output gets the input's read and write permissions
// less the umask; an output that replaces an older file keeps that file's
// permissions as far as the input's allow them, its group as far as the user
// may give it (a group other than the input's gets only what the input gives
// everyone), and its owner only where that is the input's. Only where the
// folder takes no new file but the older output is writable is that file
// written in place, and another user's only with an input everyone may read.
// Whatever ends a conversion early, the temporary file is removed and an
// older output stays whole.
class FileConverter {
 public:
  // overlapped: a regular input is read ahead and the output written on two
  // threads of the converter's own, so that a file is converted on two
  // cores. Without, everything happens on the calling thread: for a caller
  // that converts several files at once.
  explicit FileConverter(bool overlapped = true);
  ~FileConverter();
  FileConverter(const FileConverter&) = delete;
  FileConverter& operator=(const FileConverter&) = delete;

  // Makes the buffers for a file converted on the calling thread now instead
  // of at the first file, so that a caller that converts on several threads
  // knows this one has its memory. Throws std::bad_alloc.
  void Prepare();

  // Converts entry index of the run. Throws ConversionError naming the file
  // and the reason (101 to 109), or ConversionStopped.
  void Convert(const ConversionRun& run, std::size_t index, ConversionEvents& events);
  void Convert(const ConversionRun& run, std::size_t index);

 private:
  bool overlapped_;
  std::unique_ptr<detail::Pump> pump_;
};

}  // namespace corvane
