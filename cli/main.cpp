// csv2crc: converts CSV files into CRC list files from the command line.
#include "CommandLine.h"

int main(int argc, char** argv) { return corvane::cli::RunCommandLine(argc, argv); }
