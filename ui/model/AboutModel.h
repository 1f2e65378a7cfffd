// The About window's texts, set when it loads, and its System Info command.
#pragma once

#include <functional>
#include <string>

namespace corvane {

namespace about {
inline constexpr const char* kDescription =
    "A utility from Corvane - No Warranty applies or should be assumed etc.";
inline constexpr const char* kDisclaimer =
    "One day I'll write some help. I sometimes bother to read mail at csv2crc@example.com"
    " but don't hold your breath.";
inline constexpr const char* kOK = "OK";
inline constexpr const char* kSysInfo = "&System Info...";
inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";
}  // namespace about

// What `frmAbout`'s Form_Load shows: the caption "About " + title, the title,
// "Version 1.0.1", the description and the disclaimer; and the name screen
// readers give the icon (the program's title).
struct AboutTexts {
  std::string caption;
  std::string title;
  std::string version;
  std::string description;
  std::string disclaimer;
  std::string iconName;
};
AboutTexts AboutWindowTexts();

// System Info: starts the system-information tool, or says in a message box
// (text, then title) that it is unavailable. startSysInfo answers whether
// the tool started (the views pass corvane::StartSysInfo, the launcher of
// the system they run on).
using SysInfoLauncher = std::function<bool()>;
using SysInfoMessage = std::function<void(const std::string& text, const std::string& title)>;
void RunSysInfo(const SysInfoLauncher& startSysInfo, const SysInfoMessage& showMessage);

}  // namespace corvane
