// Runs the built csv2crc in a temporary folder and checks what it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/Errors.h"
#include "support/Files.h"
#include "support/Programs.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;
using namespace std::string_literals;
namespace fs = std::filesystem;

const std::string kSamples = CORVANE_SAMPLES_DIR;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Csv2crc : public ::testing::Test {
 protected:
  // Runs csv2crc in the test's folder with its standard input and output as
  // in launch; its messages with LF line ends.
  Outcome Call(std::vector<std::string> args, Launch launch = {}) {
    args.insert(args.begin(), CSV2CRC_PATH);
    launch.command = std::move(args);
    launch.folder = dir_.Path();
    Outcome outcome = RunProgram(launch);
    outcome.err = UnixLines(outcome.err);
    return outcome;
  }

  TempFolder dir_;
};

// Standard input to standard output as bytes: no line end or 0x1A is
// translated on the way in or out (for files, the engine's tests), and a large
// input streams through pipes (more than any pipe buffer holds, so the program
// must read and write as it goes).
TEST_F(Csv2crc, ConvertsStandardInputToStandardOutput) {
  std::string large;
  while (large.size() < (6u << 20)) large += "field one,2,field three,tail,with,commas\r\n";
  for (const std::string& input : {"a\0b,\x1A,caf\xC3\xA9,\xFF\r\n\x1A\r\nlast"s, large}) {
    SCOPED_TRACE(input.substr(0, 20));
    const Outcome r = Call({"-"}, {.input = input});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out == ReferenceConvert(input));
    EXPECT_EQ(r.err, "");
  }
}

// The samples to their expected outputs, the output folder given in each of
// its forms, before the files or among them: the outputs keep their names,
// nothing is written beside the samples, and nothing is said without -v.
TEST_F(Csv2crc, ConvertsTheSamplesIntoTheOutputFolder) {
  std::vector<std::string> samples;
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    if (entry.path().extension() == ".csv") samples.push_back(entry.path().string());
  }
  ASSERT_GE(samples.size(), 5u) << "samples missing from " << kSamples;
  const std::vector<std::vector<std::string>> forms = {
      {"-o", "out"}, {"--output-dir", "out/"}, {"--output-dir=" + (dir_ / "out")}};
  for (std::size_t k = 0; k < forms.size(); ++k) {
    SCOPED_TRACE(forms[k][0]);
    fs::remove_all(dir_ / "out");
    fs::create_directory(dir_ / "out");
    std::vector<std::string> args = samples;
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(k), forms[k].begin(), forms[k].end());
    const Outcome r = Call(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    std::set<std::string> outputs;
    for (const std::string& sample : samples) {
      const std::string crc = "A1_" + fs::path(sample).stem().string() + ".crc";
      outputs.insert(crc);
      EXPECT_EQ(ReadFile(dir_ / ("out/" + crc)), ReadFile(kSamples + "/expected/" + crc));
      EXPECT_FALSE(fs::exists(kSamples + "/" + crc));
    }
    EXPECT_EQ(Names(dir_ / "out"), outputs);
  }
}

// Numbered messages and the others still converted (the failures themselves,
// and the order of the files' events with several jobs, are the engine's
// tests); an empty argument is a file too, and so is one starting with "/"
// (never an option, on Windows either), and after "--" every argument,
// whatever it looks like; control characters in names shown escaped, spaces
// and letters beyond ASCII (and beyond Windows' code page: Cyrillic, an emoji)
// passed through to the output's name and the messages; -v reports each file
// and a total that counts the files converted.
TEST_F(Csv2crc, AFailedFileIsReportedAndTheOthersAreStillConverted) {
  WriteFile(dir_ / "good.csv", "1,one\r\n");
  std::vector<std::string> args = {
      "-v", "good.csv", "/missing.csv", "", "\x1b[2Jbad\nname.csv", "good.csv", "--"};
  std::vector<std::string> said = {
      "Converting file:good.csv",
      "Converting file:/missing.csv",
      "csv2crc: Error 102: Cannot open '/missing.csv' for reading: No such file or directory",
      "Converting file:",
      "csv2crc: Error 101: An empty path has no output name",
      "Converting file:\\x1b[2Jbad\\nname.csv",
      "csv2crc: Error 102: Cannot open '\\x1b[2Jbad\\nname.csv' for reading: " +
          SystemReason(ControlCharacterNameError()),
      "Converting file:good.csv"};
  const std::string names[] = {"-x",
                               "--help",
                               "with  spaces ",
                               "Gr\xc3\xbc\xc3\x9f\x65 \xe6\x97\xa5\xe6\x9c\xac",
                               "\xd0\x94\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5",
                               "\xf0\x9f\x99\x82"};
  for (const std::string& name : names) {
    WriteFile(dir_ / (name + ".csv"), "dash,name\r\n");
    args.push_back(name + ".csv");
    said.push_back("Converting file:" + name + ".csv");
  }
  said.push_back("Processed 8 files.");

  const Outcome r = Call(args);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Lines(r.err), said);
  EXPECT_EQ(ReadFile(dir_ / "A1_good.crc"), CrcLine("1", "one"));
  for (const std::string& name : names) {
    EXPECT_EQ(ReadFile(dir_ / ("A1_" + name + ".crc")), CrcLine("dash", "name")) << name;
  }
}

// Standard output, where it is a file, is one of the run's files: refused
// before a byte is written where it is standard input or another input of the
// run (107), or the file of an output of the run (108: the first one's output
// stands). The inputs stay as they were; the outputs written are exact.
TEST_F(Csv2crc, StandardOutputIsComparedWithTheFilesOfTheRun) {
  const struct {
    std::vector<std::string> args;
    const char* input;   // standard input read from this file
    const char* output;  // standard output appended to this file
    std::string err;
    std::vector<std::pair<const char*, const char*>> converted;  // output, its input
  } cases[] = {
      {{"-"},
       "x.csv",
       "x.csv",
       "csv2crc: Error 107: Cannot convert 'standard input' to 'standard output': they are the "
       "same file\n",
       {}},
      {{"-j", "1", "-", "y.csv"},
       "x.csv",
       "y.csv",
       "csv2crc: Error 107: Cannot convert 'standard input': its output 'standard output' would "
       "replace the input 'y.csv'\n",
       {{"A1_y.crc", "y.csv"}}},
      {{"-", "x.csv"},
       "y.csv",
       "A1_x.crc",
       "csv2crc: Error 108: Cannot convert 'x.csv': its output 'A1_x.crc' is already the output "
       "of 'standard input'\n",
       {{"A1_x.crc", "y.csv"}}},
  };
  const std::map<std::string, std::string> inputs = {{"x.csv", "x,1,2,3\r\n"},
                                                     {"y.csv", "y,4,5,6\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    for (const auto& name : dir_.Names()) fs::remove(dir_ / name);
    for (const auto& [name, content] : inputs) WriteFile(dir_ / name, content);
    if (!fs::exists(dir_ / c.output)) WriteFile(dir_ / c.output, "");  // as a shell's ">" makes it
    const Outcome r = Call(c.args, {.inputFile = dir_ / c.input, .outputFile = dir_ / c.output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, c.err);
    for (const auto& [name, content] : inputs) EXPECT_EQ(ReadFile(dir_ / name), content) << name;
    for (const auto& [output, input] : c.converted) {
      EXPECT_EQ(ReadFile(dir_ / output), ReferenceConvert(inputs.at(input))) << output;
    }
  }
}

// Usage errors as the standard tools word them.
TEST_F(Csv2crc, UsageErrorsConvertNothing) {
  WriteFile(dir_ / "a.csv", "a\r\n");
  WriteFile(dir_ / "-x.csv", "x\r\n");
  const std::string kJobs = "--jobs: the number of jobs must be a whole number from 1 up";
  const struct {
    std::vector<std::string> args;
    std::string problem;
  } cases[] = {
      {{}, "no files to convert"},
      {{"-v"}, "no files to convert"},
      {{"--bogus", "a.csv"}, "unrecognized option '--bogus'"},
      {{"a.csv", "-q"}, "invalid option -- 'q'"},
      {{"-x.csv"}, "invalid option -- 'x'"},  // a leading dash reads as an option without "--"
      {{"-o", "no-such-folder", "a.csv"}, "--output-dir: Directory does not exist: no-such-folder"},
      {{"-o", "a.csv", "a.csv"}, "--output-dir: Directory is actually a file: a.csv"},
      {{"a.csv", "-o"}, "option '--output-dir' requires an argument"},
      {{"--verbose=3", "a.csv"}, "option '--verbose' doesn't allow an argument"},
      {{"-j", "0", "a.csv"}, kJobs},
      {{"-j", "1.5", "a.csv"}, kJobs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Outcome r = Call(c.args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "csv2crc: " + c.problem + "\nTry 'csv2crc --help' for more information.\n");
    EXPECT_EQ(dir_.Names(), (std::set<std::string>{"a.csv", "-x.csv"}));
  }
}

TEST_F(Csv2crc, VersionAndHelp) {
  const Outcome version = Call({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(UnixLines(version.out), "CorvaneCSVtoCRC 1.0.1\n");
  EXPECT_EQ(version.err, "");

  for (const char* flag : {"--help", "-h"}) {
    SCOPED_TRACE(flag);
    const Outcome help = Call({flag});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: csv2crc"), std::string::npos) << help.out;
    for (const char* option : {"--output-dir", "--verbose", "--jobs", "--version"}) {
      EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    for (const std::string& line : Lines(UnixLines(help.out))) {
      EXPECT_LE(line.size(), 80u) << line;  // a terminal's width
    }
  }
}

}  // namespace
}  // namespace corvane
