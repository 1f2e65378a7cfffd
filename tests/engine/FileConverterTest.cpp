#include "engine/FileConverter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "../../engine/src/IoHooks.h"
#include "FileTestSupport.h"
#include "engine/Errors.h"

namespace corvane {
namespace {

using testing_support::CrcLine;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Converts the file at inputPath to outputPath.
void Convert(const std::string& inputPath, const std::string& outputPath) {
  InputFile input = InputFile::Open(inputPath);
  ConvertToFile(input, outputPath);
}

// Runs f, which must fail with a ConversionError; returns it.
ConversionError ExpectFailure(const std::function<void()>& f) {
  try {
    f();
  } catch (const ConversionError& error) {
    return error;
  }
  ADD_FAILURE() << "no ConversionError";
  return ConversionError(ErrorNumber::kInvalidPath, "");
}

// Many CR LF records, with the matching output; large enough to need several
// read blocks, and records straddle the block ends.
struct LargeSample {
  std::string input;
  std::string output;
};

const LargeSample& Large() {
  static const LargeSample sample = [] {
    LargeSample s;
    for (int i = 0; s.input.size() < (3u << 20) + 777; ++i) {
      const std::string n = std::to_string(i);
      s.input += "rec" + n + ",\"" + n + "\", b ," + n + ",tail,more\r\n";
      s.output += CrcLine("rec" + n, "\"" + n + "\"", " b ", n + ",tail,more");
    }
    return s;
  }();
  return sample;
}

// ---------------------------------------------------------------------------

struct ContentCase {
  const char* name;
  std::string input;
  std::string expected;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.name; }

class ConvertContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ConvertContentTest, WritesTheRecordsOfTheInput) {
  TempFolder folder;
  WriteFile(folder / "in.csv", GetParam().input);
  Convert(folder / "in.csv", folder / "A1_in.crc");
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), GetParam().expected);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

const std::string kTwoRecords = CrcLine("a", "b", "c", "d") + CrcLine("w", "x", "y", "z");

INSTANTIATE_TEST_SUITE_P(
    Inputs, ConvertContentTest,
    ::testing::Values(ContentCase{"Empty", "", ""},
                      ContentCase{"CrLf", "a,b,c,d\r\nw,x,y,z\r\n", kTwoRecords},
                      ContentCase{"LfOnly", "a,b,c,d\nw,x,y,z\n", kTwoRecords},
                      ContentCase{"NoFinalTerminator", "a,b,c,d\r\nw,x,y,z", kTwoRecords},
                      ContentCase{"Large", Large().input, Large().output}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertToFileTest, ReplacesAnExistingOutput) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "A1_in.crc", std::string(5000, 'o'));
  Convert(folder / "in.csv", folder / "A1_in.crc");
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

TEST(ConvertToFileTest, ReplacesASymbolicLinkInsteadOfFollowingIt) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "target", "precious");
  std::filesystem::create_symlink(folder / "target", folder / "A1_in.crc");
  Convert(folder / "in.csv", folder / "A1_in.crc");
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "A1_in.crc"));
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
  EXPECT_EQ(ReadFile(folder / "target"), "precious");
}

TEST(ConvertToFileTest, NewOutputGetsThePermissionsOfANewFile) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  const mode_t original = ::umask(0);
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}, mode_t{0}}) {
    ::umask(mask);
    Convert(folder / "in.csv", folder / "A1_in.crc");
    struct stat status {};
    ASSERT_EQ(::stat((folder / "A1_in.crc").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << "umask " << std::oct << mask;
  }
  ::umask(original);
}

// While the output is written, the only extra entry in the folder is one
// hidden temporary file named after the output.
TEST(ConvertToFileTest, WritesThroughAHiddenTemporaryFileBesideTheOutput) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  std::set<std::string> seen;
  detail::ScopedIoHooks hooks({.write = [&](int fd, const void* data, std::size_t size) {
    seen = folder.Names();
    return ::write(fd, data, size);
  }});
  Convert(folder / "in.csv", folder / "A1_in.crc");
  ASSERT_EQ(seen.size(), 2u);
  seen.erase("in.csv");
  const std::string temporary = *seen.begin();
  EXPECT_EQ(temporary.rfind(".A1_in.crc.", 0), 0u) << temporary;
  EXPECT_EQ(temporary.size(), std::string(".A1_in.crc.").size() + 6) << temporary;
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

// A second conversion to the same output started while the first is writing
// uses a temporary file of its own; both finish and nothing is left over.
TEST(ConvertToFileTest, ConversionsOfTheSameFileAtOnceDoNotCollide) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  bool nested = false;
  std::set<std::string> duringBoth;
  detail::ScopedIoHooks hooks({.write = [&](int fd, const void* data, std::size_t size) {
    if (!nested) {
      nested = true;
      Convert(folder / "in.csv", folder / "A1_in.crc");
      EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
    }
    return ::write(fd, data, size);
  }});
  Convert(folder / "in.csv", folder / "A1_in.crc");
  EXPECT_TRUE(nested);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

// Short writes, short reads and interrupted calls change nothing in the output.
TEST(ConvertToFileTest, ContinuesShortAndInterruptedReadsAndWrites) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  int writes = 0;
  int reads = 0;
  detail::ScopedIoHooks hooks({
      .write = [&](int fd, const void* data, std::size_t size) -> std::ptrdiff_t {
        if (++writes % 3 == 0) {
          errno = EINTR;
          return -1;
        }
        return ::write(fd, data, std::min<std::size_t>(size, 4093));
      },
      .read = [&](int fd, void* data, std::size_t size) -> std::ptrdiff_t {
        if (++reads % 2 == 0) {
          errno = EINTR;
          return -1;
        }
        // Odd sizes put CR and LF of one terminator into different reads.
        return ::read(fd, data, std::min<std::size_t>(size, 65537));
      },
  });
  Convert(folder / "in.csv", folder / "A1_in.crc");
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
  EXPECT_GT(writes, 3);
  EXPECT_GT(reads, 50);
}

// ---------------------------------------------------------------------------
// Failures part-way: the temporary file goes, an older output stays as it was.

struct MidwayFailureCase {
  const char* name;
  detail::IoHooks hooks;
  ErrorNumber number;
  std::string descriptionStart;  // followed by the output or input path
  std::string reason;
};

// Accepts `allowance` bytes in all (the last write short), then reports a full disk.
std::function<std::ptrdiff_t(int, const void*, std::size_t)> DiskFullAfter(std::size_t allowance) {
  auto left = std::make_shared<std::size_t>(allowance);
  return [left](int fd, const void* data, std::size_t size) -> std::ptrdiff_t {
    if (*left == 0) {
      errno = ENOSPC;
      return -1;
    }
    const std::ptrdiff_t written = ::write(fd, data, std::min(size, *left));
    if (written > 0) {
      *left -= static_cast<std::size_t>(written);
    }
    return written;
  };
}

std::function<std::ptrdiff_t(int, void*, std::size_t)> ReadErrorAfter(std::size_t allowance) {
  auto left = std::make_shared<std::size_t>(allowance);
  return [left](int fd, void* data, std::size_t size) -> std::ptrdiff_t {
    if (*left == 0) {
      errno = EIO;
      return -1;
    }
    const std::ptrdiff_t got = ::read(fd, data, std::min(size, *left));
    if (got > 0) {
      *left -= static_cast<std::size_t>(got);
    }
    return got;
  };
}

void PrintTo(const MidwayFailureCase& c, std::ostream* os) { *os << c.name; }

class MidwayFailureTest : public ::testing::TestWithParam<MidwayFailureCase> {};

TEST_P(MidwayFailureTest, RemovesTheTemporaryFileAndKeepsTheOlderOutput) {
  const MidwayFailureCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", "older output\r\n");
  const ConversionError error = [&] {
    detail::ScopedIoHooks hooks(c.hooks);
    return ExpectFailure([&] { Convert(folder / "in.csv", folder / "A1_in.crc"); });
  }();
  const std::string named =
      c.number == ErrorNumber::kReadInput ? folder / "in.csv" : folder / "A1_in.crc";
  EXPECT_EQ(error.Number(), c.number);
  EXPECT_EQ(std::string(error.Description()), c.descriptionStart + "'" + named + "': " + c.reason);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), "older output\r\n");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MidwayFailureTest,
    ::testing::Values(MidwayFailureCase{"DiskFullInTheMiddle",
                                        {.write = DiskFullAfter(100000)},
                                        ErrorNumber::kWriteOutput,
                                        "Cannot write ",
                                        "No space left on device"},
                      MidwayFailureCase{"DiskFullAtOnce",
                                        {.write = DiskFullAfter(0)},
                                        ErrorNumber::kWriteOutput,
                                        "Cannot write ",
                                        "No space left on device"},
                      MidwayFailureCase{"WriteAcceptsNothing",
                                        {.write = [](int, const void*,
                                                     std::size_t) -> std::ptrdiff_t { return 0; }},
                                        ErrorNumber::kWriteOutput,
                                        "Cannot write ",
                                        "No space left on device"},
                      MidwayFailureCase{"ReadErrorInTheMiddle",
                                        {.read = ReadErrorAfter((1u << 20) + 5)},
                                        ErrorNumber::kReadInput,
                                        "Cannot read ",
                                        "Input/output error"},
                      MidwayFailureCase{"RenameFails",
                                        {.rename =
                                             [](const char*, const char*) {
                                               errno = EXDEV;
                                               return -1;
                                             }},
                                        ErrorNumber::kFinishOutput,
                                        "Cannot move the finished output to ",
                                        "Invalid cross-device link"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Abandoned {};

TEST(ConvertToFileTest, AnyExceptionPassingThroughRemovesTheTemporaryFile) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", "older output\r\n");
  {
    detail::ScopedIoHooks hooks(
        {.write = [](int, const void*, std::size_t) -> std::ptrdiff_t { throw Abandoned{}; }});
    EXPECT_THROW(Convert(folder / "in.csv", folder / "A1_in.crc"), Abandoned);
  }
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), "older output\r\n");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

// ---------------------------------------------------------------------------
// Failures before anything is written.

TEST(OpenInputTest, NamesTheFileAndTheReason) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "folder.csv");
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {folder / "missing.csv", "No such file or directory"},
      {folder / "folder.csv", "Is a directory"},
      {folder / "missing/x.csv", "No such file or directory"},
      {"", "No such file or directory"},
  };
  for (const auto& c : cases) {
    const ConversionError error = ExpectFailure([&] { InputFile::Open(c.path); });
    EXPECT_EQ(error.Number(), ErrorNumber::kOpenInput);
    EXPECT_EQ(std::string(error.Description()),
              "Cannot open '" + c.path + "' for reading: " + c.reason);
  }
}

TEST(CreateOutputTest, NamesTheOutputAndTheReasonAndLeavesNothingBehind) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "file", "plain file");
  std::filesystem::create_directory(folder / "A1_in.crc");
  WriteFile(folder / "A1_in.crc/inside", "kept");
  const struct {
    std::string output;
    std::string reason;
  } cases[] = {
      {folder / "A1_in.crc", "Is a directory"},
      {folder / "no such folder/A1_in.crc", "No such file or directory"},
      {folder / "file/A1_in.crc", "Not a directory"},
  };
  for (const auto& c : cases) {
    const ConversionError error = ExpectFailure([&] { Convert(folder / "in.csv", c.output); });
    EXPECT_EQ(error.Number(), ErrorNumber::kCreateOutput);
    EXPECT_EQ(std::string(error.Description()), "Cannot create '" + c.output + "': " + c.reason);
  }
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "file", "in.csv"}));
  EXPECT_EQ(ReadFile(folder / "A1_in.crc/inside"), "kept");
}

// ---------------------------------------------------------------------------
// A name so long that the usual temporary name does not fit: a short hidden
// temporary name is used instead, with the same guarantees.

TEST(ConvertToFileTest, UsesAShortTemporaryNameWhereTheLongOneDoesNotFit) {
  TempFolder folder;
  const std::string base(246, 'n');  // "A1_" + base + ".crc" is 253 bytes, the temporary 260
  WriteFile(folder / (base + ".csv"), Large().input);
  Convert(folder / (base + ".csv"), folder / ("A1_" + base + ".crc"));
  EXPECT_EQ(ReadFile(folder / ("A1_" + base + ".crc")), Large().output);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv", "A1_" + base + ".crc"}));
}

TEST(ConvertToFileTest, AFailureUnderTheShortTemporaryNameLeavesNothingBehind) {
  TempFolder folder;
  const std::string base(246, 'n');
  WriteFile(folder / (base + ".csv"), Large().input);
  detail::ScopedIoHooks hooks({.write = DiskFullAfter(100000)});
  const ConversionError error =
      ExpectFailure([&] { Convert(folder / (base + ".csv"), folder / ("A1_" + base + ".crc")); });
  EXPECT_EQ(error.Number(), ErrorNumber::kWriteOutput);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv"}));
}

// ---------------------------------------------------------------------------
// Descriptors (the command line's filter).

TEST(ConvertToDescriptorTest, ConvertsBetweenOpenDescriptorsAndLeavesThemOpen) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  const int in = ::open((folder / "in.csv").c_str(), O_RDONLY);
  const int out = ::open((folder / "out").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  {
    InputFile input = InputFile::FromDescriptor(in, "<stdin>");
    EXPECT_EQ(input.Path(), "<stdin>");
    ConvertToDescriptor(input, out, "<stdout>");
  }
  EXPECT_EQ(::fcntl(in, F_GETFD), 0) << "the input descriptor was closed";
  EXPECT_EQ(::close(out), 0);
  EXPECT_EQ(::close(in), 0);
  EXPECT_EQ(ReadFile(folder / "out"), Large().output);
}

TEST(ConvertToDescriptorTest, FailuresNameTheDisplayNames) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  const int in = ::open((folder / "in.csv").c_str(), O_RDONLY);
  const int readOnly = ::open((folder / "in.csv").c_str(), O_RDONLY);
  ASSERT_GE(in, 0);
  ASSERT_GE(readOnly, 0);
  InputFile input = InputFile::FromDescriptor(in, "<stdin>");
  ConversionError error = ExpectFailure([&] { ConvertToDescriptor(input, readOnly, "<stdout>"); });
  EXPECT_EQ(error.Number(), ErrorNumber::kWriteOutput);
  EXPECT_EQ(std::string(error.Description()), "Cannot write '<stdout>': Bad file descriptor");

  const int writeOnly = ::open((folder / "in.csv").c_str(), O_WRONLY);
  ASSERT_GE(writeOnly, 0);
  InputFile unreadable = InputFile::FromDescriptor(writeOnly, "<stdin>");
  error = ExpectFailure([&] { ConvertToDescriptor(unreadable, readOnly, "<stdout>"); });
  EXPECT_EQ(error.Number(), ErrorNumber::kReadInput);
  EXPECT_EQ(std::string(error.Description()), "Cannot read '<stdin>': Bad file descriptor");
  ::close(in);
  ::close(readOnly);
  ::close(writeOnly);
}

}  // namespace
}  // namespace corvane
