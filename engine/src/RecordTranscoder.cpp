// The streaming record transcoder: its state, the output buffer, and the
// choice of scan kernel (TranscoderKernel.h, built once per instruction-set
// level) from what the processor reports.
//
// State carried from one Feed to the next: the field being read, whether the
// current record has started, and whether the last byte was a CR (so that an
// LF opening the next chunk belongs to that CR).
#include "engine/RecordTranscoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "TranscoderState.h"

namespace corvane {
namespace detail {

TranscodeState::TranscodeState(OutputSink& s, std::size_t outBlock)
    : sink(s), lender(dynamic_cast<LendingSink*>(&s)), blockSize(outBlock) {
  out = lender != nullptr ? lender->LendBuffer(outBlock + kSlack) : nullptr;
  if (out == nullptr) {
    lender = nullptr;
    buffer = AllocateAligned(outBlock + kSlack);
    out = buffer.get();
  }
}

void TranscodeState::FlushBlocks() {
  while (used >= blockSize) {
    char* next = out;
    if (lender != nullptr) {
      next = lender->TakeBlock(out, blockSize);
    } else {
      sink.Write(out, blockSize);
    }
    used -= blockSize;
    if (next == out) {
      std::memmove(out, out + blockSize, used);
    } else {
      // The sink keeps the whole block until it is written; only its first
      // blockSize bytes are written, so the rest may still be read here.
      std::memcpy(next, out + blockSize, used);
      out = next;
    }
  }
}

void TranscodeState::AppendLong(const char* from, std::size_t size) {
  while (size != 0) {
    FlushBlocks();
    const std::size_t n = std::min(size, blockSize - used);
    std::memcpy(out + used, from, n);
    used += n;
    from += n;
    size -= n;
  }
  FlushBlocks();
}

namespace {

// A kernel for each level; nullptr where this build has none.
TranscodeKernel KernelOf(ScanLevel level) {
  switch (level) {
    case ScanLevel::kPortable:
      return TranscodePortable;
#ifdef CORVANE_X86_SCAN_KERNELS  // set by cmake/CorvaneScanKernels.cmake
    case ScanLevel::kSse2:
      return TranscodeSse2;
    case ScanLevel::kAvx2:
      return TranscodeAvx2;
    case ScanLevel::kAvx512:
      return TranscodeAvx512;
#endif
    default:
      return nullptr;
  }
}

bool ProcessorHas(ScanLevel level) {
#ifdef CORVANE_X86_SCAN_KERNELS
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
  switch (level) {
    case ScanLevel::kPortable:
    case ScanLevel::kSse2:
      return true;
    case ScanLevel::kAvx2:
      return avx2;
    case ScanLevel::kAvx512:
      return avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  }
  return false;
#else
  return level == ScanLevel::kPortable;
#endif
}

}  // namespace
}  // namespace detail

std::string_view ScanLevelName(ScanLevel level) {
  switch (level) {
    case ScanLevel::kPortable:
      return "portable";
    case ScanLevel::kSse2:
      return "sse2";
    case ScanLevel::kAvx2:
      return "avx2";
    case ScanLevel::kAvx512:
      return "avx512";
  }
  return "unknown";
}

bool ScanLevelSupported(ScanLevel level) {
  return detail::KernelOf(level) != nullptr && detail::ProcessorHas(level);
}

ScanLevel DefaultScanLevel() {
  static const ScanLevel chosen = [] {
    ScanLevel limit = ScanLevel::kAvx512;
    if (const char* asked = std::getenv("CORVANE_SCAN")) {
      for (ScanLevel level : kScanLevels) {
        if (ScanLevelName(level) == asked) limit = level;
      }
    }
    ScanLevel best = ScanLevel::kPortable;
    for (ScanLevel level : kScanLevels) {
      if (level <= limit && ScanLevelSupported(level)) best = level;
    }
    return best;
  }();
  return chosen;
}

struct StreamTranscoder::State : detail::TranscodeState {
  State(OutputSink& s, detail::TranscodeKernel k, std::size_t outBlock)
      : TranscodeState(s, outBlock), kernel(k) {}
  void Finish();

  const detail::TranscodeKernel kernel;
};

void StreamTranscoder::State::Finish() {
  pendingCr = false;
  if (inRecord) {
    const detail::Piece& end = detail::kPieces[4 + static_cast<std::size_t>(field)];
    std::memcpy(out + used, end.bytes.data(), end.size);
    used += end.size;
  }
  field = 0;
  inRecord = false;
  FlushBlocks();
  if (used != 0) {
    const std::size_t n = used;
    used = 0;
    sink.Write(out, n);
  }
}

constexpr std::size_t kOutBlock = std::size_t{1} << 20;  // bytes per sink write
// Blocks as small as this let short tests cross many block ends; smaller ones
// would test nothing more.
constexpr std::size_t kMinOutBlock = 64;

StreamTranscoder::StreamTranscoder(OutputSink& sink)
    : StreamTranscoder(sink, DefaultScanLevel(), kOutBlock) {}

StreamTranscoder::StreamTranscoder(OutputSink& sink, ScanLevel level)
    : StreamTranscoder(sink, level, kOutBlock) {}

StreamTranscoder::StreamTranscoder(OutputSink& sink, ScanLevel level, std::size_t outputBlock) {
  if (outputBlock < kMinOutBlock) throw std::invalid_argument("output block too small");
  if (!ScanLevelSupported(level)) {
    throw std::invalid_argument("scan level " + std::string(ScanLevelName(level)) +
                                " is not supported here");
  }
  state_ = std::make_unique<State>(sink, detail::KernelOf(level), outputBlock);
}

StreamTranscoder::~StreamTranscoder() = default;

void StreamTranscoder::Feed(const char* data, std::size_t size) {
  if (size != 0) state_->kernel(*state_, data, size);
}

void StreamTranscoder::Finish() { state_->Finish(); }

namespace {

class StringSink : public OutputSink {
 public:
  void Write(const char* data, std::size_t size) override { text.append(data, size); }
  std::string text;
};

}  // namespace

std::vector<std::string> TranscodeLine(std::string_view line) {
  // The same core as for whole files; a line holds no CR, so every CR LF in
  // the output ends exactly one record.
  StringSink sink;
  StreamTranscoder transcoder(sink);
  transcoder.Feed(line.data(), line.size());
  transcoder.Finish();

  std::vector<std::string> records;
  std::string_view rest = sink.text;
  for (std::size_t eol = rest.find("\r\n"); eol != std::string_view::npos;
       eol = rest.find("\r\n")) {
    records.emplace_back(rest.substr(0, eol));
    rest.remove_prefix(eol + 2);
  }
  return records;
}

}  // namespace corvane
