#include "Pump.h"

#include <chrono>
#include <cstdint>
#include <exception>

#include "InputFile.h"
#include "engine/ConversionEvents.h"
#include "engine/Errors.h"

namespace corvane::detail {

namespace {

// Input is read in blocks of this size into a page-aligned buffer.
constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Inputs from this size on are read, scanned and written on three threads.
constexpr std::uint64_t kOverlapFrom = 4 * kReadBlockSize;

}  // namespace

void Pump::DirectSink::Begin(int fd, const std::string& name) {
  fd_ = fd;
  name_ = name;
}

void Pump::DirectSink::Write(const char* data, std::size_t size) {
  WriteAll(fd_, name_, data, size);
}

Pump::Pump(bool overlapped) {
  if (!overlapped) return;
  try {
    reader_.emplace(kReadBlockSize);
    writer_.emplace();
  } catch (const std::exception&) {
    // No thread (a process limit) or no memory for one: the files are
    // converted on the calling thread alone.
    reader_.reset();
    writer_.reset();
  }
}

void Pump::Prepare() {
  if (!input_) input_ = AllocateAligned(kReadBlockSize);
  if (!here_) here_.emplace(direct_);
}

void Pump::Run(InputFile& from, int fd, const std::string& outputName, ConversionEvents& events) {
  // Overlapping pays where there is enough to overlap: handing a small file
  // between threads costs more than it saves. A pipe is read here, between
  // the checks for a stop: it may keep a read waiting for as long as its
  // writer likes.
  const bool overlap = writer_ && (!from.IsRegular() || from.SizeHint() >= kOverlapFrom);
  const bool ahead = overlap && from.IsRegular();
  OutputSink* const sink = overlap ? static_cast<OutputSink*>(&*writer_) : &direct_;
  std::optional<StreamTranscoder>& transcoder = overlap ? onWriter_ : here_;
  // Everything is made before the first Progress: a shortage of memory
  // meets a file before anything of it is read.
  if (!transcoder) transcoder.emplace(*sink);
  if (!ahead && !input_) input_ = AllocateAligned(kReadBlockSize);
  if (overlap) {
    writer_->Begin(fd, outputName);
  } else {
    direct_.Begin(fd, outputName);
  }
  if (ahead) reader_->Begin(from.Descriptor(), from.Name());
  const std::uint64_t expected = from.ExpectedSize();
  std::uint64_t total = 0;
  auto reported = std::chrono::steady_clock::now();
  events.Progress(0, expected);
  try {
    for (;;) {
      if (events.StopRequested()) throw ConversionStopped{};
      BlockReader::Block block{nullptr, 0};
      if (ahead) {
        block = reader_->Next();
      } else {
        block.size = from.Read(input_.get(), kReadBlockSize);
        block.data = input_.get();
      }
      if (block.size == 0) break;
      transcoder->Feed(block.data, block.size);
      total += block.size;
      if (const auto now = std::chrono::steady_clock::now(); now - reported >= kProgressInterval) {
        reported = now;
        events.Progress(total, expected);
      }
    }
    // Cut short by another program while it was read: the end seen is not
    // the file's end.
    if (total < expected) {
      throw ConversionError(
          ErrorNumber::kReadInput,
          "Cannot read " + Quoted(from.Name()) + ": the file became shorter while it was read");
    }
    transcoder->Finish();
    if (overlap) writer_->End();
  } catch (...) {
    // Nothing more reaches either descriptor, so that they may be closed;
    // the transcoder holds the unfinished part of this input.
    if (ahead) reader_->Abandon();
    if (overlap) writer_->Abandon();
    transcoder.emplace(*sink);
    throw;
  }
  if (ahead) reader_->Abandon();
  events.Progress(total, expected);
}

}  // namespace corvane::detail
