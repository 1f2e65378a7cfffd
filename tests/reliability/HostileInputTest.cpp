// Hostile and odd inputs and paths, through the engine's file conversion and
// the built csv2crc. Outputs are compared with the plain reference conversion
// in ReliabilitySupport.h or with expectations spelt out here.
#include <climits>

#include "ReliabilitySupport.h"
#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "engine/FileConverter.h"

namespace corvane::reliability {
namespace {

using namespace std::string_literals;

std::string Convert(const Scratch& scratch, const std::string& input) {
  WriteFile(scratch / "in.csv", input);
  FileConverter().Convert(ConversionRun({scratch / "in.csv"}), 0);
  return ReadFile(scratch / "A1_in.crc");
}

// ---------------------------------------------------------------------------
// Contents.

struct ContentCase {
  const char* name;
  std::string input;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

std::string AllByteValues() {
  std::string s;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
  }
  return s;
}

class OddContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(OddContent, ConvertsAsTheRulesSay) {
  Scratch scratch;
  const std::string& input = GetParam().input;
  EXPECT_EQ(Convert(scratch, input), ReferenceConvert(input));
  EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, OddContent,
    ::testing::Values(ContentCase{"AllByteValues", AllByteValues()},
                      ContentCase{"NulBytes", "a\0b,\0,c\0\r\n\0\0\0,d\r\n"s},
                      ContentCase{"EndOfFileMarkIsData", "a,b\x1a,c\r\n\x1a\r\nafter,mark\r\n\x1a"},
                      ContentCase{"InvalidUtf8",
                                  "\xc3(,\xa0\xa1,\xf0\x28\x8c\x28,\xed\xa0\x80\xff\r\n"},
                      ContentCase{"OnlyLfs", std::string(5000, '\n')},
                      ContentCase{"OnlyCrs", std::string(5000, '\r')},
                      ContentCase{"OnlyCommas", std::string(5000, ',')},
                      ContentCase{"MixedTerminatorsAtRandom",
                                  [] {
                                    std::string s;
                                    unsigned x = 12345;
                                    const char alphabet[] = {'\r', '\n', ',', 'a', '\0', '\t'};
                                    for (int i = 0; i < 200000; ++i) {
                                      x = x * 1103515245u + 12345u;
                                      s += alphabet[(x >> 16) % sizeof alphabet];
                                    }
                                    return s;
                                  }()}),
    [](const auto& info) { return std::string(info.param.name); });

// Spelt-out expectations where the reference could share a mistake.
TEST(OddContentByHand, ByteOrderMarkThousandsOfFieldsAndLongLines) {
  Scratch scratch;
  // A UTF-8 byte-order mark is three bytes of the first field.
  EXPECT_EQ(Convert(scratch,
                    "\xef\xbb\xbf"
                    "a,b,c,d\r\n"),
            "\xef\xbb\xbf"
            "a\t\tb\t\t111 x 222\t\tc\t\td\r\n");

  // Thousands of fields: the fourth column keeps the fourth and every later
  // one, commas included.
  std::string record = "f1,f2,f3";
  std::string rest;
  for (int i = 4; i <= 5000; ++i) {
    if (i > 4) rest += ',';
    rest += std::to_string(i);
  }
  record += "," + rest;
  EXPECT_EQ(Convert(scratch, record + "\r\n"), "f1\t\tf2\t\t111 x 222\t\tf3\t\t" + rest + "\r\n");

  // One line of 6 MiB without any terminator: one record, a 6 MiB fourth column.
  const std::string longField(6u << 20, 'z');
  EXPECT_EQ(Convert(scratch, "a,b,c," + longField),
            "a\t\tb\t\t111 x 222\t\tc\t\t" + longField + "\r\n");

  // A 6 MiB line of LF-ended records (a file with LF line ends): one output
  // line per record, no blank ones, in order.
  std::string lfInput;
  std::string lfOutput;
  for (int i = 0; lfInput.size() < (6u << 20); ++i) {
    const std::string n = std::to_string(i);
    lfInput += n + ",x," + n + ",y,z\n";
    lfOutput += n + "\t\tx\t\t111 x 222\t\t" + n + "\t\ty,z\r\n";
  }
  EXPECT_EQ(Convert(scratch, lfInput), lfOutput);
}

// ---------------------------------------------------------------------------
// Paths.

TEST(OddPaths, SpacesNonAsciiLettersAndLeadingDashes) {
  Scratch scratch;
  const std::string input = "a,b,c,d\r\n";
  const std::string expected = ReferenceConvert(input);
  const struct {
    std::string file;
    std::string output;
  } cases[] = {
      {"with  spaces .csv", "A1_with  spaces .crc"},
      {"Gr\xc3\xbc\xc3\x9f\x65 \xe6\x97\xa5\xe6\x9c\xac.csv",
       "A1_Gr\xc3\xbc\xc3\x9f\x65 \xe6\x97\xa5\xe6\x9c\xac.crc"},
      {"--help.csv", "A1_--help.crc"},
      {"-v.csv", "A1_-v.crc"},
  };
  for (const auto& c : cases) {
    WriteFile(scratch / c.file, input);
    const RunResult r = RunCsv2crc(scratch.Path(), {"--", c.file});
    EXPECT_EQ(r.exitCode, 0) << c.file << ": " << r.err;
    EXPECT_EQ(ReadFile(scratch / c.output), expected) << c.file;
  }
  // Every input is still there, unchanged, beside exactly its output.
  EXPECT_EQ(Names(scratch.Path()).size(), 8u);
}

// A 255-byte file name is the longest allowed, so its output name (three
// bytes longer) cannot exist: the failure names the output and the reason
// before anything is written, and the input stays.
TEST(LongPaths, OutputNameLongerThanTheFolderAllowsFailsClearly) {
  Scratch scratch;
  const std::string base(NAME_MAX - 4, 'n');
  WriteFile(scratch / (base + ".csv"), "a,b,c,d\r\n");
  const RunResult r = RunCsv2crc(scratch.Path(), {base + ".csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create 'A1_" + base + ".crc': File name too long\n");
  EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{base + ".csv"}));

  // The longest output name that fits still converts (its temporary file
  // takes a shorter name of its own).
  const std::string fits(NAME_MAX - 7, 'f');
  WriteFile(scratch / (fits + ".csv"), "a,b,c,d\r\n");
  const RunResult ok = RunCsv2crc(scratch.Path(), {fits + ".csv"});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ReadFile(scratch / ("A1_" + fits + ".crc")), ReferenceConvert("a,b,c,d\r\n"));
}

// Nested folders up to the longest path the system takes.
TEST(LongPaths, PathsNearTheLimitConvertOrFailClearly) {
  Scratch scratch;
  std::string folder = scratch.Path();
  const std::string step = "/" + std::string(200, 'd');
  // Deep enough that the input path (folder + "/" + name) lands near PATH_MAX.
  while (folder.size() + step.size() < PATH_MAX - 220) folder += step;
  fs::create_directories(folder);
  const std::size_t room = PATH_MAX - 1 - folder.size() - 1;  // longest name in that folder

  // An output path exactly as long as the system allows (PATH_MAX - 1 bytes).
  const std::string fitsBase(room - 3 - 4, 'a');  // "A1_" + base + ".crc" fills the room
  WriteFile(folder + "/" + fitsBase + ".csv", "a,b\r\n");
  RunResult r = RunCsv2crc(folder, {folder + "/" + fitsBase + ".csv"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(folder + "/A1_" + fitsBase + ".crc"), ReferenceConvert("a,b\r\n"));

  // Three bytes more: the input can be opened, its output path is too long.
  const std::string longBase(room - 4, 'b');  // the input fills the room, the output overflows
  WriteFile(folder + "/" + longBase + ".csv", "a,b\r\n");
  r = RunCsv2crc(folder, {folder + "/" + longBase + ".csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create '" + folder + "/A1_" + longBase +
                       ".crc': File name too long\n");
  EXPECT_EQ(Names(folder), (std::set<std::string>{fitsBase + ".csv", "A1_" + fitsBase + ".crc",
                                                  longBase + ".csv"}));
}

}  // namespace
}  // namespace corvane::reliability
