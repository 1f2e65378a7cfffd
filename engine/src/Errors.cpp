#include "engine/Errors.h"

#include <string>

namespace corvane {

std::string ShownName(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool c1InUtf8 = c == 0xc2 && i + 1 < name.size() &&
                          static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                          static_cast<unsigned char>(name[i + 1]) <= 0x9f;
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    } else if (c1InUtf8) {
      // A control character of the second set, as UTF-8 writes it.
      const auto next = static_cast<unsigned char>(name[++i]);
      shown += {'\\', 'x', 'c', '2', '\\', 'x', kHex[next >> 4], kHex[next & 15]};
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted.append(ShownName(name)).push_back('\'');
  return quoted;
}

std::string ErrorText(int number, std::string_view description) {
  std::string text = number != 0 ? "Error " + std::to_string(number) + ": " : "Error: ";
  text.append(description);
  return text;
}

}  // namespace corvane
