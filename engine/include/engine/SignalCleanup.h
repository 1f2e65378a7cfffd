// Unfinished outputs when a program ends abruptly.
//
// While a conversion writes, its output is a hidden temporary file beside the
// final name. These calls remove such files when the program ends before the
// conversion does.
#pragma once

namespace corvane {

// Makes every catchable signal whose default action ends the program (and
// that is not ignored or handled already) remove the unfinished outputs
// first; the program then ends by that same signal. SIGXFSZ is ignored, so
// that a write past the file-size limit fails as an ordinary write error and
// the run goes on. Call once, early, from the main thread. Nothing on Windows.
void InstallSignalCleanup();

// Removes the hidden temporary file of every conversion under way, at once.
// For a program that must end while a conversion is stuck (in a read from a
// pipe whose writer never comes). Async-signal-safe.
void RemoveUnfinishedOutputs() noexcept;

}  // namespace corvane
