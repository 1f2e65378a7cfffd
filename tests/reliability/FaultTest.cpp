// Faults from the disk, the system and the user, against the built csv2crc:
// a really full disk, a folder that refuses writing, kills and signals
// part-way, two conversions of one file at once. Whatever happens, the output
// name holds nothing, the older output or the complete new one.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Descriptor.h"
#include "support/Files.h"
#include "support/Programs.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Runs csv2crc with args in folder, behind a prefix such as setpriv when given.
Outcome RunCsv2crc(const std::string& folder, const std::vector<std::string>& args,
                   std::vector<std::string> prefix = {}) {
  prefix.push_back(CSV2CRC_PATH);
  prefix.insert(prefix.end(), args.begin(), args.end());
  return RunProgram({.command = prefix, .folder = folder});
}

// A block of records holding every awkward line end; a large input is many
// copies of it, and its output as many copies of the block's output.
const std::string kBlock = "id,name,\"q\",1,2,3\r\nlf,only\nx\r\r\n,,,\r\nlast,b,c,d,e";
const std::string kBlockWithEnd = kBlock + "\r\n";

std::string Repeat(const std::string& block, std::size_t times) {
  std::string s;
  s.reserve(block.size() * times);
  for (std::size_t i = 0; i < times; ++i) s += block;
  return s;
}

// ---------------------------------------------------------------------------
// A real, small, full file system.

TEST(FullDisk, FillingUpPartWayKeepsTheOlderOutputAndLeavesNothingBehind) {
  TempFolder scratch;
  const std::string mountPoint = scratch / "small";
  fs::create_directory(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a 256 KiB tmpfs here (" << std::strerror(errno)
                 << "): needs root or CAP_SYS_ADMIN";
  }
  const std::string big = Repeat(kBlockWithEnd, 20000);  // about 1.3 MiB of output
  const std::string small = Repeat(kBlockWithEnd, 100);
  WriteFile(scratch / "big.csv", big);
  WriteFile(scratch / "small.csv", small);
  const std::string older = "older output\r\n";
  WriteFile(mountPoint + "/A1_big.crc", older);

  // One file at a time, so that the second starts once the first has failed.
  const Outcome r =
      RunCsv2crc(scratch.Path(), {"-j", "1", "-o", mountPoint, "big.csv", "small.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 105: Cannot write '" + mountPoint +
                       "/A1_big.crc': No space left on device\n");
  EXPECT_EQ(ReadFile(mountPoint + "/A1_big.crc"), older);
  // The space the failed file took is given back: the next file still fits.
  EXPECT_EQ(ReadFile(mountPoint + "/A1_small.crc"), ReferenceConvert(small));
  EXPECT_EQ(Names(mountPoint), (std::set<std::string>{"A1_big.crc", "A1_small.crc"}));
  ::umount2(mountPoint.c_str(), MNT_DETACH);
}

// ---------------------------------------------------------------------------
// A folder that refuses writing. Root ignores permission bits, so csv2crc runs
// as the unprivileged user "nobody".

class RefusingFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const Outcome r = RunCsv2crc(scratch_.Path(), {"--version"}, kAsNobody);
    if (r.exitCode != 0) {
      GTEST_SKIP() << "cannot run csv2crc as nobody through " << kAsNobody[0]
                   << " (needs root, and the build folder readable by all): " << r.err;
    }
    folder_ = scratch_ / "locked";
    fs::create_directory(folder_);
    WriteFile(folder_ + "/in.csv", "a,b,c,d\r\n");
    ::chmod((folder_ + "/in.csv").c_str(), 0644);
  }
  void Lock() { ::chmod(folder_.c_str(), 0555); }

  Outcome RunAsNobody(const std::vector<std::string>& args) {
    return RunCsv2crc(folder_, args, kAsNobody);
  }

  const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                              "--regid=nogroup", "--clear-groups"};
  TempFolder scratch_;
  std::string folder_;
};

// No output is made, and the reason is named. An older output the user may
// write (a shared folder where only the file may be written) is written in
// place, which -v says; a failure part-way says that it is incomplete.
TEST_F(RefusingFolder, NoOutputIsMadeButAWritableOlderOutputIsWrittenInPlace) {
  Lock();
  Outcome r = RunAsNobody({"in.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create 'A1_in.crc': Permission denied\n");
  EXPECT_EQ(Names(folder_), (std::set<std::string>{"in.csv"}));

  WriteFile(folder_ + "/A1_in.crc", Repeat("older,output\r\n", 1000));  // root writes anyway
  ::chmod((folder_ + "/A1_in.crc").c_str(), 0666);
  r = RunAsNobody({"-v", "in.csv"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err,
            "Converting file:in.csv\nWriting 'A1_in.crc' in place: its folder takes no new "
            "file\nProcessed 1 files.\n");
  EXPECT_EQ(ReadFile(folder_ + "/A1_in.crc"), ReferenceConvert("a,b,c,d\r\n"));
  EXPECT_EQ(Names(folder_), (std::set<std::string>{"A1_in.crc", "in.csv"}));

  WriteFile(folder_ + "/in.csv", Repeat(kBlockWithEnd, 1000));
  std::vector<std::string> limited = kAsNobody;
  limited.insert(limited.end(), {"/bin/sh", "-c", "ulimit -f 4; exec \"$0\" \"$@\""});
  r = RunCsv2crc(folder_, {"in.csv"}, limited);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 105: Cannot write 'A1_in.crc': File too large; 'A1_in.crc' is "
            "incomplete\n");
}

// Two output names of one writable older file in such a folder: written in
// place, they are one output, so the later input is refused (at once with -j,
// the two writers mixed their records in the file).
TEST_F(RefusingFolder, TwoNamesOfOneOlderOutputAreOneOutput) {
  WriteFile(folder_ + "/b.csv", "e,f,g,h\r\n");
  ::chmod((folder_ + "/b.csv").c_str(), 0644);
  WriteFile(folder_ + "/A1_in.crc", "older\r\n");
  ::chmod((folder_ + "/A1_in.crc").c_str(), 0666);
  fs::create_hard_link(folder_ + "/A1_in.crc", folder_ + "/A1_b.crc");
  Lock();
  const Outcome r = RunAsNobody({"-j", "2", "in.csv", "b.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 108: Cannot convert 'b.csv': its output 'A1_b.crc' is already the "
            "output of 'in.csv'\n");
  EXPECT_EQ(ReadFile(folder_ + "/A1_in.crc"), ReferenceConvert("a,b,c,d\r\n"));
}

// ---------------------------------------------------------------------------
// One folder under two paths (a bind mount) holds one output: the later input
// with that output is refused, and the first one's output stands.

TEST(OneFolderUnderTwoPaths, HoldsOneOutput) {
  TempFolder scratch;
  fs::create_directory(scratch / "t");
  fs::create_directory(scratch / "bm");
  if (::mount((scratch / "t").c_str(), (scratch / "bm").c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot bind a folder here (" << std::strerror(errno)
                 << "): needs root or CAP_SYS_ADMIN";
  }
  WriteFile(scratch / "t/x.csv", "x,1\r\n");
  WriteFile(scratch / "t/x.txt", "t,2\r\n");
  const Outcome r = RunCsv2crc(scratch.Path(), {"t/x.csv", "bm/x.txt"});
  ::umount2((scratch / "bm").c_str(), MNT_DETACH);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 108: Cannot convert 'bm/x.txt': its output 'bm/A1_x.crc' is already "
            "the output of 't/x.csv'\n");
  EXPECT_EQ(ReadFile(scratch / "t/A1_x.crc"), ReferenceConvert("x,1\r\n"));
}

// Written in place, an older output gives no one access they lack to the
// input: the user's own is narrowed to the input's permissions; another
// user's, which that user may open to anyone, takes no input that is not
// everyone's to read.
TEST_F(RefusingFolder, AnOlderOutputWrittenInPlaceShowsTheInputToNoOneElse) {
  const struct passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const std::string input = folder_ + "/s.csv";
  const std::string output = folder_ + "/A1_s.crc";
  WriteFile(input, "secret\r\n");
  ASSERT_EQ(::chown(input.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ::chmod(input.c_str(), 0600);
  WriteFile(output, "older\r\n");
  ::chmod(output.c_str(), 0666);
  Lock();
  Outcome r = RunAsNobody({"s.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 104: Cannot create 'A1_s.crc': Permission denied; the older file is "
            "another user's, who could read there what the input keeps from others\n");
  EXPECT_EQ(ReadFile(output), "older\r\n");

  ASSERT_EQ(::chown(output.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  ::chmod(output.c_str(), 0644);
  r = RunAsNobody({"s.csv"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(output), ReferenceConvert("secret\r\n"));
  struct stat status {};
  ASSERT_EQ(::stat(output.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
}

// Limits set with the shell's ulimit. A file-size limit: the write past it
// fails as an ordinary write error, the temporary file goes and the next file
// is converted. Limits that leave a job short (no thread for reading ahead, no
// memory for thousands of jobs, descriptors for one job only) still convert
// every file, as one job would.
struct LimitCase {
  const char* name;
  const char* limits;                // shell commands
  std::vector<std::size_t> repeats;  // f1.csv, f2.csv...: that many blocks each
  std::vector<std::string> options;  // before the files
  int exitCode;
  std::string err;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class LimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitTest, FailsOnlyWhatCannotBeDoneAndLeavesNothingBehind) {
  const LimitCase& c = GetParam();
  TempFolder scratch;
  std::string script = c.limits;
  script += " || exit 99; exec \"$0\" \"$@\"";
  const std::vector<std::string> limited = {"/bin/sh", "-c", script};
  // A sanitizer's build reserves more than such limits allow.
  if (RunCsv2crc(scratch.Path(), {"--version"}, limited).exitCode != 0) {
    GTEST_SKIP() << "csv2crc does not start after " << c.limits;
  }
  std::vector<std::string> args = c.options;
  std::set<std::string> inputs;
  for (std::size_t n = 1; n <= c.repeats.size(); ++n) {
    std::string name = "f";  // ("f" + std::to_string(n) draws a false -Wrestrict from GCC 12)
    name += std::to_string(n) + ".csv";
    WriteFile(scratch / name, Repeat(kBlockWithEnd, c.repeats[n - 1]));
    args.push_back(name);
    inputs.insert(name);
  }
  const Outcome r = RunCsv2crc(scratch.Path(), args, limited);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, c.err);
  // Every output is complete; besides the inputs the folder holds nothing else.
  std::size_t outputs = 0;
  for (const std::string& name : Names(scratch.Path())) {
    if (inputs.count(name) != 0) continue;
    ASSERT_EQ(name.rfind("A1_f", 0), 0u) << name;
    std::string input = name.substr(3);  // A1_fN.crc: fN.csv
    input.replace(input.size() - 3, 3, "csv");
    EXPECT_TRUE(ReadFile(scratch / name) == ReferenceConvert(ReadFile(scratch / input))) << name;
    ++outputs;
  }
  EXPECT_EQ(outputs, c.repeats.size() - (c.exitCode == 0 ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, LimitTest,
    ::testing::Values(
        LimitCase{"FileSize",
                  "ulimit -f 100",
                  {20000, 1},
                  {},
                  1,
                  "csv2crc: Error 105: Cannot write 'A1_f1.crc': File too large\n"},
        // Thread stacks of 64 MiB in 40 MB: no thread to read ahead or write.
        LimitCase{"NoThreadForOverlap", "ulimit -s 65536 && ulimit -v 40000", {1}, {}, 0, ""},
        LimitCase{"MemoryForAFewJobs",
                  "ulimit -v 60000",
                  std::vector<std::size_t>(3000, 1),
                  {"-j", "3000"},
                  0,
                  ""},
        // Large enough files that the first job still holds its two.
        LimitCase{"DescriptorsForOneJob",
                  "ulimit -n 6",
                  std::vector<std::size_t>(6, 60000),
                  {"-j", "2"},
                  0,
                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Ended part-way. The input is a named pipe the test writes into, so the
// program is reliably in the middle of the file (its temporary file made and
// growing) when the signal comes, however fast the machine.

// A catchable signal removes the temporary file and ends the program by that
// signal; nothing runs after SIGKILL, so its temporary file stays, hidden,
// beside the output. The output name holds the older output as it was, or
// nothing when there was none.
class EndedPartWay : public ::testing::TestWithParam<std::tuple<int, bool>> {
 protected:
  // Starts csv2crc on a pipe, feeds it until its temporary file has grown
  // past 1 MiB, sends the signal, and returns how it ended. The writer keeps
  // the pipe open, so the program cannot finish by itself.
  Outcome ConvertAndSignal(int signalNumber) {
    const std::string fifo = scratch_ / "in.csv";
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Program program({.command = {CSV2CRC_PATH, "in.csv"}, .folder = scratch_.Path()});
    const platform::Descriptor writer(::open(fifo.c_str(), O_WRONLY));
    EXPECT_GE(writer.Get(), 0);
    const std::string chunk = Repeat(kBlockWithEnd, 1000);
    bool grown = false;
    for (int round = 0; round < 20000 && !grown; ++round) {
      EXPECT_EQ(::write(writer.Get(), chunk.data(), chunk.size()),
                static_cast<ssize_t>(chunk.size()));
      for (const std::string& name : Names(scratch_.Path())) {
        if (name.rfind(".A1_in.crc.", 0) == 0) {
          std::error_code ignored;
          grown = fs::file_size(scratch_ / name, ignored) > (1u << 20);
        }
      }
    }
    EXPECT_TRUE(grown) << "the temporary file never grew";
    program.Signal(signalNumber);
    const Outcome r = program.Wait();
    ::unlink(fifo.c_str());
    return r;
  }

  TempFolder scratch_;
};

TEST_P(EndedPartWay, LeavesTheOlderOutputWholeAndNoTemporaryFileUnlessKilled) {
  const auto [signalNumber, withOlder] = GetParam();
  const std::string older = Repeat("older,output\r\n", 5000);
  if (withOlder) WriteFile(scratch_ / "A1_in.crc", older);
  const Outcome r = ConvertAndSignal(signalNumber);
  EXPECT_EQ(r.signal, signalNumber) << "exit code " << r.exitCode << ": " << r.err;
  std::set<std::string> names = Names(scratch_.Path());
  if (withOlder) {
    EXPECT_EQ(ReadFile(scratch_ / "A1_in.crc"), older);
    names.erase("A1_in.crc");
  }
  if (signalNumber == SIGKILL) {
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names.begin()->rfind(".A1_in.crc.", 0), 0u) << *names.begin();
  } else {
    EXPECT_EQ(names, std::set<std::string>());
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedPartWay,
                         ::testing::Combine(::testing::Values(SIGKILL, SIGINT, SIGTERM, SIGHUP,
                                                              SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                                              SIGVTALRM, SIGXCPU, SIGPIPE),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(sigabbrev_np(std::get<0>(info.param))) +
                                  (std::get<1>(info.param) ? "" : "WithoutOlderOutput");
                         });

// ---------------------------------------------------------------------------
// Two conversions of the same file at the same time, in two processes.

TEST(SameFileTwiceAtOnce, GivesOneCompleteOutputAndNoLeftovers) {
  TempFolder scratch;
  const std::string input = Repeat(kBlockWithEnd, 60000);  // about 4 MiB
  WriteFile(scratch / "in.csv", input);
  const std::string expected = ReferenceConvert(input);
  for (int round = 0; round < 5; ++round) {
    Program a({.command = {CSV2CRC_PATH, "in.csv"}, .folder = scratch.Path()});
    Program b({.command = {CSV2CRC_PATH, "in.csv"}, .folder = scratch.Path()});
    const Outcome ra = a.Wait();
    const Outcome rb = b.Wait();
    EXPECT_EQ(ra.exitCode, 0) << ra.err;
    EXPECT_EQ(rb.exitCode, 0) << rb.err;
    EXPECT_EQ(ReadFile(scratch / "A1_in.crc"), expected) << "round " << round;
    EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  }
}

}  // namespace
}  // namespace corvane
