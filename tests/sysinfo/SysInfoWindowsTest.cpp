// The launcher's Windows layer against the real registry, file system and CreateProcessA.
//
// The file and start tests make their own files. The registry tests need values put in place
// beforehand (tests/system/test_windows.py does it in a throw-away wine prefix) and are skipped
// unless the environment says which:
//   CORVANE_CHECK_REGISTRY_KEY     a key under HKLM holding the values of RegistryValuesOfEveryType
//   CORVANE_CHECK_SYSINFO_STATE    neither | missing-program | location | path: which of the
//                                  tool's two registry entries are present
//   CORVANE_CHECK_SYSINFO_PROGRAM  the program file StartSysInfo should start (location, path)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "support/Files.h"
#include "support/Programs.h"
#include "sysinfo/Registry.h"
#include "sysinfo/SysInfo.h"
#include "sysinfo/SysInfoWindows.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

fs::path ThisProgramsFolder() {
  char self[MAX_PATH] = {};
  return fs::path(std::string(self, GetModuleFileNameA(nullptr, self, MAX_PATH))).parent_path();
}

// The test's own folder (test::TempFolder), in the system's spelling.
struct TemporaryFolder : test::TempFolder {
  fs::path Path() const { return fs::path(TempFolder::Path()).make_preferred(); }
};

// --- FindNormalFile ----------------------------------------------------------------------------

struct FindCase {
  const char* name;
  const char* pattern;
  const char* expected;
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindNormalFileWindows : public ::testing::TestWithParam<FindCase> {
 protected:
  void SetUp() override {
    Create("normal.txt", FILE_ATTRIBUTE_NORMAL);
    Create("readonly.txt", FILE_ATTRIBUTE_READONLY);
    Create("archived.txt", FILE_ATTRIBUTE_ARCHIVE);
    Create("hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    Create("system.txt", FILE_ATTRIBUTE_SYSTEM);
    Create("MSINFO32.EXE", FILE_ATTRIBUTE_NORMAL);
    fs::create_directories(folder_.Path() / "folder.txt");
  }

  void Create(const std::string& name, DWORD attributes) {
    const auto path = (folder_.Path() / name).string();
    std::ofstream(path) << "x";
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    // A file left normal reads back as archived; the others must keep what they were given.
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
      ASSERT_EQ(GetFileAttributesA(path.c_str()) & attributes, attributes)
          << name << " did not keep its attributes";
    }
  }

  TemporaryFolder folder_;
};

TEST_P(FindNormalFileWindows, AnswersTheNameOfANormalFileOrNothing) {
  const std::string pattern = folder_.Path().string() + "\\" + GetParam().pattern;
  EXPECT_EQ(FindNormalFile(pattern), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FindNormalFileWindows,
    ::testing::Values(FindCase{"Normal", "normal.txt", "normal.txt"},
                      FindCase{"ReadOnly", "readonly.txt", "readonly.txt"},
                      FindCase{"Archived", "archived.txt", "archived.txt"},
                      FindCase{"Hidden", "hidden.txt", ""}, FindCase{"System", "system.txt", ""},
                      FindCase{"Folder", "folder.txt", ""}, FindCase{"Missing", "missing.txt", ""},
                      FindCase{"CaseOfTheNameIgnored", "msinfo32.exe", "MSINFO32.EXE"},
                      FindCase{"PatternSkipsWhatIsNotNormal", "s*.txt", ""},
                      FindCase{"PatternFindsTheNormalOne", "*only.txt", "readonly.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- StartProgram ------------------------------------------------------------------------------

TEST(StartProgramWindows, StartsTheProgramInANormalWindowWithoutWaiting) {
  const auto probe = ThisProgramsFolder() / "sysinfo_start_probe.exe";
  ASSERT_TRUE(fs::exists(probe)) << probe << " is built beside the tests";
  TemporaryFolder folder;
  const auto tool = folder.Path() / "tool with spaces" / "MSINFO32.EXE";
  fs::create_directories(tool.parent_path());
  fs::copy_file(probe, tool);

  MakeNativeSysInfoPlatform()->StartProgram(tool.string());

  const auto started = test::WaitForFile(tool.string() + ".started");
  ASSERT_TRUE(started.has_value()) << "the program never ran";
  EXPECT_EQ(test::UnixLines(*started),
            "usesshowwindow=1 show=" + std::to_string(SW_SHOWNORMAL) + "\n");
}

TEST(StartProgramWindows, ThrowsWhenTheProgramCannotBeStarted) {
  TemporaryFolder folder;
  const auto notAProgram = folder.Path() / "notes.txt";
  std::ofstream(notAProgram) << "not a program";
  const auto platform = MakeNativeSysInfoPlatform();

  EXPECT_THROW(platform->StartProgram((folder.Path() / "missing.exe").string()), std::system_error);
  EXPECT_THROW(platform->StartProgram(notAProgram.string()), std::system_error);
  EXPECT_THROW(platform->StartProgram(folder.Path().string()), std::system_error);
  EXPECT_ANY_THROW(platform->StartProgram(""));
}

// --- Values put in the registry beforehand -----------------------------------------------------

TEST(RegistryWindows, RegistryValuesOfEveryType) {
  const std::string key = Environment("CORVANE_CHECK_REGISTRY_KEY");
  if (key.empty()) GTEST_SKIP() << "CORVANE_CHECK_REGISTRY_KEY names no prepared key";
  const auto registry = MakeWindowsRegistry();
  struct Expectation {
    const char* value;
    bool found;
    std::string keyVal;  // starts as "before"
  };
  const Expectation expectations[] = {
      {"Text", true, "C:\\Tools\\msinfo32.exe"},
      {"EmptyText", true, ""},
      {"Number", true, "1234"},
      {"Expandable", true, "before"},
      {"Text1023", true, std::string(1023, 'a')},
      {"Text1024", false, ""},
      {"Missing", false, ""},
  };
  for (const auto& expected : expectations) {
    std::string keyVal = "before";
    EXPECT_EQ(GetKeyValue(*registry, kHkeyLocalMachine, key, expected.value, keyVal),
              expected.found)
        << expected.value;
    EXPECT_EQ(keyVal, expected.keyVal) << expected.value;
  }
  std::string keyVal = "before";
  EXPECT_THROW(GetKeyValue(*registry, kHkeyLocalMachine, key, "EmptyBinary", keyVal),
               std::invalid_argument);
  EXPECT_FALSE(GetKeyValue(*registry, kHkeyLocalMachine, key + "\\Missing", "Text", keyVal));
}

// The real registry, recording which keys are opened.
class RecordingRegistry : public Registry {
 public:
  long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override {
    opened.push_back(subKey);
    return real_->RegOpenKeyExA(root, subKey, options, access, result);
  }
  long RegQueryValueExA(RegHandle key, const std::string& name, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    return real_->RegQueryValueExA(key, name, type, data, size);
  }
  long RegCloseKey(RegHandle key) override { return real_->RegCloseKey(key); }

  std::vector<std::string> opened;

 private:
  std::unique_ptr<Registry> real_ = MakeWindowsRegistry();
};

TEST(RegistryWindows, StartSysInfoFollowsTheRegistry) {
  const std::string state = Environment("CORVANE_CHECK_SYSINFO_STATE");
  const std::string program = Environment("CORVANE_CHECK_SYSINFO_PROGRAM");
  if (state.empty()) GTEST_SKIP() << "CORVANE_CHECK_SYSINFO_STATE names no prepared registry";
  std::optional<std::string> found;
  std::vector<std::string> opened = {kMsinfoKey, kMsinfoLocationKey};
  if (state == "location") {
    found = program;
  } else if (state == "path") {
    found = program;
    opened = {kMsinfoKey};  // the second key is never read
  } else if (state != "neither" && state != "missing-program") {
    FAIL() << "unknown CORVANE_CHECK_SYSINFO_STATE " << state;
  }
  RecordingRegistry registry;

  EXPECT_EQ(FindSysInfoInRegistry(registry, FindNormalFile), found);
  EXPECT_EQ(registry.opened, opened);

  // And for real: the program found is started and marks that it ran.
  const auto marker = program + ".started";
  if (found) DeleteFileA(marker.c_str());
  EXPECT_EQ(StartSysInfo(), found.has_value());
  if (found) {
    EXPECT_TRUE(test::WaitForFile(marker).has_value()) << program << " never ran";
  }
}

}  // namespace
}  // namespace corvane
