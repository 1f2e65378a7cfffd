// Moves one input through the transcoder into its output: reads it in blocks,
// scans them and hands the output to be written, with progress and stop
// between the blocks. Scanning happens on the converting thread; where
// overlapped, reading ahead and writing happen on threads of their own, so
// that the three share two cores. Everything is made once, when first needed,
// and serves every file after it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "AlignedBuffer.h"
#include "BlockReader.h"
#include "BlockWriter.h"
#include "engine/RecordTranscoder.h"

namespace corvane {
class ConversionEvents;
}

namespace corvane::detail {

class InputFile;

class Pump {
 public:
  // overlapped: with the threads for reading ahead and writing, where they
  // can be had; without them everything happens on the calling thread.
  explicit Pump(bool overlapped);

  // Makes now what a file read and written on this thread needs. Throws
  // std::bad_alloc.
  void Prepare();

  // Streams the whole input through a transcoder into fd; a failure to write
  // names the output `outputName`. Throws ConversionError, or
  // ConversionStopped when events ask to stop; nothing more reaches fd then.
  void Run(InputFile& from, int fd, const std::string& outputName, ConversionEvents& events);

 private:
  // Writes on the converting thread itself.
  class DirectSink final : public OutputSink {
   public:
    void Begin(int fd, const std::string& name);
    void Write(const char* data, std::size_t size) override;

   private:
    int fd_ = -1;
    std::string name_;
  };

  AlignedBuffer input_;  // for inputs read on this thread
  std::optional<BlockReader> reader_;
  std::optional<BlockWriter> writer_;
  DirectSink direct_;
  std::optional<StreamTranscoder> onWriter_;  // writes through the writer's thread
  std::optional<StreamTranscoder> here_;      // writes on this thread
};

}  // namespace corvane::detail
