// The engine as tests reach it: its failures, and its seams in one place: the I/O
// hooks through which faults are injected (a disk that fills up, a read error,
// short or interrupted calls), and the transcoder's internal choices (the scan
// level, small output blocks).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "IoHooks.h"  // the engine's own header: the hooks behave like system calls
#include "engine/Errors.h"
#include "engine/RecordTranscoder.h"

namespace corvane {

// Makes transcoders with a chosen scan level (every supported one must give the
// same output) and with output blocks as small as 64 bytes, so that short
// inputs cross many block ends.
class TranscoderTestAccess {
 public:
  static constexpr std::size_t kNormalBlock = std::size_t{1} << 20;
  static std::unique_ptr<StreamTranscoder> Make(OutputSink& sink, ScanLevel level,
                                                std::size_t outputBlock = kNormalBlock) {
    return std::unique_ptr<StreamTranscoder>(new StreamTranscoder(sink, level, outputBlock));
  }
};

}  // namespace corvane

namespace corvane::test {

using detail::IoHooks;
using detail::ScopedIoHooks;
using WriteHook = std::function<std::ptrdiff_t(int fd, const void* data, std::size_t size)>;
using ReadHook = std::function<std::ptrdiff_t(int fd, void* data, std::size_t size)>;

// The system's own read and write on the engine's descriptors, for hooks that
// pass a call on.
std::ptrdiff_t SystemRead(int fd, void* data, std::size_t size);
std::ptrdiff_t SystemWrite(int fd, const void* data, std::size_t size);

// Runs f, which must fail with a ConversionError, and returns that.
ConversionError ExpectConversionError(const std::function<void()>& f);

// A write hook that fills up like a disk: it passes `allowance` bytes in all on
// to the system (the last write short), then fails every write with `error`.
// Each copy counts for itself, so a table's hook starts full in every run of
// its case (ScopedIoHooks takes a copy).
WriteHook FailingWrites(std::size_t allowance, int error);

// A read hook that passes `allowance` bytes in all, then fails every read with
// `error`, or with error 0 reports the end of the input (as when another
// program cuts the file short).
ReadHook FailingReads(std::size_t allowance, int error);

}  // namespace corvane::test
