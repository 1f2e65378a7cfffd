#include "engine/BatchConverter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "../../engine/src/IoHooks.h"
#include "FileTestSupport.h"
#include "engine/Errors.h"

namespace corvane {
namespace {

using testing_support::CrcLine;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
using Log = std::vector<std::string>;

// A list whose entries a test may change while the batch runs.
class EditableList : public PathList {
 public:
  explicit EditableList(std::vector<std::string> paths) : paths_(std::move(paths)) {}

  int Count() const override { return static_cast<int>(paths_.size()); }
  std::string At(int index) const override { return paths_.at(static_cast<std::size_t>(index)); }
  std::vector<std::string>& Paths() { return paths_; }

 private:
  std::vector<std::string> paths_;
};

// An observer that records every call in the shared log; onPump runs at the
// event point, as the window's drops and commands would.
class RecordingObserver : public ConversionObserver {
 public:
  explicit RecordingObserver(Log& log) : log_(log) {}

  void ClearFeedback() override { log_.push_back("ClearFeedback"); }
  void SetBusy(bool busy) override { log_.push_back(busy ? "Busy" : "NotBusy"); }
  void SetStatus(const std::string& text) override { log_.push_back("Status:" + text); }
  void PumpEvents() override {
    log_.push_back("Pump");
    ++pumps;
    if (onPump) {
      onPump(pumps);
    }
  }
  void SetProgress(int fileNumber, int fileCount, int percent) override {
    log_.push_back("Progress:" + std::to_string(fileNumber) + "/" + std::to_string(fileCount) +
                   ":" + std::to_string(percent));
  }
  bool StopRequested() override { return stopAfter >= 0 && --stopAfter < 0; }

  std::function<void(int pumpNumber)> onPump;
  int pumps = 0;
  int stopAfter = -1;  // answers to StopRequested before it says stop; -1 never

 private:
  Log& log_;
};

struct Batch {
  Log log;
  EditableList list;
  RecordingObserver observer{log};

  explicit Batch(std::vector<std::string> paths) : list(std::move(paths)) {}
  void Run() { BatchConverter().Run(list, observer); }
};

ConversionError ExpectFailure(Batch& batch) {
  try {
    batch.Run();
  } catch (const ConversionError& error) {
    return error;
  }
  ADD_FAILURE() << "the batch did not fail";
  return ConversionError(ErrorNumber::kInvalidPath, "");
}

const std::string kInput = "a,b,c,d\r\nw,x,y,z\r\n";
const std::string kOutput = CrcLine("a", "b", "c", "d") + CrcLine("w", "x", "y", "z");

// ---------------------------------------------------------------------------

TEST(BatchConverterTest, ConvertsEveryFileInOrderAndReportsProgress) {
  TempFolder folder;
  for (const char* name : {"one.csv", "two.csv", "three.csv"}) {
    WriteFile(folder / name, std::string(name) + "," + kInput);
  }
  Batch batch({folder / "one.csv", folder / "two.csv", folder / "three.csv"});
  batch.Run();
  EXPECT_EQ(
      batch.log,
      (Log{"ClearFeedback", "Busy",  //
           "Status:Converting file:" + (folder / "one.csv"), "Pump", "Progress:1/3:0",
           "Progress:1/3:100", "Status:Converting file:" + (folder / "two.csv"), "Pump",
           "Progress:2/3:0", "Progress:2/3:100", "Status:Converting file:" + (folder / "three.csv"),
           "Pump", "Progress:3/3:0", "Progress:3/3:100",  //
           "NotBusy", "Status:Processed 3 files."}));
  for (const std::string name : {"one", "two", "three"}) {
    EXPECT_EQ(ReadFile(folder / ("A1_" + name + ".crc")),
              CrcLine(name + ".csv", "a", "b", "c,d") + CrcLine("w", "x", "y", "z"));
  }
  EXPECT_EQ(folder.Names().size(), 6u);
}

// A stop asked for between the blocks of a file ends the batch there: the
// file's older output stays whole and nothing is left behind.
TEST(BatchConverterTest, StopBetweenBlocksAbandonsTheFileBeingWritten) {
  TempFolder folder;
  std::string large;
  while (large.size() < (3u << 20)) large += kInput;
  WriteFile(folder / "big.csv", large);
  WriteFile(folder / "A1_big.crc", "older");
  Batch batch({folder / "big.csv"});
  batch.observer.stopAfter = 2;  // the event point, then one block
  EXPECT_THROW(batch.Run(), BatchAbandoned);
  EXPECT_EQ(batch.log.back(), "NotBusy");
  EXPECT_EQ(ReadFile(folder / "A1_big.crc"), "older");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_big.crc", "big.csv"}));
}

TEST(BatchConverterTest, EmptyListTouchesNothing) {
  TempFolder folder;
  Batch batch({});
  batch.Run();
  EXPECT_EQ(batch.log, (Log{"ClearFeedback", "Busy", "NotBusy", "Status:Processed 0 files."}));
  EXPECT_TRUE(folder.Names().empty());
}

// The batch converts the entries listed when it starts, each once, whatever
// is added to the list meanwhile; the final count is of the files converted.
TEST(BatchConverterTest, FilesAddedDuringTheBatchWaitForTheNextOne) {
  TempFolder folder;
  for (const char* name : {"a.csv", "b.csv", "c.csv"}) {
    WriteFile(folder / name, kInput);
  }
  for (const bool atFront : {false, true}) {
    SCOPED_TRACE(atFront ? "inserted first" : "appended");
    for (const char* name : {"A1_a.crc", "A1_b.crc", "A1_c.crc"}) {
      std::filesystem::remove(folder / name);
    }
    Batch batch({folder / "b.csv", folder / "c.csv"});
    batch.observer.onPump = [&](int pump) {
      auto& paths = batch.list.Paths();
      if (pump == 1) {
        paths.insert(atFront ? paths.begin() : paths.end(), folder / "a.csv");
      }
    };
    batch.Run();
    EXPECT_EQ(batch.log.back(), "Status:Processed 2 files.");
    EXPECT_EQ(std::count(batch.log.begin(), batch.log.end(),
                         "Status:Converting file:" + (folder / "b.csv")),
              1);
    EXPECT_EQ(std::count(batch.log.begin(), batch.log.end(),
                         "Status:Converting file:" + (folder / "c.csv")),
              1);
    EXPECT_EQ(folder.Names(),
              (std::set<std::string>{"A1_b.crc", "A1_c.crc", "a.csv", "b.csv", "c.csv"}));
  }
}

TEST(BatchConverterTest, SamePathTwiceIsConvertedTwice) {
  TempFolder folder;
  WriteFile(folder / "in.csv", kInput);
  Batch batch({folder / "in.csv", folder / "in.csv"});
  int pumps = 0;
  batch.observer.onPump = [&](int pump) {
    pumps = pump;
    if (pump == 2) {
      // The first output is complete before the second conversion starts.
      EXPECT_EQ(ReadFile(folder / "A1_in.crc"), kOutput);
      WriteFile(folder / "A1_in.crc", "marker");
    }
  };
  batch.Run();
  EXPECT_EQ(pumps, 2);
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), kOutput);
  EXPECT_EQ(batch.log.back(), "Status:Processed 2 files.");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_in.crc", "in.csv"}));
}

TEST(BatchConverterTest, LineEndsAndEmptyInputs) {
  TempFolder folder;
  WriteFile(folder / "crlf.csv", "a,b,c,d\r\nw,x,y,z\r\n");
  WriteFile(folder / "lf.csv", "a,b,c,d\nw,x,y,z\n");
  WriteFile(folder / "open.csv", "a,b,c,d\r\nw,x,y,z");
  WriteFile(folder / "empty.csv", "");
  Batch batch({folder / "crlf.csv", folder / "empty.csv", folder / "lf.csv", folder / "open.csv"});
  batch.Run();
  EXPECT_EQ(ReadFile(folder / "A1_crlf.crc"), kOutput);
  EXPECT_EQ(ReadFile(folder / "A1_lf.crc"), kOutput);
  EXPECT_EQ(ReadFile(folder / "A1_open.crc"), kOutput);
  EXPECT_TRUE(std::filesystem::exists(folder / "A1_empty.crc"));
  EXPECT_EQ(ReadFile(folder / "A1_empty.crc"), "");
}

// ---------------------------------------------------------------------------
// Failures end the batch where they happen.

// The failure's number and description, and what the log shows for the
// failing entry (index 1 of three).
struct StopCase {
  const char* name;
  std::function<void(const TempFolder&)> prepare;  // makes entry 1 fail
  ErrorNumber number;
  std::function<std::string(const TempFolder&)> description;
  bool statusShown;  // whether the failing file reached its status line
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class BatchStopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(BatchStopTest, StopsAtTheFailingFileAndKeepsEarlierOutputs) {
  const StopCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "first.csv", kInput);
  WriteFile(folder / "last.csv", kInput);
  c.prepare(folder);
  const std::set<std::string> before = folder.Names();
  Batch batch({folder / "first.csv", folder / "middle.csv", folder / "last.csv"});

  const ConversionError error = ExpectFailure(batch);

  EXPECT_EQ(error.Number(), c.number);
  EXPECT_EQ(std::string(error.Description()), c.description(folder));
  Log expected{
      "ClearFeedback", "Busy",           "Status:Converting file:" + (folder / "first.csv"),
      "Pump",          "Progress:1/3:0", "Progress:1/3:100"};
  if (c.statusShown) {
    expected.push_back("Status:Converting file:" + (folder / "middle.csv"));
    expected.push_back("Pump");
  }
  expected.push_back("NotBusy");
  EXPECT_EQ(batch.log, expected);
  // The earlier output stays; nothing else changed: no temporary file, no
  // later output, an older output of the failing name as it was.
  EXPECT_EQ(ReadFile(folder / "A1_first.crc"), kOutput);
  std::set<std::string> after = folder.Names();
  after.erase("A1_first.crc");
  EXPECT_EQ(after, before);
}

const auto kNoMiddle = [](const TempFolder&) {};

INSTANTIATE_TEST_SUITE_P(
    Failures, BatchStopTest,
    ::testing::Values(
        StopCase{"MissingInput", kNoMiddle, ErrorNumber::kOpenInput,
                 [](const TempFolder& f) {
                   return "Cannot open '" + (f / "middle.csv") +
                          "' for reading: No such file or directory";
                 },
                 false},
        StopCase{"ListedFolder",
                 [](const TempFolder& f) { std::filesystem::create_directory(f / "middle.csv"); },
                 ErrorNumber::kOpenInput,
                 [](const TempFolder& f) {
                   return "Cannot open '" + (f / "middle.csv") + "' for reading: Is a directory";
                 },
                 false},
        StopCase{"OutputNameIsAFolder",
                 [](const TempFolder& f) {
                   WriteFile(f / "middle.csv", kInput);
                   std::filesystem::create_directory(f / "A1_middle.crc");
                 },
                 ErrorNumber::kCreateOutput,
                 [](const TempFolder& f) {
                   return "Cannot create '" + (f / "A1_middle.crc") + "': Is a directory";
                 },
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BatchConverterTest, DiskFullInTheMiddleKeepsTheOlderOutputOfThatName) {
  TempFolder folder;
  WriteFile(folder / "first.csv", kInput);
  WriteFile(folder / "middle.csv", std::string(200000, 'x') + "," + kInput);
  WriteFile(folder / "last.csv", kInput);
  WriteFile(folder / "A1_middle.crc", "older output");
  Batch batch({folder / "first.csv", folder / "middle.csv", folder / "last.csv"});
  bool diskFull = false;
  batch.observer.onPump = [&](int pump) { diskFull = pump == 2; };
  std::size_t left = 1000;  // accepted before the disk is full
  detail::ScopedIoHooks hooks({.write = [&](int fd, const void* data, std::size_t size) {
    if (diskFull && left == 0) {
      errno = ENOSPC;
      return std::ptrdiff_t{-1};
    }
    const std::size_t allowed = diskFull ? std::min(size, left) : size;
    const std::ptrdiff_t written = ::write(fd, data, allowed);
    if (diskFull && written > 0) {
      left -= static_cast<std::size_t>(written);
    }
    return written;
  }});

  const ConversionError error = ExpectFailure(batch);

  EXPECT_EQ(error.Number(), ErrorNumber::kWriteOutput);
  EXPECT_EQ(std::string(error.Description()),
            "Cannot write '" + (folder / "A1_middle.crc") + "': No space left on device");
  EXPECT_EQ(left, 0u) << "the disk filled up before the failure";
  EXPECT_EQ(batch.log.back(), "NotBusy");
  EXPECT_EQ(ReadFile(folder / "A1_first.crc"), kOutput);
  EXPECT_EQ(ReadFile(folder / "A1_middle.crc"), "older output");
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"A1_first.crc", "A1_middle.crc", "first.csv",
                                                   "last.csv", "middle.csv"}));
}

TEST(BatchConverterTest, AbandonedAtTheEventPointLeavesEarlierOutputsAndNoTemporaryFile) {
  TempFolder folder;
  for (const char* name : {"a.csv", "b.csv", "c.csv"}) {
    WriteFile(folder / name, kInput);
  }
  WriteFile(folder / "A1_b.crc", "older output");
  Batch batch({folder / "a.csv", folder / "b.csv", folder / "c.csv"});
  batch.observer.onPump = [](int pump) {
    if (pump == 2) {
      throw BatchAbandoned{};
    }
  };
  EXPECT_THROW(batch.Run(), BatchAbandoned);
  EXPECT_EQ(batch.log.back(), "NotBusy");
  EXPECT_EQ(std::count(batch.log.begin(), batch.log.end(), "Pump"), 2);
  EXPECT_EQ(ReadFile(folder / "A1_a.crc"), kOutput);
  EXPECT_EQ(ReadFile(folder / "A1_b.crc"), "older output");
  EXPECT_EQ(folder.Names(),
            (std::set<std::string>{"A1_a.crc", "A1_b.crc", "a.csv", "b.csv", "c.csv"}));
}

}  // namespace
}  // namespace corvane
