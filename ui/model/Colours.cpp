#include "Colours.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

double RelativeLuminance(Rgb colour) {
  const auto linear = [](int channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(colour.red) + 0.7152 * linear(colour.green) + 0.0722 * linear(colour.blue);
}

// The least contrast of colour with any of under.
double LeastContrast(Rgb colour, std::initializer_list<Rgb> under) {
  double least = 21.0;
  for (const Rgb& u : under) least = std::min(least, ContrastRatio(colour, u));
  return least;
}

}  // namespace

double ContrastRatio(Rgb a, Rgb b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb FeedbackColour(Rgb background) {
  Rgb colour{0, 0, 255};
  for (int step = 1; step <= 20 && ContrastRatio(colour, background) < kReadableContrast; ++step) {
    const int mixed = 255 * step / 20;
    colour = Rgb{mixed, mixed, 255};
  }
  return colour;
}

Rgb FocusFrameColour(Rgb highlight, Rgb text, std::initializer_list<Rgb> under) {
  for (const Rgb& candidate : {highlight, text}) {
    if (LeastContrast(candidate, under) >= kReadableContrast) return candidate;
  }
  const Rgb black{0, 0, 0};
  const Rgb white{255, 255, 255};
  return LeastContrast(black, under) >= LeastContrast(white, under) ? black : white;
}

}  // namespace corvane
