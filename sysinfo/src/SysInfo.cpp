#include "sysinfo/SysInfo.h"

#include <array>
#include <stdexcept>

#include "sysinfo/Registry.h"

namespace corvane {

namespace {

constexpr std::uint32_t kBufferSize = 1024;

// A key opened through a Registry, closed when this goes: in every case, also
// the handle 0 that a failed open leaves (the registry refuses it).
class OpenedKey {
 public:
  explicit OpenedKey(Registry& registry) : registry_(registry) {}
  ~OpenedKey() { registry_.RegCloseKey(key_); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  RegHandle Get() const { return key_; }
  RegHandle* Receive() { return &key_; }

 private:
  Registry& registry_;
  RegHandle key_ = 0;
};

}  // namespace

bool GetKeyValue(Registry& registry, std::uint32_t KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal) {
  std::array<unsigned char, kBufferSize> buffer{};  // all NUL
  std::uint32_t size = kBufferSize;
  std::uint32_t type = 0;
  OpenedKey key(registry);
  // Read access only: a standard user may not write under HKEY_LOCAL_MACHINE, and asking for
  // write rights there would make an installed tool look missing.
  const bool read =
      registry.RegOpenKeyExA(KeyRoot, KeyName, 0, kKeyRead, key.Receive()) == kErrorSuccess &&
      registry.RegQueryValueExA(key.Get(), SubKeyRef, &type, buffer.data(), &size) ==
          kErrorSuccess &&
      size <= kBufferSize;
  if (!read) {
    KeyVal.clear();
    return false;
  }

  // The last returned byte is the text's terminating NUL when it was stored with one.
  if (size == 0) {
    throw std::invalid_argument("Registry value '" + SubKeyRef + "' of '" + KeyName +
                                "' is empty: invalid position 0");
  }
  const std::uint32_t length = buffer[size - 1] == 0 ? size - 1 : size;

  if (type == kRegSz) {
    // Text ends at its first NUL: what follows an inner NUL is not part of the value as any
    // program taking the text as a C string would see it.
    const auto* first = reinterpret_cast<const char*>(buffer.data());
    std::string text(first, length);
    if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    KeyVal = std::move(text);
  } else if (type == kRegDword) {
    // The number is little-endian; bytes not returned stay 0 from the buffer's fill.
    const std::uint32_t number =
        static_cast<std::uint32_t>(buffer[0]) | static_cast<std::uint32_t>(buffer[1]) << 8 |
        static_cast<std::uint32_t>(buffer[2]) << 16 | static_cast<std::uint32_t>(buffer[3]) << 24;
    KeyVal = std::to_string(number);
  }
  // Any other type (an expandable string, binary data) leaves KeyVal as it was.
  return true;
}

std::optional<std::string> FindSysInfoInRegistry(Registry& registry,
                                                 const FindNormalFileFunction& findNormalFile) {
  std::string path;
  if (GetKeyValue(registry, kHkeyLocalMachine, kMsinfoKey, kMsinfoPathValue, path)) return path;
  std::string folder;
  if (GetKeyValue(registry, kHkeyLocalMachine, kMsinfoLocationKey, kMsinfoLocationValue, folder)) {
    std::string program = folder + kMsinfoProgramFile;
    if (!findNormalFile(program).empty()) return program;
  }
  return std::nullopt;
}

bool StartSysInfo(SysInfoPlatform& platform) {
  try {
    const std::optional<std::string> tool = platform.FindTool();
    if (!tool) return false;
    platform.StartProgram(*tool);
    return true;
  } catch (...) {
    // A registry value of size 0, a program that cannot be started, any other failure: the tool
    // is unavailable.
    return false;
  }
}

bool StartSysInfo() { return StartSysInfo(*MakeNativeSysInfoPlatform()); }

}  // namespace corvane
