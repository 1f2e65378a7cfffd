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
  // Standard input (or any open descriptor) under a display name.
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
// in the output's folder and moved over outputPath only when complete. On any
// failure (and when abandoned) the temporary file is removed and an existing
// file of that name is untouched.
void ConvertToFile(InputFile& input, const std::string& outputPath);

// Converts an opened input to an open descriptor (the command line's filter).
void ConvertToDescriptor(InputFile& input, int outFd, const std::string& outputName);

}  // namespace corvane
