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
  InputFile input(OpenForReading(path), true, path);
  if (input.fd_ < 0) {
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
  InputFile input(kStandardInput, false, kStandardInputName);
  input.known_ = StatusOfDescriptor(kStandardInput, input.info_);
  return input;
}

InputFile::InputFile(int fd, bool owned, std::string name)
    : fd_(fd), owned_(owned), name_(std::move(name)) {}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      owned_(other.owned_),
      name_(std::move(other.name_)),
      info_(other.info_),
      known_(other.known_),
      sized_(other.sized_) {}

InputFile::~InputFile() {
  if (owned_ && fd_ >= 0) Close(fd_);
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const std::ptrdiff_t got = detail::Read(fd_, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR)
      throw SystemFailure(ErrorNumber::kReadInput, "Cannot read " + Quoted(name_), errno);
  }
}

}  // namespace corvane::detail
