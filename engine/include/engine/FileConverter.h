// Converting the files of a run, with complete-or-untouched outputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/ConversionRun.h"

namespace corvane {

// What happens to one file while it is converted. Every call comes on the
// converting thread.
class ConversionEvents {
 public:
  virtual ~ConversionEvents() = default;
  // The input is open and its output checked; nothing is written yet. May
  // throw to abandon the file (nothing is then written).
  virtual void Started() {}
  // The older output is being written in place, as its folder takes no new
  // file: a failure from now on leaves it incomplete.
  virtual void WritingInPlace() {}
  // Bytes of the input read so far, of its size at the start (0 when the
  // size is not known, as for a pipe): first with 0, once the memory the file
  // needs is had and before anything is read; then at most a few times a
  // second.
  virtual void Progress(std::uint64_t bytesRead, std::uint64_t inputSize) {
    (void)bytesRead;
    (void)inputSize;
  }
  // Asked between blocks. True ends the conversion with ConversionStopped:
  // the unfinished output is removed and an older one stays whole.
  virtual bool StopRequested() { return false; }
};

// Converts files of a run, one at a time; its buffers are made once and used
// for every file. One per converting thread.
//
// An output is written to a hidden temporary file beside it (".<name>.XXXXXX",
// or ".corvane.XXXXXX" where that name is too long for the folder) and moved
// over the output name only when complete; a symbolic link of that name is
// replaced, not followed. A new output gets the input's read and write
// permissions less the umask; an output that replaces an older file keeps
// that file's permissions, and its owner and group as far as the user may set
// them. Only where the folder takes no new file but the older output is
// writable is that file written in place. Whatever ends a conversion early,
// the temporary file is removed and an older output stays whole.
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

  struct Buffers;  // inside the engine only

 private:
  bool overlapped_;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace corvane
