// Derives the CRC list file's path from an input path: same folder, "A1_" in
// front of the base name, the extension replaced by ".crc".
#pragma once

#include <string>
#include <string_view>

namespace corvane {

class OutputNamer {
 public:
  // The folder separators of this platform: "/" on POSIX, "\\/" on Windows.
  static std::string_view PlatformSeparators();

  // separators: every character of it separates folders.
  explicit OutputNamer(std::string_view separators = PlatformSeparators());

  // Throws ConversionError(kInvalidPath) for the empty path.
  std::string OutputPath(std::string_view inputPath) const;

 private:
  std::string separators_;
};

}  // namespace corvane
