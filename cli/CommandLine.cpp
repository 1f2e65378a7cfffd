#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <string_view>

#include "engine/Errors.h"
#include "engine/FileConverter.h"
#include "engine/OutputNamer.h"
#include "engine/ProgramIdentity.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace corvane::cli {

namespace {

constexpr const char* kProgramName = "csv2crc";
constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

std::string VersionLine() { return std::string(kProgramTitle) + " " + kVersionText; }

void ConvertOne(const std::string& path, const Options& options) {
  if (path == kStandardStreams) {
    InputFile input = InputFile::FromDescriptor(kStandardInput, "standard input");
    ConvertToDescriptor(input, kStandardOutput, "standard output");
    return;
  }
  // The input is opened before its output name is derived, as Generate does,
  // so a missing input is what gets reported.
  InputFile input = InputFile::Open(path);
  ConvertToFile(input, OutputPathFor(path, options.outputDir));
}

#ifndef _WIN32
// The temporary file being written, kept where a signal handler may read it:
// the handler reads only a path marked complete, and the path is only changed
// while marked incomplete.
volatile std::sig_atomic_t g_temporaryPathSet = 0;
char g_temporaryPath[8192];

void RememberTemporaryFile(const char* temporaryPath) {
  g_temporaryPathSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (temporaryPath == nullptr) return;
  const std::size_t length = std::strlen(temporaryPath);
  if (length >= sizeof g_temporaryPath) return;  // longer than any path the system takes
  std::memcpy(g_temporaryPath, temporaryPath, length + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_temporaryPathSet = 1;
}

// Async-signal-safe: unlink, signal and raise only. The signal stays blocked
// while its handler runs, so the raised one ends the program on return.
extern "C" void RemoveTemporaryFileAndDie(int signalNumber) {
  if (g_temporaryPathSet) ::unlink(g_temporaryPath);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}
#endif

}  // namespace

void InstallSignalCleanup() {
#ifndef _WIN32
  SetTemporaryFileObserver(RememberTemporaryFile);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryFileAndDie;
    sigemptyset(&action.sa_mask);
    for (const int other : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, other);
    ::sigaction(signalNumber, &action, nullptr);
  }
#endif
}

ParseOutcome ParseArguments(int argc, const char* const* argv, std::ostream& out,
                            std::ostream& err) {
  ParseOutcome outcome;
  Options& options = outcome.options;

  CLI::App app(
      "Converts comma-separated files into tab-separated CRC list files. Each FILE is\n"
      "written beside itself as A1_<base name>.crc (the old extension dropped); an\n"
      "existing output is replaced only once the new one is complete. A FILE of \"-\"\n"
      "converts standard input to standard output.",
      kProgramName);
  app.set_version_flag("--version", VersionLine(), "Print the program's name and version");
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
    const int code = app.exit(e, out, err);
    outcome.exitCode = code == 0 ? kExitOk : kExitUsage;
    return outcome;
  }
  if (options.files.empty()) {
    err << kProgramName << ": no files to convert\nRun with --help for more information.\n";
    outcome.exitCode = kExitUsage;
    return outcome;
  }
  outcome.run = true;
  return outcome;
}

std::string OutputPathFor(const std::string& inputPath, const std::string& outputDir) {
  const std::string_view separators = OutputNamer::PlatformSeparators();
  std::string output = OutputNamer().OutputPath(inputPath);
  if (outputDir.empty()) return output;

  const std::size_t lastSeparator = output.find_last_of(separators);
  const std::string name =
      lastSeparator == std::string::npos ? output : output.substr(lastSeparator + 1);
  std::string joined = outputDir;
  if (separators.find(joined.back()) == std::string_view::npos) joined += separators.front();
  return joined + name;
}

int ConvertAll(const Options& options, std::ostream& err) {
  bool anyFailed = false;
  for (const std::string& path : options.files) {
    if (options.verbose) err << "Converting file:" << path << '\n';
    try {
      ConvertOne(path, options);
    } catch (const ConversionError& e) {
      err << kProgramName << ": " << e.Description() << '\n';
      anyFailed = true;
    } catch (const std::exception& e) {
      err << kProgramName << ": " << path << ": " << e.what() << '\n';
      anyFailed = true;
    }
  }
  if (options.verbose) err << "Processed " << options.files.size() << " files.\n";
  err.flush();
  return anyFailed ? kExitFailed : kExitOk;
}

int RunCommandLine(int argc, const char* const* argv) {
  const ParseOutcome parsed = ParseArguments(argc, argv, std::cout, std::cerr);
  if (!parsed.run) return parsed.exitCode;
  InstallSignalCleanup();
  return ConvertAll(parsed.options, std::cerr);
}

}  // namespace corvane::cli
