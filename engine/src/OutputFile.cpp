#include "OutputFile.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "FileSystem.h"
#include "PathParts.h"
#include "UnfinishedOutputs.h"
#include "engine/OutputNamer.h"

namespace corvane::detail {

namespace {

// A rename refused for a moment (EACCES: on Windows a sharing violation or
// access denied) is tried again after growing pauses, 310 ms in all: there a
// virus scanner, the search indexer or a preview often opens a fresh file
// briefly, and a file share may do the same. Any other failure is reported
// at once.
using namespace std::chrono_literals;
constexpr std::chrono::milliseconds kRenamePauses[] = {10ms, 20ms, 40ms, 80ms, 160ms};

int RenameOnceFree(const std::string& from, const std::string& to) {
  for (const auto pause : kRenamePauses) {
    if (Rename(from, to) == 0) return 0;
    if (errno != EACCES) return -1;
    std::this_thread::sleep_for(pause);
  }
  return Rename(from, to);
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
    const std::uint64_t process = ProcessNumber();
    std::seed_seq seed{device(), device(), static_cast<unsigned>(clock),
                       static_cast<unsigned>(clock >> 32), static_cast<unsigned>(process)};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kAlphabet[pick(generator)];
  return suffix;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, const FileInfo& input) : path_(path) {
  const std::string cannotCreate = "Cannot create " + Quoted(path);
  // A folder of that name cannot be replaced, and a name too long for its
  // folder cannot be given: say so before any work is done.
  FileInfo older;
  const bool hasOlder = StatusOfName(path, older);
  if (!hasOlder && errno == ENAMETOOLONG) {
    throw SystemFailure(ErrorNumber::kCreateOutput, cannotCreate, ENAMETOOLONG);
  }
  if (hasOlder && older.kind == FileInfo::Kind::kFolder) {
    throw SystemFailure(ErrorNumber::kCreateOutput, cannotCreate, EISDIR);
  }
  const bool replacesFile = hasOlder && older.kind == FileInfo::Kind::kRegular;
  // Execution makes no sense for a list file.
  const int error = CreateTemporary(input.permissions & 0666u);
  if (error == 0) {
    AdoptOwnership(file_.Get(), replacesFile ? &older : nullptr, input);
    return;
  }
  if ((error == EACCES || error == EPERM) && replacesFile) {
    // The folder takes no new file, but the older output may be writable:
    // the file opened is the one judged, before anything of it changes.
    file_ = OpenExistingForWriting(path);
    if (file_) {
      FileInfo opened = older;
      StatusOfDescriptor(file_.Get(), opened);
      if (!MayWriteInPlace(opened, input)) {
        file_.Reset();
        throw ConversionError(ErrorNumber::kCreateOutput,
                              cannotCreate + ": " + SystemReason(error) +
                                  "; the older file is another user's, who could read there "
                                  "what the input keeps from others",
                              error);
      }
      if (Empty(file_.Get()) != 0) {
        const int failure = errno;
        file_.Reset();
        throw SystemFailure(ErrorNumber::kCreateOutput, cannotCreate, failure);
      }
      inPlace_ = true;
      AdoptOwnership(file_.Get(), &opened, input);
      return;
    }
  }
  throw SystemFailure(ErrorNumber::kCreateOutput, cannotCreate, error);
}

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Commit() {
  if (file_.Close() != 0) {
    throw SystemFailure(ErrorNumber::kFinishOutput, "Cannot finish " + Quoted(path_), errno);
  }
  if (!inPlace_) {
    SetHidden(temporary_, false);
    if (RenameOnceFree(temporary_, path_) != 0) {
      const int error = errno;
      SetHidden(temporary_, true);
      throw SystemFailure(ErrorNumber::kFinishOutput,
                          "Cannot move the finished output to " + Quoted(path_), error);
    }
    Forget();
  }
  committed_ = true;
  folder_.Reset();
}

ConversionError OutputFile::Abandoned(const ConversionError& failure) {
  std::string description = failure.Description();
  if (const int reason = Abandon(); reason != 0) {
    description += "; the unfinished file " + Quoted(temporary_) +
                   " could not be removed: " + SystemReason(reason);
  } else if (inPlace_) {
    description += "; " + Quoted(path_) + " is incomplete";
  }
  return ConversionError(failure.Number(), description, failure.SystemError());
}

// Returns 0, or why no file could be made.
int OutputFile::CreateTemporary(unsigned permissions) {
  const std::size_t folderLength = FolderPartLength(path_, OutputNamer::PlatformSeparators());
  const std::string folder = path_.substr(0, folderLength);
  const std::string name = path_.substr(folderLength);
  folder_ = HoldFolder(folder);
  Create(folder, name, permissions);
  if (!file_ && (errno == EMFILE || errno == ENFILE) && folder_) {
    // The file matters more than holding its folder.
    folder_.Reset();
    Create(folder, name, permissions);
  }
  if (!file_) {
    const int error = errno;
    temporary_.clear();  // nothing of this conversion's to remove
    folder_.Reset();
    return error;
  }
  SetHidden(temporary_, true);
  try {
    place_ = NoteUnfinishedOutput(temporary_);
  } catch (...) {  // no memory to note it: the file goes at once
    Abandon();
    throw;
  }
  return 0;
}

// The output's own name first; where the folder takes no name that long, a
// short one that fits wherever the output name does.
void OutputFile::Create(const std::string& folder, const std::string& name, unsigned permissions) {
  for (const std::string& stem : {"." + name + ".", std::string(".corvane.")}) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporaryName_ = stem + RandomSuffix();
      temporary_ = folder + temporaryName_;
      file_ = CreateExclusive(temporary_, permissions);
      if (file_ || errno != EEXIST) break;
    }
    if (file_ || errno != ENAMETOOLONG) break;
  }
}

// Closes the output and removes an unfinished temporary file, through its
// folder where that was renamed meanwhile; returns 0, or why it could not be
// removed.
int OutputFile::Abandon() {
  file_.Reset();
  int error = 0;
  if (!committed_ && !temporary_.empty() && place_ != kGone) {
    if (RemoveFromFolder(folder_.Get(), temporary_, temporaryName_) != 0 && errno != ENOENT) {
      error = errno;
    }
    Forget();
  }
  folder_.Reset();
  return error;
}

void OutputFile::Forget() {
  ForgetUnfinishedOutput(place_);
  place_ = kGone;
}

}  // namespace corvane::detail
