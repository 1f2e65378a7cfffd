// Prints the version information of an executable (by default this one) as "Name=value" lines,
// read back through GetFileVersionInfoA and VerQueryValueA as Explorer's Details tab reads it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  char self[MAX_PATH] = {};
  std::string file =
      argc > 1 ? argv[1] : std::string(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) {
    std::fprintf(stderr, "%s: no version information (error %lu)\n", file.c_str(), GetLastError());
    return 1;
  }
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) {
    std::fprintf(stderr, "%s: GetFileVersionInfoA failed (error %lu)\n", file.c_str(),
                 GetLastError());
    return 1;
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD) {
    std::fprintf(stderr, "%s: no fixed version information\n", file.c_str());
    return 1;
  }
  const auto part = [](DWORD word, bool high) {
    return static_cast<unsigned>(high ? HIWORD(word) : LOWORD(word));
  };
  std::printf("FILEVERSION=%u,%u,%u,%u\n", part(fixed->dwFileVersionMS, true),
              part(fixed->dwFileVersionMS, false), part(fixed->dwFileVersionLS, true),
              part(fixed->dwFileVersionLS, false));
  std::printf("PRODUCTVERSION=%u,%u,%u,%u\n", part(fixed->dwProductVersionMS, true),
              part(fixed->dwProductVersionMS, false), part(fixed->dwProductVersionLS, true),
              part(fixed->dwProductVersionLS, false));
  std::printf("FILETYPE=%u\n", static_cast<unsigned>(fixed->dwFileType));

  struct Translation {
    WORD language;
    WORD codePage;
  }* translations = nullptr;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof *translations) {
    std::fprintf(stderr, "%s: no translation table\n", file.c_str());
    return 1;
  }
  std::printf("Translation=%04x%04x\n", static_cast<unsigned>(translations[0].language),
              static_cast<unsigned>(translations[0].codePage));

  const char* names[] = {"Comments",     "CompanyName",      "FileDescription", "FileVersion",
                         "InternalName", "OriginalFilename", "ProductName",     "ProductVersion"};
  for (const char* name : names) {
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s",
                  static_cast<unsigned>(translations[0].language),
                  static_cast<unsigned>(translations[0].codePage), name);
    char* value = nullptr;
    if (VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &length) &&
        value != nullptr) {
      std::printf("%s=%s\n", name, value);
    } else {
      std::printf("%s is missing\n", name);
    }
  }
  return 0;
}
