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

  // The folder part (up to the last separator) is kept; the final component
  // loses its extension (from its last "." on; a name without "." keeps all
  // of it) and becomes "A1_" + base + ".crc". A path without a separator
  // names a file in the current folder. Where "\\" separates folders, a
  // leading drive "C:" counts as the folder part ("C:list.csv" ->
  // "C:A1_list.crc").
  // Throws ConversionError(kInvalidPath) for the empty path.
  std::string OutputPath(std::string_view inputPath) const;

 private:
  std::string separators_;
};

}  // namespace corvane
