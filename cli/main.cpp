// csv2crc: converts CSV files into CRC list files from the command line.
#include "CommandLine.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The filter passes bytes through: no CR LF translation on the standard streams.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
#endif
  return corvane::cli::RunCommandLine(argc, argv);
}
