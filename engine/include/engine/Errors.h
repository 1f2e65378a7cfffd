// Failures of the conversion engine.
//
// Every failure carries a number and a description. The description names the
// file and, where the operating system gave one, its reason, for example
// "Cannot open 'x.csv' for reading: No such file or directory".
//
// The numbers below are stable: callers, scripts and users may rely on them.
// Add new numbers at the end; never renumber.
#pragma once

#include <exception>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

enum class ErrorNumber : int {
  kInvalidPath = 101,    // a path that has no output name (the empty path)
  kOpenInput = 102,      // the input cannot be opened for reading (missing, a folder, refused)
  kReadInput = 103,      // reading the input failed part-way
  kCreateOutput = 104,   // the output cannot be created in its folder (or its name is a folder)
  kWriteOutput = 105,    // writing the output failed (disk full, I/O error)
  kFinishOutput = 106,   // the finished output cannot be closed or moved to its name
  kOutputIsInput = 107,  // the output would replace an input of the same run
  kSameOutput = 108,     // the output is already that of an earlier input of the run
  kOutOfMemory = 109,    // not enough memory (or another resource: a thread) to convert the file
};

class ConversionError : public std::runtime_error {
 public:
  ConversionError(ErrorNumber number, const std::string& description, int systemError = 0)
      : std::runtime_error(description), number_(number), systemError_(systemError) {}

  ErrorNumber Number() const noexcept { return number_; }
  int Code() const noexcept { return static_cast<int>(number_); }
  const char* Description() const noexcept { return what(); }
  // The system's error number (errno) behind the failure, where there is one.
  int SystemError() const noexcept { return systemError_; }

 private:
  ErrorNumber number_;
  int systemError_;
};

// Thrown when a conversion is ended early on request (the program is ending).
// Whatever was being written is abandoned: an older output stays whole.
struct ConversionStopped {};

// The operating system's text for an errno value ("No such file or directory").
std::string SystemReason(int errnoValue);

// A failure the operating system gave the reason for: "<what>: <reason>",
// with the system's error number.
ConversionError SystemFailure(ErrorNumber number, const std::string& what, int errnoValue);

// A file name as messages and status lines show it: control characters, and
// every byte that is not part of valid UTF-8, are written as escapes ("\n",
// "\x1b", "\x9b"), so that no name can split a line or drive a terminal.
// Everything else is kept.
std::string ShownName(std::string_view name);

// The name shown between single quotes, as every description names files.
std::string Quoted(std::string_view name);

// A file that could not be converted for want of memory (or of a thread or a
// lock: reason): 109, "Cannot convert 'x.csv': not enough memory". what names
// the file as descriptions do (Quoted), or the files.
ConversionError OutOfMemory(std::string_view what, std::string_view reason = "not enough memory");

// The failure that ended the conversion of input: a ConversionError as it is,
// any other (a shortage the engine could not describe where it happened) as
// OutOfMemory. Throws std::bad_alloc where not even that can be had.
ConversionError FailureOf(const std::exception_ptr& failure, std::string_view input);

// A failure as the user reads it, in a message box or after the program's
// name: "Error 102: Cannot open ...". A failure without a number (0) reads
// "Error: ...".
std::string ErrorText(int number, std::string_view description);
inline std::string ErrorText(const ConversionError& error) {
  return ErrorText(error.Code(), error.Description());
}
// The same text written to out, without needing any memory.
std::ostream& WriteErrorText(std::ostream& out, const ConversionError& error);

}  // namespace corvane
