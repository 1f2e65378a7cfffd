#include "support/Programs.h"

namespace corvane::test {

Outcome RunProgram(const Launch& launch) { return Program(launch).Wait(); }

std::string UnixLines(std::string text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  }
  return lines;
}

}  // namespace corvane::test
