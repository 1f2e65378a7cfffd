// Pieces of the native launcher layers, visible to their tests.
#pragma once

#include <string>
#include <vector>

namespace corvane {

#ifndef _WIN32
// The desktop system-information programs looked for on PATH, best first.
const std::vector<std::string>& SysInfoToolNames();

// The full path of the first of SysInfoToolNames() that is an executable file in a folder of PATH
// (names in list order, folders in PATH order), or "".
std::string FindSysInfoToolOnPath();

// Starts the program file in a session of its own and returns without waiting for it. Throws
// std::system_error when it cannot be started.
void StartDetached(const std::string& path);
#endif

}  // namespace corvane
