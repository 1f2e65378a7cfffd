// The system-information launcher behind the About window's "System Info..." command: finds the
// operating system's system-information tool and starts it.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace corvane {

// What the launcher needs from the operating system.
class SysInfoPlatform {
 public:
  virtual ~SysInfoPlatform() = default;

  // The full path of the system-information tool, or nothing when none is installed. May throw
  // (Windows: a registry value of size 0).
  virtual std::optional<std::string> FindTool() = 0;

  // Starts the program file in a normal window that gets the focus, without waiting for it.
  // Throws when it cannot be started.
  virtual void StartProgram(const std::string& path) = 0;
};

// Finds the tool and starts it: true once it has been started, false when it cannot be found or
// started (the caller tells the user). Never throws for a failure of the platform.
bool StartSysInfo(SysInfoPlatform& platform);

// StartSysInfo on the layer of the system this program runs on.
bool StartSysInfo();

// The layer of the system this program runs on: on Windows the tool as the registry names it
// (FindSysInfoInRegistry), elsewhere the first desktop system-information program on PATH.
std::unique_ptr<SysInfoPlatform> MakeNativeSysInfoPlatform();

}  // namespace corvane
