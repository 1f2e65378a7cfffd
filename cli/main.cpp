// csv2crc: converts CSV files into CRC list files from the command line.
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Console.h"
#include "engine/StandardDescriptors.h"

int main(int argc, char** argv) {
  corvane::KeepStandardDescriptorsOpen();
  corvane::cli::ShowUtf8OnConsoles();
  const std::vector<std::string> arguments = corvane::cli::Utf8Arguments(argc, argv);
  std::vector<const char*> pointers;
  pointers.reserve(arguments.size());
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  return corvane::cli::RunCommandLine(static_cast<int>(pointers.size()), pointers.data());
}
