// The engine's file-system calls on Linux and other POSIX systems.
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <wctype.h>
#ifdef __linux__
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <system_error>

#include "FileSystem.h"
#include "IoHooks.h"
#include "engine/Errors.h"
#include "engine/OutputNamer.h"

namespace corvane {

std::string_view OutputNamer::PlatformSeparators() { return "/"; }

std::string SystemReason(int errnoValue) { return std::generic_category().message(errnoValue); }

}  // namespace corvane

namespace corvane::detail {

namespace {

template <typename Call>
int Repeated(Call call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

void Fill(const struct stat& status, FileInfo& info) {
  if (S_ISREG(status.st_mode)) {
    info.kind = FileInfo::Kind::kRegular;
  } else if (S_ISDIR(status.st_mode)) {
    info.kind = FileInfo::Kind::kFolder;
  } else if (S_ISLNK(status.st_mode)) {
    info.kind = FileInfo::Kind::kLink;
  } else {
    info.kind = FileInfo::Kind::kOther;
  }
  info.identity = {static_cast<std::uint64_t>(status.st_dev),
                   static_cast<std::uint64_t>(status.st_ino)};
  info.size = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  info.permissions = static_cast<unsigned>(status.st_mode) & 0777u;
  info.owner = status.st_uid;
  info.group = status.st_gid;
}

// Whether the file system of an open folder takes names that differ only in
// case for one name, as far as it tells: FAT, exFAT, NTFS, HFS+ and SMB shares
// always (a share or an NTFS volume that does tell case apart then refuses the
// later of two such names, it loses none); ext4, F2FS, tmpfs and bcachefs in
// folders marked case-insensitive.
bool FoldsCase(int folder) {
#ifdef __linux__
  struct statfs system {};
  if (::fstatfs(folder, &system) != 0) return false;
  switch (static_cast<std::uint32_t>(system.f_type)) {
    case 0x4d44u:      // vfat, msdos
    case 0x2011bab0u:  // exfat
    case 0x7366746eu:  // ntfs3
    case 0x5346544eu:  // ntfs
    case 0x482bu:      // hfsplus
    case 0xff534d42u:  // cifs
    case 0xfe534d42u:  // smb2, smb3
      return true;
    case 0xef53u:      // ext2, ext3, ext4
    case 0xf2f52010u:  // f2fs
    case 0x01021994u:  // tmpfs
    case 0xca451a4eu:  // bcachefs
      break;
    default:
      return false;
  }
  constexpr int kCaseFoldFlag = 0x40000000;  // FS_CASEFOLD_FL
  // The flags are read through a descriptor opened for reading.
  const platform::Descriptor readable(
      Repeated([&] { return ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!readable) return false;
  int flags = 0;
  return ::ioctl(readable.Get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCaseFoldFlag) != 0;
#else
  (void)folder;
  return false;
#endif
}

// Every letter as its capital, as far as the system's UTF-8 knows them; bytes
// that are no UTF-8 unchanged.
std::string Capitals(const std::string& name) {
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  std::string capitals;
  capitals.reserve(name.size());
  if (utf8 == locale_t{}) {  // ASCII letters at least
    for (const char c : name)
      capitals += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return capitals;
  }
  const locale_t previous = ::uselocale(utf8);
  for (std::size_t at = 0; at < name.size();) {
    std::mbstate_t in{};
    std::mbstate_t out{};
    wchar_t letter = 0;
    char capital[MB_LEN_MAX];
    const std::size_t length = std::mbrtowc(&letter, name.data() + at, name.size() - at, &in);
    const bool decoded = length != 0 && length <= name.size() - at;
    const std::size_t written =
        decoded ? std::wcrtomb(capital, static_cast<wchar_t>(::towupper_l(letter, utf8)), &out)
                : static_cast<std::size_t>(-1);
    if (written == static_cast<std::size_t>(-1)) {
      capitals += name[at++];
    } else {
      capitals.append(capital, written);
      at += length;
    }
  }
  ::uselocale(previous);
  return capitals;
}

}  // namespace

platform::Descriptor OpenForReading(const std::string& path) {
  return platform::Descriptor(Repeated([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
}

platform::Descriptor CreateExclusive(const std::string& path, unsigned permissions) {
  return platform::Descriptor(Repeated([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  static_cast<mode_t>(permissions));
  }));
}

platform::Descriptor OpenExistingForWriting(const std::string& path) {
  return platform::Descriptor(
      Repeated([&] { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW); }));
}

int Empty(int fd) {
  return Repeated([&] { return ::ftruncate(fd, 0); });
}

std::ptrdiff_t Read(int fd, void* data, std::size_t size) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->read) {
    return hooks->read(fd, data, size);
  }
  return ::read(fd, data, size);
}

std::ptrdiff_t Write(int fd, const void* data, std::size_t size) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->write) {
    return hooks->write(fd, data, size);
  }
  return ::write(fd, data, size);
}

int Rename(const std::string& from, const std::string& to) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->rename) {
    return hooks->rename(from.c_str(), to.c_str());
  }
  return ::rename(from.c_str(), to.c_str());
}

int Remove(const std::string& path) {
  if (const IoHooks* hooks = ActiveIoHooks(); hooks != nullptr && hooks->remove) {
    return hooks->remove(path.c_str());
  }
  return ::unlink(path.c_str());
}

platform::Descriptor HoldFolder(const std::string& path) {
#ifdef O_PATH
  const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;  // no read permission needed
#else
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
  return platform::Descriptor(
      Repeated([&] { return ::open(path.empty() ? "." : path.c_str(), flags); }));
}

int RemoveFromFolder(int folder, const std::string& path, const std::string& name) {
  if (Remove(path) == 0) return 0;
  if (errno != ENOENT || folder < 0) return -1;
  return ::unlinkat(folder, name.c_str(), 0);
}

void RemoveNow(const char* path) noexcept { ::unlink(path); }

void SetHidden(const std::string& /*path*/, bool /*hidden*/) {}

bool StatusOfDescriptor(int fd, FileInfo& info) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return false;
  Fill(status, info);
  return true;
}

bool StatusOfName(const std::string& path, FileInfo& info) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return false;
  Fill(status, info);
  return true;
}

bool StatusOfTarget(const std::string& path, FileInfo& info) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  Fill(status, info);
  return true;
}

bool StatusOfFolder(const std::string& path, FolderInfo& info) {
  const platform::Descriptor folder = HoldFolder(path);
  if (!folder) return false;
  struct stat status {};
  const bool known = ::fstat(folder.Get(), &status) == 0;
  if (known) {
    info.identity = {static_cast<std::uint64_t>(status.st_dev),
                     static_cast<std::uint64_t>(status.st_ino)};
    info.foldsCase = FoldsCase(folder.Get());
  }
  return known;
}

namespace {

// The read and write bits that users of a file whose group is `group` may have
// for it, by what each of them may do with the input: a class of users gets
// the input's bits of its class where that lets it read the input, and none
// otherwise. A group other than the input's may hold users of the input's
// group or not, and so may the others: each then gets only what both classes
// of the input have.
unsigned AllowedPermissions(const FileInfo& input, std::uint64_t group) {
  unsigned groupBits = (input.permissions >> 3) & 7u;
  unsigned otherBits = input.permissions & 7u;
  if (group != input.group) groupBits = otherBits = groupBits & otherBits;
  const auto readers = [](unsigned bits) { return (bits & 4u) != 0 ? bits & 6u : 0u; };
  return (input.permissions & 0600u) | readers(groupBits) << 3 | readers(otherBits);
}

}  // namespace

void AdoptOwnership(int fd, const FileInfo* older, const FileInfo& input) {
  if (older != nullptr) {
    // The owner can be given only by root, the group by a member of it. The
    // file stays the user's unless older's owner is the input's; the change
    // of owner comes first, as it may clear the set-id bits.
    const auto uid = older->owner == input.owner ? static_cast<uid_t>(older->owner) : ::geteuid();
    const auto gid = static_cast<gid_t>(older->group);
    if (::fchown(fd, uid, gid) != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), gid);
    }
  }
  FileInfo now;
  if (!StatusOfDescriptor(fd, now)) return;
  const unsigned wanted = (older != nullptr ? older->permissions : now.permissions) &
                          AllowedPermissions(input, now.group);
  if (wanted != now.permissions) ::fchmod(fd, static_cast<mode_t>(wanted));
}

bool MayWriteInPlace(const FileInfo& older, const FileInfo& input) {
  return older.owner == ::geteuid() || ::geteuid() == 0 || (input.permissions & 044u) == 044u;
}

bool SizeIsMeaningful(int fd) {
#ifdef __linux__
  // File systems whose files the kernel makes when they are read; sysfs
  // reports 4096 bytes for each, procfs 0.
  constexpr std::uint32_t kConfigfsMagic = 0x62656570;
  constexpr std::uint32_t kMadeWhenRead[] = {PROC_SUPER_MAGIC,   SYSFS_MAGIC,        DEBUGFS_MAGIC,
                                             TRACEFS_MAGIC,      SECURITYFS_MAGIC,   kConfigfsMagic,
                                             SELINUX_MAGIC,      SMACK_MAGIC,        BINFMTFS_MAGIC,
                                             CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC};
  struct statfs system {};
  if (::fstatfs(fd, &system) != 0) return true;
  const auto type = static_cast<std::uint32_t>(system.f_type);
  for (const std::uint32_t made : kMadeWhenRead) {
    if (type == made) return false;
  }
#else
  (void)fd;
#endif
  return true;
}

void AdviseSequential(int fd) {
#if defined(POSIX_FADV_SEQUENTIAL)
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#else
  (void)fd;
#endif
}

void SetBinaryMode(int /*fd*/) {}

std::uint64_t ProcessNumber() { return static_cast<std::uint64_t>(::getpid()); }

std::string FoldedName(std::string name) { return name; }

std::string NameInFolder(const std::string& name, const FolderInfo& folder) {
  return folder.foldsCase ? Capitals(name) : name;
}

}  // namespace corvane::detail
