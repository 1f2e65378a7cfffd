// The csv2crc command line: options, and converting the files it names.
#pragma once

namespace corvane::cli {

// The whole program: parses the arguments, then converts every file named, in
// order; a failure is reported on standard error and the next file converted.
// Returns the exit status: 0 every file converted, 1 a file failed, 2 a bad
// command line (nothing converted).
int RunCommandLine(int argc, const char* const* argv);

}  // namespace corvane::cli
