// GetKeyValue and StartSysInfo against a recording fake of the registry and program start.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "FakeSysInfoPlatform.h"
#include "sysinfo/SysInfo.h"

namespace corvane {
namespace {

using testing::FakeSysInfoPlatform;

using namespace std::string_literals;

constexpr const char* kTestKey = "SOFTWARE\\Corvane\\Test";
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;

// ---------------------------------------------------------------------------------------------
// GetKeyValue on a value that is present and fits the buffer.

struct ReadCase {
  const char* name;
  std::uint32_t type;
  std::string stored;
  std::string expected;  // KeyVal afterwards; it starts as "before"
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class GetKeyValueReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(GetKeyValueReads, ReturnsTrueWithTheValueAndClosesTheKey) {
  const auto& param = GetParam();
  FakeSysInfoPlatform platform;
  platform.SetValue(kTestKey, "Value", param.type, param.stored);
  std::string keyVal = "before";

  EXPECT_TRUE(GetKeyValue(platform, kHkeyLocalMachine, kTestKey, "Value", keyVal));
  EXPECT_EQ(keyVal, param.expected);
  ASSERT_EQ(platform.opens.size(), 1u);
  EXPECT_EQ(platform.opens[0].root, kHkeyLocalMachine);
  EXPECT_EQ(platform.opens[0].options, 0u);
  EXPECT_EQ(platform.opens[0].access, 0x20019u);  // read only: 0x2003F is refused to users
  EXPECT_EQ(platform.closes, std::vector<RegHandle>{FakeSysInfoPlatform::kFirstHandle});
}

INSTANTIATE_TEST_SUITE_P(
    Types, GetKeyValueReads,
    ::testing::Values(
        ReadCase{"TextWithItsNul", kRegSz, "C:\\Tools\\msinfo32.exe\0"s, "C:\\Tools\\msinfo32.exe"},
        ReadCase{"TextWithoutNul", kRegSz, "C:\\Tools\\msinfo32.exe", "C:\\Tools\\msinfo32.exe"},
        ReadCase{"TextOfOnlyANul", kRegSz, "\0"s, ""},
        ReadCase{"TextEndsAtAnInnerNul", kRegSz, "C:\\a.exe\0junk\0"s, "C:\\a.exe"},
        ReadCase{"TextFillingTheBufferWithoutNul", kRegSz, std::string(1024, 'x'),
                 std::string(1024, 'x')},
        ReadCase{"TextFillingTheBufferWithNul", kRegSz, std::string(1023, 'y') + '\0',
                 std::string(1023, 'y')},
        ReadCase{"TextOfHighBytes", kRegSz, "C:\\Program Files\\\xE9t\xE9\0"s,
                 "C:\\Program Files\\\xE9t\xE9"},
        ReadCase{"Dword", kRegDword, "\x39\x30\0\0"s, "12345"},
        ReadCase{"DwordZero", kRegDword, "\0\0\0\0"s, "0"},
        ReadCase{"DwordAboveTheSignedRange", kRegDword, "\xFF\xFF\xFF\xFF", "4294967295"},
        ReadCase{"ExpandableTextKeepsKeyVal", kRegExpandSz, "%SystemRoot%\\msinfo32.exe\0"s,
                 "before"},
        ReadCase{"BinaryKeepsKeyVal", kRegBinary, "\x01\x02", "before"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// GetKeyValue failures: KeyVal emptied, False, and the handle closed even when never opened.

struct FailureCase {
  const char* name;
  std::function<void(FakeSysInfoPlatform&)> setUp;
  RegHandle closedHandle;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class GetKeyValueFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(GetKeyValueFails, ReturnsFalseWithAnEmptyValueAndClosesTheHandle) {
  FakeSysInfoPlatform platform;
  GetParam().setUp(platform);
  std::string keyVal = "before";

  EXPECT_FALSE(GetKeyValue(platform, kHkeyLocalMachine, kTestKey, "Value", keyVal));
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(platform.closes, std::vector<RegHandle>{GetParam().closedHandle});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GetKeyValueFails,
    ::testing::Values(
        FailureCase{"MissingKey", [](auto&) {}, 0},
        FailureCase{"RefusedKey",
                    [](auto& p) {
                      p.SetValue(kTestKey, "Value", kRegSz, "x");
                      p.openResultForExistingKeys = kErrorAccessDenied;
                    },
                    0},
        FailureCase{"MissingValue", [](auto& p) { p.SetValue(kTestKey, "Other", kRegSz, "x"); },
                    FakeSysInfoPlatform::kFirstHandle},
        FailureCase{"TextOneByteOverTheBuffer",
                    [](auto& p) { p.SetValue(kTestKey, "Value", kRegSz, std::string(1025, 'z')); },
                    FakeSysInfoPlatform::kFirstHandle}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GetKeyValue, AValueOfSizeZeroIsAnInvalidArgumentAndTheKeyIsStillClosed) {
  FakeSysInfoPlatform platform;
  platform.SetValue(kTestKey, "Value", kRegSz, "");
  std::string keyVal = "before";

  EXPECT_THROW(GetKeyValue(platform, kHkeyLocalMachine, kTestKey, "Value", keyVal),
               std::invalid_argument);
  EXPECT_EQ(platform.closes, std::vector<RegHandle>{FakeSysInfoPlatform::kFirstHandle});
}

// A platform that claims to have returned more than the buffer holds is not believed.
TEST(GetKeyValue, ASizeBeyondTheBufferIsAFailure) {
  struct Overstating : FakeSysInfoPlatform {
    long RegQueryValueExA(RegHandle key, const std::string& name, std::uint32_t* type,
                          unsigned char* data, std::uint32_t* size) override {
      const long result = FakeSysInfoPlatform::RegQueryValueExA(key, name, type, data, size);
      *size = 2048;
      return result;
    }
  } platform;
  platform.SetValue(kTestKey, "Value", kRegSz, "abc");
  std::string keyVal = "before";

  EXPECT_FALSE(GetKeyValue(platform, kHkeyLocalMachine, kTestKey, "Value", keyVal));
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(platform.closes.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// StartSysInfo: which registry entries it reads, what it starts, when it tells the user.

constexpr const char* kToolPath = "C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe";
constexpr const char* kToolFolder = "C:\\Program Files\\Common Files\\MSInfo";
constexpr const char* kFolderProgram = "C:\\Program Files\\Common Files\\MSInfo\\MSINFO32.EXE";

void SetPath(FakeSysInfoPlatform& p, std::uint32_t type, const std::string& bytes) {
  p.SetValue(kMsinfoKey, "PATH", type, bytes);
}
void SetLocation(FakeSysInfoPlatform& p, const std::string& folder, bool withProgram) {
  p.SetValue(kMsinfoLocationKey, "MSINFO", kRegSz, folder + '\0');
  if (withProgram) p.normalFiles.insert(folder + "\\MSINFO32.EXE");
}

struct LaunchCase {
  const char* name;
  std::function<void(FakeSysInfoPlatform&)> setUp;
  std::vector<std::string> starts;  // attempts, in order
  bool started;                     // StartSysInfo's answer
  bool locationRead;                // the second key opened
};
void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class StartSysInfoCases : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(StartSysInfoCases, StartsTheToolOrSaysItCannot) {
  const auto& param = GetParam();
  FakeSysInfoPlatform platform;
  param.setUp(platform);

  EXPECT_EQ(StartSysInfo(platform), param.started);
  EXPECT_EQ(platform.starts, param.starts);
  EXPECT_EQ(platform.Opened(kMsinfoLocationKey), param.locationRead);
  for (const auto& open : platform.opens) {
    EXPECT_EQ(open.root, kHkeyLocalMachine);
    EXPECT_EQ(open.access, kKeyRead);
  }
  // Every key opened was closed again.
  EXPECT_EQ(platform.closes.size(), platform.opens.size());
}

INSTANTIATE_TEST_SUITE_P(
    Routes, StartSysInfoCases,
    ::testing::Values(LaunchCase{"PathValueStartsItAndTheLocationIsNeverRead",
                                 [](auto& p) {
                                   SetPath(p, kRegSz, std::string(kToolPath) + '\0');
                                   SetLocation(p, "C:\\Elsewhere", true);
                                 },
                                 {kToolPath},
                                 true,
                                 false},
                      LaunchCase{"PathValueThatCannotBeStarted",
                                 [](auto& p) {
                                   SetPath(p, kRegSz, kToolPath);
                                   p.startFails = true;
                                 },
                                 {kToolPath},
                                 false,
                                 false},
                      LaunchCase{"PathValueOfAnExpandableTypeStartsNothing",
                                 [](auto& p) {
                                   SetPath(p, kRegExpandSz, "%ProgramFiles%\\msinfo32.exe\0"s);
                                   SetLocation(p, kToolFolder, true);
                                 },
                                 {""},
                                 false,
                                 false},
                      LaunchCase{"PathValueOfSizeZero",
                                 [](auto& p) {
                                   SetPath(p, kRegSz, "");
                                   SetLocation(p, kToolFolder, true);
                                 },
                                 {},
                                 false,
                                 false},
                      LaunchCase{"LocationWithTheProgramStartsIt",
                                 [](auto& p) { SetLocation(p, kToolFolder, true); },
                                 {kFolderProgram},
                                 true,
                                 true},
                      LaunchCase{"PathTooLongFallsBackToTheLocation",
                                 [](auto& p) {
                                   SetPath(p, kRegSz, std::string(1500, 'p'));
                                   SetLocation(p, kToolFolder, true);
                                 },
                                 {kFolderProgram},
                                 true,
                                 true},
                      LaunchCase{"LocationWithoutTheProgramStartsNothing",
                                 [](auto& p) { SetLocation(p, kToolFolder, false); },
                                 {},
                                 false,
                                 true},
                      LaunchCase{"LocationProgramThatCannotBeStarted",
                                 [](auto& p) {
                                   SetLocation(p, kToolFolder, true);
                                   p.startFails = true;
                                 },
                                 {kFolderProgram},
                                 false,
                                 true},
                      LaunchCase{"NeitherValue", [](auto&) {}, {}, false, true},
                      LaunchCase{"KeysPresentWithoutTheirValues",
                                 [](auto& p) {
                                   p.SetValue(kMsinfoKey, "Other", kRegSz, "x");
                                   p.SetValue(kMsinfoLocationKey, "Other", kRegSz, "x");
                                 },
                                 {},
                                 false,
                                 true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartSysInfo, LooksForTheProgramFileInTheLocationFolder) {
  FakeSysInfoPlatform platform;
  SetLocation(platform, kToolFolder, false);

  StartSysInfo(platform);

  EXPECT_EQ(platform.finds, std::vector<std::string>{kFolderProgram});
}

}  // namespace
}  // namespace corvane
