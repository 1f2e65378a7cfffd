// The file-system calls the engine makes, one small set for every platform:
// FileSystemPosix.cpp and FileSystemWindows.cpp implement them. Descriptors
// are POSIX file descriptors, or the C run-time's on Windows: the calls that
// open one return its owner, the others take its number. Calls that can fail
// return -1, an empty owner or false, and leave the reason in errno.
// Not for use outside the engine and its tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/FileIdentity.h"
#include "platform/Descriptor.h"

namespace corvane::detail {

// errno for a name that leads to a device (a console, a port, NUL) or a pipe
// where only a file on a disk is taken (Windows). SystemReason says so.
inline constexpr int kNotADiskFile = 0x10000;

struct FileInfo {
  enum class Kind { kRegular, kFolder, kLink, kOther };
  Kind kind = Kind::kOther;
  FileIdentity identity;
  std::uint64_t size = 0;
  unsigned permissions = 0;  // rwx bits of owner, group and others (0 where there are none)
  std::uint64_t owner = 0;   // user and group (0 where there are none)
  std::uint64_t group = 0;
};

// Descriptors. Interrupted calls are repeated inside.
platform::Descriptor OpenForReading(const std::string& path);
// A new file that did not exist (never follows a link), with the given
// permissions less the umask.
platform::Descriptor CreateExclusive(const std::string& path, unsigned permissions);
// An existing regular file, opened for writing as it is; never follows a
// link. Empty sets its size to nothing.
platform::Descriptor OpenExistingForWriting(const std::string& path);
int Empty(int fd);
std::ptrdiff_t Read(int fd, void* data, std::size_t size);
std::ptrdiff_t Write(int fd, const void* data, std::size_t size);

// Names.
int Rename(const std::string& from, const std::string& to);  // replaces the target
int Remove(const std::string& path);
// A folder held while an output is written in it: on POSIX a descriptor
// through which the unfinished file is still removed after the folder was
// renamed; on Windows a handle that keeps the folder from being renamed
// meanwhile. Empty where it cannot be had: removal then goes by the path alone.
platform::Descriptor HoldFolder(const std::string& path);
// Removes path; where nothing is there any more but the folder is held (folder
// is not -1), the file of that name in the held folder (wherever the folder
// went).
int RemoveFromFolder(int folder, const std::string& path, const std::string& name);
// Async-signal-safe removal, for the signal handler.
void RemoveNow(const char* path) noexcept;
// Marks a file hidden where the platform has such a mark (Windows); or not.
void SetHidden(const std::string& path, bool hidden);

// What a descriptor or a name is. StatusOfName looks at the name itself (a
// link is kLink); StatusOfTarget follows links.
bool StatusOfDescriptor(int fd, FileInfo& info);
bool StatusOfName(const std::string& path, FileInfo& info);
bool StatusOfTarget(const std::string& path, FileInfo& info);

// A folder, as far as it tells which names lead to one file in it: its
// identity, and whether its file system takes names that differ only in case
// for one name.
struct FolderInfo {
  FileIdentity identity;
  bool foldsCase = false;
};
// The folder path leads to (the current folder for ""), links followed. False
// where it cannot be opened or is no folder.
bool StatusOfFolder(const std::string& path, FolderInfo& info);

// Gives an output, a new file or the older file itself written in place,
// access for no one who may not read the input: the read and write bits of
// the input (older's where it replaces an older file, and only where the
// input's allow them), a group other than the input's only what the input
// gives everyone, and older's owner only where that is the input's. Where
// older's group is the user's to give, it is kept. Best effort, failures
// ignored; no-op where files have no such permissions (Windows).
void AdoptOwnership(int fd, const FileInfo* older, const FileInfo& input);
// Whether the older file may be written in place with what is read from the
// input: it is the user's own (or the user is root), so that the call above
// narrows its access, or everyone may read the input. Another user's file
// stays open to that user, who may open it to anyone.
bool MayWriteInPlace(const FileInfo& older, const FileInfo& input);
// The size a regular file reports is what it holds: not so for the files the
// kernel makes as they are read (/proc, /sys and the like).
bool SizeIsMeaningful(int fd);

// Tells the system that a descriptor is read once from start to end.
void AdviseSequential(int fd);
// Makes a standard stream pass bytes unchanged (no CR LF translation).
void SetBinaryMode(int fd);
// A number that differs between processes running at the same time.
std::uint64_t ProcessNumber();
// A path as names are compared here: unchanged on POSIX, without regard to
// case (and with one separator) on Windows.
std::string FoldedName(std::string name);
// A name in a folder as that folder compares names: by its capitals where it
// takes names without regard to case, unchanged elsewhere.
std::string NameInFolder(const std::string& name, const FolderInfo& folder);

}  // namespace corvane::detail
