#include "engine/OutputNamer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/ConversionRun.h"
#include "engine/Errors.h"
#include "support/Files.h"

namespace corvane {
namespace {

constexpr const char* kWindows = "\\/";
constexpr const char* kPosix = "/";

struct NamingCase {
  const char* separators;
  std::string input;
  std::string expected;
};

void PrintTo(const NamingCase& c, std::ostream* os) {
  *os << "[" << c.separators << "] " << c.input << " -> " << c.expected;
}

class OutputNamingTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(OutputNamingTest, DerivesTheOutputBesideTheInput) {
  const NamingCase& c = GetParam();
  EXPECT_EQ(OutputNamer(c.separators).OutputPath(c.input), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsPaths, OutputNamingTest,
    ::testing::Values(
        NamingCase{kWindows, "C:\\data\\list.csv", "C:\\data\\A1_list.crc"},
        NamingCase{kWindows, "D:\\x\\my.report.csv", "D:\\x\\A1_my.report.crc"},
        NamingCase{kWindows, "C:\\data\\LIST.CSV", "C:\\data\\A1_LIST.crc"},
        NamingCase{kWindows, "C:\\data\\.csv", "C:\\data\\A1_.crc"},
        NamingCase{kWindows, "C:\\list.csv", "C:\\A1_list.crc"},
        NamingCase{kWindows, "C:\\data\\archive.tar.gz", "C:\\data\\A1_archive.tar.crc"},
        NamingCase{kWindows, "C:\\data\\ends.with.dot.", "C:\\data\\A1_ends.with.dot.crc"},
        // A "." in a folder name is no extension; a name without "." is kept whole.
        NamingCase{kWindows, "C:\\my.dir\\list", "C:\\my.dir\\A1_list.crc"},
        NamingCase{kWindows, "a.b\\c", "a.b\\A1_c.crc"},
        // No separator: a file in the current folder (or on a drive's current folder).
        NamingCase{kWindows, "list.csv", "A1_list.crc"},
        NamingCase{kWindows, "list", "A1_list.crc"},
        NamingCase{kWindows, "C:list.csv", "C:A1_list.crc"},
        // Either slash separates folders, mixed as well.
        NamingCase{kWindows, "C:/data/list.csv", "C:/data/A1_list.crc"},
        NamingCase{kWindows, "C:\\my.dir/sub.d\\list", "C:\\my.dir/sub.d\\A1_list.crc"},
        NamingCase{kWindows, "\\\\server\\share\\list.csv", "\\\\server\\share\\A1_list.crc"},
        NamingCase{kWindows, "C:\\donn\xe9\x65s\\r\xe9sum\xe9.csv",
                   "C:\\donn\xe9\x65s\\A1_r\xe9sum\xe9.crc"},
        NamingCase{kWindows, "C:\\data\\", "C:\\data\\A1_.crc"}));

INSTANTIATE_TEST_SUITE_P(
    PosixPaths, OutputNamingTest,
    ::testing::Values(
        NamingCase{kPosix, "/home/u/list.csv", "/home/u/A1_list.crc"},
        NamingCase{kPosix, "/list.csv", "/A1_list.crc"},
        NamingCase{kPosix, "/home/my.dir/list", "/home/my.dir/A1_list.crc"},
        NamingCase{kPosix, "/data/.hidden", "/data/A1_.crc"},
        NamingCase{kPosix, "sub/list.csv", "sub/A1_list.crc"},
        // Backslash and colon are ordinary characters in POSIX names.
        NamingCase{kPosix, "/data/a\\b.csv", "/data/A1_a\\b.crc"},
        NamingCase{kPosix, "/data/c.d\\e", "/data/A1_c.crc"},
        NamingCase{kPosix, "C:list.csv", "A1_C:list.crc"},
        NamingCase{kPosix, "/tmp/my files/a list.csv", "/tmp/my files/A1_a list.crc"},
        // UTF-8 names and stray 8-bit bytes pass through unchanged.
        NamingCase{kPosix, "/tmp/\xc3\x9cnic\xc3\xb6\x64\x65/\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.csv",
                   "/tmp/\xc3\x9cnic\xc3\xb6\x64\x65/A1_\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.crc"},
        NamingCase{kPosix, "/tmp/\xe9t\xe9.csv", "/tmp/A1_\xe9t\xe9.crc"}));

// With an output folder, the output keeps its name and moves into the folder
// ("|": the separator the system joins a folder and a name with); without
// one it is named with this system's separators. The empty path has no output
// (its number and text: the file converter's RefusalTest).
TEST(OutputNamerTest, OutputPathForMovesTheOutputIntoTheOutputFolder) {
  const struct {
    const char* input;
    const char* folder;
    std::string output;
  } cases[] = {
      {"/data/list.csv", "", "/data/A1_list.crc"},
      {"/data/list.csv", "/out", "/out|A1_list.crc"},
      {"/data/list.csv", "/out/", "/out/A1_list.crc"},
      {"/data/my.report.CSV", "rel/dir", "rel/dir|A1_my.report.crc"},
      {"list.csv", "/out", "/out|A1_list.crc"},
      {"/a/b/c/.csv", "o", "o|A1_.crc"},
      // A bare drive on Windows is that drive's current folder.
      {"/data/list.csv", "C:", test::kSeparator == '\\' ? "C:A1_list.crc" : "C:/A1_list.crc"},
      // A backslash separates folders on Windows only, a slash everywhere.
      {"/d.x\\list", "", test::kSeparator == '\\' ? "/d.x\\A1_list.crc" : "/A1_d.crc"},
      {"\\d.x/list", "", "\\d.x/A1_list.crc"},
  };
  for (auto c : cases) {
    std::replace(c.output.begin(), c.output.end(), '|', test::kSeparator);
    EXPECT_EQ(OutputPathFor(c.input, c.folder), c.output) << c.input << " into " << c.folder;
  }
  EXPECT_THROW(OutputPathFor("", "/out"), ConversionError);
}

// Entries that write one output form one chain, however their paths are
// spelled (the same file twice, two extensions, through "..", the folder in
// the long form on Windows); standard output is one output; an entry without
// output stands alone; two names of one older output are one chain.
TEST(OutputNamerTest, EntriesOfOneOutputFormOneChain) {
  const test::TempFolder folder;
  std::filesystem::create_directory(folder / "sub");
  test::WriteFile(folder / "A1_c.crc", "older");
  std::filesystem::create_hard_link(folder / "A1_c.crc", folder / "A1_d.crc");
#ifdef _WIN32
  std::string sameFolder = "\\\\?\\" + folder.Path();
  std::replace(sameFolder.begin(), sameFolder.end(), '/', '\\');
#else
  const std::string sameFolder = folder / ".";
#endif
  const ConversionRun run(
      {folder / "a.csv", "-", folder / "b.csv", folder / "a.txt", folder / "sub/../a.csv", "", "-",
       "", folder / "c.csv", sameFolder + test::kSeparator + "a.txt", folder / "d.csv"},
      RunOptions{.outputFolder = {}, .standardStreams = true});
  EXPECT_EQ(run.OutputChains(),
            (std::vector<std::vector<std::size_t>>{{0, 3, 4, 9}, {1, 6}, {2}, {5}, {7}, {8, 10}}));
}

// Messages show names with controls and bytes that are not UTF-8 escaped, so
// that no name splits a line or drives a terminal; letters stay as they are.
TEST(OutputNamerTest, NamesAreShownWithControlsAndStrayBytesEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\nb\r\t\x1b[2J\x7f", "a\\nb\\r\\t\\x1b[2J\\x7f"},
      {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82"},
      {"\xc2\x9b-", "\\xc2\\x9b-"},        // a C1 control in UTF-8
      {"\x9b-", "\\x9b-"},                 // the same control as a raw byte
      {"\xe6\x97.csv", "\\xe6\\x97.csv"},  // a sequence cut short
      {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xff",
       "\\xc0\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xff"},  // overlong, surrogate, too high
  };
  for (const auto& [name, shown] : cases) EXPECT_EQ(ShownName(name), shown) << name;
}

}  // namespace
}  // namespace corvane
