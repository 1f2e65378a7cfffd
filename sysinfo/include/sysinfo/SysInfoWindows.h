// The Windows layer's own pieces, for its tests. Defined in the Windows build only.
#pragma once

#include <memory>
#include <string>

#include "sysinfo/Registry.h"

namespace corvane {

// The real registry.
std::unique_ptr<Registry> MakeWindowsRegistry();

// The name of the first normal file matching the pattern, or "". Read-only and archived files
// count; hidden files, system files and folders do not.
std::string FindNormalFile(const std::string& pattern);

}  // namespace corvane
