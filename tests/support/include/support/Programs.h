// Runs the real programs (csv2crc) as a user would: in a folder, with arguments and
// standard input, collecting the exit status and what they print.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {

struct Launch {
  std::vector<std::string> command{};  // the program's path, then its arguments
  std::string folder{};                // the folder it runs in
  std::optional<std::string> input{};  // fed to standard input; none: the null device
  std::string inputFile{};             // or: standard input read from this file
  std::string outputFile{};            // standard output appended to this file, not collected
};

struct Outcome {
  int exitCode = -1;  // -1 when a signal ended it
  int signal = 0;     // the signal that ended it, or 0
  std::string out;    // standard output
  std::string err;    // standard error
};

// A started program. Standard input is fed from another thread, so that a large
// input cannot dead-lock against the program's output; standard output and error
// go to unnamed temporary files. Nothing of it is inherited by other programs the
// test starts meanwhile, and on POSIX it inherits no descriptor but those three.
class Program {
 public:
  explicit Program(const Launch& launch);
  ~Program();  // waits for the program if Wait was not called
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool HasEnded();  // without waiting
  Outcome Wait();
  // Sends a signal (POSIX only: the reliability tests, which are built there only).
  void Signal(int number);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Starts the program and waits for it.
Outcome RunProgram(const Launch& launch);

// A program's messages with each line ending in LF (Windows ends them with CR LF).
std::string UnixLines(std::string text);

}  // namespace corvane::test
