#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstddef>
#include <filesystem>
#include <iostream>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/ConvertRun.h"
#include "engine/Errors.h"
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
  unsigned jobs = 0;  // files converted at once; 0: one per core
};

constexpr const char* kTryHelp = "Try 'csv2crc --help' for more information.\n";

// The first character of an argument after its "-", whole where it is not
// ASCII.
std::string FirstCharacterAfterDash(const std::string& argument) {
  const auto lead = static_cast<unsigned char>(argument[1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return argument.substr(1, length);
}

// A bad command line, in the words of the standard tools.
std::string UsageProblem(const CLI::App& app, const CLI::Error& error) {
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    // Every argument that is not an option is a FILE: what is left over is
    // an option this program does not have.
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
      const std::string& first = extras.front();
      if (first.rfind("--", 0) == 0) return "unrecognized option '" + ShownName(first) + "'";
      if (first.size() > 1) {
        return "invalid option -- '" + ShownName(FirstCharacterAfterDash(first)) + "'";
      }
    }
  } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    // The library starts the message with the option: "--output-dir: 1
    // required DIR missing" for a value missing at the end, "verbose was
    // given a disallowed flag override" for a value given to a flag.
    const std::string what = error.what();
    for (const CLI::Option* option : app.get_options()) {
      for (const std::string& name : option->get_lnames()) {
        if (what.rfind("--" + name + ":", 0) == 0) {
          return "option '--" + name + "' requires an argument";
        }
        if (what.rfind(name + " ", 0) == 0) {
          return "option '--" + name + "' doesn't allow an argument";
        }
      }
    }
  }
  return error.what();
}

// Parses the arguments into options; help and version go to standard output,
// usage errors to standard error. Returns -1 to go on, or the exit status.
int ParseArguments(int argc, const char* const* argv, Options& options) {
  CLI::App app(
      "Converts comma-separated files into tab-separated CRC list files. Each FILE is\n"
      "written beside itself as A1_<base name>.crc (the old extension dropped); an\n"
      "existing output is replaced only once the new one is complete. A FILE of \"-\"\n"
      "converts standard input to standard output.",
      kProgramName);
  // Every argument that does not start with "-" is a file, on Windows too
  // ("/x.csv" is a path there, not an option).
  app.allow_windows_style_options(false);
  // The option names and their descriptions in 80 columns.
  app.get_formatter()->column_width(24);
  app.get_help_ptr()->disable_flag_override();
  app.set_version_flag("--version", std::string(kProgramTitle) + " " + kVersionText,
                       "Print the program's name and version")
      ->disable_flag_override();
  app.add_option("FILE", options.files, "Files to convert, in this order")
      ->type_name("")
      ->take_all();
  app.add_option("-o,--output-dir", options.outputDir,
                 "Write the outputs into DIR instead of beside the inputs")
      ->type_name("DIR")
      ->check(CLI::Validator(
          [](const std::string& folder) -> std::string {
            // The name is UTF-8 on every system (the library's own check
            // reads it in the system's code page on Windows).
            namespace fs = std::filesystem;
            std::error_code error;
            fs::file_status status;
            try {
              fs::path path(std::u8string(folder.begin(), folder.end()));
              // A bare drive ("C:") is that drive's current folder.
              if (path == path.root_name()) path /= u8".";
              status = fs::status(path, error);
            } catch (const fs::filesystem_error&) {
            }
            if (fs::is_directory(status)) return {};
            return (fs::exists(status) ? "Directory is actually a file: "
                                       : "Directory does not exist: ") +
                   ShownName(folder);
          },
          ""));
  app.add_flag("-v,--verbose", options.verbose, "Report each file and the total on standard error")
      ->disable_flag_override();
  app.add_option("-j,--jobs", options.jobs,
                 "Convert up to N files at once (default: one per core);\n"
                 "messages, outputs and exit status are those of\n"
                 "converting them one at a time")
      ->type_name("N")
      ->transform(CLI::Validator(
          [](std::string& text) -> std::string {
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
                text.find_first_not_of('0') == std::string::npos) {
              return "the number of jobs must be a whole number from 1 up";
            }
            // No more jobs are made than there are files: a larger number is
            // as good as the largest.
            unsigned jobs = 0;
            if (std::from_chars(text.data(), text.data() + text.size(), jobs).ec != std::errc()) {
              text = std::to_string(std::numeric_limits<unsigned>::max());
            }
            return {};
          },
          ""));
  app.footer(
      "Use -- to end the options, so that a file whose name starts with \"-\" can be\n"
      "named. Exit status: 0 all files converted, 1 a file failed (the others are\n"
      "still converted), 2 bad command line.");
  app.failure_message([](const CLI::App* failed, const CLI::Error& e) {
    return std::string(kProgramName) + ": " + UsageProblem(*failed, e) + "\n" + kTryHelp;
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, std::cout, std::cerr) == 0 ? kExitOk : kExitUsage;
  }
  if (options.files.empty()) {
    std::cerr << kProgramName << ": no files to convert\n" << kTryHelp;
    return kExitUsage;
  }
  return -1;
}

// The run's events on standard error: with -v each file as it is taken up,
// an older output written in place and the total; every failure. A line that
// cannot be made for want of memory is left out, except a failure's, which
// needs none.
class Messages final : public RunEvents {
 public:
  Messages(const ConversionRun& run, bool verbose) : run_(run), verbose_(verbose) {}

  void FileStarted(std::size_t file) override {
    if (verbose_) Say([&] { return ConvertingText(run_.Input(file)); });
  }
  void FileWritingInPlace(std::size_t file) override {
    if (verbose_) {
      Say([&] {
        return "Writing " + Quoted(run_.Output(file)) + " in place: its folder takes no new file";
      });
    }
  }
  void FileFailed(std::size_t, const ConversionError& error) override {
    WriteErrorText(std::cerr << kProgramName << ": ", error) << '\n';
  }
  void RunEnded(std::size_t converted) override {
    converted_ = converted;
    if (verbose_) Say([&] { return ProcessedText(converted); });
  }

  bool AllConverted() const { return converted_ == run_.Size(); }

 private:
  static void Say(const auto& line) noexcept {
    try {
      std::cerr << line() << '\n';
    } catch (const std::bad_alloc&) {
      // Left out: the run goes on.
    }
  }

  const ConversionRun& run_;
  bool verbose_;
  std::size_t converted_ = 0;
};

int ConvertAll(const Options& options) {
  const ConversionRun run(options.files,
                          RunOptions{.outputFolder = options.outputDir, .standardStreams = true});
  Messages messages(run, options.verbose);
  ConvertRun(run, RunSchedule{.jobs = options.jobs}, messages);
  std::cerr.flush();
  return messages.AllConverted() ? kExitOk : kExitFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  InstallSignalCleanup();
  // Made while there is memory: said where there is none to start the run.
  const ConversionError noMemory = OutOfMemory("the files");
  try {
    return ConvertAll(options);
  } catch (const std::bad_alloc&) {  // before any file was started
    WriteErrorText(std::cerr << kProgramName << ": ", noMemory) << '\n';
    return kExitFailed;
  }
}

}  // namespace corvane::cli
