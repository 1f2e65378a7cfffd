#include "sysinfo/SysInfo.h"

#include <array>
#include <stdexcept>

namespace corvane {

namespace {

constexpr std::uint32_t kBufferSize = 1024;

// Closes an opened key however GetKeyValue leaves, so a value of size 0 (which throws) does not
// leave the key open behind it.
class OpenKey {
 public:
  explicit OpenKey(SysInfoPlatform& platform) : platform_(platform) {}
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (open_) platform_.RegCloseKey(handle_);
  }

  RegHandle* Out() { return &handle_; }
  RegHandle Handle() const { return handle_; }
  void MarkOpen() { open_ = true; }
  // Closes the key now; also a handle left 0 by a failed open goes to RegCloseKey, which refuses
  // it.
  void Close() {
    open_ = false;
    platform_.RegCloseKey(handle_);
  }

 private:
  SysInfoPlatform& platform_;
  RegHandle handle_ = 0;
  bool open_ = false;
};

}  // namespace

bool GetKeyValue(SysInfoPlatform& platform, std::uint32_t KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal) {
  OpenKey key(platform);
  // Read access only: a standard user may not write under HKEY_LOCAL_MACHINE, and asking for
  // write rights there would make an installed tool look missing.
  if (platform.RegOpenKeyExA(KeyRoot, KeyName, 0, kKeyRead, key.Out()) != kErrorSuccess) {
    KeyVal.clear();
    key.Close();
    return false;
  }
  key.MarkOpen();

  std::array<unsigned char, kBufferSize> buffer{};  // all NUL
  std::uint32_t size = kBufferSize;
  std::uint32_t type = 0;
  if (platform.RegQueryValueExA(key.Handle(), SubKeyRef, &type, buffer.data(), &size) !=
          kErrorSuccess ||
      size > kBufferSize) {
    KeyVal.clear();
    key.Close();
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

  key.Close();
  return true;
}

namespace {

// True once the tool has been started; false when it cannot be found. Throws on other failures.
bool FindAndStart(SysInfoPlatform& platform) {
  std::string path;
  if (GetKeyValue(platform, kHkeyLocalMachine, kMsinfoKey, kMsinfoPathValue, path)) {
    platform.StartProgram(path);
    return true;
  }
  std::string folder;
  if (GetKeyValue(platform, kHkeyLocalMachine, kMsinfoLocationKey, kMsinfoLocationValue, folder)) {
    const std::string program = folder + kMsinfoProgramFile;
    if (!platform.FindNormalFile(program).empty()) {
      platform.StartProgram(program);
      return true;
    }
  }
  return false;
}

}  // namespace

bool StartSysInfo(SysInfoPlatform& platform) {
  try {
    return FindAndStart(platform);
  } catch (...) {
    // A value of size 0, a program that cannot be started, any other failure: the tool is
    // unavailable.
    return false;
  }
}

bool StartSysInfo() { return StartSysInfo(*MakeNativeSysInfoPlatform()); }

}  // namespace corvane
