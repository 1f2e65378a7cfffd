// The launcher's layer for systems without a registry, with PATH pointed at folders of fake tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "support/Files.h"
#include "sysinfo/SysInfo.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class SysInfoPosixLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* path = std::getenv("PATH")) savedPath_ = path;
    ::setenv("PATH", "", 1);
    platform_ = MakeNativeSysInfoPlatform();
  }

  void TearDown() override {
    if (savedPath_) {
      ::setenv("PATH", savedPath_->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

  void SetPath(const std::string& path) { ::setenv("PATH", path.c_str(), 1); }

  fs::path Folder(const std::string& name) {
    const auto folder = root_ / name;
    fs::create_directories(folder);
    return folder;
  }

  // A shell script (builtins only: PATH holds just the test's folders) that, once started, writes
  // "<its pid> <its session id>" to <path>.ran.
  static fs::path WriteTool(const fs::path& path, bool executable = true) {
    std::ofstream(path) << "#!/bin/sh\n"
                        << "read -r stat < /proc/$$/stat; set -- $stat\n"
                        << "echo \"$$ $6\" > \"$0.tmp\" && /bin/mv \"$0.tmp\" \"$0.ran\"\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read);
    return path;
  }

  test::TempFolder folder_;
  const fs::path root_{folder_.Path()};
  std::optional<std::string> savedPath_;
  std::unique_ptr<SysInfoPlatform> platform_;
};

TEST_F(SysInfoPosixLayer, FindsTheFirstToolOnPath) {
  const auto first = Folder("first");
  const auto second = Folder("second");
  WriteTool(first / "not-a-system-information-tool");
  SetPath(first.string());
  EXPECT_EQ(platform_->FindTool(), std::nullopt);

  // The earlier name of the list wins over an earlier folder of PATH; a file that cannot be run
  // and folders that are not absolute do not count.
  WriteTool(first / "hardinfo2");
  const auto preferred = WriteTool(second / "kinfocenter");
  WriteTool(first / "kinfocenter", /*executable=*/false);
  SetPath("relative:" + first.string() + "::" + second.string());
  EXPECT_EQ(platform_->FindTool(), preferred.string());
}

TEST_F(SysInfoPosixLayer, StartSysInfoStartsTheToolInANewSessionWithoutWaiting) {
  const auto tool = WriteTool(Folder("bin") / "kinfocenter");
  SetPath((root_ / "bin").string());

  EXPECT_TRUE(StartSysInfo());

  const auto ran = test::WaitForFile(tool.string() + ".ran");
  ASSERT_TRUE(ran.has_value()) << "the tool never ran";
  int pid = 0;
  int session = 0;
  std::istringstream(*ran) >> pid >> session;
  EXPECT_GT(pid, 0);
  // A new session, away from this program's terminal and its signals.
  EXPECT_GT(session, 0);
  EXPECT_NE(session, static_cast<int>(::getsid(0)));
  // Nothing is left behind for this program to reap.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(SysInfoPosixLayer, StartProgramThrowsWhenTheFileCannotBeStarted) {
  const auto bin = Folder("bin");
  const auto plain = WriteTool(bin / "plain", /*executable=*/false);

  EXPECT_THROW(platform_->StartProgram((bin / "missing").string()), std::system_error);
  EXPECT_THROW(platform_->StartProgram(plain.string()), std::system_error);
  EXPECT_THROW(platform_->StartProgram(bin.string()), std::system_error);
  EXPECT_ANY_THROW(platform_->StartProgram(""));
}

}  // namespace
}  // namespace corvane
