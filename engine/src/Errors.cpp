#include "engine/Errors.h"

#include <new>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

namespace corvane {

namespace {

// The length of the UTF-8 sequence that starts at text[i], or 0 where the
// bytes there are no valid UTF-8 (a stray or missing continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned low = 0x80;   // the second byte's range, narrowed against overlong
  unsigned high = 0xbf;  // forms, surrogates and code points past U+10FFFF
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xbf) return 0;
  }
  return length;
}

}  // namespace

std::string ShownName(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(name.size());
  const auto escape = [&](unsigned char c) { shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]}; };
  for (std::size_t i = 0, length = 1; i < name.size(); i += length) {
    const auto c = static_cast<unsigned char>(name[i]);
    length = c < 0x80 ? 1 : Utf8Length(name, i);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      escape(c);
    } else if (length == 0) {
      escape(c);  // not UTF-8: a terminal could take it for a control
      length = 1;
    } else if (c == 0xc2 && static_cast<unsigned char>(name[i + 1]) <= 0x9f) {
      // A control character of the second set, as UTF-8 writes it.
      escape(c);
      escape(static_cast<unsigned char>(name[i + 1]));
    } else {
      shown.append(name.substr(i, length));
    }
  }
  return shown;
}

std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted.append(ShownName(name)).push_back('\'');
  return quoted;
}

ConversionError OutOfMemory(std::string_view what, std::string_view reason) {
  std::string description = "Cannot convert ";
  description.append(what).append(": ").append(reason);
  return ConversionError(ErrorNumber::kOutOfMemory, description);
}

ConversionError FailureOf(const std::exception_ptr& failure, std::string_view input) {
  try {
    std::rethrow_exception(failure);
  } catch (const ConversionError& e) {
    return e;
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error& e) {  // a thread or a lock the system refused
    return OutOfMemory(Quoted(input), e.code().message());
  } catch (const std::exception& e) {
    return OutOfMemory(Quoted(input), e.what());
  } catch (...) {
  }
  return OutOfMemory(Quoted(input));
}

ConversionError SystemFailure(ErrorNumber number, const std::string& what, int errnoValue) {
  return ConversionError(number, what + ": " + SystemReason(errnoValue), errnoValue);
}

namespace {

std::ostream& WriteErrorText(std::ostream& out, int number, std::string_view description) {
  out << "Error";
  if (number != 0) out << ' ' << number;
  return out << ": " << description;
}

}  // namespace

std::string ErrorText(int number, std::string_view description) {
  std::ostringstream text;
  WriteErrorText(text, number, description);
  return std::move(text).str();
}

std::ostream& WriteErrorText(std::ostream& out, const ConversionError& error) {
  return WriteErrorText(out, error.Code(), error.Description());
}

}  // namespace corvane
