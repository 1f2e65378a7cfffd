// The standard descriptors at the start of a program.
#pragma once

namespace corvane {

// Puts the null device on each of standard input, output and error that is
// closed (as in a cron line's "2>&-"), so that no file the program opens
// later can land on those numbers and receive its messages or be read as its
// input. Standard input is opened for writing only and the other two for
// reading only: reading or writing them still fails, as it did while they
// were closed, and no conversion from or to them quietly succeeds. Call first
// thing in main, before any file or thread is made.
void KeepStandardDescriptorsOpen() noexcept;

}  // namespace corvane
