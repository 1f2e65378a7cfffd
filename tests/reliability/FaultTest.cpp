// Faults from the disk, the system and the user, against the built csv2crc:
// a really full disk, a folder that refuses writing, kills and signals
// part-way, two conversions of one file at once. Whatever happens, the output
// name holds nothing, the older output or the complete new one.
#include <sys/mount.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "ReliabilitySupport.h"

namespace corvane::reliability {
namespace {

using namespace std::chrono_literals;

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

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    mountPoint_ = scratch_ / "small";
    fs::create_directory(mountPoint_);
    if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=256k") != 0) {
      GTEST_SKIP() << "cannot mount a 256 KiB tmpfs here (" << std::strerror(errno)
                   << "): needs root or CAP_SYS_ADMIN";
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
  }

  Scratch scratch_;
  std::string mountPoint_;
  bool mounted_ = false;
};

TEST_F(FullDisk, FillingUpPartWayKeepsTheOlderOutputAndLeavesNothingBehind) {
  const std::string big = Repeat(kBlockWithEnd, 20000);  // about 1.3 MiB of output
  const std::string small = Repeat(kBlockWithEnd, 100);
  WriteFile(scratch_ / "big.csv", big);
  WriteFile(scratch_ / "small.csv", small);
  const std::string older = "older output\r\n";
  WriteFile(mountPoint_ + "/A1_big.crc", older);

  const RunResult r = RunCsv2crc(scratch_.Path(), {"-o", mountPoint_, "big.csv", "small.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 105: Cannot write '" + mountPoint_ +
                       "/A1_big.crc': No space left on device\n");
  EXPECT_EQ(ReadFile(mountPoint_ + "/A1_big.crc"), older);
  // The space the failed file took is given back: the next file still fits.
  EXPECT_EQ(ReadFile(mountPoint_ + "/A1_small.crc"), ReferenceConvert(small));
  EXPECT_EQ(Names(mountPoint_), (std::set<std::string>{"A1_big.crc", "A1_small.crc"}));
}

// ---------------------------------------------------------------------------
// A folder that refuses writing. Root ignores permission bits, so csv2crc runs
// as the unprivileged user "nobody".

class RefusingFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::string> probe = {kSetpriv,         "--reuid=nobody", "--regid=nogroup",
                                            "--clear-groups", CSV2CRC_PATH,     "--version"};
    const std::string errPath = scratch_ / "probe.err";
    const RunResult r = Wait(Spawn(probe, scratch_.Path(), errPath), errPath);
    if (r.exitCode != 0) {
      GTEST_SKIP() << "cannot run csv2crc as nobody through " << kSetpriv
                   << " (needs root, and the build folder readable by all): " << r.err;
    }
    folder_ = scratch_ / "locked";
    fs::create_directory(folder_);
    WriteFile(folder_ + "/in.csv", "a,b,c,d\r\n");
    ::chmod((folder_ + "/in.csv").c_str(), 0644);
  }
  void Lock() { ::chmod(folder_.c_str(), 0555); }

  RunResult RunAsNobody(const std::vector<std::string>& args) {
    return RunCsv2crc(folder_, args,
                      {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }

  static constexpr const char* kSetpriv = "/usr/bin/setpriv";
  Scratch scratch_;
  std::string folder_;
};

TEST_F(RefusingFolder, NoOutputIsMadeAndTheReasonIsNamed) {
  Lock();
  const RunResult r = RunAsNobody({"in.csv"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create 'A1_in.crc': Permission denied\n");
  EXPECT_EQ(Names(folder_), (std::set<std::string>{"in.csv"}));
}

// An older output the user may write, in a folder that takes no new file
// (a shared folder where only the file may be written): it is written in
// place, which -v says; a failure part-way says that it is incomplete.
TEST_F(RefusingFolder, AWritableOlderOutputIsWrittenInPlace) {
  WriteFile(folder_ + "/A1_in.crc", Repeat("older,output\r\n", 1000));
  ::chmod((folder_ + "/A1_in.crc").c_str(), 0666);
  Lock();
  RunResult r = RunAsNobody({"-v", "in.csv"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err,
            "Converting file:in.csv\nWriting 'A1_in.crc' in place: its folder takes no new "
            "file\nProcessed 1 files.\n");
  EXPECT_EQ(ReadFile(folder_ + "/A1_in.crc"), ReferenceConvert("a,b,c,d\r\n"));
  EXPECT_EQ(Names(folder_), (std::set<std::string>{"A1_in.crc", "in.csv"}));

  ::chmod(folder_.c_str(), 0755);
  WriteFile(folder_ + "/in.csv", Repeat(kBlockWithEnd, 1000));
  Lock();
  r = RunCsv2crc(folder_, {"in.csv"},
                 {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups", "/bin/sh", "-c",
                  "ulimit -f 4; exec \"$0\" \"$@\""});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "csv2crc: Error 105: Cannot write 'A1_in.crc': File too large; 'A1_in.crc' is "
            "incomplete\n");
}

// A file-size limit: the write past it fails as an ordinary write error, the
// temporary file goes and the next file is converted.
TEST(FileSizeLimit, FailsTheFileAndTheRunGoesOn) {
  Scratch scratch;
  WriteFile(scratch / "big.csv", Repeat(kBlockWithEnd, 20000));
  WriteFile(scratch / "small.csv", "a,b\r\n");
  const RunResult r = RunCsv2crc(scratch.Path(), {"big.csv", "small.csv"},
                                 {"/bin/sh", "-c", "ulimit -f 100; exec \"$0\" \"$@\""});
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 105: Cannot write 'A1_big.crc': File too large\n");
  EXPECT_EQ(ReadFile(scratch / "A1_small.crc"), ReferenceConvert("a,b\r\n"));
  EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{"A1_small.crc", "big.csv", "small.csv"}));
}

// ---------------------------------------------------------------------------
// Ended part-way. The input is a named pipe the test writes into, so the
// program is reliably in the middle of the file (its temporary file made and
// growing) when the signal comes, however fast the machine.

class EndedPartWayBase : public ::testing::Test {
 protected:
  // Starts csv2crc on a pipe, feeds it until its temporary file has grown
  // past 1 MiB, sends the signal, and returns how it ended. The writer keeps
  // the pipe open, so the program cannot finish by itself.
  RunResult ConvertAndSignal(int signalNumber) {
    const std::string fifo = scratch_ / "in.csv";
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string errPath = scratch_ / "err.txt";
    const pid_t pid = Spawn({CSV2CRC_PATH, "in.csv"}, scratch_.Path(), errPath);
    const int writer = ::open(fifo.c_str(), O_WRONLY);
    EXPECT_GE(writer, 0);
    const std::string chunk = Repeat(kBlockWithEnd, 1000);
    bool grown = false;
    for (int round = 0; round < 20000 && !grown; ++round) {
      EXPECT_EQ(::write(writer, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
      for (const std::string& name : Names(scratch_.Path())) {
        if (name.rfind(".A1_in.crc.", 0) == 0) {
          std::error_code ignored;
          grown = fs::file_size(scratch_ / name, ignored) > (1u << 20);
        }
      }
    }
    EXPECT_TRUE(grown) << "the temporary file never grew";
    ::kill(pid, signalNumber);
    const RunResult r = Wait(pid, errPath);
    ::close(writer);
    ::unlink(fifo.c_str());
    return r;
  }

  Scratch scratch_;
};

class EndedPartWay : public EndedPartWayBase {};
class SignalPartWay : public EndedPartWayBase, public ::testing::WithParamInterface<int> {};

TEST_F(EndedPartWay, KillLeavesTheOlderOutputWholeAndOnlyAHiddenLeftover) {
  const std::string older = Repeat("older,output\r\n", 5000);
  WriteFile(scratch_ / "A1_in.crc", older);
  const RunResult r = ConvertAndSignal(SIGKILL);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_EQ(ReadFile(scratch_ / "A1_in.crc"), older);
  // Nothing runs after SIGKILL: its temporary file stays, hidden, beside the output.
  std::set<std::string> names = Names(scratch_.Path());
  names.erase("A1_in.crc");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names.begin()->rfind(".A1_in.crc.", 0), 0u) << *names.begin();
}

TEST_F(EndedPartWay, KillWithoutAnOlderOutputLeavesNoOutput) {
  const RunResult r = ConvertAndSignal(SIGKILL);
  EXPECT_EQ(r.signal, SIGKILL);
  EXPECT_FALSE(fs::exists(scratch_ / "A1_in.crc"));
}

TEST_P(SignalPartWay, CatchableSignalRemovesTheTemporaryFileAndEndsByThatSignal) {
  const int signalNumber = GetParam();
  const std::string older = Repeat("older,output\r\n", 5000);
  WriteFile(scratch_ / "A1_in.crc", older);
  const RunResult r = ConvertAndSignal(signalNumber);
  EXPECT_EQ(r.signal, signalNumber) << "exit code " << r.exitCode << ": " << r.err;
  EXPECT_EQ(ReadFile(scratch_ / "A1_in.crc"), older);
  EXPECT_EQ(Names(scratch_.Path()), (std::set<std::string>{"A1_in.crc"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalPartWay,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2,
                                           SIGALRM, SIGVTALRM, SIGXCPU, SIGPIPE),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A kill during a large regular file: the output name holds the older output
// if the kill came first, or the complete new one if the conversion did.
TEST(KilledOnALargeFile, OutputIsTheOlderOrTheCompleteNewOne) {
  Scratch scratch;
  const std::string block = Repeat(kBlockWithEnd, 4096);
  const std::size_t copies = (200u << 20) / block.size();
  {
    std::ofstream out(scratch / "big.csv", std::ios::binary);
    for (std::size_t i = 0; i < copies; ++i) out.write(block.data(), std::streamsize(block.size()));
    ASSERT_TRUE(out.good());
  }
  const std::string older = "older output\r\n";
  WriteFile(scratch / "A1_big.crc", older);
  const std::string errPath = scratch / "err.txt";
  const pid_t pid = Spawn({CSV2CRC_PATH, "big.csv"}, scratch.Path(), errPath);
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  bool grown = false;
  bool finished = false;
  while (!grown && !finished && std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : Names(scratch.Path())) {
      std::error_code ignored;
      if (name.rfind(".A1_big.crc.", 0) == 0) {
        grown = fs::file_size(scratch / name, ignored) > (8u << 20);
      }
    }
    finished = ::waitpid(pid, nullptr, WNOHANG) == pid;  // the conversion came first
    std::this_thread::sleep_for(1ms);
  }
  if (!finished) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  ::unlink(errPath.c_str());

  const std::uintmax_t size = fs::file_size(scratch / "A1_big.crc");
  if (size == older.size()) {
    EXPECT_EQ(ReadFile(scratch / "A1_big.crc"), older);
  } else {
    const std::string expectedBlock = ReferenceConvert(block);
    ASSERT_EQ(size, expectedBlock.size() * copies) << "a partial output under the output name";
    std::ifstream in(scratch / "A1_big.crc", std::ios::binary);
    std::string got(expectedBlock.size(), '\0');
    for (std::size_t i = 0; i < copies; ++i) {
      in.read(got.data(), std::streamsize(got.size()));
      ASSERT_EQ(got, expectedBlock) << "block " << i;
    }
  }
}

// ---------------------------------------------------------------------------
// Two conversions of the same file at the same time, in two processes.

TEST(SameFileTwiceAtOnce, GivesOneCompleteOutputAndNoLeftovers) {
  Scratch scratch;
  const std::string input = Repeat(kBlockWithEnd, 60000);  // about 4 MiB
  WriteFile(scratch / "in.csv", input);
  const std::string expected = ReferenceConvert(input);
  for (int round = 0; round < 5; ++round) {
    const pid_t a = Spawn({CSV2CRC_PATH, "in.csv"}, scratch.Path(), scratch / "a.err");
    const pid_t b = Spawn({CSV2CRC_PATH, "in.csv"}, scratch.Path(), scratch / "b.err");
    const RunResult ra = Wait(a, scratch / "a.err");
    const RunResult rb = Wait(b, scratch / "b.err");
    EXPECT_EQ(ra.exitCode, 0) << ra.err;
    EXPECT_EQ(rb.exitCode, 0) << rb.err;
    EXPECT_EQ(ReadFile(scratch / "A1_in.crc"), expected) << "round " << round;
    EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{"A1_in.crc", "in.csv"}));
  }
}

}  // namespace
}  // namespace corvane::reliability
