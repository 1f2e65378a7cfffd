// Differential fuzzing of the streaming transcoder.
//
// Input layout: byte 0 holds the number of chunk sizes (low 4 bits), whether
// to run the same data a second time after Finish (bit 5) and whether to write
// the output in small blocks (bit 6; 64 + byte 1 bytes, instead of 1 MiB), so
// that short data crosses many block ends. The chunk sizes follow, one byte
// each (0..127 as they are, 128..255 as multiples of 64 up to 8128); the rest
// is the data. The data is fed in those chunks, cycling through the sizes, each
// chunk in a heap block of exactly its size so that any read past it is
// caught, to a transcoder of every scan level the processor has (portable,
// SSE2, AVX2, AVX-512). Each output must equal the tests' reference conversion
// (tests/support, built without coverage instrumentation, so that the fuzzer
// steers by the product's branches) byte for byte; TranscodeLine on the data
// without its CRs must give the reference's records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/RecordTranscoder.h"
#include "support/Engine.h"
#include "support/Reference.h"

namespace {

class StringSink : public corvane::OutputSink {
 public:
  // Every write is one whole block, except the last of an input, which may be shorter.
  void Write(const char* data, std::size_t size) override {
    if (size == 0) Fail("the sink was handed an empty block", {}, {});
    if (size > block) Fail("the sink was handed more than a block", {}, {});
    if (sawShortWrite) Fail("the sink was written to after a short block", {}, {});
    sawShortWrite = size < block;
    text.append(data, size);
  }
  std::string text;
  std::size_t block = 0;
  bool sawShortWrite = false;
  static inline corvane::ScanLevel level = corvane::ScanLevel::kPortable;  // of the run under way

  [[noreturn]] static void Fail(const char* what, std::string_view expected,
                                std::string_view actual) {
    std::fprintf(stderr, "fuzz_transcoder: %s (scan level %s)\n", what,
                 std::string(corvane::ScanLevelName(level)).c_str());
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    std::fprintf(stderr, "  expected %zu bytes, got %zu; first difference at byte %zu\n",
                 expected.size(), actual.size(), at);
    std::abort();
  }
};

constexpr std::size_t kNormalBlock = corvane::TranscoderTestAccess::kNormalBlock;
constexpr std::size_t kSmallestBlock = 64;

std::size_t ChunkSize(std::uint8_t code) {
  return code < 128 ? code : static_cast<std::size_t>(code - 128) * 64;
}

void FeedInChunks(corvane::StreamTranscoder& transcoder, std::string_view data,
                  const std::vector<std::size_t>& sizes) {
  std::size_t next = 0;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t size = sizes.empty() ? data.size() : sizes[next++ % sizes.size()];
    if (size == 0) {
      transcoder.Feed(data.data() + pos, 0);  // an empty chunk changes nothing
      size = 1;
    }
    size = std::min(size, data.size() - pos);
    // An exact-size heap copy: AddressSanitizer catches any read past the chunk.
    const std::unique_ptr<char[]> chunk(new char[size]);
    std::copy_n(data.data() + pos, size, chunk.get());
    transcoder.Feed(chunk.get(), size);
    pos += size;
  }
  transcoder.Finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = bytes[0];
  const std::size_t sizeCount = std::min<std::size_t>(control & 0x0F, size - 1);
  const bool twice = (control & 0x20) != 0;
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < sizeCount; ++i) sizes.push_back(ChunkSize(bytes[1 + i]));
  const std::string_view data(reinterpret_cast<const char*>(bytes) + 1 + sizeCount,
                              size - 1 - sizeCount);
  const std::string expected = corvane::test::ReferenceConvert(data);

  // One transcoder of each supported level serves every input of normal
  // blocks: each run ends with Finish, after which a transcoder starts afresh
  // (and reusing it spares the 1 MiB output buffer's allocation per input).
  static StringSink sink;
  static const auto normalBlocks = [] {
    std::vector<std::pair<corvane::ScanLevel, std::unique_ptr<corvane::StreamTranscoder>>>
        transcoders;
    for (corvane::ScanLevel level : corvane::kScanLevels) {
      if (corvane::ScanLevelSupported(level)) {
        transcoders.emplace_back(level,
                                 corvane::TranscoderTestAccess::Make(sink, level, kNormalBlock));
      } else {
        std::fprintf(stderr, "fuzz_transcoder: scan level %s not supported here, skipped\n",
                     std::string(corvane::ScanLevelName(level)).c_str());
      }
    }
    return transcoders;
  }();
  sink.block = (control & 0x40) != 0 ? kSmallestBlock + (size > 1 ? bytes[1] : 0) : kNormalBlock;
  for (const auto& [level, normal] : normalBlocks) {
    sink.level = level;
    std::unique_ptr<corvane::StreamTranscoder> smallBlocks;
    if (sink.block != kNormalBlock) {
      smallBlocks = corvane::TranscoderTestAccess::Make(sink, level, sink.block);
    }
    corvane::StreamTranscoder& transcoder = smallBlocks ? *smallBlocks : *normal;
    sink.text.clear();
    sink.sawShortWrite = false;
    FeedInChunks(transcoder, data, sizes);
    if (sink.text != expected) StringSink::Fail("stream output differs", expected, sink.text);
    if (twice) {
      // After Finish the transcoder starts afresh: the same input gives the same output again.
      sink.sawShortWrite = false;
      FeedInChunks(transcoder, data, sizes);
      if (sink.text != expected + expected) {
        StringSink::Fail("second run after Finish differs", expected + expected, sink.text);
      }
    }
  }

  // TranscodeLine takes one line: the data with its CRs removed. A record never
  // holds an LF (LF splits records), so records joined by LF compare exactly.
  std::string line;
  line.reserve(data.size());
  for (char c : data) {
    if (c != '\r') line.push_back(c);
  }
  std::string expectedRecords;
  for (const std::string& record : corvane::test::ReferenceRecords(line)) {
    expectedRecords.append(record).append("\n");
  }
  std::string records;
  for (const std::string& record : corvane::TranscodeLine(line)) {
    if (record.find('\n') != std::string::npos) {
      StringSink::Fail("TranscodeLine gave a record holding an LF", {}, record);
    }
    records.append(record).append("\n");
  }
  if (records != expectedRecords) {
    StringSink::Fail("TranscodeLine records differ", expectedRecords, records);
  }
  return 0;
}
