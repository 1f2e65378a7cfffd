// What a caller hears of one file while it is converted, and how it stops it.
#pragma once

#include <cstdint>

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

}  // namespace corvane
