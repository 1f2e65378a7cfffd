// The engine's file-system calls on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
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

}  // namespace

int OpenForReading(const std::string& path) {
  return Repeated([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
}

int CreateExclusive(const std::string& path, unsigned permissions) {
  return Repeated([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  static_cast<mode_t>(permissions));
  });
}

int OpenExistingForWriting(const std::string& path) {
  return Repeated([&] { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW); });
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

int Close(int fd) {
  // Linux releases the descriptor even when close is interrupted, so EINTR
  // is no failure here (and retrying could close someone else's descriptor).
  const int result = ::close(fd);
  return result != 0 && errno == EINTR ? 0 : result;
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

int HoldFolder(const std::string& path) {
#ifdef O_PATH
  const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;  // no read permission needed
#else
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
  return Repeated([&] { return ::open(path.empty() ? "." : path.c_str(), flags); });
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

}  // namespace corvane::detail
