#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "engine/FileConverter.h"
#include "engine/ProgramIdentity.h"
#include "engine/SignalCleanup.h"

namespace corvane::cli {

namespace {

constexpr const char* kProgramName = "csv2crc";

constexpr int kExitOk = 0;      // every file converted
constexpr int kExitFailed = 1;  // at least one file failed; the others were converted
constexpr int kExitUsage = 2;   // bad command line; nothing was converted

struct Options {
  std::vector<std::string> files;  // in the order given
  std::string outputDir;           // empty: each output beside its input
  bool verbose = false;
};

// Parses the arguments into options; help and version go to standard output,
// usage errors to standard error. Returns -1 to go on, or the exit status.
int ParseArguments(int argc, const char* const* argv, Options& options) {
  CLI::App app(
      "Converts comma-separated files into tab-separated CRC list files. Each FILE is\n"
      "written beside itself as A1_<base name>.crc (the old extension dropped); an\n"
      "existing output is replaced only once the new one is complete. A FILE of \"-\"\n"
      "converts standard input to standard output.",
      kProgramName);
  app.set_version_flag("--version", std::string(kProgramTitle) + " " + kVersionText,
                       "Print the program's name and version");
  app.add_option("FILE", options.files, "Files to convert, in this order")
      ->type_name("")
      ->take_all();
  app.add_option("-o,--output-dir", options.outputDir,
                 "Write the outputs into DIR instead of beside the inputs")
      ->type_name("DIR")
      ->check(CLI::Validator(CLI::ExistingDirectory).description(""));
  app.add_flag("-v,--verbose", options.verbose, "Report each file and the total on standard error");
  app.footer(
      "Use -- to end the options, so that a file whose name starts with \"-\" can be named.\n"
      "Exit status: 0 all files converted, 1 a file failed (the others are still\n"
      "converted), 2 bad command line.");
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string(kProgramName) + ": " + e.what() +
           "\nRun with --help for more information.\n";
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, std::cout, std::cerr) == 0 ? kExitOk : kExitUsage;
  }
  if (options.files.empty()) {
    std::cerr << kProgramName << ": no files to convert\nRun with --help for more information.\n";
    return kExitUsage;
  }
  return -1;
}

// Says on standard error, with -v, that an older output is written in place.
class VerboseEvents final : public ConversionEvents {
 public:
  VerboseEvents(bool verbose, const std::string& output) : verbose_(verbose), output_(output) {}
  void WritingInPlace() override {
    if (verbose_) {
      std::cerr << "Writing " << Quoted(output_) << " in place: its folder takes no new file\n";
    }
  }

 private:
  bool verbose_;
  const std::string& output_;
};

int ConvertAll(const Options& options) {
  const ConversionRun run(options.files,
                          RunOptions{.outputFolder = options.outputDir, .standardStreams = true});
  FileConverter converter;
  std::size_t converted = 0;
  for (std::size_t i = 0; i < run.Size(); ++i) {
    if (options.verbose) std::cerr << "Converting file:" << ShownName(run.Input(i)) << '\n';
    try {
      VerboseEvents events(options.verbose, run.Output(i));
      converter.Convert(run, i, events);
      ++converted;
    } catch (const ConversionError& e) {
      std::cerr << kProgramName << ": Error " << e.Code() << ": " << e.Description() << '\n';
    } catch (const std::exception& e) {
      std::cerr << kProgramName << ": Cannot convert " << Quoted(run.Input(i)) << ": " << e.what()
                << '\n';
    }
  }
  if (options.verbose) std::cerr << "Processed " << converted << " files.\n";
  std::cerr.flush();
  return converted == run.Size() ? kExitOk : kExitFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  InstallSignalCleanup();
  return ConvertAll(options);
}

}  // namespace corvane::cli
