// Failures of the conversion engine.
//
// Every failure carries a number and a description. The description names the
// file and, where the operating system gave one, its reason, for example
// "Cannot open 'x.csv' for reading: No such file or directory".
//
// The numbers below are stable: callers, scripts and users may rely on them.
// Add new numbers at the end; never renumber.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

enum class ErrorNumber : int {
  kInvalidPath = 101,   // a path that has no output name (the empty path)
  kOpenInput = 102,     // the input cannot be opened for reading (missing, a folder, refused)
  kReadInput = 103,     // reading the input failed part-way
  kCreateOutput = 104,  // the output cannot be created in its folder (or its name is a folder)
  kWriteOutput = 105,   // writing the output failed (disk full, I/O error)
  kFinishOutput = 106,  // the finished output cannot be closed or moved to its name
};

class ConversionError : public std::runtime_error {
 public:
  ConversionError(ErrorNumber number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  ErrorNumber Number() const noexcept { return number_; }
  int Code() const noexcept { return static_cast<int>(number_); }
  const char* Description() const noexcept { return what(); }

 private:
  ErrorNumber number_;
};

// The operating system's text for an errno value ("No such file or directory").
std::string SystemReason(int errnoValue);

}  // namespace corvane
