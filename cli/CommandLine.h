// The csv2crc command line: options, and converting the files it names.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;      // every file converted
inline constexpr int kExitFailed = 1;  // at least one file failed; the others were converted
inline constexpr int kExitUsage = 2;   // bad command line; nothing was converted

// The name that stands for standard input (converted to standard output).
inline constexpr const char* kStandardStreams = "-";

struct Options {
  std::vector<std::string> files;  // in the order given
  std::string outputDir;           // empty: each output beside its input
  bool verbose = false;
};

struct ParseOutcome {
  bool run = false;  // false: exit at once with exitCode (help, version, usage error)
  int exitCode = kExitOk;
  Options options;
};

// Parses the arguments. Help and version go to out, usage errors to err.
ParseOutcome ParseArguments(int argc, const char* const* argv, std::ostream& out,
                            std::ostream& err);

// Where the output for inputPath goes: the derived output path, or with an
// output folder the final component of it inside that folder. Throws
// ConversionError like the output naming does.
std::string OutputPathFor(const std::string& inputPath, const std::string& outputDir);

// Converts every file in order; a failure is reported on err and the next file
// is converted. Returns kExitOk or kExitFailed.
int ConvertAll(const Options& options, std::ostream& err);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of a conversion
// under way before the program ends by the signal as it would have anyway. A
// signal the program was started with ignored stays ignored. POSIX only.
void InstallSignalCleanup();

// The whole program: parse, install the signal cleanup, then convert.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace corvane::cli
