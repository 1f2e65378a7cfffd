// The launcher's layer on Windows: the real registry, FindFirstFileA and CreateProcessA.
#include "platform/WindowsApi.h"

#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/Handle.h"
#include "sysinfo/SysInfo.h"
#include "sysinfo/SysInfoWindows.h"

namespace corvane {

namespace {

// Predefined root keys are 32-bit values that Windows sign-extends into a 64-bit HKEY
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there).
HKEY RootKey(std::uint32_t root) {
  return reinterpret_cast<HKEY>(
      static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

HKEY Key(RegHandle handle) { return reinterpret_cast<HKEY>(handle); }

class WindowsRegistry final : public Registry {
 public:
  long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override {
    HKEY key = nullptr;
    const LSTATUS status = ::RegOpenKeyExA(RootKey(root), subKey.c_str(), options, access, &key);
    *result = status == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(key) : 0;
    return status;
  }

  long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override {
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LSTATUS status =
        ::RegQueryValueExA(Key(key), valueName.c_str(), nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return status;
  }

  long RegCloseKey(RegHandle key) override { return ::RegCloseKey(Key(key)); }
};

class WindowsSysInfoPlatform final : public SysInfoPlatform {
 public:
  std::optional<std::string> FindTool() override {
    return FindSysInfoInRegistry(registry_, FindNormalFile);
  }

  void StartProgram(const std::string& path) override {
    if (path.empty()) throw std::invalid_argument("No program file to start");
    // The program file is named on its own; the command line repeats it, quoted, as its
    // first argument.
    std::string quoted = "\"" + path + "\"";
    std::vector<char> commandLine(quoted.begin(), quoted.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
      throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                              "Cannot start " + path);
    }
    // Not waited for: the handles are only let go.
    const platform::Handle thread(process.hThread);
    const platform::Handle started(process.hProcess);
  }

 private:
  WindowsRegistry registry_;
};

}  // namespace

std::unique_ptr<Registry> MakeWindowsRegistry() { return std::make_unique<WindowsRegistry>(); }

std::string FindNormalFile(const std::string& pattern) {
  WIN32_FIND_DATAA found{};
  const platform::SearchHandle search(::FindFirstFileA(pattern.c_str(), &found));
  if (!search) return {};
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  std::string name;
  do {
    if ((found.dwFileAttributes & kNotNormal) == 0) {
      name = found.cFileName;
      break;
    }
  } while (::FindNextFileA(search.Get(), &found));
  return name;
}

std::unique_ptr<SysInfoPlatform> MakeNativeSysInfoPlatform() {
  return std::make_unique<WindowsSysInfoPlatform>();
}

}  // namespace corvane
