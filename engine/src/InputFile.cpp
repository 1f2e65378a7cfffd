#include "InputFile.h"

#include <cerrno>
#include <utility>

#include "engine/Errors.h"

namespace corvane::detail {

namespace {

constexpr int kStandardInput = 0;

}  // namespace

InputFile InputFile::Open(const std::string& path) {
  const std::string what = "Cannot open " + Quoted(path) + " for reading";
  platform::Descriptor opened = OpenForReading(path);
  const int fd = opened.Get();
  InputFile input(std::move(opened), fd, path);
  if (!input.opened_) {
    const int error = errno;
    // Windows refuses to open a folder with "Permission denied": say what it is.
    FileInfo target;
    const bool folder = StatusOfTarget(path, target) && target.kind == FileInfo::Kind::kFolder;
    throw SystemFailure(ErrorNumber::kOpenInput, what, folder ? EISDIR : error);
  }
  if (StatusOfDescriptor(input.fd_, input.info_)) {
    if (input.info_.kind == FileInfo::Kind::kFolder) {
      throw SystemFailure(ErrorNumber::kOpenInput, what, EISDIR);
    }
    input.known_ = true;
    input.sized_ = SizeIsMeaningful(input.fd_);
  }
  AdviseSequential(input.fd_);
  return input;
}

InputFile InputFile::Standard() {
  SetBinaryMode(kStandardInput);
  InputFile input(platform::Descriptor(), kStandardInput, kStandardInputName);
  input.known_ = StatusOfDescriptor(kStandardInput, input.info_);
  return input;
}

InputFile::InputFile(platform::Descriptor opened, int fd, std::string name)
    : opened_(std::move(opened)), fd_(fd), name_(std::move(name)) {}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const std::ptrdiff_t got = detail::Read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR)
      throw SystemFailure(ErrorNumber::kReadInput, "Cannot read " + Quoted(name_), errno);
  }
}

}  // namespace corvane::detail
