// Paths at the system's length limit, through the built csv2crc: the longest
// that fits converts, the first that does not fails clearly before anything is
// written. (Names at the limit of a folder entry: the engine's tests.)
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <set>
#include <string>

#include "support/Files.h"
#include "support/Programs.h"
#include "support/Reference.h"

namespace corvane {
namespace {

using namespace test;

Outcome RunCsv2crc(const std::string& folder, const std::string& file) {
  return RunProgram({.command = {CSV2CRC_PATH, file}, .folder = folder});
}

// Nested folders up to the longest path the system takes.
TEST(LongPaths, PathsNearTheLimitConvertOrFailClearly) {
  TempFolder scratch;
  std::string folder = scratch.Path();
  const std::string step = "/" + std::string(200, 'd');
  // Deep enough that the input path (folder + "/" + name) lands near PATH_MAX.
  while (folder.size() + step.size() < PATH_MAX - 220) folder += step;
  std::filesystem::create_directories(folder);
  const std::size_t room = PATH_MAX - 1 - folder.size() - 1;  // longest name in that folder

  // An output path exactly as long as the system allows (PATH_MAX - 1 bytes).
  const std::string fitsBase(room - 3 - 4, 'a');  // "A1_" + base + ".crc" fills the room
  WriteFile(folder + "/" + fitsBase + ".csv", "a,b\r\n");
  Outcome r = RunCsv2crc(folder, folder + "/" + fitsBase + ".csv");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(folder + "/A1_" + fitsBase + ".crc"), ReferenceConvert("a,b\r\n"));

  // Three bytes more: the input can be opened, its output path is too long.
  const std::string longBase(room - 4, 'b');  // the input fills the room, the output overflows
  WriteFile(folder + "/" + longBase + ".csv", "a,b\r\n");
  r = RunCsv2crc(folder, folder + "/" + longBase + ".csv");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create '" + folder + "/A1_" + longBase +
                       ".crc': File name too long\n");
  EXPECT_EQ(Names(folder), (std::set<std::string>{fitsBase + ".csv", "A1_" + fitsBase + ".crc",
                                                  longBase + ".csv"}));
}

}  // namespace
}  // namespace corvane
