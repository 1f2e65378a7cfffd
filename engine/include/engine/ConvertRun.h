// Carrying out a run: its files converted by one job or several, and what
// happens to them told in list order, as if they were converted one at a time.
// Both front ends run their files through here and only present the events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ConversionRun.h"
#include "engine/Errors.h"

namespace corvane {

struct RunSchedule {
  unsigned jobs = 1;  // files converted at once; 0: one per core
  // The first failure ends the run: the files after it are not touched. Such
  // a run converts one file at a time, in list order, whatever jobs says.
  bool stopAtFirstFailure = false;
};

// What happens to the files of a run. Each file's events come in this order,
// and the files' in list order: every event of a file before any of the next.
//
// While a file is converted and every earlier one has ended (always so with
// one job), its events come as they happen, on the thread converting it, and
// a handler may throw: a failure of that file (ConversionStopped abandons the
// run). Otherwise its events are held until its turn and then come from the
// thread that ended the file before it, its progress left out; handlers must
// not throw then, nor ever from FileFinished, FileFailed and RunEnded. No two
// calls come at the same time, StopRequested aside.
class RunEvents {
 public:
  virtual ~RunEvents() = default;
  // The file is taken up; nothing of it is opened yet.
  virtual void FileStarted(std::size_t /*file*/) {}
  // Its input is open and its output checked; nothing is written yet.
  virtual void FileOpened(std::size_t /*file*/) {}
  // Its older output is written in place, as its folder takes no new file.
  virtual void FileWritingInPlace(std::size_t /*file*/) {}
  // Bytes of its input read so far, of its size at the start (0: not known).
  virtual void FileProgressed(std::size_t /*file*/, std::uint64_t /*bytesRead*/,
                              std::uint64_t /*inputSize*/) {}
  virtual void FileFinished(std::size_t /*file*/) {}
  virtual void FileFailed(std::size_t /*file*/, const ConversionError& /*error*/) {}
  // Asked between blocks, on every converting thread. True abandons the run.
  virtual bool StopRequested() { return false; }
  // Last, unless the run was abandoned: how many files were converted.
  virtual void RunEnded(std::size_t /*converted*/) {}
};

// Converts the files of run. Entries that write one output are converted one
// after the other, in list order, by one job. A failure of a file is told and
// the next file converted (or the run ends, as scheduled); a job that runs
// short of memory or descriptors before it has read anything of its file
// hands the rest of its work back to the calling thread, whose buffers are
// made before any other job starts, so that every file is converted as with
// fewer jobs. Throws ConversionStopped where the run was abandoned, and
// std::bad_alloc where not even the jobs could be set up (before any file).
void ConvertRun(const ConversionRun& run, const RunSchedule& schedule, RunEvents& events);

// The texts of a run as both front ends show them: "Converting file:" and the
// input's shown name, "Processed N files.".
std::string ConvertingText(std::string_view input);
std::string ProcessedText(std::size_t files);

}  // namespace corvane
