// Names and paths at the system's length limits, through the built csv2crc: the
// longest that fit convert, the first that do not fail clearly before anything
// is written.
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

// A 255-byte file name is the longest allowed, so its output name (three
// bytes longer) cannot exist: the failure names the output and the reason
// before anything is written, and the input stays.
TEST(LongPaths, OutputNameLongerThanTheFolderAllowsFailsClearly) {
  TempFolder scratch;
  const std::string base(NAME_MAX - 4, 'n');
  WriteFile(scratch / (base + ".csv"), "a,b,c,d\r\n");
  const Outcome r = RunCsv2crc(scratch.Path(), base + ".csv");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "csv2crc: Error 104: Cannot create 'A1_" + base + ".crc': File name too long\n");
  EXPECT_EQ(Names(scratch.Path()), (std::set<std::string>{base + ".csv"}));

  // The longest output name that fits still converts (its temporary file
  // takes a shorter name of its own).
  const std::string fits(NAME_MAX - 7, 'f');
  WriteFile(scratch / (fits + ".csv"), "a,b,c,d\r\n");
  const Outcome ok = RunCsv2crc(scratch.Path(), fits + ".csv");
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ReadFile(scratch / ("A1_" + fits + ".crc")), ReferenceConvert("a,b,c,d\r\n"));
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
