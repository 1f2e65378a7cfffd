// Splitting a path into its folder part and its final component.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane::detail {

// The length of the folder part of path: everything up to and including its
// last separator, or 0 when the path names a file in the current folder.
// Where "\\" is a separator (Windows), a leading drive "X:" without a
// separator after it ("C:list.csv") is a folder part as well.
inline std::size_t FolderPartLength(std::string_view path, std::string_view separators) {
  const std::size_t last = path.find_last_of(separators);
  if (last != std::string_view::npos) {
    return last + 1;
  }
  const bool windowsPaths = separators.find('\\') != std::string_view::npos;
  const bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return windowsPaths && hasDrive ? 2 : 0;
}

}  // namespace corvane::detail
