#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
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
  unsigned jobs = 0;  // files converted at once; 0: one per core
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
  app.add_option("-j,--jobs", options.jobs,
                 "Convert up to N files at once (default: one per core); messages, outputs\n"
                 "and exit status are those of converting them one at a time")
      ->type_name("N")
      ->check(CLI::PositiveNumber.description(""));
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

// Standard error, as if the files were converted one at a time: the lines
// of each file in the order of the files. A file's lines are printed as they
// come while every earlier file is done, and held back until then otherwise.
class OrderedMessages {
 public:
  explicit OrderedMessages(std::size_t files) : held_(files), done_(files, false) {}

  void Say(std::size_t file, const std::string& line) {
    std::lock_guard lock(mutex_);
    if (file == next_) {
      std::cerr << line << '\n';
    } else {
      held_[file] += line + '\n';
    }
  }

  void Done(std::size_t file) {
    std::lock_guard lock(mutex_);
    done_[file] = true;
    while (next_ < done_.size() && done_[next_]) {
      if (++next_ < done_.size()) {
        std::cerr << held_[next_];
        held_[next_].clear();
      }
    }
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> held_;
  std::vector<bool> done_;
  std::size_t next_ = 0;  // the file whose lines are printed as they come
};

// Says, with -v, that an older output is written in place.
class VerboseEvents final : public ConversionEvents {
 public:
  VerboseEvents(OrderedMessages& messages, std::size_t file, bool verbose,
                const std::string& output)
      : messages_(messages), file_(file), verbose_(verbose), output_(output) {}
  void WritingInPlace() override {
    if (verbose_) {
      messages_.Say(file_,
                    "Writing " + Quoted(output_) + " in place: its folder takes no new file");
    }
  }

 private:
  OrderedMessages& messages_;
  std::size_t file_;
  bool verbose_;
  const std::string& output_;
};

int ConvertAll(const Options& options) {
  const ConversionRun run(options.files,
                          RunOptions{.outputFolder = options.outputDir, .standardStreams = true});
  OrderedMessages messages(run.Size());
  // Entries that write one output are converted one after the other by one
  // job, in list order: never two writers of one file at once (on Windows the
  // second rename would fail while the first holds the file).
  const std::vector<std::vector<std::size_t>> chains = run.OutputChains();
  std::atomic<std::size_t> nextChain{0};
  std::atomic<std::size_t> converted{0};

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs = std::max<std::size_t>(
      1, std::min<std::size_t>(options.jobs == 0 ? cores : options.jobs, chains.size()));
  // One file at a time uses the cores by overlapping its own reading, scanning
  // and writing; several at once use them by themselves.
  const bool overlapped = jobs == 1;

  const auto work = [&] {
    FileConverter converter(overlapped);
    for (std::size_t c = nextChain++; c < chains.size(); c = nextChain++) {
      for (const std::size_t i : chains[c]) {
        if (options.verbose) messages.Say(i, "Converting file:" + ShownName(run.Input(i)));
        try {
          VerboseEvents events(messages, i, options.verbose, run.Output(i));
          converter.Convert(run, i, events);
          ++converted;
        } catch (const ConversionError& e) {
          messages.Say(i, std::string(kProgramName) + ": Error " + std::to_string(e.Code()) + ": " +
                              e.Description());
        } catch (const std::exception& e) {
          messages.Say(i, std::string(kProgramName) + ": Cannot convert " + Quoted(run.Input(i)) +
                              ": " + e.what());
        }
        messages.Done(i);
      }
    }
  };

  std::vector<std::thread> helpers;
  try {
    for (std::size_t j = 1; j < jobs; ++j) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: the ones there are convert every file.
  }
  work();
  for (std::thread& helper : helpers) helper.join();

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
