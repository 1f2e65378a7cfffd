// Text at the Windows edge. Inside, both programs keep paths and messages in
// UTF-8; the Windows API takes and gives UTF-16. Defined in Windows builds
// only (FileSystemWindows.cpp), for the code that talks to Windows.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring WideText(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf8Text(std::wstring_view wide);

}  // namespace corvane
