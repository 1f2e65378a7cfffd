#include "platform/WindowsApi.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstring>
#include <iostream>
#include <streambuf>

#include "Console.h"
#include "engine/WindowsText.h"

namespace corvane::cli {

namespace {

// The length of text without an unfinished UTF-8 sequence at its end.
std::size_t CompleteLength(const char* text, std::size_t size) {
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto c = static_cast<unsigned char>(text[size - back]);
    if ((c & 0xc0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t needed = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
    return needed > back ? size - back : size;
  }
  return size;
}

// Writes UTF-8 text to a console as UTF-16. Needs no memory of its own: a
// sequence cut at the end of the buffer waits there for the rest.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }

 protected:
  int_type overflow(int_type c) override {
    Flush();
    if (pptr() == epptr()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    Flush();
    return 0;
  }

 private:
  void Flush() {
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    std::size_t complete = CompleteLength(pbase(), size);
    if (complete == 0 && size == sizeof buffer_) complete = size;  // no UTF-8 at all
    wchar_t wide[sizeof buffer_];
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, pbase(), static_cast<int>(complete), wide,
                                             static_cast<int>(sizeof buffer_));
    DWORD written = 0;
    if (length > 0) ::WriteConsoleW(console_, wide, static_cast<DWORD>(length), &written, nullptr);
    std::memmove(buffer_, buffer_ + complete, size - complete);
    setp(buffer_, buffer_ + sizeof buffer_);
    pbump(static_cast<int>(size - complete));
  }

  HANDLE console_;
  char buffer_[4096];
};

void ShowOnConsole(std::ostream& stream, DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
    return;  // a file or a pipe: UTF-8 bytes
  }
  // Never freed: the streams are flushed once more as the program ends.
  stream.rdbuf(new ConsoleBuffer(handle));
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8Text(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void ShowUtf8OnConsoles() {
  ShowOnConsole(std::cout, STD_OUTPUT_HANDLE);
  ShowOnConsole(std::cerr, STD_ERROR_HANDLE);
}

}  // namespace corvane::cli
