#include "engine/BatchConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/ConvertRun.h"
#include "engine/Errors.h"
#include "support/Engine.h"
#include "support/Files.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;
using Log = std::vector<std::string>;

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
    if (onPump) onPump(pumps);
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
  std::vector<std::string> paths;
  RecordingObserver observer{log};

  explicit Batch(std::vector<std::string> list) : paths(std::move(list)) {}
  void Run() { BatchConverter().Run(paths, observer); }
};

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

TEST(BatchConverterTest, EmptyListConvertsNothing) {
  Batch batch({});
  batch.Run();
  EXPECT_EQ(batch.log, (Log{"ClearFeedback", "Busy", "NotBusy", "Status:Processed 0 files."}));
}

// An input that grows while it is read (a log still being written) is read
// to its end, and its progress stops at 100%.
TEST(BatchConverterTest, AnInputGrowingWhileReadStopsItsProgressAt100) {
  TempFolder folder;
  WriteFile(folder / "log.csv", kInput);
  std::string more;
  while (more.size() < (1u << 20)) more += kInput;
  Batch batch({folder / "log.csv"});
  bool grown = false;
  {
    ScopedIoHooks hooks({.read = [&](int fd, void* data, std::size_t size) {
      if (!grown) {
        grown = true;
        std::ofstream(folder / "log.csv", std::ios::binary | std::ios::app) << more;
      }
      return SystemRead(fd, data, size);
    }});
    batch.Run();
  }
  const std::size_t copies = (kInput.size() + more.size()) / kInput.size();
  EXPECT_EQ(ReadFile(folder / "A1_log.crc").size(), copies * kOutput.size());
  EXPECT_EQ(Log(batch.log.end() - 3, batch.log.end()),
            (Log{"Progress:1/1:100", "NotBusy", "Status:Processed 1 files."}));
  for (const std::string& entry : batch.log) {
    if (entry.starts_with("Progress:")) {
      EXPECT_LE(std::stoi(entry.substr(entry.rfind(':') + 1)), 100) << entry;
    }
  }
}

// ---------------------------------------------------------------------------
// Whatever ends a batch at its middle file ends it there: the outputs finished
// before stay, the middle file's older output stays whole, nothing after it is
// touched and nothing is left behind. A failure gives its number (its text is
// the file converter's) and the file's place; a file refused before it starts
// does not reach its status line and event point, one that fails part-way
// does. The program ending at the event point, or a stop asked for between
// the blocks of a file, abandons the batch.

struct EndCase {
  const char* name;
  bool middleMissing;
  IoHooks hooks;
  std::function<void(RecordingObserver&)> atMiddlesEventPoint;
  std::optional<ErrorNumber> failure;  // none: abandoned
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class BatchEndTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(BatchEndTest, EndsAtTheMiddleFileAndKeepsWhatWasFinished) {
  const EndCase& c = GetParam();
  TempFolder folder;
  WriteFile(folder / "first.csv", kInput);
  if (!c.middleMissing) {
    std::string large;  // several blocks, for a stop between them
    while (large.size() < (3u << 20)) large += kInput;
    WriteFile(folder / "middle.csv", large);
  }
  WriteFile(folder / "A1_middle.crc", "older output");
  WriteFile(folder / "last.csv", kInput);
  const std::set<std::string> before = folder.Names();
  Batch batch({folder / "first.csv", folder / "middle.csv", folder / "last.csv"});
  batch.observer.onPump = [&](int pump) {
    if (pump == 2 && c.atMiddlesEventPoint) c.atMiddlesEventPoint(batch.observer);
  };

  std::optional<ErrorNumber> failure;
  int fileNumber = 0, fileCount = 0;
  {
    ScopedIoHooks hooks(c.hooks);
    try {
      batch.Run();
      ADD_FAILURE() << "the batch ran to its end";
    } catch (const BatchFailure& error) {
      failure = error.Number();
      fileNumber = error.FileNumber();
      fileCount = error.FileCount();
    } catch (const BatchAbandoned&) {
    }
  }

  EXPECT_EQ(failure, c.failure);
  if (c.failure) {
    EXPECT_EQ(fileNumber, 2) << "the failure names the failing file's place in the batch";
    EXPECT_EQ(fileCount, 3);
  }
  const Log firstFile{
      "ClearFeedback", "Busy",           "Status:Converting file:" + (folder / "first.csv"),
      "Pump",          "Progress:1/3:0", "Progress:1/3:100"};
  EXPECT_TRUE(std::equal(firstFile.begin(), firstFile.end(), batch.log.begin()));
  EXPECT_EQ(batch.log.back(), "NotBusy");
  const int middleOpened = c.middleMissing ? 0 : 1;
  EXPECT_EQ(std::count(batch.log.begin(), batch.log.end(),
                       "Status:Converting file:" + (folder / "middle.csv")),
            middleOpened);
  EXPECT_EQ(std::count(batch.log.begin(), batch.log.end(), "Pump"), 1 + middleOpened);
  EXPECT_EQ(ReadFile(folder / "A1_first.crc"), kOutput);
  EXPECT_EQ(ReadFile(folder / "A1_middle.crc"), "older output");
  std::set<std::string> after = folder.Names();
  after.erase("A1_first.crc");
  EXPECT_EQ(after, before);
}

const EndCase kEndCases[] = {
    {"MissingInput", true, {}, {}, ErrorNumber::kOpenInput},
    {"DiskFull", false, {.write = FailingWrites(1000, ENOSPC)}, {}, ErrorNumber::kWriteOutput},
    {"AbandonedAtTheEventPoint", false, {}, [](RecordingObserver&) { throw BatchAbandoned{}; }, {}},
    // The event point, then one block.
    {"StoppedBetweenBlocks", false, {}, [](RecordingObserver& o) { o.stopAfter = 2; }, {}},
};

INSTANTIATE_TEST_SUITE_P(Ends, BatchEndTest, ::testing::ValuesIn(kEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Several jobs: the events still come in list order, as if the files were
// converted one at a time, and entries of one output one after the other.

// Records the run's events; progress only as whether it came in its file's turn.
class RecordingEvents final : public RunEvents {
 public:
  void FileStarted(std::size_t file) override { Note("Started", file); }
  void FileOpened(std::size_t file) override { Note("Opened", file); }
  void FileProgressed(std::size_t file, std::uint64_t, std::uint64_t) override {
    if (file != current_) progressOutOfTurn = true;
  }
  void FileFinished(std::size_t file) override { Note("Finished", file); }
  void FileFailed(std::size_t file, const ConversionError& error) override {
    Note("Failed" + std::to_string(error.Code()), file);
  }
  void RunEnded(std::size_t converted) override {
    log.push_back("Ended:" + std::to_string(converted));
  }

  Log log;
  bool progressOutOfTurn = false;

 private:
  void Note(const std::string& what, std::size_t file) {
    current_ = file;
    log.push_back(what + ":" + std::to_string(file));
  }
  std::size_t current_ = static_cast<std::size_t>(-1);
};

TEST(ConvertRunTest, SeveralJobsTellTheFilesInListOrder) {
  TempFolder folder;
  WriteFile(folder / "a.csv", "slow," + kInput);
  WriteFile(folder / "b.csv", kInput);
  WriteFile(folder / "c.csv", kInput);
  // The first read of a.csv waits until b.csv and c.csv are converted, so
  // that their events are held meanwhile; its second entry, the same file by
  // another name, is converted again, not refused, and in the same chain:
  // it starts only once the first one's output is complete.
  std::atomic<int> slowReads{0};
  std::atomic<bool> othersDone{false};
  std::atomic<bool> chainInOrder{false};
  IoHooks hooks{.read = [&](int fd, void* data, std::size_t size) {
    const std::ptrdiff_t got = SystemRead(fd, data, size);
    if (got < 5 || std::string_view(static_cast<const char*>(data), 5) != "slow,") return got;
    if (++slowReads == 1) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!othersDone && std::chrono::steady_clock::now() < deadline) {
        const std::set<std::string> names = folder.Names();
        othersDone = names.count("A1_b.crc") == 1 && names.count("A1_c.crc") == 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    } else {
      chainInOrder = folder.Names().count("A1_a.crc") == 1;
    }
    return got;
  }};
  const ConversionRun run({folder / "a.csv", folder / "b.csv", folder / "missing.csv",
                           folder / "./a.csv", folder / "c.csv"});
  RecordingEvents events;
  {
    ScopedIoHooks scoped(hooks);
    ConvertRun(run, RunSchedule{.jobs = 3}, events);
  }
  EXPECT_TRUE(othersDone) << "b.csv and c.csv were not converted while a.csv waited";
  EXPECT_TRUE(chainInOrder) << "the second a.csv started before the first was done";
  EXPECT_FALSE(events.progressOutOfTurn);
  EXPECT_EQ(ReadFile(folder / "A1_a.crc"),
            CrcLine("slow", "a", "b", "c,d") + CrcLine("w", "x", "y", "z"));
  EXPECT_EQ(events.log, (Log{"Started:0", "Opened:0", "Finished:0",  //
                             "Started:1", "Opened:1", "Finished:1",  //
                             "Started:2", "Failed102:2",             //
                             "Started:3", "Opened:3", "Finished:3",  //
                             "Started:4", "Opened:4", "Finished:4", "Ended:4"}));
}

}  // namespace
}  // namespace corvane
