// The hidden temporary files of the conversions under way, kept where a
// signal handler may read them: a fixed table, changed only through atomics.
#pragma once

#include <string>

namespace corvane::detail {

// Notes a temporary file; returns its place, or -1 when the table is full or
// the path too long (the file then only misses the cleanup on a signal).
int NoteUnfinishedOutput(const std::string& path) noexcept;
// Forgets the file at that place (after it was renamed or removed).
void ForgetUnfinishedOutput(int place) noexcept;

}  // namespace corvane::detail
