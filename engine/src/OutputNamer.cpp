#include "engine/OutputNamer.h"

#include <string>

#include "PathParts.h"
#include "engine/Errors.h"

namespace corvane {

OutputNamer::OutputNamer(std::string_view separators) : separators_(separators) {}

std::string OutputNamer::OutputPath(std::string_view inputPath) const {
  if (inputPath.empty()) {
    throw ConversionError(ErrorNumber::kInvalidPath, "An empty path has no output name");
  }
  // Only the final component is looked at: a "." in a folder name is not an
  // extension, and a name without "." keeps all of it as its base name.
  const std::size_t folderLength = detail::FolderPartLength(inputPath, separators_);
  const std::string_view name = inputPath.substr(folderLength);
  const std::string_view base = name.substr(0, name.rfind('.'));  // npos keeps the whole name

  std::string output;
  output.reserve(folderLength + 3 + base.size() + 4);
  output.append(inputPath.substr(0, folderLength));
  output.append("A1_");
  output.append(base);
  output.append(".crc");
  return output;
}

}  // namespace corvane
