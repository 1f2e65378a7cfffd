#include "StatusText.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <vector>

namespace corvane {

namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6";

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Where each character (code point) of text[begin, end) starts, as offsets
// from begin, and the length.
std::vector<std::size_t> CharacterStarts(const std::string& text, std::size_t begin,
                                         std::size_t end) {
  std::vector<std::size_t> starts;
  for (std::size_t i = begin; i < end; ++i) {
    if (!IsContinuation(text[i])) starts.push_back(i - begin);
  }
  starts.push_back(end - begin);
  return starts;
}

// A part of the text that may give way: [begin, end).
struct Span {
  std::size_t begin;
  std::size_t end;
};

// A path in the text: where it starts, its last folder separator, its end.
struct Path {
  std::size_t begin;
  std::size_t lastSeparator;
  std::size_t end;
};

// A path starts after the text's start, a space, a quote, a colon or a
// parenthesis, with a separator ("/home", "\\server") or a drive ("C:\").
// "Input/output error" holds no path.
bool StartsPath(const std::string& text, std::size_t at) {
  if (at > 0 && std::strchr(" '\":(", text[at - 1]) == nullptr) return false;
  if (IsSeparator(text[at])) return true;
  return at + 2 < text.size() && IsAsciiLetter(text[at]) && text[at + 1] == ':' &&
         IsSeparator(text[at + 2]);
}

// The paths in a status text. A quoted name ends at its closing quote (one
// followed by the text's end, a space or punctuation); any other path runs
// to the text's end ("Converting file:/home/u/My Files/a.csv").
std::vector<Path> Paths(const std::string& text) {
  std::vector<Path> paths;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (!StartsPath(text, at)) continue;
    std::size_t end = text.size();
    if (at > 0 && text[at - 1] == '\'') {
      for (std::size_t q = at; q < text.size(); ++q) {
        if (text[q] == '\'' && (q + 1 == text.size() || std::strchr(" :;,.", text[q + 1]))) {
          end = q;
          break;
        }
      }
    }
    std::size_t lastSeparator = at;
    for (std::size_t i = at; i < end; ++i) {
      if (IsSeparator(text[i])) lastSeparator = i;
    }
    paths.push_back({at, lastSeparator, end});
    at = end;
  }
  return paths;
}

// The text with each span longer than keep characters cut to its first
// (keep + 1) / 2 and last keep / 2 characters around an ellipsis.
std::string Cut(const std::string& text, const std::vector<Span>& spans, std::size_t keep) {
  std::string cut;
  std::size_t from = 0;
  for (const Span& span : spans) {
    cut.append(text, from, span.begin - from);
    const std::vector<std::size_t> starts = CharacterStarts(text, span.begin, span.end);
    const std::size_t characters = starts.size() - 1;
    if (characters <= keep) {
      cut.append(text, span.begin, span.end - span.begin);
    } else {
      cut.append(text, span.begin, starts[(keep + 1) / 2]);
      cut += kEllipsis;
      const std::size_t tail = span.begin + starts[characters - keep / 2];
      cut.append(text, tail, span.end - tail);
    }
    from = span.end;
  }
  cut.append(text, from, std::string::npos);
  return cut;
}

// The largest n in [0, most] for which fits(n) holds, given that fits(0)
// does; n = most is tried first.
std::size_t Largest(std::size_t most, const std::function<bool(std::size_t)>& fits) {
  if (fits(most)) return most;
  std::size_t good = 0;
  std::size_t bad = most;
  while (bad - good > 1) {
    const std::size_t middle = good + (bad - good) / 2;
    (fits(middle) ? good : bad) = middle;
  }
  return good;
}

// The spans cut to the fewest characters that make the text fit; nothing
// when even cutting them to an ellipsis is not enough.
bool FitSpans(const std::string& text, const std::vector<Span>& spans, const TextMeasure& measure,
              std::string& fitted) {
  if (spans.empty() || !measure.Fits(Cut(text, spans, 0))) return false;
  std::size_t longest = 0;
  for (const Span& span : spans) {
    longest = std::max(longest, CharacterStarts(text, span.begin, span.end).size() - 1);
  }
  fitted =
      Cut(text, spans,
          Largest(longest, [&](std::size_t keep) { return measure.Fits(Cut(text, spans, keep)); }));
  return true;
}

}  // namespace

std::string FitStatus(const std::string& text, const TextMeasure& measure) {
  if (measure.Fits(text)) return text;
  const std::vector<Path> paths = Paths(text);
  std::vector<Span> folders;
  std::vector<Span> whole;
  for (const Path& path : paths) {
    if (path.lastSeparator > path.begin) folders.push_back({path.begin, path.lastSeparator});
    whole.push_back({path.begin, path.end});
  }
  std::string fitted;
  if (FitSpans(text, folders, measure, fitted) || FitSpans(text, whole, measure, fitted)) {
    return fitted;
  }
  // Still too long with every path cut to an ellipsis: the text loses its end.
  const std::string shortest = Cut(text, whole, 0);
  const std::vector<std::size_t> starts = CharacterStarts(shortest, 0, shortest.size());
  if (starts.size() < 2) return kEllipsis;
  const auto withEnd = [&](std::size_t characters) {
    return shortest.substr(0, starts[characters]) + kEllipsis;
  };
  return withEnd(Largest(starts.size() - 2, [&](std::size_t characters) {
    return measure.Fits(withEnd(characters));
  }));
}

}  // namespace corvane
