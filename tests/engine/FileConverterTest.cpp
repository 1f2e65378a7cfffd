#include "engine/FileConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "UnfinishedOutputs.h"
#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "engine/SignalCleanup.h"
#include "support/Engine.h"
#include "support/Files.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;

// Converts the only input of a run; its output goes beside it or into
// outputFolder.
void Convert(const std::string& inputPath, const std::string& outputFolder = {}) {
  const ConversionRun run({inputPath}, RunOptions{.outputFolder = outputFolder});
  FileConverter().Convert(run, 0);
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

// Files are bytes: nothing is translated (CR LF, 0x1A) on the way in or out.
// Every byte value, then terminators, commas, NUL and TAB at random over
// several read blocks (fewer than are read ahead on a thread of their own);
// and the empty file, which gives an empty output.
TEST(ConvertToFileTest, WritesTheRecordsOfTheInputBesideIt) {
  std::string allBytes;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
  }
  unsigned x = 12345;
  const char alphabet[] = {'\r', '\n', ',', 'a', '\0', '\t'};
  while (allBytes.size() < (3u << 20)) {
    x = x * 1103515245u + 12345u;
    allBytes += alphabet[(x >> 16) % sizeof alphabet];
  }
  for (const std::string& input : {std::string(), allBytes}) {
    SCOPED_TRACE(input.size());
    TempFolder folder;
    WriteFile(folder / "in.csv", input);
    Convert(folder / "in.csv");
    EXPECT_EQ(ReadFile(folder / "A1_in.crc"), ReferenceConvert(input));
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  }
}

// While the output is written, the only extra entry in the folder is one
// hidden temporary file named after the output. A second conversion to the
// same output started meanwhile uses a temporary file of its own: both finish,
// each replaces the older output whole, and nothing is left over. The older
// output is longer than the new one, and read-only: so is its replacement (on
// Windows the mark would otherwise be lost, or the replace refused).
TEST(ConvertToFileTest, ReplacesTheOlderOutputThroughAHiddenTemporaryFileOfItsOwn) {
  namespace fs = std::filesystem;
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", std::string(Large().output.size() + 5000, 'o'));
  const fs::perms writable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(folder / "A1_in.crc", writable, fs::perm_options::remove);
  std::set<std::string> seen;
  ScopedIoHooks hooks({.write = [&](int fd, const void* data, std::size_t size) {
    if (seen.empty()) {
      seen = folder.Names();
      Convert(folder / "in.csv");
      EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
    }
    return SystemWrite(fd, data, size);
  }});
  Convert(folder / "in.csv");
  ASSERT_EQ(seen.size(), 3u);
  seen.erase("in.csv");
  seen.erase("A1_in.crc");
  const std::string temporary = *seen.begin();
  EXPECT_EQ(temporary.rfind(".A1_in.crc.", 0), 0u) << temporary;
  EXPECT_EQ(temporary.size(), std::string(".A1_in.crc.").size() + 6) << temporary;
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
  EXPECT_EQ(fs::status(folder / "A1_in.crc").permissions() & writable, fs::perms::none);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

// The longest output name a folder entry takes (255 bytes, or on Windows 255
// UTF-16 units), so that the usual temporary name does not fit: a short hidden
// temporary name is used instead, with the same guarantees.
TEST(ConvertToFileTest, UsesAShortTemporaryNameWhereTheLongOneDoesNotFit) {
  TempFolder folder;
  const std::string base(248, 'n');  // "A1_" + base + ".crc" is 255 bytes, the temporary 262
  const std::string input(300000, 'x');
  WriteFile(folder / (base + ".csv"), input);
  {
    ScopedIoHooks hooks({.write = FailingWrites(100000, ENOSPC)});
    const ConversionError error = ExpectConversionError([&] { Convert(folder / (base + ".csv")); });
    EXPECT_EQ(error.Number(), ErrorNumber::kWriteOutput);
    EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv"}));
  }
  Convert(folder / (base + ".csv"));
  EXPECT_EQ(ReadFile(folder / ("A1_" + base + ".crc")), ReferenceConvert(input));
  EXPECT_EQ(folder.Names(), (std::set<std::string>{base + ".csv", "A1_" + base + ".crc"}));
}

// Short writes, short reads and interrupted calls change nothing in the output.
TEST(ConvertToFileTest, ContinuesShortAndInterruptedReadsAndWrites) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  int writes = 0;
  int reads = 0;
  ScopedIoHooks hooks({
      .write = [&](int fd, const void* data, std::size_t size) -> std::ptrdiff_t {
        if (++writes % 3 == 0) {
          errno = EINTR;
          return -1;
        }
        return SystemWrite(fd, data, std::min<std::size_t>(size, 4093));
      },
      .read = [&](int fd, void* data, std::size_t size) -> std::ptrdiff_t {
        if (++reads % 2 == 0) {
          errno = EINTR;
          return -1;
        }
        // Odd sizes put CR and LF of one terminator into different reads.
        return SystemRead(fd, data, std::min<std::size_t>(size, 65537));
      },
  });
  Convert(folder / "in.csv");
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), Large().output);
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  EXPECT_GT(writes, 3);
  EXPECT_GT(reads, 50);
}

// ---------------------------------------------------------------------------
// Failures part-way: the temporary file goes, an older output stays as it was.

struct MidwayFailureCase {
  const char* name;
  IoHooks hooks;
  ErrorNumber number;
  std::string descriptionStart;  // followed by the output or input path
  std::string reason;
  bool leftBehind = false;  // the temporary file could not be removed
};

void PrintTo(const MidwayFailureCase& c, std::ostream* os) { *os << c.name; }

class MidwayFailureTest : public ::testing::TestWithParam<MidwayFailureCase> {};

TEST_P(MidwayFailureTest, RemovesTheTemporaryFileAndKeepsTheOlderOutput) {
  const MidwayFailureCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", "older output\r\n");
  const ConversionError error = [&] {
    ScopedIoHooks hooks(c.hooks);
    return ExpectConversionError([&] { Convert(folder / "in.csv"); });
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
                "' could not be removed: " + SystemReason(EACCES);
    names.erase(temporary);
  }
  EXPECT_EQ(std::string(error.Description()), expected);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), "older output\r\n");
  EXPECT_EQ(names, (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

const auto kWriteNothing = [](int, const void*, std::size_t) -> std::ptrdiff_t { return 0; };
const auto kRenameFails = [](const char*, const char*) {
  errno = EXDEV;
  return -1;
};
const auto kOutOfMemory = [](int, void*, std::size_t) -> std::ptrdiff_t { throw std::bad_alloc(); };
const auto kRemoveFails = [](const char*) {
  errno = EACCES;
  return -1;
};
const std::string kCannotWrite = "Cannot write ";
const std::size_t kPastOneBlock = (1u << 20) + 5;

MidwayFailureCase Fault(const char* name, IoHooks hooks, ErrorNumber number, std::string start,
                        std::string reason, bool leftBehind = false) {
  return {name, std::move(hooks), number, std::move(start), std::move(reason), leftBehind};
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MidwayFailureTest,
    ::testing::Values(Fault("DiskFullInTheMiddle", {.write = FailingWrites(100000, ENOSPC)},
                            ErrorNumber::kWriteOutput, kCannotWrite, SystemReason(ENOSPC)),
                      Fault("DiskFullAtOnce", {.write = FailingWrites(0, ENOSPC)},
                            ErrorNumber::kWriteOutput, kCannotWrite, SystemReason(ENOSPC)),
                      Fault("WriteAcceptsNothing", {.write = kWriteNothing},
                            ErrorNumber::kWriteOutput, kCannotWrite, SystemReason(ENOSPC)),
                      Fault("ReadErrorInTheMiddle", {.read = FailingReads(kPastOneBlock, EIO)},
                            ErrorNumber::kReadInput, "Cannot read ", SystemReason(EIO)),
                      Fault("RenameFails", {.rename = kRenameFails}, ErrorNumber::kFinishOutput,
                            "Cannot move the finished output to ", SystemReason(EXDEV)),
                      Fault("InputCutShortWhileRead", {.read = FailingReads(kPastOneBlock, 0)},
                            ErrorNumber::kReadInput, "Cannot read ",
                            "the file became shorter while it was read"),
                      Fault("OutOfMemory", {.read = kOutOfMemory}, ErrorNumber::kOutOfMemory,
                            "Cannot convert ", "not enough memory"),
                      Fault("TemporaryFileCannotBeRemoved",
                            {.write = FailingWrites(100000, ENOSPC), .remove = kRemoveFails},
                            ErrorNumber::kWriteOutput, kCannotWrite, SystemReason(ENOSPC), true)),
    [](const auto& info) { return std::string(info.param.name); });

// A rename refused for a moment is tried again, a few times and no more; any
// other failure of the rename is reported at once.
TEST(ConvertToFileTest, ARenameRefusedForAMomentIsTriedAgain) {
  const struct {
    int error;
    int refusals;
    int calls;
  } cases[] = {
      {EACCES, 2, 3},     // held for a moment by another program: converted
      {EACCES, 1000, 6},  // held throughout: reported after a bounded time
      {EXDEV, 1000, 1},   // no momentary refusal: reported at once
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "errno " << c.error << ", refused " << c.refusals);
    TempFolder folder;
    WriteFile(folder / "in.csv", "a,b\r\n");
    int calls = 0;
    ScopedIoHooks hooks({.rename = [&](const char* from, const char* to) {
      if (++calls <= c.refusals) {
        errno = c.error;
        return -1;
      }
      return std::rename(from, to);
    }});
    const bool converted = c.calls > c.refusals;
    if (converted) {
      Convert(folder / "in.csv");
      EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b"));
    } else {
      EXPECT_EQ(ExpectConversionError([&] { Convert(folder / "in.csv"); }).Number(),
                ErrorNumber::kFinishOutput);
    }
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(folder.Names().size(), converted ? 2u : 1u);
  }
}

// The output's folder renamed while the output is written: the rename fails
// (106) and the unfinished file is removed from the folder wherever it went;
// or, where the system keeps a folder in use from being renamed (Windows),
// the output is finished where it belongs.
TEST(ConvertToFileTest, AFolderRenamedMeanwhileKeepsNoUnfinishedFile) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b\r\n");
  std::filesystem::create_directory(folder / "out");
  bool moved = false;
  ScopedIoHooks hooks({.rename = [&](const char* from, const char* to) {
    std::error_code error;
    std::filesystem::rename(folder / "out", folder / "moved", error);
    moved = !error;
    return std::rename(from, to);
  }});
  try {
    Convert(folder / "in.csv", folder / "out");
    EXPECT_FALSE(moved);
    EXPECT_EQ(Names(folder / "out"), std::set<std::string>{"A1_in.crc"});
  } catch (const ConversionError& error) {
    EXPECT_TRUE(moved);
    EXPECT_EQ(error.Number(), ErrorNumber::kFinishOutput);
    EXPECT_EQ(Names(folder / "moved"), std::set<std::string>{});
  }
}

// However many conversions are under way at once, the cleanup for a program
// that must end removes every unfinished output.
TEST(ConvertToFileTest, EveryUnfinishedOutputIsRemovedAtTheEnd) {
  TempFolder folder;
  std::vector<int> places;
  for (int n = 0; n < 300; ++n) {
    const std::string path = folder / (".A1_" + std::to_string(n) + ".crc.XXXXXX");
    WriteFile(path, "unfinished");
    places.push_back(detail::NoteUnfinishedOutput(path));
  }
  RemoveUnfinishedOutputs();
  EXPECT_EQ(folder.Names(), std::set<std::string>{});
  for (const int place : places) detail::ForgetUnfinishedOutput(place);
}

// Stops between blocks once asked `asked` times.
class StopAfter final : public ConversionEvents {
 public:
  explicit StopAfter(int asked) : left_(asked) {}
  bool StopRequested() override { return --left_ < 0; }

 private:
  int left_;
};

// A stop asked for between blocks: the temporary file goes and the older
// output stays. (Other exceptions passing through clean up as the
// OutOfMemory row of MidwayFailureTest does.)
TEST(ConvertToFileTest, AStopBetweenBlocksRemovesTheTemporaryFile) {
  TempFolder folder;
  WriteFile(folder / "in.csv", Large().input);
  WriteFile(folder / "A1_in.crc", "older output\r\n");
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
  std::string description;  // "@" for the folder's path, "|" for the separator joining a name
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

  const ConversionError error =
      ExpectConversionError([&] { FileConverter().Convert(run, c.converted); });

  std::string expected = c.description;
  std::replace(expected.begin(), expected.end(), '|', kSeparator);
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

RefusalCase Refusal(const char* name, std::function<void(const TempFolder&)> prepare,
                    std::vector<std::string> inputs, std::string outputFolder,
                    std::size_t converted, ErrorNumber number, std::string description) {
  return {name,   std::move(prepare),    std::move(inputs), std::move(outputFolder), converted,
          number, std::move(description)};
}

const std::string kNoSuchFile = SystemReason(ENOENT);

INSTANTIATE_TEST_SUITE_P(
    BeforeWriting, RefusalTest,
    ::testing::Values(
        Refusal("MissingInput", {}, {"missing.csv"}, "", 0, ErrorNumber::kOpenInput,
                "Cannot open '@/missing.csv' for reading: " + kNoSuchFile),
        Refusal("InputIsAFolder", kMakeFolder("folder.csv"), {"folder.csv"}, "", 0,
                ErrorNumber::kOpenInput, "Cannot open '@/folder.csv' for reading: Is a directory"),
        Refusal("InputInAMissingFolder", {}, {"missing/x.csv"}, "", 0, ErrorNumber::kOpenInput,
                "Cannot open '@/missing/x.csv' for reading: " + kNoSuchFile),
        Refusal("EmptyPath", {}, {""}, "", 0, ErrorNumber::kInvalidPath,
                "An empty path has no output name"),
        // Windows reaches a device by such a name in any folder: refused
        // before it is opened (a port may never answer, NUL reads as empty).
        Refusal("InputNamedLikeADevice", {}, {"aux.csv"}, "", 0, ErrorNumber::kOpenInput,
                "Cannot open '@/aux.csv' for reading: " + SystemReason(DeviceNameError())),
        Refusal("InputNamedLikeTheNullDevice", {}, {"Nul.txt.csv"}, "", 0, ErrorNumber::kOpenInput,
                "Cannot open '@/Nul.txt.csv' for reading: " + SystemReason(DeviceNameError())),
        // A 253-character input whose output name would take 256.
        Refusal("OutputNameTooLong", kMakeFile(std::string(249, 'y') + ".csv"),
                {std::string(249, 'y') + ".csv"}, "", 0, ErrorNumber::kCreateOutput,
                "Cannot create '@/A1_" + std::string(249, 'y') +
                    ".crc': " + SystemReason(ENAMETOOLONG)),
        Refusal("OutputNameIsAFolder", kMakeFolder("A1_in.crc"), {"in.csv"}, "", 0,
                ErrorNumber::kCreateOutput, "Cannot create '@/A1_in.crc': Is a directory"),
        Refusal("OutputFolderMissing", {}, {"in.csv"}, "no such folder", 0,
                ErrorNumber::kCreateOutput,
                "Cannot create '@/no such folder|A1_in.crc': " + kNoSuchFile),
        Refusal("OutputFolderIsAFile", {}, {"in.csv"}, "file", 0, ErrorNumber::kCreateOutput,
                "Cannot create '@/file|A1_in.crc': " + SystemReason(PathThroughAFileError())),
        // The output would replace an input of the run: an existing one (by
        // the file) or one that does not exist yet (by its path).
        Refusal("OutputIsALaterInput", kMakeFile("A1_in.crc"), {"in.csv", "A1_in.crc"}, "", 0,
                ErrorNumber::kOutputIsInput,
                "Cannot convert '@/in.csv': its output '@/A1_in.crc' would replace the input "
                "'@/A1_in.crc'"),
        Refusal("OutputIsAnInputNotYetThere", {}, {"in.csv", "./A1_in.crc"}, "", 0,
                ErrorNumber::kOutputIsInput,
                "Cannot convert '@/in.csv': its output '@/A1_in.crc' would replace the input "
                "'@/./A1_in.crc'"),
        // Two inputs with one output: the first one's stands.
        Refusal("SameBaseNameOtherExtension", kMakeFile("in.txt"), {"in.csv", "in.txt"}, "", 1,
                ErrorNumber::kSameOutput,
                "Cannot convert '@/in.txt': its output '@/A1_in.crc' is already the output of "
                "'@/in.csv'")),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane
