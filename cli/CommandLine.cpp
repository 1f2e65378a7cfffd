#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
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

// The line that says why a file failed. A failure that is no ConversionError
// is a shortage the engine could not even describe.
std::string FailureLine(const std::string& input, const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ConversionError& e) {
    return std::string(kProgramName) + ": " + ErrorText(e);
  } catch (const std::bad_alloc&) {
    return FailureLine(input, std::make_exception_ptr(ConversionError(
                                  ErrorNumber::kOutOfMemory,
                                  "Cannot convert " + Quoted(input) + ": not enough memory")));
  } catch (const std::exception& e) {
    return FailureLine(input, std::make_exception_ptr(ConversionError(
                                  ErrorNumber::kOutOfMemory,
                                  "Cannot convert " + Quoted(input) + ": " + e.what())));
  }
}

// Standard error, as if the files were converted one at a time: the lines
// of each file in the order of the files. A file's lines are printed as they
// come while every earlier file is done, and held back until then otherwise.
class OrderedMessages {
 public:
  explicit OrderedMessages(const ConversionRun& run)
      : run_(run), held_(run.Size()), done_(run.Size(), false), unsaid_(run.Size(), false) {}

  // Throws std::bad_alloc where a line cannot be held back.
  void Say(std::size_t file, const std::string& line) {
    std::lock_guard lock(mutex_);
    if (file == next_) {
      std::cerr << line << '\n';
    } else {
      held_[file] += line + '\n';
    }
  }

  // Says why a file failed. Never throws: where there is no memory for the
  // line, a short one that needs none is said when the file's turn comes.
  void SayFailure(std::size_t file, const std::exception_ptr& failure) noexcept {
    try {
      Say(file, FailureLine(run_.Input(file), failure));
    } catch (...) {
      std::lock_guard lock(mutex_);
      unsaid_[file] = true;
      if (file == next_) SayShortFailure(file);
    }
  }

  void Done(std::size_t file) noexcept {
    std::lock_guard lock(mutex_);
    done_[file] = true;
    while (next_ < done_.size() && done_[next_]) {
      if (++next_ < done_.size()) {
        std::cerr << held_[next_];
        held_[next_].clear();
        if (unsaid_[next_]) SayShortFailure(next_);
      }
    }
  }

 private:
  void SayShortFailure(std::size_t file) noexcept {
    std::cerr << kProgramName << ": Error " << static_cast<int>(ErrorNumber::kOutOfMemory)
              << ": Cannot convert ";
    try {
      std::cerr << Quoted(run_.Input(file));
    } catch (...) {
      std::cerr << "file number " << file + 1;
    }
    std::cerr << ": not enough memory\n";
    unsaid_[file] = false;
  }

  const ConversionRun& run_;
  std::mutex mutex_;
  std::vector<std::string> held_;
  std::vector<bool> done_;
  std::vector<bool> unsaid_;  // failed where no line could be made
  std::size_t next_ = 0;      // the file whose lines are printed as they come
};

// Says, with -v, that an older output is written in place, and notes whether
// reading the input has begun.
class JobEvents final : public ConversionEvents {
 public:
  JobEvents(OrderedMessages& messages, std::size_t file, bool verbose, const std::string& output)
      : messages_(messages), file_(file), verbose_(verbose), output_(output) {}
  void WritingInPlace() override {
    if (verbose_) {
      messages_.Say(file_,
                    "Writing " + Quoted(output_) + " in place: its folder takes no new file");
    }
  }
  void Progress(std::uint64_t, std::uint64_t) override { reading_ = true; }

  // Whether the input may have been read from: the first Progress comes
  // before the first byte is read.
  bool ReadingBegan() const { return reading_; }

 private:
  OrderedMessages& messages_;
  std::size_t file_;
  bool verbose_;
  const std::string& output_;
  bool reading_ = false;
};

// A failure of the job rather than of the file: no descriptor or no memory
// to be had, met before anything of the input was read, so that converting
// the file later starts it afresh.
bool JobRanShort(const std::exception_ptr& failure, const JobEvents& events) {
  if (events.ReadingBegan()) return false;
  try {
    std::rethrow_exception(failure);
  } catch (const ConversionError& e) {
    return e.Number() == ErrorNumber::kOutOfMemory || e.SystemError() == EMFILE ||
           e.SystemError() == ENFILE;
  } catch (const std::bad_alloc&) {
    return true;
  } catch (...) {
    return false;
  }
}

// The chains of a run as the jobs take them, in order, and what jobs that ran
// short of descriptors or memory handed back.
class ChainQueue {
 public:
  struct Piece {
    std::size_t chain;
    std::size_t from;  // the first entry of the chain still to convert
  };

  ChainQueue(std::size_t chains, std::size_t jobs) : chains_(chains) {
    handedBack_.reserve(jobs);  // each job hands back at most once
  }

  // The next piece of work, or nothing.
  std::optional<Piece> Take() {
    std::lock_guard lock(mutex_);
    if (!handedBack_.empty()) {
      const Piece piece = handedBack_.back();
      handedBack_.pop_back();
      return piece;
    }
    if (next_ < chains_) return Piece{next_++, 0};
    return std::nullopt;
  }

  void HandBack(const Piece& piece) noexcept {
    std::lock_guard lock(mutex_);
    handedBack_.push_back(piece);  // within the capacity reserved
  }

 private:
  std::mutex mutex_;
  std::size_t chains_;
  std::size_t next_ = 0;
  std::vector<Piece> handedBack_;
};

int ConvertAll(const Options& options) {
  const ConversionRun run(options.files,
                          RunOptions{.outputFolder = options.outputDir, .standardStreams = true});
  OrderedMessages messages(run);
  // Entries that write one output are converted one after the other by one
  // job, in list order: never two writers of one file at once (on Windows the
  // second rename would fail while the first holds the file).
  const std::vector<std::vector<std::size_t>> chains = run.OutputChains();
  std::atomic<std::size_t> converted{0};
  // With -v each file is announced once, whichever job converts it.
  const std::unique_ptr<bool[]> announced = std::make_unique<bool[]>(run.Size());

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t jobs = std::max<std::size_t>(
      1, std::min<std::size_t>(options.jobs == 0 ? cores : options.jobs, chains.size()));
  ChainQueue queue(chains.size(), jobs);
  // One file at a time uses the cores by overlapping its own reading, scanning
  // and writing; several at once use them by themselves.
  const bool overlapped = jobs == 1;

  // A job converts chains until none is left. Nothing a file meets leaves it:
  // a failure is said and the next file converted. A job that runs short of
  // descriptors or memory while others may be at work hands the rest of its
  // chain back and stops: this thread converts what was handed back once the
  // other jobs are done, alone, as with fewer jobs.
  const auto work = [&](FileConverter& converter, bool alone) {
    while (const std::optional<ChainQueue::Piece> piece = queue.Take()) {
      const std::vector<std::size_t>& chain = chains[piece->chain];
      for (std::size_t k = piece->from; k < chain.size(); ++k) {
        const std::size_t i = chain[k];
        JobEvents events(messages, i, options.verbose, run.Output(i));
        try {
          if (options.verbose && !std::exchange(announced[i], true)) {
            messages.Say(i, "Converting file:" + ShownName(run.Input(i)));
          }
          converter.Convert(run, i, events);
          ++converted;
        } catch (...) {
          const std::exception_ptr failure = std::current_exception();
          if (!alone && JobRanShort(failure, events)) {
            queue.HandBack({piece->chain, k});
            return;
          }
          messages.SayFailure(i, failure);
        }
        messages.Done(i);
      }
    }
  };

  // With other jobs, this thread's memory comes first: with it, what they
  // hand back can always be converted here.
  FileConverter converter(overlapped);
  if (jobs > 1) {
    try {
      converter.Prepare();
    } catch (const std::bad_alloc&) {
      // Each file says so when it fails.
    }
  }
  std::vector<std::thread> helpers;
  try {
    helpers.reserve(jobs - 1);
    for (std::size_t j = 1; j < jobs; ++j) {
      helpers.emplace_back([&] {
        FileConverter own(overlapped);
        work(own, false);
      });
    }
  } catch (const std::exception&) {
    // No more threads (or no memory for one) to be had: the ones there
    // convert every file.
  }
  work(converter, helpers.empty());
  for (std::thread& helper : helpers) helper.join();
  if (!helpers.empty()) work(converter, true);

  if (options.verbose) std::cerr << "Processed " << converted << " files.\n";
  std::cerr.flush();
  return converted == run.Size() ? kExitOk : kExitFailed;
}

}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
  Options options;
  if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
  InstallSignalCleanup();
  try {
    return ConvertAll(options);
  } catch (const std::bad_alloc&) {  // before any file was started
    std::cerr << kProgramName << ": Error " << static_cast<int>(ErrorNumber::kOutOfMemory)
              << ": Cannot convert the files: not enough memory\n";
    return kExitFailed;
  }
}

}  // namespace corvane::cli
