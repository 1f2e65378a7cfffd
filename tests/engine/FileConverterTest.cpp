#include "engine/FileConverter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../../engine/src/IoHooks.h"
#include "FileTestSupport.h"
#include "engine/ConversionRun.h"
#include "engine/Errors.h"

namespace corvane {
namespace {

using testing_support::CrcLine;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Converts the only input of a run; its output goes beside it or into
// outputFolder.
ConversionResult Convert(const std::string& inputPath, const std::string& outputFolder = {}) {
  const ConversionRun run({inputPath}, RunOptions{.outputFolder = outputFolder});
  return FileConverter().Convert(run, 0);
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
// read blocks and to be read and written on threads of their own, and
// records straddle the block ends.
struct LargeSample {
  std::string input;
  std::string output;
};

const LargeSample& Large() {
  static const LargeSample sample = [] {
    LargeSample s;
    for (int i = 0; s.input.size() < (5u << 20) + 777; ++i) {
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
  Convert(folder / "in.csv");
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
  Convert(folder / "in.csv");
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

TEST(ConvertToFileTest, ReplacesASymbolicLinkInsteadOfFollowingIt) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "target", "precious");
  std::filesystem::create_symlink(folder / "target", folder / "A1_in.crc");
  Convert(folder / "in.csv");
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "A1_in.crc"));
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
  EXPECT_EQ(ReadFile(folder / "target"), "precious");
}

// Permissions never widen: a new output gets the input's read and write bits
// less the umask; a replaced output keeps its own.
TEST(ConvertToFileTest, PermissionsComeFromTheInputOrTheReplacedOutput) {
  const struct {
    mode_t input;
    mode_t umask;
    std::optional<mode_t> older;
    mode_t expected;
  } cases[] = {
      {0600, 022, std::nullopt, 0600}, {0644, 022, std::nullopt, 0644},
      {0666, 022, std::nullopt, 0644}, {0666, 0, std::nullopt, 0666},
      {0640, 077, std::nullopt, 0600}, {0755, 022, std::nullopt, 0644},
      {0644, 022, 0640, 0640},         {0666, 0, 0600, 0600},
      {0600, 077, 0664, 0664},
  };
  const mode_t original = ::umask(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::oct << "input " << c.input << ", umask " << c.umask
                                      << ", older " << c.older.value_or(0));
    TempFolder folder;
    WriteFile(folder / "in.csv", "a,b,c,d\r\n");
    ::chmod((folder / "in.csv").c_str(), c.input);
    if (c.older) {
      WriteFile(folder / "A1_in.crc", "older");
      ::chmod((folder / "A1_in.crc").c_str(), *c.older);
    }
    ::umask(c.umask);
    Convert(folder / "in.csv");
    ::umask(0);
    struct stat status {};
    ASSERT_EQ(::stat((folder / "A1_in.crc").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, c.expected);
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
  Convert(folder / "in.csv");
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
      Convert(folder / "in.csv");
      EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
    }
    return ::write(fd, data, size);
  }});
  Convert(folder / "in.csv");
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
  Convert(folder / "in.csv");
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
  bool leftBehind = false;  // the temporary file could not be removed
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

// Reads `allowance` bytes in all, then reports the end of the input, as when
// another program cuts the file short.
std::function<std::ptrdiff_t(int, void*, std::size_t)> EndOfFileAfter(std::size_t allowance) {
  auto left = std::make_shared<std::size_t>(allowance);
  return [left](int fd, void* data, std::size_t size) -> std::ptrdiff_t {
    const std::ptrdiff_t got = ::read(fd, data, std::min(size, *left));
    if (got > 0) *left -= static_cast<std::size_t>(got);
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
    return ExpectFailure([&] { Convert(folder / "in.csv"); });
  }();
  const bool namesInput =
      c.number == ErrorNumber::kReadInput || c.number == ErrorNumber::kOutOfMemory;
  const std::string named = namesInput ? folder / "in.csv" : folder / "A1_in.crc";
  EXPECT_EQ(error.Number(), c.number);
  std::string expected = c.descriptionStart + "'" + named + "': " + c.reason;
  std::set<std::string> names = folder.Names();
  if (c.leftBehind) {
    // The message names the file left behind.
    const auto temporary = std::find_if(names.begin(), names.end(), [](const std::string& name) {
      return name.rfind(".A1_in.crc.", 0) == 0;
    });
    ASSERT_NE(temporary, names.end());
    expected += "; the unfinished file '" + (folder / *temporary) +
                "' could not be removed: Permission denied";
    names.erase(temporary);
  }
  EXPECT_EQ(std::string(error.Description()), expected);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), "older output\r\n");
  EXPECT_EQ(names, (std::set<std::string>{"A1_in.crc", "in.csv"}));
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
                                        "Invalid cross-device link"},
                      MidwayFailureCase{"InputCutShortWhileRead",
                                        {.read = EndOfFileAfter((1u << 20) + 5)},
                                        ErrorNumber::kReadInput,
                                        "Cannot read ",
                                        "the file became shorter while it was read"},
                      MidwayFailureCase{"OutOfMemory",
                                        {.read = [](int, void*, std::size_t) -> std::ptrdiff_t {
                                          throw std::bad_alloc();
                                        }},
                                        ErrorNumber::kOutOfMemory,
                                        "Cannot convert ",
                                        "not enough memory"},
                      MidwayFailureCase{"TemporaryFileCannotBeRemoved",
                                        {.write = DiskFullAfter(100000),
                                         .remove =
                                             [](const char*) {
                                               errno = EACCES;
                                               return -1;
                                             }},
                                        ErrorNumber::kWriteOutput,
                                        "Cannot write ",
                                        "No space left on device",
                                        true}),
    [](const auto& info) { return std::string(info.param.name); });

struct Abandoned {};

// Stops between blocks once asked `asked` times.
class StopAfter final : public ConversionEvents {
 public:
  explicit StopAfter(int asked) : left_(asked) {}
  bool StopRequested() override { return --left_ < 0; }

 private:
  int left_;
};

// An exception passing through, or a stop asked for between blocks: the
// temporary file goes and the older output stays.
TEST(ConvertToFileTest, AbandonedConversionsRemoveTheTemporaryFile) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", "older output\r\n");
  {
    detail::ScopedIoHooks hooks(
        {.write = [](int, const void*, std::size_t) -> std::ptrdiff_t { throw Abandoned{}; }});
    EXPECT_THROW(Convert(folder / "in.csv"), Abandoned);
  }
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  const ConversionRun run({folder / "in.csv"});
  FileConverter converter;
  StopAfter stop(2);
  EXPECT_THROW(converter.Convert(run, 0, stop), ConversionStopped);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), "older output\r\n");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  // The same converter goes on with a clean start.
  converter.Convert(run, 0);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
}

// ---------------------------------------------------------------------------
// Failures before anything is written: the description names the file and
// the reason, and nothing in the folder changes.

struct RefusalCase {
  const char* name;
  std::function<void(const TempFolder&)> prepare;
  std::vector<std::string> inputs;  // relative to the folder, "" kept as is
  std::string outputFolder;         // relative to the folder; "" beside the inputs
  std::size_t converted;            // the entry converted
  ErrorNumber number;
  std::string description;  // with "@" for the folder's path
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, NamesTheFileAndTheReasonAndChangesNothing) {
  const RefusalCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "file", "plain file");
  if (c.prepare) c.prepare(folder);
  const std::set<std::string> before = folder.Names();
  std::vector<std::string> inputs;
  for (const std::string& input : c.inputs) inputs.push_back(input.empty() ? "" : folder / input);
  const ConversionRun run(
      inputs, RunOptions{.outputFolder = c.outputFolder.empty() ? "" : folder / c.outputFolder});

  const ConversionError error = ExpectFailure([&] { FileConverter().Convert(run, c.converted); });

  std::string expected = c.description;
  for (std::size_t at = expected.find('@'); at != std::string::npos; at = expected.find('@')) {
    expected.replace(at, 1, folder.Path());
  }
  EXPECT_EQ(error.Number(), c.number);
  EXPECT_EQ(std::string(error.Description()), expected);
  EXPECT_EQ(folder.Names(), before);
}

const auto kMakeFolder = [](std::string name) {
  return [name](const TempFolder& f) { std::filesystem::create_directory(f / name); };
};
const auto kMakeFile = [](std::string name) {
  return [name](const TempFolder& f) { WriteFile(f / name, "precious\r\n"); };
};

INSTANTIATE_TEST_SUITE_P(
    BeforeWriting, RefusalTest,
    ::testing::Values(
        RefusalCase{"MissingInput",
                    {},
                    {"missing.csv"},
                    "",
                    0,
                    ErrorNumber::kOpenInput,
                    "Cannot open '@/missing.csv' for reading: No such file or directory"},
        RefusalCase{"InputIsAFolder",
                    kMakeFolder("folder.csv"),
                    {"folder.csv"},
                    "",
                    0,
                    ErrorNumber::kOpenInput,
                    "Cannot open '@/folder.csv' for reading: Is a directory"},
        RefusalCase{"InputInAMissingFolder",
                    {},
                    {"missing/x.csv"},
                    "",
                    0,
                    ErrorNumber::kOpenInput,
                    "Cannot open '@/missing/x.csv' for reading: No such file or directory"},
        RefusalCase{"EmptyPath",
                    {},
                    {""},
                    "",
                    0,
                    ErrorNumber::kInvalidPath,
                    "An empty path has no output name"},
        RefusalCase{"OutputNameIsAFolder",
                    kMakeFolder("A1_in.crc"),
                    {"in.csv"},
                    "",
                    0,
                    ErrorNumber::kCreateOutput,
                    "Cannot create '@/A1_in.crc': Is a directory"},
        RefusalCase{"OutputFolderMissing",
                    {},
                    {"in.csv"},
                    "no such folder",
                    0,
                    ErrorNumber::kCreateOutput,
                    "Cannot create '@/no such folder/A1_in.crc': No such file or directory"},
        RefusalCase{"OutputFolderIsAFile",
                    {},
                    {"in.csv"},
                    "file",
                    0,
                    ErrorNumber::kCreateOutput,
                    "Cannot create '@/file/A1_in.crc': Not a directory"},
        // The output would replace an input of the run: an existing one (by
        // the file), one that does not exist yet (by its path), or the input
        // itself through a link.
        RefusalCase{"OutputIsALaterInput",
                    kMakeFile("A1_in.crc"),
                    {"in.csv", "A1_in.crc"},
                    "",
                    0,
                    ErrorNumber::kOutputIsInput,
                    "Cannot convert '@/in.csv': its output '@/A1_in.crc' would replace the input "
                    "'@/A1_in.crc'"},
        RefusalCase{"OutputIsAnInputNotYetThere",
                    {},
                    {"in.csv", "./A1_in.crc"},
                    "",
                    0,
                    ErrorNumber::kOutputIsInput,
                    "Cannot convert '@/in.csv': its output '@/A1_in.crc' would replace the input "
                    "'@/./A1_in.crc'"},
        RefusalCase{"InputLinksToItsOutput",
                    [](const TempFolder& f) {
                      WriteFile(f / "A1_y.crc", "precious\r\n");
                      std::filesystem::create_symlink("A1_y.crc", f / "y.csv");
                    },
                    {"y.csv"},
                    "",
                    0,
                    ErrorNumber::kOutputIsInput,
                    "Cannot convert '@/y.csv': its output '@/A1_y.crc' would replace the input "
                    "'@/y.csv'"},
        // Two inputs with one output: the first one's stands.
        RefusalCase{"SameNameInTwoFolders",
                    [](const TempFolder& f) {
                      for (const char* sub : {"a", "b", "o"}) {
                        std::filesystem::create_directory(f / sub);
                      }
                      WriteFile(f / "a/x.csv", "a\r\n");
                      WriteFile(f / "b/x.csv", "b\r\n");
                    },
                    {"a/x.csv", "b/x.csv"},
                    "o",
                    1,
                    ErrorNumber::kSameOutput,
                    "Cannot convert '@/b/x.csv': its output '@/o/A1_x.crc' is already the output "
                    "of '@/a/x.csv'"},
        RefusalCase{"SameBaseNameOtherExtension",
                    kMakeFile("in.txt"),
                    {"in.csv", "in.txt"},
                    "",
                    1,
                    ErrorNumber::kSameOutput,
                    "Cannot convert '@/in.txt': its output '@/A1_in.crc' is already the output of "
                    "'@/in.csv'"}),
    [](const auto& info) { return std::string(info.param.name); });

// The same file listed twice is converted twice, not refused.
TEST(ConversionRunTest, TheSameFileTwiceIsConvertedTwice) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  const ConversionRun run({folder / "in.csv", folder / "./in.csv"});
  FileConverter converter;
  converter.Convert(run, 0);
  WriteFile(folder / "A1_in.crc", "marker");
  converter.Convert(run, 1);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
}

// ---------------------------------------------------------------------------
// A name so long that the usual temporary name does not fit: a short hidden
// temporary name is used instead, with the same guarantees.

TEST(ConvertToFileTest, UsesAShortTemporaryNameWhereTheLongOneDoesNotFit) {
  TempFolder folder;
  const std::string base(246, 'n');  // "A1_" + base + ".crc" is 253 bytes, the temporary 260
  WriteFile(folder / (base + ".csv"), Large().input);
  {
    detail::ScopedIoHooks hooks({.write = DiskFullAfter(100000)});
    const ConversionError error = ExpectFailure([&] { Convert(folder / (base + ".csv")); });
    EXPECT_EQ(error.Number(), ErrorNumber::kWriteOutput);
    EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv"}));
  }
  Convert(folder / (base + ".csv"));
  EXPECT_EQ(ReadFile(folder / ("A1_" + base + ".crc")), Large().output);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv", "A1_" + base + ".crc"}));
}

}  // namespace
}  // namespace corvane
