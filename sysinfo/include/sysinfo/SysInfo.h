// The system-information launcher behind the About window's "System Info..." command.
//
// GetKeyValue reads one registry value as text; StartSysInfo finds the system-information tool
// through two registry entries and starts it, and says whether it did. Both talk to the operating
// system only through SysInfoPlatform, so the same routines run against the real Windows
// registry, the stand-in layer on other systems, and the fakes of the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

// A registry key handle, wide enough for a Win32 HKEY. 0 is "no handle".
using RegHandle = std::uintptr_t;

// Root keys, value types, access rights and results, with their Win32 values.
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kRegSz = 1;           // text
inline constexpr std::uint32_t kRegDword = 4;        // 32-bit number, little-endian
inline constexpr std::uint32_t kKeyRead = 0x20019u;  // read control + query, enumerate, notify

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;

// Registry locations of the system-information tool, all under HKEY_LOCAL_MACHINE.
inline constexpr const char* kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kMsinfoPathValue = "PATH";
inline constexpr const char* kMsinfoLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kMsinfoLocationValue = "MSINFO";
inline constexpr const char* kMsinfoProgramFile = "\\MSINFO32.EXE";

// What the launcher needs from the operating system. Registry calls return Win32 results:
// 0 success, 2 not found, 5 access denied, 234 (ERROR_MORE_DATA) value larger than the buffer.
class SysInfoPlatform {
 public:
  virtual ~SysInfoPlatform() = default;

  virtual long RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                             std::uint32_t access, RegHandle* result) = 0;
  // On entry *size is the capacity of data in bytes; on success it holds the bytes returned and
  // *type the value's type.
  virtual long RegQueryValueExA(RegHandle key, const std::string& valueName, std::uint32_t* type,
                                unsigned char* data, std::uint32_t* size) = 0;
  virtual long RegCloseKey(RegHandle key) = 0;

  // The name of the first normal file matching the pattern, or "". Read-only and archived files
  // count; hidden files, system files and folders do not.
  virtual std::string FindNormalFile(const std::string& pattern) = 0;

  // Starts the program file in a normal window that gets the focus, without waiting for it.
  // Throws when it cannot be started.
  virtual void StartProgram(const std::string& path) = 0;
};

// Reads value SubKeyRef of key KeyName under KeyRoot into KeyVal. True when the key was opened and
// the value queried, whatever its type: text (REG_SZ) comes back without its terminating NUL
// (text stored without one comes back whole; text stops at an inner NUL), a REG_DWORD as its
// unsigned decimal digits, and any other type leaves KeyVal as it was.
// False (with KeyVal emptied) when the key or value is missing, refused or longer than 1024
// bytes. A value of size 0 throws std::invalid_argument.
bool GetKeyValue(SysInfoPlatform& platform, std::uint32_t KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal);

// Starts the system-information tool: true once it has been started, false when it cannot be
// found or started (the caller tells the user). Never throws for a failure of the platform.
bool StartSysInfo(SysInfoPlatform& platform);

// StartSysInfo on the layer for the system this program runs on.
bool StartSysInfo();

// The layer for the system this program runs on.
std::unique_ptr<SysInfoPlatform> MakeNativeSysInfoPlatform();

}  // namespace corvane
