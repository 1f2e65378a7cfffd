#include "Console.h"

namespace corvane::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void ShowUtf8OnConsoles() {}  // a terminal takes the bytes as they are

}  // namespace corvane::cli
