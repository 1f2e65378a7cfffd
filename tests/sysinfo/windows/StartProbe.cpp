// Stands in for the system-information tool: when started it writes "<its path>.started" with
// how it was asked to show its window, then exits.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  char self[MAX_PATH] = {};
  const std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const std::string temporary = path + ".tmp";
  FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "usesshowwindow=%d show=%d\n",
               (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? 1 : 0, startup.wShowWindow);
  std::fclose(out);
  // Appear whole: the test waits for this name.
  return MoveFileA(temporary.c_str(), (path + ".started").c_str()) ? 0 : 1;
}
