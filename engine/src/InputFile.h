// An input open for reading, with what it was when it was opened: a named
// file or standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "FileSystem.h"
#include "platform/Descriptor.h"

namespace corvane::detail {

// The names messages give the standard streams.
inline constexpr const char* kStandardInputName = "standard input";
inline constexpr const char* kStandardOutputName = "standard output";

class InputFile {
 public:
  // Fails with kOpenInput naming the file and the reason; a folder is refused.
  static InputFile Open(const std::string& path);
  // Standard input, set to pass bytes unchanged; it stays open. Its size is
  // not relied on: reading may start anywhere in it.
  static InputFile Standard();

  InputFile(InputFile&&) noexcept = default;
  InputFile& operator=(InputFile&&) = delete;

  const std::string& Name() const { return name_; }
  int Descriptor() const { return fd_; }
  bool IsRegular() const { return known_ && info_.kind == FileInfo::Kind::kRegular; }
  // What it was when opened is known (its kind, size and permissions).
  bool IsKnown() const { return known_; }
  const FileInfo& Info() const { return info_; }
  // The size to read to the end, where it is known: that of a regular file
  // this program opened, unless the kernel makes it as it is read.
  std::uint64_t ExpectedSize() const { return opened_ ? SizeHint() : 0; }
  // How much there is to read, roughly: the size of a regular file.
  std::uint64_t SizeHint() const { return IsRegular() && sized_ ? info_.size : 0; }

  // Reads up to size bytes; 0 at the end. Fails with kReadInput.
  std::size_t Read(char* buffer, std::size_t size);

 private:
  InputFile(platform::Descriptor opened, int fd, std::string name);

  platform::Descriptor opened_;  // the file this program opened; none for standard input
  int fd_;                       // what is read: opened_'s, or standard input's
  std::string name_;
  FileInfo info_;
  bool known_ = false;
  bool sized_ = true;  // the size it reports is what it holds
};

}  // namespace corvane::detail
