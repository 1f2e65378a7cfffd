// Converting one file, with complete-or-untouched outputs.
#pragma once

#include <memory>
#include <string>

namespace corvane {

// An input file opened for reading. Opening fails with ConversionError
// (kOpenInput) naming the file and the reason; a folder is refused here.
class InputFile {
 public:
  static InputFile Open(const std::string& path);
  // Standard input (or any open descriptor) under a display name, used in
  // failure descriptions. The descriptor is not taken over: it stays open.
  static InputFile FromDescriptor(int fd, const std::string& displayName);
  InputFile(InputFile&&) noexcept;
  InputFile& operator=(InputFile&&) noexcept;
  ~InputFile();

  const std::string& Path() const;
  // Reads up to size bytes; 0 at the end of the input. Throws kReadInput.
  std::size_t Read(char* buffer, std::size_t size);

 private:
  struct Impl;
  explicit InputFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Converts an opened input into outputPath: written to a hidden temporary file
// in the output's folder (".<name>.XXXXXX", unique per conversion; where that
// name is too long for the folder, the shorter ".corvane.XXXXXX") and moved
// over outputPath only when complete; a symbolic link of that name is
// replaced, not followed. The new file gets the permissions of any new file
// (0666 less the umask). On any failure (and when an exception passes
// through) the temporary file is removed and an existing file of that name is
// untouched: outputPath is never written in place, so a folder that takes no
// new file fails even where an older output in it could be overwritten.
// Fails with ConversionError: kCreateOutput (no file can be made there, the
// name is a folder or too long), kReadInput, kWriteOutput (disk full),
// kFinishOutput (closing or renaming failed); each names the file and the
// reason.
void ConvertToFile(InputFile& input, const std::string& outputPath);

// Told the path of each temporary file ConvertToFile creates, once it exists,
// and nullptr once it is gone again (moved to its final name or removed). A
// program uses it to remove an unfinished temporary file when a signal ends
// it. One observer per process, called on the converting thread; nullptr (the
// default) tells nobody. The path is valid only during the call.
using TemporaryFileObserver = void (*)(const char* temporaryPath);
void SetTemporaryFileObserver(TemporaryFileObserver observer);

// Converts an opened input to an open descriptor (the command line's filter).
// outputName names the output in failure descriptions; outFd stays open.
void ConvertToDescriptor(InputFile& input, int outFd, const std::string& outputName);

}  // namespace corvane
