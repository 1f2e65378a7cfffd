// Turns CSV text into CRC list records.
//
// One streaming core implements both the line rules (a line ends at CR, CR LF
// is one terminator, a lone LF stays inside the line, the end of input ends
// the last line) and the record rules (a lone LF separates records inside a
// line; F1..F3 end at "," or LF, F4 keeps every further ","). Every other byte,
// NUL and 0x1A included, is passed through unchanged.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The fixed third column of every output record.
inline constexpr std::string_view kPlaceholderColumn = "111 x 222";

// The instruction set the transcoder's scan runs on. Every level gives the same
// output; they differ only in speed.
enum class ScanLevel { kPortable, kSse2, kAvx2, kAvx512 };
inline constexpr ScanLevel kScanLevels[] = {ScanLevel::kPortable, ScanLevel::kSse2,
                                            ScanLevel::kAvx2, ScanLevel::kAvx512};

// "portable", "sse2", "avx2" or "avx512".
std::string_view ScanLevelName(ScanLevel level);
// Whether this build and this processor can run the level (as the processor
// reports it: AVX2 with BMI1, BMI2 and POPCNT; AVX-512 F and BW besides).
bool ScanLevelSupported(ScanLevel level);
// The level transcoders use unless told otherwise, chosen once: the widest
// supported one. For measuring, the environment variable CORVANE_SCAN may name
// a level (portable, sse2, avx2, avx512); the widest supported level up to the
// named one is used then.
ScanLevel DefaultScanLevel();

// Receives the transcoder's output in blocks.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

// The streaming core. Feed it input in chunks of any size, split anywhere
// (a CR LF may straddle two chunks); each record is written to the sink
// followed by CR LF. Memory stays bounded whatever the line lengths.
class StreamTranscoder {
 public:
  explicit StreamTranscoder(OutputSink& sink);
  // With a chosen scan level (for measuring and comparing the levels); throws
  // std::invalid_argument when the level is not supported here.
  StreamTranscoder(OutputSink& sink, ScanLevel level);
  ~StreamTranscoder();
  StreamTranscoder(const StreamTranscoder&) = delete;
  StreamTranscoder& operator=(const StreamTranscoder&) = delete;

  void Feed(const char* data, std::size_t size);
  // Ends the input: completes the last record, if any, and hands every
  // buffered byte to the sink. The transcoder is then ready for a new input.
  void Finish();

 private:
  friend class TranscoderTestAccess;
  // outputBlock is the size of each write to the sink (1 MiB normally, at
  // least 64 bytes), so that short tests can cross many block ends.
  StreamTranscoder(OutputSink& sink, ScanLevel level, std::size_t outputBlock);

  struct State;
  std::unique_ptr<State> state_;
};

// One input line (without its terminator; it holds no CR but may hold LFs)
// to its output records, in order, without terminators. The empty line gives
// no record.
std::vector<std::string> TranscodeLine(std::string_view line);

}  // namespace corvane
