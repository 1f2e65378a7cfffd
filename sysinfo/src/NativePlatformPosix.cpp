// The launcher's layer on systems without a registry (Linux and other POSIX desktops).
//
// There is no registry to read, so the layer answers exactly one value: "PATH" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO holds the full path of the first
// desktop system-information program found on PATH. Every other key is missing, so without such a
// program the About window reports the tool unavailable.
#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "NativePlatform.h"
#include "sysinfo/SysInfo.h"

namespace corvane {

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

constexpr long kErrorInvalidParameter = 87;

// Access rights that only read: KEY_READ and the 32/64-bit view flags.
constexpr std::uint32_t kReadOnlyRights = kKeyRead | 0x0100u | 0x0200u;

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

class PosixSysInfoPlatform final : public SysInfoPlatform {
 public:
  long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t /*options*/,
                     std::uint32_t access, RegHandle* result) override {
    if (result == nullptr) return kErrorInvalidHandle;
    if (root != kHkeyLocalMachine || !EqualsIgnoringCase(subKey, kMsinfoKey)) {
      return kErrorFileNotFound;
    }
    // Like a standard user on Windows, the caller may read here but not write.
    if ((access & ~kReadOnlyRights) != 0) return kErrorAccessDenied;
    const std::string tool = FindSysInfoToolOnPath();
    if (tool.empty()) return kErrorFileNotFound;
    const RegHandle handle = nextHandle_++;
    openKeys_.emplace(handle, tool);
    *result = handle;
    return kErrorSuccess;
  }

  long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    const auto open = openKeys_.find(key);
    if (open == openKeys_.end()) return kErrorInvalidHandle;
    if (!EqualsIgnoringCase(valueName, kMsinfoPathValue)) return kErrorFileNotFound;
    // A REG_SZ value is returned with its terminating NUL.
    const std::string& text = open->second;
    const auto needed = static_cast<std::uint32_t>(text.size() + 1);
    if (type != nullptr) *type = kRegSz;
    if (size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
    if (data != nullptr && *size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (data != nullptr) std::memcpy(data, text.c_str(), needed);
    *size = needed;
    return kErrorSuccess;
  }

  long RegCloseKey(RegHandle key) override {
    return openKeys_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
  }

  std::string FindNormalFile(const std::string& pattern) override {
    const auto slash = pattern.find_last_of('/');
    std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    struct stat info {};
    if (name.empty() || name.front() == '.' || ::stat(pattern.c_str(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
      return {};
    }
    return name;
  }

  void StartProgram(const std::string& path) override { StartDetached(path); }

 private:
  std::map<RegHandle, std::string> openKeys_;
  RegHandle nextHandle_ = 1;
};

}  // namespace

const std::vector<std::string>& SysInfoToolNames() {
  // Desktop programs that show the machine's hardware and system, best first.
  static const std::vector<std::string> names = {
      "kinfocenter",          "hardinfo2",           "hardinfo", "cpu-x",
      "gnome-system-monitor", "mate-system-monitor",
  };
  return names;
}

std::string FindSysInfoToolOnPath() {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::vector<std::string> folders;
  for (const char* p = path;;) {
    const char* end = std::strchr(p, ':');
    const std::string folder(p,
                             end == nullptr ? std::strlen(p) : static_cast<std::size_t>(end - p));
    // An empty entry means the current folder, which is no place to look for a desktop tool.
    if (!folder.empty() && folder.front() == '/') folders.push_back(folder);
    if (end == nullptr) break;
    p = end + 1;
  }
  for (const auto& name : SysInfoToolNames()) {
    for (const auto& folder : folders) {
      std::string candidate = folder;
      candidate.append("/").append(name);
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  return {};
}

void StartDetached(const std::string& path) {
  if (path.empty()) throw std::invalid_argument("No program file to start");
  // Everything the children use is prepared here: after fork only async-signal-safe calls.
  std::vector<char> file(path.begin(), path.end());
  file.push_back('\0');
  char* const argv[] = {file.data(), nullptr};

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "Cannot start " + path);
  }
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    throw std::system_error(error, std::generic_category(), "Cannot start " + path);
  }
  if (child == 0) {
    // Child: a new session, then a grandchild that becomes the tool. The child exits at once, so
    // the tool is adopted by init and never waited for by this program.
    ::close(report[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) {
      const int error = errno;
      [[maybe_unused]] auto ignored = ::write(report[1], &error, sizeof error);
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
      [[maybe_unused]] auto ignored = ::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    ::_exit(0);
  }

  ::close(report[1]);
  const std::string failure = ReadAll(report[0]);
  ::close(report[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (failure.size() >= sizeof(int)) {
    int error = 0;
    std::memcpy(&error, failure.data(), sizeof error);
    throw std::system_error(error, std::generic_category(), "Cannot start " + path);
  }
}

std::unique_ptr<SysInfoPlatform> MakeNativeSysInfoPlatform() {
  return std::make_unique<PosixSysInfoPlatform>();
}

}  // namespace corvane

#endif  // _WIN32
