// The launcher's layer on systems without a registry (Linux and other POSIX desktops): the tool is
// the first desktop system-information program found on PATH.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/Descriptor.h"
#include "sysinfo/SysInfo.h"

namespace corvane {

namespace {

// Desktop programs that show the machine's hardware and system, best first.
constexpr const char* kToolNames[] = {
    "kinfocenter", "hardinfo2", "hardinfo", "cpu-x", "gnome-system-monitor", "mate-system-monitor",
};

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// Reads all of a pipe until its writer closes it.
std::string ReadAll(int fd) {
  std::string data;
  char chunk[64];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      data.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return data;
    }
  }
}

// The full path of the first of kToolNames that is an executable file in a folder of PATH (names
// in list order, folders in PATH order), or nothing.
std::optional<std::string> FindToolOnPath() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::vector<std::string> folders;
  for (const char* p = path;;) {
    const char* end = std::strchr(p, ':');
    const std::string folder(p,
                             end == nullptr ? std::strlen(p) : static_cast<std::size_t>(end - p));
    // Empty and relative entries name the current folder or one below it: no place to look for a
    // desktop tool.
    if (!folder.empty() && folder.front() == '/') folders.push_back(folder);
    if (end == nullptr) break;
    p = end + 1;
  }
  for (const char* name : kToolNames) {
    for (const auto& folder : folders) {
      std::string candidate = folder;
      candidate.append("/").append(name);
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  return std::nullopt;
}

// Starts the program file in a session of its own and returns without waiting for it. Throws
// std::system_error when it cannot be started.
void StartDetached(const std::string& path) {
  if (path.empty()) throw std::invalid_argument("No program file to start");
  // Everything the children use is prepared here: after fork only async-signal-safe calls.
  std::vector<char> file(path.begin(), path.end());
  file.push_back('\0');
  char* const argv[] = {file.data(), nullptr};

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "Cannot start " + path);
  }
  platform::Descriptor reader(ends[0]);
  platform::Descriptor writer(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    throw std::system_error(error, std::generic_category(), "Cannot start " + path);
  }
  if (child == 0) {
    // Child: a new session, then a grandchild that becomes the tool. The child exits at once, so
    // the tool is adopted by init and never waited for by this program.
    reader.Close();
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) {
      const int error = errno;
      [[maybe_unused]] auto ignored = ::write(writer.Get(), &error, sizeof error);
      ::_exit(127);
    }
    if (grandchild == 0) {
      sigset_t none;
      ::sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction standard {};
      standard.sa_handler = SIG_DFL;
      ::sigaction(SIGPIPE, &standard, nullptr);
      ::sigaction(SIGCHLD, &standard, nullptr);
      ::execv(argv[0], argv);
      const int error = errno;
      [[maybe_unused]] auto ignored = ::write(writer.Get(), &error, sizeof error);
      ::_exit(127);
    }
    ::_exit(0);
  }

  writer.Reset();  // the children hold the only writing ends left
  const std::string failure = ReadAll(reader.Get());
  reader.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (failure.size() >= sizeof(int)) {
    int error = 0;
    std::memcpy(&error, failure.data(), sizeof error);
    throw std::system_error(error, std::generic_category(), "Cannot start " + path);
  }
}

class PosixSysInfoPlatform final : public SysInfoPlatform {
 public:
  std::optional<std::string> FindTool() override { return FindToolOnPath(); }
  void StartProgram(const std::string& path) override { StartDetached(path); }
};

}  // namespace

std::unique_ptr<SysInfoPlatform> MakeNativeSysInfoPlatform() {
  return std::make_unique<PosixSysInfoPlatform>();
}

}  // namespace corvane
