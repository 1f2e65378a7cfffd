#include "engine/FileConverter.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "AlignedBuffer.h"
#include "BlockReader.h"
#include "BlockWriter.h"
#include "FileSystem.h"
#include "PathParts.h"
#include "UnfinishedOutputs.h"
#include "engine/Errors.h"
#include "engine/OutputNamer.h"
#include "engine/RecordTranscoder.h"

namespace corvane {

namespace {

using detail::FileInfo;

// Input is read in blocks of this size into a page-aligned buffer: reads into
// a buffer that is not at least cache-line aligned cost several times the
// kernel time.
constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
// Inputs from this size on are read, scanned and written on three threads.
constexpr std::uint64_t kOverlapFrom = 4 * kReadBlockSize;

constexpr const char* kStandardInputName = "standard input";
constexpr const char* kStandardOutputName = "standard output";
constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

[[noreturn]] void Fail(ErrorNumber number, const std::string& what, int errnoValue) {
  throw ConversionError(number, what + ": " + SystemReason(errnoValue), errnoValue);
}

// An input open for reading, with what it was when it was opened.
class InputFile {
 public:
  // Fails with kOpenInput naming the file and the reason; a folder is refused.
  static InputFile Open(const std::string& path) {
    const std::string what = "Cannot open " + Quoted(path) + " for reading";
    InputFile input(detail::OpenForReading(path), true, path);
    if (input.fd_ < 0) {
      const int error = errno;
      // Windows refuses to open a folder with "Permission denied": say what it is.
      FileInfo target;
      const bool folder =
          detail::StatusOfTarget(path, target) && target.kind == FileInfo::Kind::kFolder;
      Fail(ErrorNumber::kOpenInput, what, folder ? EISDIR : error);
    }
    if (detail::StatusOfDescriptor(input.fd_, input.info_)) {
      if (input.info_.kind == FileInfo::Kind::kFolder) Fail(ErrorNumber::kOpenInput, what, EISDIR);
      input.known_ = true;
    }
    detail::AdviseSequential(input.fd_);
    return input;
  }

  // Standard input, which stays open. Its size is not relied on: reading may
  // start anywhere in it.
  static InputFile Standard() {
    InputFile input(kStandardInput, false, kStandardInputName);
    input.known_ = detail::StatusOfDescriptor(kStandardInput, input.info_);
    return input;
  }

  InputFile(InputFile&& other) noexcept
      : fd_(std::exchange(other.fd_, -1)),
        owned_(other.owned_),
        name_(std::move(other.name_)),
        info_(other.info_),
        known_(other.known_) {}
  InputFile& operator=(InputFile&&) = delete;
  ~InputFile() {
    if (owned_ && fd_ >= 0) detail::Close(fd_);
  }

  const std::string& Name() const { return name_; }
  int Descriptor() const { return fd_; }
  bool IsRegular() const { return known_ && info_.kind == FileInfo::Kind::kRegular; }
  // What it was when opened is known (its kind, size and permissions).
  bool IsKnown() const { return known_; }
  const FileInfo& Info() const { return info_; }
  // The size to read to the end, where it is known: that of a regular file
  // this program opened.
  std::uint64_t ExpectedSize() const { return owned_ && IsRegular() ? info_.size : 0; }
  // How much there is to read, roughly: the size of a regular file.
  std::uint64_t SizeHint() const { return IsRegular() ? info_.size : 0; }

  // Reads up to size bytes; 0 at the end. Fails with kReadInput.
  std::size_t Read(char* buffer, std::size_t size) {
    for (;;) {
      const std::ptrdiff_t got = detail::Read(fd_, buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) Fail(ErrorNumber::kReadInput, "Cannot read " + Quoted(name_), errno);
    }
  }

 private:
  InputFile(int fd, bool owned, std::string name)
      : fd_(fd), owned_(owned), name_(std::move(name)) {}

  int fd_;
  bool owned_;
  std::string name_;
  FileInfo info_;
  bool known_ = false;
};

// A rename refused for a moment (EACCES: on Windows a sharing violation or
// access denied) is tried again after growing pauses, 310 ms in all: there a
// virus scanner, the search indexer or a preview often opens a fresh file
// briefly, and a file share may do the same. Any other failure is reported
// at once.
using namespace std::chrono_literals;
constexpr std::chrono::milliseconds kRenamePauses[] = {10ms, 20ms, 40ms, 80ms, 160ms};

int RenameOnceFree(const std::string& from, const std::string& to) {
  for (const auto pause : kRenamePauses) {
    if (detail::Rename(from, to) == 0) return 0;
    if (errno != EACCES) return -1;
    std::this_thread::sleep_for(pause);
  }
  return detail::Rename(from, to);
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
    const std::uint64_t process = detail::ProcessNumber();
    std::seed_seq seed{device(), device(), static_cast<unsigned>(clock),
                       static_cast<unsigned>(clock >> 32), static_cast<unsigned>(process)};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kAlphabet[pick(generator)];
  return suffix;
}

// An output being written: a hidden temporary file beside the final name,
// which takes the final name only when complete, and is removed otherwise.
// The final name itself is never opened for writing, so whatever stops a
// conversion (a failure, a kill, a power cut) leaves there either the older
// file or the whole new one.
//
// No fsync: the output is derived data that can be made again from its input,
// which is never touched, and syncing would cost a multiple of the conversion
// time. The rename gives every reader either the old output or the whole new
// one; after a power cut a new output may be empty or missing (ext4 by default
// writes a file's data out before committing a rename over an older file).
class TemporaryOutput {
 public:
  // Tries to create the file; IsOpen tells whether it worked, Error why not.
  TemporaryOutput(const std::string& finalPath, unsigned permissions) : finalPath_(finalPath) {
    const std::size_t folderLength =
        detail::FolderPartLength(finalPath, OutputNamer::PlatformSeparators());
    const std::string folder = finalPath.substr(0, folderLength);
    const std::string name = finalPath.substr(folderLength);
    folder_ = detail::HoldFolder(folder);
    Create(folder, name, permissions);
    if (fd_ < 0 && (errno == EMFILE || errno == ENFILE) && folder_ >= 0) {
      // The file matters more than holding its folder.
      ReleaseFolder();
      Create(folder, name, permissions);
    }
    error_ = fd_ >= 0 ? 0 : errno;
    if (fd_ < 0) ReleaseFolder();
    if (fd_ >= 0) {
      detail::SetHidden(path_, true);
      try {
        place_ = detail::NoteUnfinishedOutput(path_);
      } catch (...) {  // no memory to note it: the file goes at once
        Abandon();
        throw;
      }
    }
  }

  ~TemporaryOutput() { Abandon(); }
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }
  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }

  // Closes the finished file and gives it its final name.
  void Commit() {
    if (detail::Close(std::exchange(fd_, -1)) != 0) {
      Fail(ErrorNumber::kFinishOutput, "Cannot finish " + Quoted(finalPath_), errno);
    }
    detail::SetHidden(path_, false);
    if (RenameOnceFree(path_, finalPath_) != 0) {
      const int error = errno;
      detail::SetHidden(path_, true);
      Fail(ErrorNumber::kFinishOutput, "Cannot move the finished output to " + Quoted(finalPath_),
           error);
    }
    committed_ = true;
    Forget();
    ReleaseFolder();
  }

  // Closes and removes the unfinished file, through its folder where that was
  // renamed meanwhile; returns 0, or why it could not be removed.
  int Abandon() {
    if (fd_ >= 0) detail::Close(std::exchange(fd_, -1));
    int error = 0;
    if (!committed_ && !path_.empty() && place_ != kGone) {
      if (detail::RemoveFromFolder(folder_, path_, name_) != 0 && errno != ENOENT) error = errno;
      Forget();
    }
    ReleaseFolder();
    return error;
  }

 private:
  static constexpr int kGone = -2;

  // The output's own name first; where the folder takes no name that long,
  // a short one that fits wherever the final name does.
  void Create(const std::string& folder, const std::string& name, unsigned permissions) {
    for (const std::string& stem : {"." + name + ".", std::string(".corvane.")}) {
      for (int attempt = 0; attempt < 100; ++attempt) {
        name_ = stem + RandomSuffix();
        path_ = folder + name_;
        fd_ = detail::CreateExclusive(path_, permissions);
        if (fd_ >= 0 || errno != EEXIST) break;
      }
      if (fd_ >= 0 || errno != ENAMETOOLONG) break;
    }
  }

  void ReleaseFolder() {
    const int error = errno;
    if (folder_ >= 0) detail::Close(std::exchange(folder_, -1));
    errno = error;
  }

  void Forget() {
    detail::ForgetUnfinishedOutput(place_);
    place_ = kGone;
  }

  std::string finalPath_;
  std::string path_;
  std::string name_;  // the file name in its folder
  int folder_ = -1;   // the folder, held while the file is written
  int fd_ = -1;
  int error_ = 0;
  int place_ = -1;  // in the table of unfinished outputs; kGone once renamed or removed
  bool committed_ = false;
};

// Closes a descriptor however it is left.
class OpenDescriptor {
 public:
  explicit OpenDescriptor(int fd) : fd_(fd) {}
  ~OpenDescriptor() {
    if (fd_ >= 0) detail::Close(fd_);
  }
  OpenDescriptor(const OpenDescriptor&) = delete;
  OpenDescriptor& operator=(const OpenDescriptor&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

class NoEvents final : public ConversionEvents {};

// Writes on the converting thread itself.
class DirectSink final : public OutputSink {
 public:
  void Begin(int fd, const std::string& name) {
    fd_ = fd;
    name_ = name;
  }
  void Write(const char* data, std::size_t size) override {
    detail::WriteAll(fd_, name_, data, size);
  }

 private:
  int fd_ = -1;
  std::string name_;
};

}  // namespace

// Scanning happens on the converting thread; where overlapped, reading ahead
// and writing happen on threads of their own, so that the three share two
// cores. Everything is made once, when first needed, and serves every file
// after it.
struct FileConverter::Buffers {
  explicit Buffers(bool overlapped) {
    if (!overlapped) return;
    try {
      reader.emplace(kReadBlockSize);
      writer.emplace();
    } catch (const std::exception&) {
      // No thread (a process limit) or no memory for one: the files are
      // converted on the calling thread alone.
      reader.reset();
      writer.reset();
    }
  }

  detail::AlignedBuffer input;  // for inputs read on this thread
  std::optional<detail::BlockReader> reader;
  std::optional<detail::BlockWriter> writer;
  DirectSink direct;
  std::optional<StreamTranscoder> onWriter;  // writes through the writer's thread
  std::optional<StreamTranscoder> here;      // writes on this thread

  // Makes now what a file read and written on this thread needs.
  void Prepare() {
    if (!input) input = detail::AllocateAligned(kReadBlockSize);
    if (!here) here.emplace(direct);
  }

  std::size_t ReadHere(InputFile& from) { return from.Read(input.get(), kReadBlockSize); }

  // Streams the whole input through a transcoder into fd.
  void Transcode(InputFile& from, int fd, const std::string& outputName, ConversionEvents& events) {
    // Overlapping pays where there is enough to overlap: handing a small file
    // between threads costs more than it saves. A pipe is read here, between
    // the checks for a stop: it may keep a read waiting for as long as its
    // writer likes.
    const bool overlap = writer && (!from.IsRegular() || from.SizeHint() >= kOverlapFrom);
    const bool ahead = overlap && from.IsRegular();
    OutputSink* const sink = overlap ? static_cast<OutputSink*>(&*writer) : &direct;
    std::optional<StreamTranscoder>& transcoder = overlap ? onWriter : here;
    // Everything is made before the first Progress: a shortage of memory
    // meets a file before anything of it is read.
    if (!transcoder) transcoder.emplace(*sink);
    if (!ahead && !input) input = detail::AllocateAligned(kReadBlockSize);
    if (overlap) {
      writer->Begin(fd, outputName);
    } else {
      direct.Begin(fd, outputName);
    }
    if (ahead) reader->Begin(from.Descriptor(), from.Name());
    const std::uint64_t expected = from.ExpectedSize();
    std::uint64_t total = 0;
    auto reported = std::chrono::steady_clock::now();
    events.Progress(0, expected);
    try {
      for (;;) {
        if (events.StopRequested()) throw ConversionStopped{};
        detail::BlockReader::Block block{nullptr, 0};
        if (ahead) {
          block = reader->Next();
        } else {
          block.size = ReadHere(from);
          block.data = input.get();
        }
        if (block.size == 0) break;
        transcoder->Feed(block.data, block.size);
        total += block.size;
        if (const auto now = std::chrono::steady_clock::now();
            now - reported >= kProgressInterval) {
          reported = now;
          events.Progress(total, expected);
        }
      }
      // Cut short by another program while it was read: the end seen is not
      // the file's end.
      if (total < expected) {
        throw ConversionError(
            ErrorNumber::kReadInput,
            "Cannot read " + Quoted(from.Name()) + ": the file became shorter while it was read");
      }
      transcoder->Finish();
      if (overlap) writer->End();
    } catch (...) {
      // Nothing more reaches either descriptor, so that they may be closed;
      // the transcoder holds the unfinished part of this input.
      if (ahead) reader->Abandon();
      if (overlap) writer->Abandon();
      transcoder.emplace(*sink);
      throw;
    }
    if (ahead) reader->Abandon();
    events.Progress(total, expected);
  }
};

namespace {

// Writes the output of input to outputPath through a temporary file, or in
// place where the folder takes no new file.
void WriteOutput(FileConverter::Buffers& buffers, InputFile& input, const std::string& outputPath,
                 ConversionEvents& events);

}  // namespace

FileConverter::FileConverter(bool overlapped) : overlapped_(overlapped) {}
FileConverter::~FileConverter() = default;

void FileConverter::Prepare() {
  if (!buffers_) buffers_ = std::make_unique<Buffers>(overlapped_);
  buffers_->Prepare();
}

void FileConverter::Convert(const ConversionRun& run, std::size_t index) {
  NoEvents none;
  Convert(run, index, none);
}

void FileConverter::Convert(const ConversionRun& run, std::size_t index, ConversionEvents& events) {
  const std::string& inputPath = run.Input(index);
  try {
    if (!buffers_) buffers_ = std::make_unique<Buffers>(overlapped_);
    if (run.IsStandardStreams(index)) {
      detail::SetBinaryMode(kStandardInput);
      detail::SetBinaryMode(kStandardOutput);
      InputFile input = InputFile::Standard();
      FileInfo output;
      if (input.IsRegular() && detail::StatusOfDescriptor(kStandardOutput, output) &&
          output.kind == FileInfo::Kind::kRegular && output.identity == input.Info().identity) {
        throw ConversionError(ErrorNumber::kOutputIsInput,
                              "Cannot convert " + Quoted(kStandardInputName) + " to " +
                                  Quoted(kStandardOutputName) + ": they are the same file");
      }
      events.Started();
      const std::string outputName = kStandardOutputName;
      buffers_->Transcode(input, kStandardOutput, outputName, events);
      return;
    }
    // A path without output name is refused first: it names no file either.
    const std::optional<ConversionError>& refusal = run.Refusal(index);
    if (refusal && refusal->Number() == ErrorNumber::kInvalidPath) throw *refusal;
    // Opened before anything else, so that a missing input is what gets reported.
    InputFile input = InputFile::Open(inputPath);
    if (refusal) throw *refusal;
    run.RefuseReplacingAnInput(
        index, input.IsRegular() ? std::optional(input.Info().identity) : std::nullopt);
    events.Started();
    WriteOutput(*buffers_, input, run.Output(index), events);
  } catch (const std::bad_alloc&) {
    throw ConversionError(ErrorNumber::kOutOfMemory,
                          "Cannot convert " + Quoted(inputPath) + ": not enough memory");
  } catch (const std::system_error& error) {
    // A thread or a lock the system refused.
    throw ConversionError(ErrorNumber::kOutOfMemory,
                          "Cannot convert " + Quoted(inputPath) + ": " + error.code().message());
  }
}

namespace {

void WriteInPlace(FileConverter::Buffers& buffers, InputFile& input, int fd,
                  const std::string& outputPath, ConversionEvents& events) {
  OpenDescriptor output(fd);
  events.WritingInPlace();
  try {
    buffers.Transcode(input, output.Get(), outputPath, events);
    if (detail::Close(output.Release()) != 0) {
      Fail(ErrorNumber::kFinishOutput, "Cannot finish " + Quoted(outputPath), errno);
    }
  } catch (const ConversionError& error) {
    throw ConversionError(
        error.Number(),
        std::string(error.Description()) + "; " + Quoted(outputPath) + " is incomplete",
        error.SystemError());
  }
}

void WriteOutput(FileConverter::Buffers& buffers, InputFile& input, const std::string& outputPath,
                 ConversionEvents& events) {
  const std::string cannotCreate = "Cannot create " + Quoted(outputPath);
  // A folder of that name cannot be replaced, and a name too long for its
  // folder cannot be given: say so before any work is done.
  FileInfo older;
  const bool hasOlder = detail::StatusOfName(outputPath, older);
  if (!hasOlder && errno == ENAMETOOLONG)
    Fail(ErrorNumber::kCreateOutput, cannotCreate, ENAMETOOLONG);
  if (hasOlder && older.kind == FileInfo::Kind::kFolder) {
    Fail(ErrorNumber::kCreateOutput, cannotCreate, EISDIR);
  }
  const bool replacesFile = hasOlder && older.kind == FileInfo::Kind::kRegular;

  // Never more open than the input, whatever its kind (a 0600 pipe gives a
  // 0600 output): its read and write permissions, less the umask (execution
  // makes no sense for a list file).
  const unsigned permissions = input.IsKnown() ? input.Info().permissions & 0666u : 0666u;
  TemporaryOutput temporary(outputPath, permissions);
  if (!temporary.IsOpen()) {
    const int error = temporary.Error();
    if ((error == EACCES || error == EPERM) && replacesFile) {
      // The folder takes no new file, but the older output may be writable.
      const int fd = detail::OpenExistingForWriting(outputPath);
      if (fd >= 0) {
        WriteInPlace(buffers, input, fd, outputPath, events);
        return;
      }
    }
    Fail(ErrorNumber::kCreateOutput, cannotCreate, error);
  }
  if (replacesFile) detail::AdoptOwnership(temporary.Descriptor(), older);
  try {
    buffers.Transcode(input, temporary.Descriptor(), outputPath, events);
    temporary.Commit();
  } catch (const ConversionError& error) {
    const std::string leftBehind = temporary.Path();
    if (const int reason = temporary.Abandon(); reason != 0) {
      throw ConversionError(error.Number(),
                            std::string(error.Description()) + "; the unfinished file " +
                                Quoted(leftBehind) +
                                " could not be removed: " + SystemReason(reason),
                            error.SystemError());
    }
    throw;
  }
}

}  // namespace

}  // namespace corvane
