// Properties of the output name, for any path and both separator sets.
//
// Input layout: byte 0 chooses the separators (bit 0 clear: "/", set: "\\/");
// the rest is the path. For a non-empty path P with output Q:
//  - folder part: F is P up to and including its last separator; when P holds
//    no separator, F is empty, except where "\\" is a separator and P starts
//    with an ASCII letter and ":" (a drive), where F is those two characters.
//  - Q starts with F, and the rest of Q (its final component) holds no
//    separator, so the output lies in the input's folder;
//  - that final component is "A1_" + B + ".crc", where B is the input's final
//    component N (P without F) up to its last "." (all of N when it has none);
//  - Q differs from P.
// The empty path throws ConversionError(kInvalidPath).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/Errors.h"
#include "engine/OutputNamer.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view path, std::string_view output) {
  std::fprintf(stderr,
               "fuzz_output_namer: %s\n  path   (%zu bytes): %.*s\n  output (%zu bytes): %.*s\n",
               what, path.size(), static_cast<int>(path.size()), path.data(), output.size(),
               static_cast<int>(output.size()), output.data());
  std::abort();
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::size_t ExpectedFolderLength(std::string_view path, std::string_view separators) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (separators.find(path[i - 1]) != std::string_view::npos) return i;
  }
  const bool backslash = separators.find('\\') != std::string_view::npos;
  if (backslash && path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') return 2;
  return 0;
}

void CheckEmptyPathThrows(const corvane::OutputNamer& namer) {
  try {
    const std::string output = namer.OutputPath("");
    Fail("the empty path gave an output name", "", output);
  } catch (const corvane::ConversionError& e) {
    if (e.Number() != corvane::ErrorNumber::kInvalidPath) Fail("wrong error number", "", e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view separators = (bytes[0] & 1) != 0 ? "\\/" : "/";
  const std::string path(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  const corvane::OutputNamer namer(separators);

  if (path.empty()) {
    CheckEmptyPathThrows(namer);
    return 0;
  }

  std::string output;
  try {
    output = namer.OutputPath(path);
  } catch (const std::exception& e) {
    Fail("a non-empty path threw", path, e.what());
  }

  const std::size_t folderLength = ExpectedFolderLength(path, separators);
  const std::string_view folder = std::string_view(path).substr(0, folderLength);
  const std::string_view name = std::string_view(path).substr(folderLength);
  if (output.compare(0, folder.size(), folder) != 0 || output.size() < folder.size()) {
    Fail("the output is not in the input's folder", path, output);
  }
  const std::string_view finalComponent = std::string_view(output).substr(folder.size());
  if (finalComponent.find_first_of(separators) != std::string_view::npos) {
    Fail("the output's final component holds a separator", path, output);
  }
  if (!finalComponent.starts_with("A1_") || !finalComponent.ends_with(".crc")) {
    Fail("the output's name is not A1_*.crc", path, output);
  }
  std::size_t baseLength = name.size();
  for (std::size_t i = name.size(); i > 0; --i) {
    if (name[i - 1] == '.') {
      baseLength = i - 1;
      break;
    }
  }
  const std::string expectedName = "A1_" + std::string(name.substr(0, baseLength)) + ".crc";
  if (finalComponent != expectedName) Fail("the output's base name is wrong", path, output);
  if (output == path) Fail("the output equals the input", path, output);
  return 0;
}
