// Differential fuzzing of the streaming transcoder.
//
// Input layout: byte 0 holds the number of chunk sizes (low 4 bits), whether
// to use the portable byte scan (bit 4), whether to run the same data a
// second time after Finish (bit 5) and whether to repeat data of up to 1024
// bytes 64 times (bit 6). The chunk sizes follow, one byte each
// (0..127 as they are, 128..255 as multiples of 64 up to 8128); the rest is the
// data. The data is fed in those chunks, cycling through the sizes, each chunk
// in a heap block of exactly its size so that any read past it is caught. The
// output must equal the reference below byte for byte; TranscodeLine on the
// data without its CRs must give the reference's records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RecordTranscoder.h"

namespace corvane {

// Reaches the portable byte scan, which must give the same output as the vector one.
class TranscoderTestAccess {
 public:
  static std::unique_ptr<StreamTranscoder> Make(OutputSink& sink, bool portableScan) {
    return std::unique_ptr<StreamTranscoder>(new StreamTranscoder(sink, portableScan));
  }
};

}  // namespace corvane

namespace {

// ---------------------------------------------------------------------------
// Reference, written from the rules alone.

// Line rules: a line ends at CR; CR LF is one terminator; a lone LF stays in
// the line; the end of the input ends the last line (an input ending in a
// terminator has no empty line after it).
std::vector<std::string_view> SplitLines(std::string_view input) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < input.size()) {
    if (input[i] == '\r') {
      lines.push_back(input.substr(start, i - start));
      i += (i + 1 < input.size() && input[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < input.size()) lines.push_back(input.substr(start));
  return lines;
}

// Record rules: records split at LF (a trailing LF opens no further record,
// the empty line has none); F1..F3 end at "," or at the record's end; F4 is
// the rest of the record, commas included.
std::vector<std::string> LineRecords(std::string_view line) {
  std::vector<std::string> records;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t lf = line.find('\n', start);
    if (lf == std::string_view::npos) lf = line.size();
    std::string_view rest = line.substr(start, lf - start);
    std::string_view fields[4];
    for (int f = 0; f < 3; ++f) {
      const std::size_t comma = rest.find(',');
      if (comma == std::string_view::npos) {
        fields[f] = rest;
        rest = {};
      } else {
        fields[f] = rest.substr(0, comma);
        rest.remove_prefix(comma + 1);
      }
    }
    fields[3] = rest;
    std::string record;
    record.append(fields[0]).append("\t\t").append(fields[1]).append("\t\t");
    record.append("111 x 222").append("\t\t").append(fields[2]).append("\t\t").append(fields[3]);
    records.push_back(std::move(record));
    start = lf + 1;
  }
  return records;
}

std::string ReferenceOutput(std::string_view input) {
  std::string out;
  for (std::string_view line : SplitLines(input)) {
    for (const std::string& record : LineRecords(line)) out.append(record).append("\r\n");
  }
  return out;
}

// ---------------------------------------------------------------------------

class StringSink : public corvane::OutputSink {
 public:
  void Write(const char* data, std::size_t size) override {
    if (size == 0) Fail("the sink was handed an empty block", {}, {});
    text.append(data, size);
  }
  std::string text;

  [[noreturn]] static void Fail(const char* what, std::string_view expected,
                                std::string_view actual) {
    std::fprintf(stderr, "fuzz_transcoder: %s\n", what);
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    std::fprintf(stderr, "  expected %zu bytes, got %zu; first difference at byte %zu\n",
                 expected.size(), actual.size(), at);
    std::abort();
  }
};

constexpr int kRepeats = 64;
constexpr std::size_t kMaxRepeatedSize = 1024;

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
  const bool portable = (control & 0x10) != 0;
  const bool twice = (control & 0x20) != 0;
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < sizeCount; ++i) sizes.push_back(ChunkSize(bytes[1 + i]));
  const std::string_view given(reinterpret_cast<const char*>(bytes) + 1 + sizeCount,
                               size - 1 - sizeCount);
  // Repeating the data lets short inputs produce more than one whole output
  // block (1 MiB), so the block hand-over is fuzzed as well.
  // Only short data is repeated, which keeps memory use within the limits.
  const bool repeat = (control & 0x40) != 0 && given.size() <= kMaxRepeatedSize;
  std::string repeated;
  if (repeat) {
    for (int i = 0; i < kRepeats; ++i) repeated.append(given);
  }
  const std::string_view data = repeat ? std::string_view(repeated) : given;

  const std::string expected = ReferenceOutput(data);

  // One transcoder of each scan kind serves every input: each run ends with
  // Finish, after which a transcoder starts afresh (and reusing it spares the
  // 1 MiB output buffer's allocation per input).
  static StringSink sink;
  static const auto vectorScan = corvane::TranscoderTestAccess::Make(sink, false);
  static const auto portableScan = corvane::TranscoderTestAccess::Make(sink, true);
  const auto& transcoder = portable ? portableScan : vectorScan;
  sink.text.clear();
  FeedInChunks(*transcoder, data, sizes);
  if (sink.text != expected) StringSink::Fail("stream output differs", expected, sink.text);
  if (twice) {
    // After Finish the transcoder starts afresh: the same input gives the same output again.
    FeedInChunks(*transcoder, data, sizes);
    if (sink.text != expected + expected) {
      StringSink::Fail("second run after Finish differs", expected + expected, sink.text);
    }
  }

  // TranscodeLine takes one line: the data with its CRs removed.
  std::string line;
  line.reserve(data.size());
  for (char c : data) {
    if (c != '\r') line.push_back(c);
  }
  const std::vector<std::string> records = corvane::TranscodeLine(line);
  const std::vector<std::string> expectedRecords = LineRecords(line);
  if (records.size() != expectedRecords.size()) {
    std::fprintf(stderr, "fuzz_transcoder: TranscodeLine gave %zu records, expected %zu\n",
                 records.size(), expectedRecords.size());
    std::abort();
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i] != expectedRecords[i]) {
      std::fprintf(stderr, "fuzz_transcoder: TranscodeLine record %zu differs\n", i);
      StringSink::Fail("TranscodeLine record differs", expectedRecords[i], records[i]);
    }
  }
  return 0;
}
