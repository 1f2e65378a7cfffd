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
// in the output's folder (".<name>.XXXXXX", unique per conversion) and moved
// over outputPath only when complete; a symbolic link of that name is
// replaced, not followed. The new file gets the permissions of any new file
// (0666 less the umask). On any failure (and when an exception passes
// through) the temporary file is removed and an existing file of that name is
// untouched. Only where the folder takes no temporary file of that name (a
// name too long for the extra characters) is outputPath written directly,
// and then removed again on failure.
// Fails with ConversionError: kCreateOutput (no file can be made there, or
// the name is a folder), kReadInput, kWriteOutput (disk full), kFinishOutput
// (closing or renaming failed); each names the file and the reason.
void ConvertToFile(InputFile& input, const std::string& outputPath);

// Converts an opened input to an open descriptor (the command line's filter).
// outputName names the output in failure descriptions; outFd stays open.
void ConvertToDescriptor(InputFile& input, int outFd, const std::string& outputName);

}  // namespace corvane
