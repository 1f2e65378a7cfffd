// The hidden temporary files of the conversions under way, kept where a
// signal handler may read them: a table that grows in chunks that are never
// freed, changed only through atomics.
#pragma once

#include <string>

namespace corvane::detail {

// Notes a temporary file; returns its place, or -1 when the path is too long
// for the table (the file then only misses the cleanup on a signal). Throws
// std::bad_alloc when the table has no free place and cannot grow.
int NoteUnfinishedOutput(const std::string& path);
// Forgets the file at that place (after it was renamed or removed).
void ForgetUnfinishedOutput(int place) noexcept;

}  // namespace corvane::detail
