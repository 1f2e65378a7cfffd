// The command line's edge with the system: its arguments, and standard output
// and error where they are a console.
#pragma once

#include <string>
#include <vector>

namespace corvane::cli {

// The program's arguments in UTF-8, its own name first. On Windows they are
// read from the wide command line, so that a name outside the system's code
// page arrives whole; elsewhere they are argv as given.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes standard output and error show the program's UTF-8 text correctly
// where they are a console (on Windows it is written to the console as
// UTF-16). Elsewhere, and into files and pipes, bytes pass unchanged.
void ShowUtf8OnConsoles();

}  // namespace corvane::cli
