// GetKeyValue and the registry lookup against a registry in memory; StartSysInfo against a fake
// platform.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "sysinfo/Registry.h"
#include "sysinfo/SysInfo.h"

namespace corvane {
namespace {

using namespace std::string_literals;

constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorMoreData = 234;
constexpr std::uint32_t kRegExpandSz = 2;

constexpr const char* kTestKey = "SOFTWARE\\Corvane\\Test";

// Keys under HKEY_LOCAL_MACHINE and the normal files of a Windows system, in memory, recording
// which keys are opened and closed.
class FakeWindows : public Registry {
 public:
  struct Open {
    std::string key;
    std::uint32_t options;
    std::uint32_t access;
  };

  std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::string>>> keys;
  std::set<std::string> normalFiles;
  long openResultForExistingKeys = kErrorSuccess;  // e.g. kErrorAccessDenied
  std::uint32_t claimedSize = 0;  // when not 0, the size every query claims to have returned
  std::vector<Open> opens;
  std::vector<RegHandle> closes;

  static constexpr RegHandle kFirstHandle = 0x100;

  // bytes: exactly the bytes stored, NULs included.
  void SetValue(const std::string& key, const std::string& name, std::uint32_t type,
                std::string bytes) {
    keys[key][name] = {type, std::move(bytes)};
  }

  bool Opened(const std::string& key) const {
    for (const auto& call : opens) {
      if (call.key == key) return true;
    }
    return false;
  }

  std::optional<std::string> FindInRegistry() {
    return FindSysInfoInRegistry(*this, [this](const std::string& pattern) {
      return normalFiles.count(pattern) != 0 ? pattern.substr(pattern.rfind('\\') + 1) : "";
    });
  }

  long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override {
    opens.push_back({subKey, options, access});
    if (root != kHkeyLocalMachine || keys.count(subKey) == 0) return kErrorFileNotFound;
    if (openResultForExistingKeys != kErrorSuccess) return openResultForExistingKeys;
    *result = kFirstHandle + opened_.size();
    opened_.push_back(subKey);
    return kErrorSuccess;
  }

  long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    const auto& values = keys.at(opened_.at(key - kFirstHandle));
    const auto value = values.find(valueName);
    if (value == values.end()) return kErrorFileNotFound;
    const auto& [valueType, bytes] = value->second;
    *type = valueType;
    const bool fits = bytes.size() <= *size;
    if (fits) std::memcpy(data, bytes.data(), bytes.size());
    *size = claimedSize != 0 ? claimedSize : static_cast<std::uint32_t>(bytes.size());
    return fits ? kErrorSuccess : kErrorMoreData;
  }

  long RegCloseKey(RegHandle key) override {
    closes.push_back(key);
    return key >= kFirstHandle ? kErrorSuccess : kErrorInvalidHandle;
  }

 private:
  std::vector<std::string> opened_;
};

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
  FakeWindows windows;
  windows.SetValue(kTestKey, "Value", param.type, param.stored);
  std::string keyVal = "before";

  EXPECT_TRUE(GetKeyValue(windows, kHkeyLocalMachine, kTestKey, "Value", keyVal));
  EXPECT_EQ(keyVal, param.expected);
  ASSERT_EQ(windows.opens.size(), 1u);
  EXPECT_EQ(windows.opens[0].options, 0u);
  EXPECT_EQ(windows.opens[0].access, 0x20019u);  // read only: 0x2003F is refused to users
  EXPECT_EQ(windows.closes, std::vector<RegHandle>{FakeWindows::kFirstHandle});
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
        ReadCase{"TextOfHighBytes", kRegSz, "C:\\Program Files\\\xE9t\xE9\0"s,
                 "C:\\Program Files\\\xE9t\xE9"},
        ReadCase{"Dword", kRegDword, "\x39\x30\0\0"s, "12345"},
        ReadCase{"DwordAboveTheSignedRange", kRegDword, "\xFF\xFF\xFF\xFF", "4294967295"},
        ReadCase{"ExpandableTextKeepsKeyVal", kRegExpandSz, "%SystemRoot%\\msinfo32.exe\0"s,
                 "before"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// GetKeyValue failures: KeyVal emptied, False, and the handle closed even when never opened.

struct FailureCase {
  const char* name;
  std::function<void(FakeWindows&)> setUp;
  RegHandle closedHandle;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class GetKeyValueFails : public ::testing::TestWithParam<FailureCase> {};

TEST_P(GetKeyValueFails, ReturnsFalseWithAnEmptyValueAndClosesTheHandle) {
  FakeWindows windows;
  GetParam().setUp(windows);
  std::string keyVal = "before";

  EXPECT_FALSE(GetKeyValue(windows, kHkeyLocalMachine, kTestKey, "Value", keyVal));
  EXPECT_EQ(keyVal, "");
  EXPECT_EQ(windows.closes, std::vector<RegHandle>{GetParam().closedHandle});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GetKeyValueFails,
    ::testing::Values(
        FailureCase{"MissingKey", [](auto&) {}, 0},
        FailureCase{"RefusedKey",
                    [](auto& w) {
                      w.SetValue(kTestKey, "Value", kRegSz, "x");
                      w.openResultForExistingKeys = kErrorAccessDenied;
                    },
                    0},
        FailureCase{"MissingValue", [](auto& w) { w.SetValue(kTestKey, "Other", kRegSz, "x"); },
                    FakeWindows::kFirstHandle},
        FailureCase{"TextOneByteOverTheBuffer",
                    [](auto& w) { w.SetValue(kTestKey, "Value", kRegSz, std::string(1025, 'z')); },
                    FakeWindows::kFirstHandle},
        // A registry that claims to have returned more than the buffer holds is not believed.
        FailureCase{"SizeClaimedBeyondTheBuffer",
                    [](auto& w) {
                      w.SetValue(kTestKey, "Value", kRegSz, "abc");
                      w.claimedSize = 2048;
                    },
                    FakeWindows::kFirstHandle}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// FindSysInfoInRegistry: which registry entries it reads and what it finds.

constexpr const char* kToolPath = "C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe";
constexpr const char* kToolFolder = "C:\\Program Files\\Common Files\\MSInfo";
constexpr const char* kFolderProgram = "C:\\Program Files\\Common Files\\MSInfo\\MSINFO32.EXE";

void SetPath(FakeWindows& w, std::uint32_t type, const std::string& bytes) {
  w.SetValue(kMsinfoKey, "PATH", type, bytes);
}
void SetLocation(FakeWindows& w, const std::string& folder, bool withProgram) {
  w.SetValue(kMsinfoLocationKey, "MSINFO", kRegSz, folder + '\0');
  if (withProgram) w.normalFiles.insert(folder + "\\MSINFO32.EXE");
}

struct LookupCase {
  const char* name;
  std::function<void(FakeWindows&)> setUp;
  std::optional<std::string> found;
  bool locationRead;  // the second key opened
};
void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class FindSysInfoInRegistryCases : public ::testing::TestWithParam<LookupCase> {};

TEST_P(FindSysInfoInRegistryCases, ReadsThePathValueThenTheLocation) {
  const auto& param = GetParam();
  FakeWindows windows;
  param.setUp(windows);

  EXPECT_EQ(windows.FindInRegistry(), param.found);
  EXPECT_EQ(windows.Opened(kMsinfoLocationKey), param.locationRead);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, FindSysInfoInRegistryCases,
    ::testing::Values(LookupCase{"PathValueWinsAndTheLocationIsNeverRead",
                                 [](auto& w) {
                                   SetPath(w, kRegSz, std::string(kToolPath) + '\0');
                                   SetLocation(w, "C:\\Elsewhere", true);
                                 },
                                 kToolPath, false},
                      // Starting the empty path then fails: the tool is unavailable.
                      LookupCase{"PathValueOfAnExpandableTypeGivesAnEmptyPath",
                                 [](auto& w) {
                                   SetPath(w, kRegExpandSz, "%ProgramFiles%\\msinfo32.exe\0"s);
                                   SetLocation(w, kToolFolder, true);
                                 },
                                 "", false},
                      LookupCase{"LocationWithTheProgram",
                                 [](auto& w) { SetLocation(w, kToolFolder, true); }, kFolderProgram,
                                 true},
                      LookupCase{"PathTooLongFallsBackToTheLocation",
                                 [](auto& w) {
                                   SetPath(w, kRegSz, std::string(1500, 'p'));
                                   SetLocation(w, kToolFolder, true);
                                 },
                                 kFolderProgram, true},
                      LookupCase{"LocationWithoutTheProgram",
                                 [](auto& w) { SetLocation(w, kToolFolder, false); }, std::nullopt,
                                 true},
                      LookupCase{"NeitherValue", [](auto&) {}, std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A value of size 0 is an invalid argument: its key is still closed, and the
// lookup does not go on to the location.
TEST(FindSysInfoInRegistry, APathValueOfSizeZeroFailsWithoutReadingTheLocation) {
  FakeWindows windows;
  SetPath(windows, kRegSz, "");
  SetLocation(windows, kToolFolder, true);
  std::string keyVal = "before";

  EXPECT_THROW(GetKeyValue(windows, kHkeyLocalMachine, kMsinfoKey, kMsinfoPathValue, keyVal),
               std::invalid_argument);
  EXPECT_EQ(windows.closes, std::vector<RegHandle>{FakeWindows::kFirstHandle});
  EXPECT_THROW(windows.FindInRegistry(), std::invalid_argument);
  EXPECT_FALSE(windows.Opened(kMsinfoLocationKey));
}

// ---------------------------------------------------------------------------------------------
// StartSysInfo: starts what the platform finds and says whether it did.

class FakePlatform : public SysInfoPlatform {
 public:
  std::function<std::optional<std::string>()> findTool;
  bool startFails = false;
  std::vector<std::string> starts;  // every attempt, also the failing ones

  std::optional<std::string> FindTool() override { return findTool(); }
  void StartProgram(const std::string& path) override {
    starts.push_back(path);
    if (startFails) throw std::runtime_error("Cannot start " + path);
  }
};

TEST(StartSysInfo, StartsTheToolFoundAndSaysWhetherItDid) {
  struct Case {
    const char* what;
    std::function<std::optional<std::string>()> findTool;
    bool startFails;
    std::vector<std::string> starts;
    bool started;
  };
  const auto found = []() -> std::optional<std::string> { return kToolPath; };
  const Case cases[] = {
      {"found", found, false, {kToolPath}, true},
      {"not found", [] { return std::optional<std::string>(); }, false, {}, false},
      {"cannot be started", found, true, {kToolPath}, false},
      {"lookup fails",
       []() -> std::optional<std::string> { throw std::invalid_argument("size 0"); },
       false,
       {},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform platform;
    platform.findTool = c.findTool;
    platform.startFails = c.startFails;

    EXPECT_EQ(StartSysInfo(platform), c.started);
    EXPECT_EQ(platform.starts, c.starts);
  }
}

}  // namespace
}  // namespace corvane
