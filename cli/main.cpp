// csv2crc: converts CSV files into CRC list files from the command line.
#include "CommandLine.h"
#include "engine/StandardDescriptors.h"

int main(int argc, char** argv) {
  corvane::KeepStandardDescriptorsOpen();
  return corvane::cli::RunCommandLine(argc, argv);
}
