#include "engine/FileConverter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <utility>

#include "IoHooks.h"
#include "PathParts.h"
#include "engine/Errors.h"
#include "engine/OutputNamer.h"
#include "engine/RecordTranscoder.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <process.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace corvane {

namespace detail {

namespace {
const IoHooks* g_hooks = nullptr;
}  // namespace

ScopedIoHooks::ScopedIoHooks(IoHooks hooks) : hooks_(std::move(hooks)), previous_(g_hooks) {
  g_hooks = &hooks_;
}

ScopedIoHooks::~ScopedIoHooks() { g_hooks = previous_; }

}  // namespace detail

namespace {

// Input is read in blocks of this size into a page-aligned buffer: reads into
// a buffer that is not at least cache-line aligned cost several times the
// kernel time.
constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;
constexpr std::size_t kPageSize = 4096;

// Largest count handed to one write call (Windows takes an unsigned int).
constexpr std::size_t kMaxWriteChunk = std::size_t{1} << 30;

// ---------------------------------------------------------------------------
// System calls, through the test seam.

std::ptrdiff_t SysRead(int fd, void* data, std::size_t size) {
  if (detail::g_hooks != nullptr && detail::g_hooks->read) {
    return detail::g_hooks->read(fd, data, size);
  }
#ifdef _WIN32
  return _read(fd, data, static_cast<unsigned>(std::min(size, kMaxWriteChunk)));
#else
  return ::read(fd, data, size);
#endif
}

std::ptrdiff_t SysWrite(int fd, const void* data, std::size_t size) {
  if (detail::g_hooks != nullptr && detail::g_hooks->write) {
    return detail::g_hooks->write(fd, data, size);
  }
#ifdef _WIN32
  return _write(fd, data, static_cast<unsigned>(size));
#else
  return ::write(fd, data, size);
#endif
}

#ifdef _WIN32
int ErrnoFromWindows(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    default:
      return EIO;
  }
}
#endif

// Moves the finished file over its final name, replacing whatever is there
// (a symbolic link there is replaced, not followed).
int SysRename(const char* from, const char* to) {
  if (detail::g_hooks != nullptr && detail::g_hooks->rename) {
    return detail::g_hooks->rename(from, to);
  }
#ifdef _WIN32
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) == 0) {
    errno = ErrnoFromWindows(GetLastError());
    return -1;
  }
  return 0;
#else
  return ::rename(from, to);
#endif
}

int SysClose(int fd) {
#ifdef _WIN32
  return _close(fd);
#else
  // Linux releases the descriptor even when close is interrupted, so EINTR
  // is no failure here (and retrying could close someone else's descriptor).
  const int result = ::close(fd);
  return result != 0 && errno == EINTR ? 0 : result;
#endif
}

void SysUnlink(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  _unlink(path.c_str());
#else
  ::unlink(path.c_str());
#endif
}

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
#else
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

// Whether the system refuses path as too long (a final component longer than
// its folder allows, or the whole path too long).
bool NameTooLong(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;  // the temporary file's creation or the rename says so
#else
  struct stat status {};
  return ::lstat(path.c_str(), &status) != 0 && errno == ENAMETOOLONG;
#endif
}

// ---------------------------------------------------------------------------
// Failures.

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

[[noreturn]] void Fail(ErrorNumber number, const std::string& what, int errnoValue) {
  throw ConversionError(number, what + ": " + SystemReason(errnoValue));
}

// ---------------------------------------------------------------------------
// Page-aligned buffers.

struct AlignedFree {
  void operator()(char* block) const noexcept {
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
  }
};
using AlignedBuffer = std::unique_ptr<char[], AlignedFree>;

AlignedBuffer AllocatePageAligned(std::size_t size) {
#ifdef _WIN32
  void* block = _aligned_malloc(size, kPageSize);
#else
  void* block = std::aligned_alloc(kPageSize, size);  // size is a multiple of the page size
#endif
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return AlignedBuffer(static_cast<char*>(block));
}

// ---------------------------------------------------------------------------
// Writing.

// Writes every byte it is given to a descriptor: short writes are continued
// and interrupted calls repeated; anything else fails naming the output.
class DescriptorSink final : public OutputSink {
 public:
  DescriptorSink(int fd, const std::string& outputName) : fd_(fd), outputName_(outputName) {}

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const std::ptrdiff_t written = SysWrite(fd_, data, std::min(size, kMaxWriteChunk));
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        Fail(ErrorNumber::kWriteOutput, "Cannot write " + Quoted(outputName_), errno);
      }
      if (written == 0) {
        // A regular file accepts nothing more only when its device is full.
        Fail(ErrorNumber::kWriteOutput, "Cannot write " + Quoted(outputName_), ENOSPC);
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }

 private:
  int fd_;
  const std::string& outputName_;
};

void Transcode(InputFile& input, OutputSink& sink) {
  const AlignedBuffer buffer = AllocatePageAligned(kReadBlockSize);
  StreamTranscoder transcoder(sink);
  while (const std::size_t got = input.Read(buffer.get(), kReadBlockSize)) {
    transcoder.Feed(buffer.get(), got);
  }
  transcoder.Finish();
}

// Six characters that make a temporary name unique among conversions running
// at the same time, in this process or another.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator = [] {
    std::random_device device;
    const auto clock =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
    const auto pid = static_cast<std::uint64_t>(_getpid());
#else
    const auto pid = static_cast<std::uint64_t>(::getpid());
#endif
    std::seed_seq seed{device(), device(), static_cast<unsigned>(clock),
                       static_cast<unsigned>(clock >> 32), static_cast<unsigned>(pid)};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) {
    c = kAlphabet[pick(generator)];
  }
  return suffix;
}

int CreateExclusive(const std::string& path) {
  int fd;
  do {
#ifdef _WIN32
    fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
#else
    // 0666: the umask and any default ACL of the folder apply as they do to
    // every new file, so the output gets the permissions a new file would.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
#endif
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::atomic<TemporaryFileObserver> g_temporaryFileObserver{nullptr};

void TellObserver(const char* temporaryPath) {
  if (const TemporaryFileObserver observer = g_temporaryFileObserver.load()) {
    observer(temporaryPath);
  }
}

// An output being written: a hidden temporary file beside the final name,
// which takes the final name only when complete. Unless committed, it is
// removed again, however it is left (failure or abandonment). The final name
// itself is never opened for writing, so whatever stops a conversion (a
// failure, a kill, a power cut) leaves there either the older file or the
// whole new one.
//
// No fsync: the output is derived data that can be made again from its input,
// which is never touched, and syncing would cost a multiple of the conversion
// time. The rename gives every reader either the old output or the whole new
// one; after a power cut a new output may be empty or missing (ext4 by default
// writes a file's data out before committing a rename over an older file).
class PendingOutput {
 public:
  explicit PendingOutput(const std::string& outputPath) : finalPath_(outputPath) {
    const std::size_t folderLength =
        detail::FolderPartLength(outputPath, OutputNamer::PlatformSeparators());
    const std::string folder = outputPath.substr(0, folderLength);
    const std::string name = outputPath.substr(folderLength);
    // The output's own name first; where the folder takes no name that long,
    // a short one that fits wherever the final name does.
    for (const std::string& stem : {"." + name + ".", std::string(".corvane.")}) {
      for (int attempt = 0; attempt < 100; ++attempt) {
        writePath_ = folder + stem + RandomSuffix();
        fd_ = CreateExclusive(writePath_);
        if (fd_ >= 0 || errno != EEXIST) {
          break;
        }
      }
      if (fd_ >= 0 || errno != ENAMETOOLONG) {
        break;
      }
    }
    if (fd_ < 0) {
      Fail(ErrorNumber::kCreateOutput, "Cannot create " + Quoted(finalPath_), errno);
    }
#ifdef _WIN32
    SetFileAttributesA(writePath_.c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
    TellObserver(writePath_.c_str());
  }

  ~PendingOutput() {
    if (fd_ >= 0) {
      SysClose(fd_);
    }
    if (!committed_) {
      SysUnlink(writePath_);
    }
    TellObserver(nullptr);
  }

  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  int Descriptor() const { return fd_; }

  // Closes the finished file and gives it its final name.
  void Commit() {
    const int fd = std::exchange(fd_, -1);
    if (SysClose(fd) != 0) {
      Fail(ErrorNumber::kFinishOutput, "Cannot finish " + Quoted(finalPath_), errno);
    }
#ifdef _WIN32
    SetFileAttributesA(writePath_.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    if (SysRename(writePath_.c_str(), finalPath_.c_str()) != 0) {
      Fail(ErrorNumber::kFinishOutput, "Cannot move the finished output to " + Quoted(finalPath_),
           errno);
    }
    committed_ = true;
  }

 private:
  std::string finalPath_;
  std::string writePath_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

// ---------------------------------------------------------------------------
// InputFile

struct InputFile::Impl {
  int fd = -1;
  bool owned = false;
  std::string path;

  ~Impl() {
    if (owned && fd >= 0) {
      SysClose(fd);
    }
  }
};

InputFile::InputFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

InputFile InputFile::Open(const std::string& path) {
  const std::string what = "Cannot open " + Quoted(path) + " for reading";
  int fd;
  do {
#ifdef _WIN32
    fd = _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL);
#else
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    // Windows refuses to open a folder with "Permission denied"; say what it is.
    Fail(ErrorNumber::kOpenInput, what, IsFolder(path) ? EISDIR : error);
  }
  auto impl = std::make_unique<Impl>();
  impl->fd = fd;
  impl->owned = true;
  impl->path = path;
#ifndef _WIN32
  struct stat status {};
  if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    Fail(ErrorNumber::kOpenInput, what, EISDIR);  // impl closes the descriptor
  }
#if defined(POSIX_FADV_SEQUENTIAL)
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
#endif
  return InputFile(std::move(impl));
}

InputFile InputFile::FromDescriptor(int fd, const std::string& displayName) {
#ifdef _WIN32
  _setmode(fd, _O_BINARY);  // CR LF must reach the line rules unchanged
#endif
  auto impl = std::make_unique<Impl>();
  impl->fd = fd;
  impl->owned = false;
  impl->path = displayName;
  return InputFile(std::move(impl));
}

const std::string& InputFile::Path() const { return impl_->path; }

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const std::ptrdiff_t got = SysRead(impl_->fd, buffer, size);
    if (got >= 0) {
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) {
      Fail(ErrorNumber::kReadInput, "Cannot read " + Quoted(impl_->path), errno);
    }
  }
}

// ---------------------------------------------------------------------------
// Conversions

void ConvertToFile(InputFile& input, const std::string& outputPath) {
  // A folder of that name cannot be replaced, and a name too long for its
  // folder cannot be given: say so before any work is done.
  if (IsFolder(outputPath)) {
    Fail(ErrorNumber::kCreateOutput, "Cannot create " + Quoted(outputPath), EISDIR);
  }
  if (NameTooLong(outputPath)) {
    Fail(ErrorNumber::kCreateOutput, "Cannot create " + Quoted(outputPath), ENAMETOOLONG);
  }
  PendingOutput output(outputPath);
  DescriptorSink sink(output.Descriptor(), outputPath);
  Transcode(input, sink);
  output.Commit();
}

void SetTemporaryFileObserver(TemporaryFileObserver observer) {
  g_temporaryFileObserver.store(observer);
}

void ConvertToDescriptor(InputFile& input, int outFd, const std::string& outputName) {
#ifdef _WIN32
  _setmode(outFd, _O_BINARY);  // the records end in CR LF exactly as written
#endif
  DescriptorSink sink(outFd, outputName);
  Transcode(input, sink);
}

}  // namespace corvane
