#include "engine/Errors.h"

#include <cstring>
#include <string>

namespace corvane {

namespace {

// strerror_r comes in two flavours: the XSI one returns an int and fills the
// buffer, the GNU one returns a pointer that may or may not be the buffer.
[[maybe_unused]] const char* ReasonText(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ReasonText(const char* result, const char* /*buffer*/) {
  return result;
}

}  // namespace

std::string SystemReason(int errnoValue) {
  char buffer[256] = {};
#ifdef _WIN32
  const char* text = strerror_s(buffer, sizeof buffer, errnoValue) == 0 ? buffer : nullptr;
#else
  const char* text = ReasonText(strerror_r(errnoValue, buffer, sizeof buffer), buffer);
#endif
  if (text == nullptr || *text == '\0') {
    return "Unknown error " + std::to_string(errnoValue);
  }
  return text;
}

}  // namespace corvane
