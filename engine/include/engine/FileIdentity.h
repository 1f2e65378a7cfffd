// Which file a name leads to, whichever name leads there.
#pragma once

#include <compare>
#include <cstdint>

namespace corvane {

// The device and the file's number on it (the inode; on Windows the volume
// serial number and the file index).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

}  // namespace corvane
