#include "AboutModel.h"

#include "engine/ProgramIdentity.h"

namespace corvane {

AboutTexts AboutWindowTexts() {
  const std::string title = kProgramTitle;
  return {"About " + title,
          title,
          "Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
              std::to_string(kVersionRevision),
          about::kDescription,
          about::kDisclaimer,
          title};
}

void RunSysInfo(const SysInfoLauncher& startSysInfo, const SysInfoMessage& showMessage) {
  if (!startSysInfo()) showMessage(about::kSysInfoUnavailable, kProgramTitle);
}

}  // namespace corvane
