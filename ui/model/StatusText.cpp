#include "StatusText.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace corvane {

namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6";

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Where each character (code point) of text starts, and text's end.
std::vector<std::size_t> CharacterStarts(const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuation(text[i])) starts.push_back(i);
  }
  starts.push_back(text.size());
  return starts;
}

// The text's middle given up to fit width, its start and end kept in about
// equal parts.
std::string ElideMiddle(const std::string& text, const TextMeasure& measure, int width) {
  const std::vector<std::size_t> starts = CharacterStarts(text);
  const std::size_t characters = starts.size() - 1;
  for (std::size_t keep = characters; keep-- > 0;) {
    const std::size_t head = (keep + 1) / 2;
    const std::size_t tail = keep / 2;
    std::string candidate =
        text.substr(0, starts[head]) + kEllipsis + text.substr(starts[characters - tail]);
    if (measure.Width(candidate) <= width) return candidate;
  }
  return kEllipsis;
}

// A word (a path) cut to width: its end from the last folder separator on,
// the file name, stays whole where it can, and its middle gives way.
std::string ElidePath(const std::string& word, const TextMeasure& measure, int width) {
  const std::size_t separator = word.find_last_of("/\\");
  if (separator != std::string::npos && separator > 0) {
    const std::string tail = word.substr(separator);
    for (std::size_t head = separator; head > 0;) {
      do {
        --head;
      } while (head > 0 && IsContinuation(word[head]));
      if (head == 0) break;
      std::string candidate = word.substr(0, head) + kEllipsis + tail;
      if (measure.Width(candidate) <= width) return candidate;
    }
  }
  return ElideMiddle(word, measure, width);
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = text.find(' ', start);
    words.push_back(text.substr(start, space - start));
    if (space == std::string::npos) return words;
    start = space + 1;
  }
}

}  // namespace

std::string FitStatus(const std::string& text, const TextMeasure& measure) {
  if (measure.Fits(text)) return text;
  const std::vector<std::string> words = Words(text);
  const int box = measure.BoxWidth();
  for (int width = box; width > 0; width -= std::max(1, box / 8)) {
    std::string candidate;
    for (const std::string& word : words) {
      if (!candidate.empty() || &word != &words.front()) candidate += ' ';
      candidate += measure.Width(word) > width ? ElidePath(word, measure, width) : word;
    }
    if (measure.Fits(candidate)) return candidate;
  }
  return ElideMiddle(text, measure, box);
}

}  // namespace corvane
