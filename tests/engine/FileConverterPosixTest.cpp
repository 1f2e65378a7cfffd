// What the file converter does with POSIX links and permissions, and the
// standard descriptors a program starts with.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "engine/FileConverter.h"
#include "engine/StandardDescriptors.h"
#include "support/Engine.h"
#include "support/Files.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;

// A link of the output's name is replaced, not followed; an input that is a
// link to its own output is refused before anything is written.
TEST(ConvertPosixTest, SymbolicLinksAreNeverWrittenThrough) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b,c,d\r\n");
  WriteFile(folder / "target", "precious");
  std::filesystem::create_symlink(folder / "target", folder / "A1_in.crc");
  FileConverter().Convert(ConversionRun({folder / "in.csv"}), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "A1_in.crc"));
  EXPECT_EQ(ReadFile(folder / "A1_in.crc"), CrcLine("a", "b", "c", "d"));
  EXPECT_EQ(ReadFile(folder / "target"), "precious");

  WriteFile(folder / "A1_y.crc", "precious\r\n");
  std::filesystem::create_symlink("A1_y.crc", folder / "y.csv");
  const ConversionError error =
      ExpectConversionError([&] { FileConverter().Convert(ConversionRun({folder / "y.csv"}), 0); });
  EXPECT_EQ(error.Number(), ErrorNumber::kOutputIsInput);
  EXPECT_EQ(std::string(error.Description()),
            "Cannot convert '" + (folder / "y.csv") + "': its output '" + (folder / "A1_y.crc") +
                "' would replace the input '" + (folder / "y.csv") + "'");
  EXPECT_EQ(ReadFile(folder / "A1_y.crc"), "precious\r\n");

  // Two names of one folder, one through a link to it, give one output: the
  // later input is refused although that output did not exist when planned.
  std::filesystem::create_directory(folder / "d1");
  std::filesystem::create_directory_symlink("d1", folder / "d2");
  WriteFile(folder / "d1/x.csv", "1\r\n");
  WriteFile(folder / "d1/x.txt", "2\r\n");
  const ConversionRun run({folder / "d1/x.csv", folder / "d2/x.txt"});
  FileConverter converter;
  converter.Convert(run, 0);
  EXPECT_EQ(ExpectConversionError([&] { converter.Convert(run, 1); }).Number(),
            ErrorNumber::kSameOutput);
  EXPECT_EQ(ReadFile(folder / "d1/A1_x.crc"), CrcLine("1", "", "", ""));
}

// Permissions never widen: a new output gets the input's read and write bits
// less the umask, whatever the input's kind; a replaced output keeps its own
// as far as the input's allow them, and never execution; a group other than
// the input's gets only what the input gives everyone; another user's older
// output gives its owner nothing. A file the kernel makes as it is read
// (sysfs reports 4096 bytes for it) is read to its end.
TEST(ConvertPosixTest, PermissionsComeFromTheInputOrTheReplacedOutput) {
  enum class Input { kFile, kPipe, kKernel };
  enum class Stranger { kNone, kOlderOwner, kOlderGroup, kInputGroup };  // nobody, nogroup
  const struct {
    mode_t input;
    mode_t umask;
    std::optional<mode_t> older;
    mode_t expected;
    Input kind = Input::kFile;
    Stranger stranger = Stranger::kNone;
  } cases[] = {
      {0600, 022, std::nullopt, 0600},
      {0644, 022, std::nullopt, 0644},
      {0666, 022, std::nullopt, 0644},
      {0666, 0, std::nullopt, 0666},
      {0640, 077, std::nullopt, 0600},
      {0755, 022, std::nullopt, 0644},
      {0644, 022, 0640, 0640},
      {0666, 0, 0600, 0600},
      {0600, 077, 0664, 0600},
      {0755, 022, 0750, 0640},
      {0600, 022, std::nullopt, 0600, Input::kPipe},
      {0600, 022, 0666, 0600, Input::kFile, Stranger::kOlderOwner},
      {0640, 022, 0640, 0600, Input::kFile, Stranger::kOlderGroup},
      {0640, 022, std::nullopt, 0600, Input::kFile, Stranger::kInputGroup},
      {0444, 022, std::nullopt, 0444, Input::kKernel},
  };
  const struct passwd* nobody = ::getpwnam("nobody");
  const mode_t original = ::umask(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << std::oct << "input " << c.input << ", umask " << c.umask << ", older "
                 << c.older.value_or(0) << ", kind " << static_cast<int>(c.kind) << ", stranger "
                 << static_cast<int>(c.stranger));
    if (c.stranger != Stranger::kNone && (::geteuid() != 0 || nobody == nullptr)) {
      continue;  // only root gives files to others (the other rows still run)
    }
    TempFolder folder;
    std::string input = folder / "in.csv";
    std::string output = folder / "A1_in.crc";
    std::thread writer;
    if (c.kind == Input::kPipe) {
      ::mkfifo(input.c_str(), c.input);
      writer = std::thread([&] { WriteFile(input, "a,b,c,d\r\n"); });
    } else if (c.kind == Input::kKernel) {
      input = "/sys/devices/system/cpu/online";
      output = folder / "A1_online.crc";
      if (!std::filesystem::exists(input)) continue;  // no sysfs mounted here
    } else {
      WriteFile(input, "a,b,c,d\r\n");
    }
    if (c.kind != Input::kKernel) ::chmod(input.c_str(), c.input);
    if (c.stranger == Stranger::kInputGroup) {
      ASSERT_EQ(::chown(input.c_str(), -1, nobody->pw_gid), 0);
    }
    if (c.older) {
      WriteFile(output, "older");
      ::chmod(output.c_str(), *c.older);
      if (c.stranger == Stranger::kOlderOwner) {
        ASSERT_EQ(::chown(output.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      } else if (c.stranger == Stranger::kOlderGroup) {
        ASSERT_EQ(::chown(output.c_str(), -1, nobody->pw_gid), 0);
      }
    }
    ::umask(c.umask);
    FileConverter().Convert(ConversionRun({input}, RunOptions{.outputFolder = folder.Path()}), 0);
    if (writer.joinable()) writer.join();
    ::umask(0);
    struct stat status {};
    ASSERT_EQ(::stat(output.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, c.expected);
    EXPECT_EQ(status.st_uid, ::geteuid());
    const bool olderGroupKept =
        c.stranger == Stranger::kOlderOwner || c.stranger == Stranger::kOlderGroup;
    EXPECT_EQ(status.st_gid, olderGroupKept ? nobody->pw_gid : ::getegid());
    if (c.kind == Input::kKernel) {
      EXPECT_EQ(ReadFile(output), ReferenceConvert(ReadFile(input)));
    }
  }
  ::umask(original);
}

// Closed standard descriptors (a cron line's "2>&-"): once they are held, a
// file opened later never takes their numbers, and they still fail as closed
// ones did, reading standard input and writing the other two.
TEST(StandardDescriptorsTest, ClosedOnesAreHeldSoThatNoFileLandsThere) {
  TempFolder folder;
  WriteFile(folder / "in.csv", "a,b\r\n");
  const std::string input = folder / "in.csv";
  for (const int closed : {0, 1, 2}) {
    SCOPED_TRACE(closed);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // only async-signal-safe calls from here on
      ::close(closed);
      KeepStandardDescriptorsOpen();
      const int fd = ::open(input.c_str(), O_RDONLY);
      char byte = 0;
      const bool failsAsClosed =
          closed == 0 ? ::read(0, &byte, 1) < 0 : ::write(closed, "x", 1) < 0;
      ::_exit(fd > 2 && failsAsClosed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}

}  // namespace
}  // namespace corvane
