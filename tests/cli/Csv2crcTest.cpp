// Runs the built csv2crc in a temporary folder and checks what it writes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = CSV2CRC_PATH;
const fs::path kSamples = CORVANE_SAMPLES_DIR;

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// Runs csv2crc with args in folder cwd. stdinData, when given, is fed through a
// pipe (written by a second thread, so a large input cannot dead-lock against
// the program's output); otherwise standard input is /dev/null. Standard output
// and error are collected in files.
RunResult RunCsv2crc(const fs::path& cwd, const std::vector<std::string>& args,
                     const std::optional<std::string>& stdinData = std::nullopt) {
  RunResult result;
  const fs::path outPath = cwd / ".stdout";
  const fs::path errPath = cwd / ".stderr";
  const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int inPipe[2] = {-1, -1};
  if (outFd < 0 || errFd < 0 || ::pipe2(inPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot set up the standard streams: " << std::strerror(errno);
    return result;
  }

  std::vector<std::string> argStrings{kProgram};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec.
    const int nullFd = stdinData ? -1 : ::open("/dev/null", O_RDONLY);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(stdinData ? inPipe[0] : nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(kProgram, argv.data());
    ::_exit(127);
  }
  ::close(inPipe[0]);
  ::close(outFd);
  ::close(errFd);
  if (pid < 0) {
    ::close(inPipe[1]);
    ADD_FAILURE() << "fork failed: " << std::strerror(errno);
    return result;
  }

  std::thread feeder([&] {
    if (stdinData) {
      const char* p = stdinData->data();
      std::size_t left = stdinData->size();
      while (left > 0) {
        const ssize_t n = ::write(inPipe[1], p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the program stopped reading
        p += n;
        left -= static_cast<std::size_t>(n);
      }
    }
    ::close(inPipe[1]);
  });
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  feeder.join();

  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return result;
}

std::set<std::string> FolderContents(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Csv2crc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A program that stops reading its input must not kill the test run.
    ::signal(SIGPIPE, SIG_IGN);
  }

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "csv2crc-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }

  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path dir_;
};

// Five columns separated by two TABs, the placeholder in the middle, CR LF.
std::string Record(const std::string& f1, const std::string& f2, const std::string& f3,
                   const std::string& f4) {
  return f1 + "\t\t" + f2 + "\t\t111 x 222\t\t" + f3 + "\t\t" + f4 + "\r\n";
}

struct ConversionCase {
  const char* name;
  std::string input;
  std::string output;
};

const std::vector<ConversionCase>& ConversionCases() {
  static const std::vector<ConversionCase> cases = {
      {"CR LF records", "a,b,c,d\r\nw,x,y,z\r\n",
       Record("a", "b", "c", "d") + Record("w", "x", "y", "z")},
      {"LF-only records", "a,b,c,d\nw,x,y,z\n",
       Record("a", "b", "c", "d") + Record("w", "x", "y", "z")},
      {"blank CR LF line gives nothing", "a,b\r\n\r\nc\r\n",
       Record("a", "b", "", "") + Record("c", "", "", "")},
      {"blank LF line gives an empty record", "a,b\n\n",
       Record("a", "b", "", "") + Record("", "", "", "")},
      {"last line without terminator", "a,b,c,d\r\ne,f",
       Record("a", "b", "c", "d") + Record("e", "f", "", "")},
      {"empty input", "", ""},
      {"more than four fields", "1,2,3,4,5,6\r\n", Record("1", "2", "3", "4,5,6")},
      {"quotes and spaces are plain", "\"q,1\", b ,3,4\r\n", Record("\"q", "1\"", " b ", "3,4")},
      {"bytes above 0x7F pass through", "caf\xC3\xA9,\xE9,\xFF,\x80\r\n",
       Record("caf\xC3\xA9", "\xE9", "\xFF", "\x80")},
      {"NUL and 0x1A are ordinary", std::string("a\0b,\x1A", 5) + "\r\n",
       Record(std::string("a\0b", 3), "\x1A", "", "")},
  };
  return cases;
}

TEST_F(Csv2crc, ConvertsFileBesideItselfAndStandardInputToStandardOutput) {
  for (const ConversionCase& c : ConversionCases()) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_ / "in.csv", c.input);

    const RunResult file = RunCsv2crc(dir_, {"in.csv"});
    EXPECT_EQ(file.exitCode, 0) << file.err;
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(file.err, "");  // quiet by default
    EXPECT_EQ(ReadFile(dir_ / "A1_in.crc"), c.output);
    EXPECT_EQ(FolderContents(dir_), (std::set<std::string>{"in.csv", "A1_in.crc"}));

    const RunResult filter = RunCsv2crc(dir_, {"-"}, c.input);
    EXPECT_EQ(filter.exitCode, 0) << filter.err;
    EXPECT_EQ(filter.out, c.output);
    EXPECT_EQ(filter.err, "");
  }
}

TEST_F(Csv2crc, ConvertsTheSamplesToTheirExpectedOutputs) {
  std::vector<std::string> args = {"-o", dir_.string()};
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    if (entry.path().extension() == ".csv") {
      args.push_back(entry.path().string());
      names.push_back(entry.path().stem().string());
    }
  }
  ASSERT_GE(names.size(), 5u) << "samples missing from " << kSamples;

  const RunResult r = RunCsv2crc(dir_, args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string crc = "A1_" + name + ".crc";
    EXPECT_EQ(ReadFile(dir_ / crc), ReadFile(kSamples / "expected" / crc));
  }
  // Nothing was written beside the samples themselves.
  for (const std::string& name : names)
    EXPECT_FALSE(fs::exists(kSamples / ("A1_" + name + ".crc")));
}

TEST_F(Csv2crc, FilterStreamsALargeInputThroughPipes) {
  // About 6 MiB in and 9 MiB out: more than any pipe buffer holds, so the
  // program must read and write as it goes.
  constexpr int kRecords = 200000;
  const std::string inLine = "field one,2,field three,tail,with,commas\r\n";
  const std::string outLine = Record("field one", "2", "field three", "tail,with,commas");
  std::string input;
  std::string expected;
  for (int i = 0; i < kRecords; ++i) {
    input += inLine;
    expected += outLine;
  }
  const RunResult r = RunCsv2crc(dir_, {"-"}, input);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected);
}

TEST_F(Csv2crc, ReplacesAnExistingOutputAndLeavesNoTemporaryFiles) {
  WriteFile(dir_ / "in.csv", "a,b,c,d\r\n");
  WriteFile(dir_ / "A1_in.crc", "old output that is longer than the new one\r\n");
  const RunResult r = RunCsv2crc(dir_, {"in.csv"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "A1_in.crc"), Record("a", "b", "c", "d"));
  EXPECT_EQ(FolderContents(dir_), (std::set<std::string>{"in.csv", "A1_in.crc"}));
}

TEST_F(Csv2crc, NamesOutputsAfterTheLastDotOfTheFileName) {
  fs::create_directory(dir_ / "my.dir");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"my.report.csv", "A1_my.report.crc"},
      {"LIST.CSV", "A1_LIST.crc"},
      {"notes.txt", "A1_notes.crc"},
      {"my.dir/plain", "my.dir/A1_plain.crc"},
  };
  for (const auto& [input, output] : cases) {
    SCOPED_TRACE(input);
    WriteFile(dir_ / input, "x,y\r\n");
    const RunResult r = RunCsv2crc(dir_, {input});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir_ / output), Record("x", "y", "", ""));
  }
}

TEST_F(Csv2crc, VerboseReportsEachFileInOrderAndTheTotal) {
  WriteFile(dir_ / "b.csv", "b\r\n");
  WriteFile(dir_ / "a.csv", "a\r\n");
  const RunResult r = RunCsv2crc(dir_, {"--verbose", "b.csv", "a.csv", "b.csv"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Converting file:b.csv\nConverting file:a.csv\nConverting file:b.csv\n"
            "Processed 3 files.\n");
  EXPECT_EQ(ReadFile(dir_ / "A1_b.crc"), Record("b", "", "", ""));
  EXPECT_EQ(ReadFile(dir_ / "A1_a.crc"), Record("a", "", "", ""));
}

TEST_F(Csv2crc, AFailedFileIsReportedAndTheOthersAreStillConverted) {
  WriteFile(dir_ / "good1.csv", "1,one\r\n");
  WriteFile(dir_ / "good2.csv", "2,two\r\n");
  fs::create_directory(dir_ / "folder.csv");
  // An older output of a failing input stays as it was.
  WriteFile(dir_ / "A1_missing.crc", "older\r\n");

  const RunResult r = RunCsv2crc(dir_, {"-v", "good1.csv", "missing.csv", "folder.csv", "",
                                        "\x1b[2Jbad\nname.csv", "good2.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ReadFile(dir_ / "A1_good1.crc"), Record("1", "one", "", ""));
  EXPECT_EQ(ReadFile(dir_ / "A1_good2.crc"), Record("2", "two", "", ""));
  EXPECT_EQ(ReadFile(dir_ / "A1_missing.crc"), "older\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "A1_folder.crc"));

  // Numbered messages; control characters in names shown escaped; the total
  // counts the files converted.
  EXPECT_EQ(Lines(r.err),
            (std::vector<std::string>{
                "Converting file:good1.csv", "Converting file:missing.csv",
                "csv2crc: Error 102: Cannot open 'missing.csv' for reading: No such file or "
                "directory",
                "Converting file:folder.csv",
                "csv2crc: Error 102: Cannot open 'folder.csv' for reading: Is a directory",
                "Converting file:", "csv2crc: Error 101: An empty path has no output name",
                "Converting file:\\x1b[2Jbad\\nname.csv",
                "csv2crc: Error 102: Cannot open '\\x1b[2Jbad\\nname.csv' for reading: No such "
                "file or directory",
                "Converting file:good2.csv", "Processed 2 files."}));
}

// An output never replaces an input of the run, and two inputs never give
// one output; the other files are still converted.
TEST_F(Csv2crc, RefusesOutputsThatWouldDestroyData) {
  WriteFile(dir_ / "x.csv", "x,1,2,3\r\n");
  WriteFile(dir_ / "A1_x.crc", "precious\r\n");
  fs::create_directories(dir_ / "a");
  fs::create_directories(dir_ / "b");
  fs::create_directories(dir_ / "o");
  WriteFile(dir_ / "a/y.csv", "a\r\n");
  WriteFile(dir_ / "b/y.csv", "b\r\n");
  RunResult r = RunCsv2crc(dir_, {"x.csv", "A1_x.crc"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 107: Cannot convert 'x.csv': its output 'A1_x.crc' would replace the "
            "input 'A1_x.crc'\n");
  EXPECT_EQ(ReadFile(dir_ / "A1_A1_x.crc"), Record("precious", "", "", ""));
  r = RunCsv2crc(dir_, {"-o", "o", "a/y.csv", "b/y.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 108: Cannot convert 'b/y.csv': its output 'o/A1_y.crc' is already the "
            "output of 'a/y.csv'\n");
  EXPECT_EQ(ReadFile(dir_ / "o/A1_y.crc"), Record("a", "", "", ""));

  // Standard input and output the same file: refused before a byte is written.
  const std::string command = "cd '" + dir_.string() + "' && '" + kProgram +
                              "' - <x.csv >>x.csv 2>err.txt; echo $? >status.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFile(dir_ / "status.txt"), "1\n");
  EXPECT_EQ(ReadFile(dir_ / "err.txt"),
            "csv2crc: Error 107: Cannot convert 'standard input' to 'standard output': they are "
            "the same file\n");
  EXPECT_EQ(ReadFile(dir_ / "x.csv"), "x,1,2,3\r\n");
}

TEST_F(Csv2crc, OutputFolderTakesTheOutputsUnderTheSameNames) {
  fs::create_directories(dir_ / "in" / "sub");
  fs::create_directory(dir_ / "out");
  WriteFile(dir_ / "in" / "a.csv", "a,1\r\n");
  WriteFile(dir_ / "in" / "sub" / "b.data.csv", "b,2\r\n");
  const std::vector<std::vector<std::string>> forms = {
      {"-o", "out", "in/a.csv", "in/sub/b.data.csv"},
      {"--output-dir", "out/", "in/a.csv", (dir_ / "in/sub/b.data.csv").string()},
      {"in/a.csv", "--output-dir=" + (dir_ / "out").string(), "in/sub/b.data.csv"},
  };
  for (const auto& args : forms) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    fs::remove_all(dir_ / "out");
    fs::create_directory(dir_ / "out");
    const RunResult r = RunCsv2crc(dir_, args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(FolderContents(dir_ / "out"), (std::set<std::string>{"A1_a.crc", "A1_b.data.crc"}));
    EXPECT_EQ(ReadFile(dir_ / "out" / "A1_a.crc"), Record("a", "1", "", ""));
    EXPECT_EQ(ReadFile(dir_ / "out" / "A1_b.data.crc"), Record("b", "2", "", ""));
    EXPECT_EQ(FolderContents(dir_ / "in"), (std::set<std::string>{"a.csv", "sub"}));
  }
}

TEST_F(Csv2crc, DoubleDashEndsOptions) {
  WriteFile(dir_ / "-x.csv", "dash,name\r\n");
  const RunResult r = RunCsv2crc(dir_, {"-v", "--", "-x.csv"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "A1_-x.crc"), Record("dash", "name", "", ""));
  EXPECT_EQ(r.err, "Converting file:-x.csv\nProcessed 1 files.\n");
}

TEST_F(Csv2crc, UsageErrorsConvertNothing) {
  WriteFile(dir_ / "a.csv", "a\r\n");
  WriteFile(dir_ / "-x.csv", "x\r\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"-v"},
      {"--bogus", "a.csv"},
      {"a.csv", "-q"},
      {"-x.csv"},  // a leading dash reads as an option without "--"
      {"-o", "no-such-folder", "a.csv"},
      {"-o", "a.csv", "a.csv"},  // a file, not a folder
      {"a.csv", "-o"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE("csv2crc " + shown);
    const RunResult r = RunCsv2crc(dir_, args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("csv2crc: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    EXPECT_EQ(FolderContents(dir_), (std::set<std::string>{"a.csv", "-x.csv"}));
  }
}

TEST_F(Csv2crc, VersionAndHelp) {
  const RunResult version = RunCsv2crc(dir_, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "CorvaneCSVtoCRC 1.0.1\n");
  EXPECT_EQ(version.err, "");

  for (const char* flag : {"--help", "-h"}) {
    SCOPED_TRACE(flag);
    const RunResult help = RunCsv2crc(dir_, {flag});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: csv2crc"), std::string::npos) << help.out;
    for (const char* option : {"--output-dir", "--verbose", "--version"}) {
      EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
  }
}

}  // namespace
