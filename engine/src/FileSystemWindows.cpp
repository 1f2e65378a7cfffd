// The engine's file-system calls on Windows: the C run-time's descriptors,
// and the Windows API where the run-time has no equivalent (replacing rename,
// file identity, the hidden mark).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "FileSystem.h"
#include "IoHooks.h"
#include "engine/Errors.h"
#include "engine/OutputNamer.h"

namespace corvane {

std::string_view OutputNamer::PlatformSeparators() { return "\\/"; }

std::string SystemReason(int errnoValue) {
  char buffer[256] = {};
  if (strerror_s(buffer, sizeof buffer, errnoValue) != 0 || buffer[0] == '\0') {
    return "Unknown error " + std::to_string(errnoValue);
  }
  return buffer;
}

}  // namespace corvane

namespace corvane::detail {

namespace {

// The C run-time takes counts as unsigned int.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

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
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

bool Fill(HANDLE handle, FileInfo& info, bool linkItself) {
  BY_HANDLE_FILE_INFORMATION data{};
  if (!::GetFileInformationByHandle(handle, &data)) {
    errno = ErrnoFromWindows(::GetLastError());
    return false;
  }
  const DWORD attributes = data.dwFileAttributes;
  if (linkItself && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    info.kind = FileInfo::Kind::kLink;
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    info.kind = FileInfo::Kind::kFolder;
  } else {
    info.kind = FileInfo::Kind::kRegular;
  }
  info.identity = {data.dwVolumeSerialNumber,
                   (std::uint64_t{data.nFileIndexHigh} << 32) | data.nFileIndexLow};
  info.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  info.permissions = 0;
  info.owner = 0;
  info.group = 0;
  return true;
}

bool StatusOfPath(const std::string& path, FileInfo& info, bool linkItself) {
  // No access rights are asked for: only the file's attributes are read.
  // Folders open only with backup semantics.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (linkItself ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const HANDLE handle =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoFromWindows(::GetLastError());
    return false;
  }
  const bool filled = Fill(handle, info, linkItself);
  ::CloseHandle(handle);
  return filled;
}

}  // namespace

int OpenForReading(const std::string& path) {
  return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL);
}

int CreateExclusive(const std::string& path, unsigned /*permissions*/) {
  // A read-only file could not be replaced by the rename later: every new
  // file is writable, as Windows makes files.
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

int OpenExistingForWriting(const std::string& path) {
  FileInfo info;
  if (StatusOfName(path, info) && info.kind != FileInfo::Kind::kRegular) {
    errno = EACCES;
    return -1;
  }
  return ::_open(path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT);
}

std::ptrdiff_t Read(int fd, void* data, std::size_t size) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->read) {
    return hooks->read(fd, data, size);
  }
  return ::_read(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}

std::ptrdiff_t Write(int fd, const void* data, std::size_t size) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->write) {
    return hooks->write(fd, data, size);
  }
  return ::_write(fd, data, static_cast<unsigned>(std::min(size, kMaxChunk)));
}

int Close(int fd) { return ::_close(fd); }

int Rename(const std::string& from, const std::string& to) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->rename) {
    return hooks->rename(from.c_str(), to.c_str());
  }
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
    errno = ErrnoFromWindows(::GetLastError());
    return -1;
  }
  return 0;
}

int Remove(const std::string& path) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->remove) {
    return hooks->remove(path.c_str());
  }
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::_unlink(path.c_str());
}

int HoldFolder(const std::string& path) {
  // Listing access without FILE_SHARE_DELETE: nobody may rename or remove
  // the folder while the handle is open.
  const HANDLE handle = ::CreateFileA(path.empty() ? "." : path.c_str(), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoFromWindows(::GetLastError());
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

int RemoveFromFolder(int /*folder*/, const std::string& path, const std::string& /*name*/) {
  return Remove(path);  // the held folder is still where it was
}

void RemoveNow(const char* path) noexcept { ::DeleteFileA(path); }

void SetHidden(const std::string& path, bool hidden) {
  ::SetFileAttributesA(path.c_str(), hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL);
}

bool StatusOfDescriptor(int fd, FileInfo& info) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    info = FileInfo{};  // a pipe or a console: no size, no identity
    return true;
  }
  return Fill(handle, info, false);
}

bool StatusOfName(const std::string& path, FileInfo& info) {
  return StatusOfPath(path, info, true);
}

bool StatusOfTarget(const std::string& path, FileInfo& info) {
  return StatusOfPath(path, info, false);
}

void AdoptOwnership(int /*fd*/, const FileInfo& /*older*/) {}

void AdviseSequential(int /*fd*/) {}  // _O_SEQUENTIAL at the open says so

void SetBinaryMode(int fd) { ::_setmode(fd, _O_BINARY); }

std::uint64_t ProcessNumber() { return ::GetCurrentProcessId(); }

std::string FoldedName(std::string name) {
  // Names on Windows file systems are compared without regard to case.
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c == '/' ? '\\' : c;
  });
  return name;
}

void AlignedFree::operator()(char* block) const noexcept { ::_aligned_free(block); }

AlignedBuffer AllocateAligned(std::size_t size) {
  const std::size_t rounded = (size + kPageSize - 1) / kPageSize * kPageSize;
  void* block = ::_aligned_malloc(rounded == 0 ? kPageSize : rounded, kPageSize);
  if (block == nullptr) throw std::bad_alloc();
  return AlignedBuffer(static_cast<char*>(block));
}

}  // namespace corvane::detail
