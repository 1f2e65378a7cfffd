// The engine's file-system calls on Windows: the C run-time's descriptors,
// and the Windows API where the run-time has no equivalent (replacing rename,
// file identity, the hidden mark). Paths are UTF-8 inside the program and are
// converted here for the wide calls, so that any name a folder holds works.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include "platform/WindowsApi.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "FileSystem.h"
#include "IoHooks.h"
#include "engine/Errors.h"
#include "engine/OutputNamer.h"
#include "engine/WindowsText.h"
#include "platform/Handle.h"

namespace corvane {

std::string_view OutputNamer::PlatformSeparators() { return "\\/"; }

std::string SystemReason(int errnoValue) {
  if (errnoValue == detail::kNotADiskFile) return "Is a device, not a file";
  return std::generic_category().message(errnoValue);
}

std::wstring WideText(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  std::wstring wide(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(),
                        static_cast<int>(wide.size()));
  return wide;
}

std::string Utf8Text(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  std::string utf8(
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
  return utf8;
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

// The longest name a folder takes, in UTF-16 units (NTFS, and FAT's long
// names). The C run-time reports a longer one as "not found".
constexpr std::size_t kLongestName = 255;

// A path as the wide calls take it. False, with errno, where it is no UTF-8
// (EINVAL) or a name in it is longer than a folder takes (ENAMETOOLONG): then
// a temporary file takes its short name, and the output is refused as too long.
bool ToWide(const std::string& path, std::wstring& wide) {
  wide.clear();
  if (!path.empty()) {
    const int length = static_cast<int>(path.size());
    const int size =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
    if (size <= 0) {
      errno = EINVAL;
      return false;
    }
    wide.resize(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, wide.data(), size);
  }
  std::size_t name = 0;
  for (const wchar_t c : wide) {
    name = c == L'\\' || c == L'/' ? 0 : name + 1;
    if (name > kLongestName) {
      errno = ENAMETOOLONG;
      return false;
    }
  }
  return true;
}

// Whether the last name of a path is one Windows keeps for a device, in any
// folder: CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (also with the
// digits 1 to 3 raised), CONIN$ and CONOUT$, in any case, with any extension,
// trailing spaces ignored. Opening one reaches the device, which may never
// answer.
bool IsDeviceName(const std::wstring& path) {
  const std::size_t last = path.find_last_of(L"\\/:");
  const std::size_t start = last == std::wstring::npos ? 0 : last + 1;
  std::wstring base = path.substr(start, path.find(L'.', start) - start);
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$") {
    return true;
  }
  const bool numbered =
      base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0);
  const wchar_t digit = numbered ? base[3] : L'0';
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
         digit == L'\u00b3';
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
  std::wstring wide;
  if (!ToWide(path, wide)) return false;
  if (IsDeviceName(wide)) {
    errno = kNotADiskFile;
    return false;
  }
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (linkItself ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const platform::Handle handle(
      ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr));
  if (!handle) {
    errno = ErrnoFromWindows(::GetLastError());
    return false;
  }
  return Fill(handle.Get(), info, linkItself);
}

}  // namespace

platform::Descriptor OpenForReading(const std::string& path) {
  std::wstring wide;
  if (!ToWide(path, wide)) return {};
  // A device is refused before it is opened: a port or the console may keep
  // the open waiting for ever, and NUL reads as an empty file.
  if (IsDeviceName(wide)) {
    errno = kNotADiskFile;
    return {};
  }
  platform::Descriptor fd(
      ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT | _O_SEQUENTIAL));
  if (fd && ::GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(fd.Get()))) != FILE_TYPE_DISK) {
    fd.Reset();
    errno = kNotADiskFile;
  }
  return fd;
}

platform::Descriptor CreateExclusive(const std::string& path, unsigned /*permissions*/) {
  std::wstring wide;
  if (!ToWide(path, wide)) return {};
  // A read-only file could not be replaced by the rename later: every new
  // file is writable, as Windows makes files.
  return platform::Descriptor(::_wopen(wide.c_str(),
                                       _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                       _S_IREAD | _S_IWRITE));
}

platform::Descriptor OpenExistingForWriting(const std::string& path) {
  FileInfo info;
  if (StatusOfName(path, info) && info.kind != FileInfo::Kind::kRegular) {
    errno = EACCES;
    return {};
  }
  std::wstring wide;
  if (!ToWide(path, wide)) return {};
  return platform::Descriptor(::_wopen(wide.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT));
}

int Empty(int fd) {
  const errno_t error = ::_chsize_s(fd, 0);
  if (error == 0) return 0;
  errno = error;
  return -1;
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

int Rename(const std::string& from, const std::string& to) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->rename) {
    return hooks->rename(from.c_str(), to.c_str());
  }
  std::wstring source;
  std::wstring target;
  if (!ToWide(from, source) || !ToWide(to, target)) return -1;
  // A read-only older output is replaced all the same, and its replacement
  // is read-only too, as the permissions of an older output are kept
  // elsewhere.
  const DWORD older = ::GetFileAttributesW(target.c_str());
  const bool readOnly = older != INVALID_FILE_ATTRIBUTES && (older & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) ::SetFileAttributesW(target.c_str(), older & ~DWORD{FILE_ATTRIBUTE_READONLY});
  if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
    const DWORD error = ::GetLastError();
    if (readOnly) ::SetFileAttributesW(target.c_str(), older);
    errno = ErrnoFromWindows(error);
    return -1;
  }
  if (readOnly) {
    const DWORD now = ::GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES) {
      ::SetFileAttributesW(target.c_str(), now | FILE_ATTRIBUTE_READONLY);
    }
  }
  return 0;
}

int Remove(const std::string& path) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->remove) {
    return hooks->remove(path.c_str());
  }
  std::wstring wide;
  if (!ToWide(path, wide)) return -1;
  ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (::DeleteFileW(wide.c_str()) == 0) {
    errno = ErrnoFromWindows(::GetLastError());
    return -1;
  }
  return 0;
}

platform::Descriptor HoldFolder(const std::string& path) {
  // Listing access without FILE_SHARE_DELETE: nobody may rename or remove
  // the folder while the handle is open.
  std::wstring wide;
  if (!ToWide(path.empty() ? "." : path, wide)) return {};
  platform::Handle handle(::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    errno = ErrnoFromWindows(::GetLastError());
    return {};
  }
  // The descriptor owns the handle from here on.
  platform::Descriptor fd(::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_RDONLY));
  if (fd) handle.Release();
  return fd;
}

int RemoveFromFolder(int /*folder*/, const std::string& path, const std::string& /*name*/) {
  return Remove(path);  // the held folder is still where it was
}

void RemoveNow(const char* path) noexcept {
  // No memory is taken: the paths noted for this are at most 4096 bytes.
  wchar_t wide[4097];
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4097);
  if (length > 0) ::DeleteFileW(wide);
}

void SetHidden(const std::string& path, bool hidden) {
  std::wstring wide;
  if (!ToWide(path, wide)) return;
  ::SetFileAttributesW(wide.c_str(), hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL);
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

bool StatusOfFolder(const std::string& path, FolderInfo& info) {
  FileInfo folder;
  if (!StatusOfTarget(path.empty() ? "." : path, folder) ||
      folder.kind != FileInfo::Kind::kFolder) {
    return false;
  }
  info.identity = folder.identity;
  info.foldsCase = true;  // names in any Windows folder are
  return true;
}

void AdoptOwnership(int /*fd*/, const FileInfo* /*older*/, const FileInfo& /*input*/) {}

bool MayWriteInPlace(const FileInfo& /*older*/, const FileInfo& /*input*/) { return true; }

bool SizeIsMeaningful(int /*fd*/) { return true; }

void AdviseSequential(int /*fd*/) {}  // _O_SEQUENTIAL at the open says so

void SetBinaryMode(int fd) { ::_setmode(fd, _O_BINARY); }

std::uint64_t ProcessNumber() { return ::GetCurrentProcessId(); }

std::string FoldedName(std::string name) {
  // Names on Windows file systems are compared without regard to case, of
  // every letter: as the file system does, by their capitals.
  std::replace(name.begin(), name.end(), '/', '\\');
  std::wstring wide;
  if (!ToWide(name, wide) || wide.empty()) {
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
      return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return name;
  }
  std::wstring upper(wide.size(), L'\0');
  const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                                     static_cast<int>(wide.size()), upper.data(),
                                     static_cast<int>(upper.size()), nullptr, nullptr, 0);
  return length > 0 ? Utf8Text(std::wstring_view(upper.data(), static_cast<std::size_t>(length)))
                    : name;
}

std::string NameInFolder(const std::string& name, const FolderInfo& folder) {
  return folder.foldsCase ? FoldedName(name) : name;
}

}  // namespace corvane::detail
