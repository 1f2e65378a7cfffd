// Files for tests: a folder of the test's own, and whole files read and written.
// Paths are UTF-8, as in the programs (on Windows too).
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace corvane::test {

// The separator the system puts between a folder and a name it joins.
inline constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// The error number the system gives for a path that runs through a plain file
// as if it were a folder: ENOTDIR on POSIX; Windows finds no such path (ENOENT).
int PathThroughAFileError();
// The error number for opening a missing file whose name holds control
// characters: ENOENT on POSIX; Windows takes no such name (EINVAL).
int ControlCharacterNameError();
// The error number for opening a missing file named like a device ("aux.csv",
// "nul.txt.csv"): ENOENT on POSIX; Windows refuses such names as devices.
int DeviceNameError();

// A new folder under the system's temporary folder, readable and traversable by
// every user (a test may run a program as another user inside it), removed with
// everything in it at the end, folders a test made read-only included.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Every name in the folder itself, hidden ones included.
  std::set<std::string> Names() const;

 private:
  std::string path_;
};

// Every name in a folder, hidden ones included.
std::set<std::string> Names(const std::string& folder);

// Replaces the file's content; a failure fails the test (and gives false).
bool WriteFile(const std::string& path, std::string_view content);
// The file's bytes; a file that cannot be read fails the test and gives "".
std::string ReadFile(const std::string& path);
// The file's bytes once it exists (another program writes it); nothing if it
// has not come within the deadline.
std::optional<std::string> WaitForFile(const std::string& path,
                                       std::chrono::seconds deadline = std::chrono::seconds(20));

}  // namespace corvane::test
