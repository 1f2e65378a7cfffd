// Where Windows registers the system-information tool, and GetKeyValue, which reads one registry
// value as text. The registry is reached through Registry: the real one on Windows
// (sysinfo/SysInfoWindows.h), a fake in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvane {

// A registry key handle, wide enough for a Win32 HKEY. 0 is "no handle".
using RegHandle = std::uintptr_t;

// Root key, value types, access rights and result, with their Win32 values.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kRegSz = 1;           // text
inline constexpr std::uint32_t kRegDword = 4;        // 32-bit number, little-endian
inline constexpr std::uint32_t kKeyRead = 0x20019u;  // read control + query, enumerate, notify
inline constexpr long kErrorSuccess = 0;

// Registry locations of the system-information tool, all under HKEY_LOCAL_MACHINE.
inline constexpr const char* kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kMsinfoPathValue = "PATH";
inline constexpr const char* kMsinfoLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kMsinfoLocationValue = "MSINFO";
inline constexpr const char* kMsinfoProgramFile = "\\MSINFO32.EXE";

// The registry calls GetKeyValue makes, shaped as their Win32 namesakes and answering Win32
// results (0 for success).
class Registry {
 public:
  virtual ~Registry() = default;

  virtual long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                             std::uint32_t access, RegHandle* result) = 0;
  // On entry *size is the capacity of data in bytes; on success it holds the bytes returned and
  // *type the value's type.
  virtual long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* size) = 0;
  virtual long RegCloseKey(RegHandle key) = 0;
};

// Reads value SubKeyRef of key KeyName under KeyRoot into KeyVal. True when the key was opened and
// the value queried, whatever its type: text (REG_SZ) comes back without its terminating NUL
// (text stored without one comes back whole; text stops at an inner NUL), a REG_DWORD as its
// unsigned decimal digits, and any other type leaves KeyVal as it was.
// False (with KeyVal emptied) when the key or value is missing, refused or longer than 1024
// bytes. A value of size 0 throws std::invalid_argument.
bool GetKeyValue(Registry& registry, std::uint32_t KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal);

// The name of the first normal file matching a pattern, or "".
using FindNormalFileFunction = std::function<std::string(const std::string& pattern)>;

// The tool as the registry names it: value "PATH" of kMsinfoKey whenever GetKeyValue reads it
// (empty for a value that is not text, so starting it fails), else the folder in value "MSINFO"
// of kMsinfoLocationKey followed by "\MSINFO32.EXE" when that normal file exists; nothing
// otherwise. A value of size 0 throws std::invalid_argument.
std::optional<std::string> FindSysInfoInRegistry(Registry& registry,
                                                 const FindNormalFileFunction& findNormalFile);

}  // namespace corvane
