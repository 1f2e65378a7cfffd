// Tests of the record transcoder: the record rules, the line rules, chunking of
// the input, output blocks, and every scan level (the portable byte scan, SSE2,
// AVX2, AVX-512) against the plain reference conversion on the same awkward
// and random inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/RecordTranscoder.h"
#include "support/Engine.h"
#include "support/Reference.h"

namespace corvane {

// Test names and failures name the level.
void PrintTo(ScanLevel level, std::ostream* os) { *os << ScanLevelName(level); }

namespace {

using namespace std::string_literals;
using test::ReferenceConvert;
using test::ReferenceRecords;

// ---------------------------------------------------------------------------
// Running the engine.

class CollectingSink : public OutputSink {
 public:
  void Write(const char* data, std::size_t size) override {
    text.append(data, size);
    writeSizes.push_back(size);
  }
  std::string text;
  std::vector<std::size_t> writeSizes;
};

// Feeds the input in chunks of the given sizes, cycling through them; an empty
// list feeds it whole. outputBlock is the size of each write to the sink.
std::string Transcode(std::string_view input, const std::vector<std::size_t>& chunks = {},
                      ScanLevel level = DefaultScanLevel(),
                      std::size_t outputBlock = TranscoderTestAccess::kNormalBlock) {
  CollectingSink sink;
  auto transcoder = TranscoderTestAccess::Make(sink, level, outputBlock);
  if (chunks.empty()) {
    transcoder->Feed(input.data(), input.size());
  } else {
    std::size_t pos = 0;
    for (std::size_t k = 0; pos < input.size(); ++k) {
      const std::size_t n = std::min(chunks[k % chunks.size()], input.size() - pos);
      transcoder->Feed(input.data() + pos, n);
      pos += n;
    }
  }
  transcoder->Finish();
  return sink.text;
}

// Readable failure output for strings full of TABs and control bytes.
std::string Visible(std::string_view s) {
  const std::string shown = ::testing::PrintToString(std::string(s.substr(0, 400)));
  return s.size() > 400 ? shown + "...(" + std::to_string(s.size()) + ")" : shown;
}

#define EXPECT_SAME_BYTES(expected, actual) \
  EXPECT_TRUE((expected) == (actual))       \
      << "expected: " << Visible(expected) << "\n  actual: " << Visible(actual)

// ---------------------------------------------------------------------------
// One line to its records.

struct LineCase {
  const char* name;
  std::string line;
  std::vector<std::string> records;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class TranscodeLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(TranscodeLineTest, GivesTheRecordsInOrder) {
  const LineCase& c = GetParam();
  EXPECT_EQ(TranscodeLine(c.line), c.records);
  EXPECT_EQ(ReferenceRecords(c.line), c.records) << "the test's reference disagrees";
}

INSTANTIATE_TEST_SUITE_P(
    Records, TranscodeLineTest,
    ::testing::Values(
        LineCase{"FourFields", "a,b,c,d", {"a\t\tb\t\t111 x 222\t\tc\t\td"}},
        LineCase{
            "ExtraValuesStayInTheLastColumn", "a,b,c,d,e,f", {"a\t\tb\t\t111 x 222\t\tc\t\td,e,f"}},
        LineCase{"TwoFields", "a,b", {"a\t\tb\t\t111 x 222\t\t\t\t"}},
        LineCase{"OneField", "x", {"x\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"OnlyCommas", ",,,", {"\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"TrailingComma", "a,b,c,", {"a\t\tb\t\t111 x 222\t\tc\t\t"}},
        LineCase{"EmptyLine", "", {}}, LineCase{"SingleLf", "\n", {"\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"TwoRecordsEndingInLf",
                 "a,b,c,d\nw,x,y,z\n",
                 {"a\t\tb\t\t111 x 222\t\tc\t\td", "w\t\tx\t\t111 x 222\t\ty\t\tz"}},
        LineCase{"LfEndsFieldOneAndLeavesTheRestEmpty",
                 "a\nb,c,d,e",
                 {"a\t\t\t\t111 x 222\t\t\t\t", "b\t\tc\t\t111 x 222\t\td\t\te"}},
        LineCase{
            "QuotesArePlainCharacters", "\"q,1\",2,3,4", {"\"q\t\t1\"\t\t111 x 222\t\t2\t\t3,4"}},
        LineCase{"SpacesSurvive", " a , b ", {" a \t\t b \t\t111 x 222\t\t\t\t"}},
        LineCase{"LfEndsFieldThree",
                 "a,b,c\nd",
                 {"a\t\tb\t\t111 x 222\t\tc\t\t", "d\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"TwoLfsGiveAnEmptyRecord",
                 "a\n\nb",
                 {"a\t\t\t\t111 x 222\t\t\t\t", "\t\t\t\t111 x 222\t\t\t\t",
                  "b\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"CommaThenLf", "a,\n", {"a\t\t\t\t111 x 222\t\t\t\t"}},
        LineCase{"ByteOrderMarkIsPartOfFieldOne",
                 "\xef\xbb\xbf"
                 "a,b",
                 {"\xef\xbb\xbf"
                  "a\t\tb\t\t111 x 222\t\t\t\t"}},
        LineCase{"OtherBytesPassThrough",
                 "\0\x1a,\xff\xfe,caf\xc3\xa9,\t\"x\""s,
                 {"\0\x1a\t\t\xff\xfe\t\t111 x 222\t\tcaf\xc3\xa9\t\t\t\"x\""s}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Whole inputs: the line rules together with the record rules.

struct StreamCase {
  const char* name;
  std::string input;
  std::string output;
};
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class StreamTranscoderTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTranscoderTest, ConvertsTheWholeInput) {
  const StreamCase& c = GetParam();
  EXPECT_SAME_BYTES(c.output, Transcode(c.input));
  EXPECT_SAME_BYTES(c.output, ReferenceConvert(c.input)) << " (the test's reference disagrees)";
}

const std::string kRecA = "a\t\t\t\t111 x 222\t\t\t\t\r\n";
const std::string kRecB = "b\t\t\t\t111 x 222\t\t\t\t\r\n";
const std::string kRecAB = "a\t\tb\t\t111 x 222\t\t\t\t\r\n";
const std::string kRecEmpty = "\t\t\t\t111 x 222\t\t\t\t\r\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, StreamTranscoderTest,
    ::testing::Values(
        StreamCase{"EmptyInput", "", ""}, StreamCase{"CrEndsALine", "a\rb", kRecA + kRecB},
        StreamCase{"CrLfIsOneTerminator", "a\r\nb\r\n", kRecA + kRecB},
        StreamCase{"LoneLfSplitsRecordsInsideTheLine", "a\nb", kRecA + kRecB},
        StreamCase{"CrCrLfIsAnEmptyLineBetween", "a\r\r\nb", kRecA + kRecB},
        StreamCase{"LfCrEndsARecordThenTheLine", "a\n\rb", kRecA + kRecB},
        StreamCase{"LastLineWithCrOnly", "a\r", kRecA},
        StreamCase{"BlankLineInCrLfFileGivesNothing", "a,b\r\n\r\nb\r\n", kRecAB + kRecB},
        StreamCase{"BlankLineInLfFileGivesAnEmptyRecord", "a,b\n\n", kRecAB + kRecEmpty},
        StreamCase{"CrLfAndLfFilesAgreeWithoutBlankLines", "a,b\nb\n", kRecAB + kRecB},
        StreamCase{"OnlyTerminators", "\r\n\r\r\n\r", ""},
        StreamCase{"LfAtLineStart", "\r\n\na", kRecEmpty + kRecA},
        StreamCase{"CrAfterLfGivesNoExtraRecord", "a\n\r\n", kRecA},
        StreamCase{"FourthFieldKeepsCommasUpToCr", "a,b,c,d,e\rb",
                   "a\t\tb\t\t111 x 222\t\tc\t\td,e\r\n" + kRecB},
        StreamCase{"CrEndsEachFieldLikeTheEndOfALine", "a,\rb,c,\r",
                   kRecA + "b\t\tc\t\t111 x 222\t\t\t\t\r\n"},
        StreamCase{"EndOfFileMarkAndNulAreData", "\x1a\r\n\0"s,
                   "\x1a\t\t\t\t111 x 222\t\t\t\t\r\n\0\t\t\t\t111 x 222\t\t\t\t\r\n"s}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

TEST(StreamTranscoderReuse, FinishEndsTheInputCompletely) {
  // A CR at the end of one input must not swallow an LF at the start of the next.
  CollectingSink sink;
  StreamTranscoder transcoder(sink);
  transcoder.Feed("a,b\r", 4);
  transcoder.Finish();
  transcoder.Feed("\nb,", 3);
  transcoder.Finish();
  EXPECT_SAME_BYTES(kRecAB + kRecEmpty + "b\t\t\t\t111 x 222\t\t\t\t\r\n", sink.text);
}

// ---------------------------------------------------------------------------
// Every scan level the processor has, on inputs that stress chunk boundaries,
// the 64-byte blocks and 4 KiB batches of the scan, and on random inputs.

class ScanLevelTest : public ::testing::TestWithParam<ScanLevel> {
 protected:
  void SetUp() override {
    if (!ScanLevelSupported(GetParam())) {
      GTEST_SKIP() << "scan level " << ScanLevelName(GetParam())
                   << " skipped: this processor (or build) does not have it";
    }
  }
};

INSTANTIATE_TEST_SUITE_P(Levels, ScanLevelTest, ::testing::ValuesIn(kScanLevels),
                         [](const ::testing::TestParamInfo<ScanLevel>& info) {
                           return std::string(ScanLevelName(info.param));
                         });

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

std::vector<std::string> BoundaryInputs() {
  std::vector<std::string> inputs;
  for (const char* example : {"a,b,c,d", "a,b,c,d,e,f", ",,,", "a,b,c,\n", "\n", "a\r\nb\r\n",
                              "a\r\r\nb", "a\n\rb", "\r\n\r\n", "x,y\r", "\r\n\n,\r\r\n"}) {
    inputs.emplace_back(example);
  }
  // Every separator (and CR LF) at and around the block boundary.
  for (const char* sep : {",", "\r", "\n", "\r\n", "\r\r\n", "\n\r"}) {
    for (std::size_t pos = 60; pos <= 68; ++pos) {
      inputs.push_back(Repeat('x', pos) + sep + "y,z,w,v,u\r\n" + Repeat('q', 70) + ",r");
      inputs.push_back(Repeat(',', pos) + sep + Repeat('e', 3) + "\n");
    }
    for (std::size_t pos = 124; pos <= 132; ++pos) {
      inputs.push_back("a," + Repeat('x', pos) + sep + Repeat('s', 130) + ",t");
    }
  }
  // Fields and fourth-field commas spanning several blocks.
  inputs.push_back(Repeat('f', 200) + "," + Repeat('g', 64) + "," + Repeat('h', 63) + "," +
                   Repeat('i', 65) + "," + Repeat('j', 300) + "\r\n");
  inputs.push_back("1,2,3," + Repeat(',', 190) + "\r\n" + Repeat('\n', 130));
  // Records past the end of the first 4 KiB batches, and events on both sides
  // of a batch's end.
  std::string records, lfRecords;
  for (int k = 0; k < 400; ++k) {
    records.append("r").append(std::to_string(k)).append(",ab,c,dd,ee\r\n");
    lfRecords.append("p").append(std::to_string(k * 7)).append(",x,,z\n");
  }
  inputs.push_back(records);
  inputs.push_back(lfRecords);
  for (std::size_t pos = 4093; pos <= 4097; ++pos) {
    inputs.push_back(Repeat('x', pos) + "\r\n,b" + Repeat('y', 4090) + ",c,d,e\r\r\n");
  }
  return inputs;
}

// Every chunk size and every two-way split (a CR ending one chunk with its LF
// opening the next) give the reference output.
TEST_P(ScanLevelTest, EveryWayOfFeedingGivesTheReferenceOutput) {
  for (const std::string& input : BoundaryInputs()) {
    SCOPED_TRACE("input: " + Visible(input));
    const std::string expected = ReferenceConvert(input);
    std::vector<std::vector<std::size_t>> feeds = {{}, {3, 64, 5}, {63}, {64}, {65}, {100}};
    for (std::size_t chunk = 1; chunk <= 7; ++chunk) feeds.push_back({chunk});
    for (std::size_t cut = 1; cut < input.size() && input.size() <= 300; ++cut) {
      feeds.push_back({cut, input.size()});
    }
    for (const std::vector<std::size_t>& chunks : feeds) {
      EXPECT_SAME_BYTES(expected, Transcode(input, chunks, GetParam()))
          << " first chunk " << (chunks.empty() ? input.size() : chunks[0]);
    }
  }
}

// Fields longer than the transcoder's output block, in the first column and
// in the comma-keeping last column, fed whole and in odd chunks.
TEST_P(ScanLevelTest, FieldsLongerThanTheOutputBlock) {
  const std::size_t big = (std::size_t{3} << 20) + 17;
  std::string fourth;
  for (std::size_t k = 0; fourth.size() < big; ++k) fourth += k % 97 == 0 ? ',' : 'd';
  const std::vector<std::string> inputs = {
      Repeat('a', big) + ",b,c," + fourth + "\r\nnext,x\r\n",
      "a,b,c," + fourth,
      Repeat('z', big) + "\n" + Repeat('y', 5000) + ",\n",
  };
  for (const std::string& input : inputs) {
    const std::string expected = ReferenceConvert(input);
    EXPECT_SAME_BYTES(expected, Transcode(input, {}, GetParam()));
    EXPECT_SAME_BYTES(expected, Transcode(input, {65521, 1, 4096}, GetParam()));
  }
}

// The sink gets whole blocks of one size (the normal one at least 64 KiB, or a
// chosen one), then the rest.
TEST(StreamTranscoderSink, ReceivesEqualBlocksThenTheRest) {
  std::string input = Repeat('x', 300) + ",b\n,,,\r\n" + Repeat(',', 70) + "\rend\r\n";
  for (int k = 0; input.size() < (std::size_t{5} << 20); ++k) {
    input.append("rec").append(std::to_string(k)).append(",bb,cc,dddd,e\r\n");
  }
  for (const std::size_t block :
       {std::size_t{0}, std::size_t{64}, std::size_t{65}, std::size_t{127}}) {
    SCOPED_TRACE(block == 0 ? "normal blocks" : "blocks of " + std::to_string(block));
    CollectingSink sink;
    StreamTranscoder normal(sink);
    auto small = block == 0 ? nullptr : TranscoderTestAccess::Make(sink, DefaultScanLevel(), block);
    StreamTranscoder& transcoder = small ? *small : normal;
    for (std::size_t pos = 0; pos < input.size(); pos += 4099) {
      transcoder.Feed(input.data() + pos, std::min<std::size_t>(4099, input.size() - pos));
    }
    transcoder.Finish();
    EXPECT_SAME_BYTES(ReferenceConvert(input), sink.text);
    ASSERT_GE(sink.writeSizes.size(), 2u);
    const std::size_t size = sink.writeSizes[0];
    EXPECT_EQ(size, block == 0 ? std::max(size, std::size_t{64} << 10) : block);
    for (std::size_t k = 0; k + 1 < sink.writeSizes.size(); ++k) {
      ASSERT_EQ(sink.writeSizes[k], size) << "write " << k;
    }
    EXPECT_LE(sink.writeSizes.back(), size);
  }
  CollectingSink sink;
  EXPECT_THROW(TranscoderTestAccess::Make(sink, DefaultScanLevel(), 63), std::invalid_argument);
}

// ---------------------------------------------------------------------------
// Randomized comparison with the reference, with fixed seeds.

std::string RandomInput(std::mt19937_64& rng) {
  static const char kWeighted[] = {',', ',', ',', '\r', '\r', '\n', '\n', '\n', 'a', 'b', ' ', '"'};
  std::uniform_int_distribution<int> pick(0, 15);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::uniform_int_distribution<int> lengthClass(0, 9);
  const int cls = lengthClass(rng);
  const std::size_t maxLen = cls < 5 ? 20 : cls < 8 ? 300 : 5000;
  std::uniform_int_distribution<std::size_t> length(0, maxLen);
  // Some inputs favour long runs of data so that whole blocks hold no separator.
  std::uniform_int_distribution<int> dataRun(0, cls == 9 ? 200 : 3);
  std::string s;
  const std::size_t n = length(rng);
  while (s.size() < n) {
    const int p = pick(rng);
    if (p < 12) {
      s += kWeighted[p];
    } else if (p < 14) {
      s += static_cast<char>(anyByte(rng));
    } else {
      s += Repeat(static_cast<char>('m' + p), static_cast<std::size_t>(dataRun(rng)));
    }
  }
  return s;
}

std::vector<std::size_t> RandomChunks(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> count(1, 4);
  std::uniform_int_distribution<int> kind(0, 2);
  std::uniform_int_distribution<std::size_t> small(1, 8);
  std::uniform_int_distribution<std::size_t> medium(9, 200);
  std::vector<std::size_t> chunks;
  for (int k = count(rng); k > 0; --k) {
    const int which = kind(rng);
    chunks.push_back(which == 0 ? small(rng) : which == 1 ? medium(rng) : 64);
  }
  return chunks;
}

TEST_P(ScanLevelTest, RandomInputsGiveTheReferenceOutput) {
  for (const std::uint64_t seed : {1u, 2u, 3u, 42u, 1234u, 20240601u, 0xC0FFEEu, 0xDEADBEEFu}) {
    std::mt19937_64 rng(seed);
    for (int round = 0; round < 400; ++round) {
      const std::string input = RandomInput(rng);
      const std::vector<std::size_t> chunks = RandomChunks(rng);
      const std::string expected = ReferenceConvert(input);
      // Output blocks as small as allowed, so that events land on every block end.
      const std::size_t block = 64 + static_cast<std::size_t>(round % 37);
      std::string line = input;  // a single line (no CR) through the per-line interface
      std::erase(line, '\r');
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " round " << round << ", block "
                                        << block << ", input: " << Visible(input));
      ASSERT_TRUE(expected == Transcode(input, {}, GetParam()));
      ASSERT_TRUE(expected == Transcode(input, chunks, GetParam()));
      ASSERT_TRUE(expected == Transcode(input, chunks, GetParam(), block));
      ASSERT_EQ(ReferenceRecords(line), TranscodeLine(line));
    }
  }
}

}  // namespace
}  // namespace corvane
