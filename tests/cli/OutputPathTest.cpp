#include <gtest/gtest.h>

#include "CommandLine.h"
#include "engine/Errors.h"

namespace corvane::cli {
namespace {

struct OutputPathCase {
  const char* input;
  const char* outputDir;
  const char* output;
};

TEST(OutputPathFor, BesideTheInputOrInTheOutputFolder) {
  const OutputPathCase cases[] = {
      {"/data/list.csv", "", "/data/A1_list.crc"},
      {"/data/list.csv", "/out", "/out/A1_list.crc"},
      {"/data/list.csv", "/out/", "/out/A1_list.crc"},
      {"/data/my.report.CSV", "rel/dir", "rel/dir/A1_my.report.crc"},
      {"list.csv", "/out", "/out/A1_list.crc"},
      {"/a/b/c/.csv", "o", "o/A1_.crc"},
  };
  for (const OutputPathCase& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " -> " + c.outputDir);
    EXPECT_EQ(OutputPathFor(c.input, c.outputDir), c.output);
  }
}

TEST(OutputPathFor, EmptyPathHasNoOutputName) {
  EXPECT_THROW(OutputPathFor("", ""), ConversionError);
  EXPECT_THROW(OutputPathFor("", "/out"), ConversionError);
}

}  // namespace
}  // namespace corvane::cli
