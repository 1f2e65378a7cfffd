// The colours the windows choose for themselves, as plain RGB, readable on
// what is around them whatever the theme: the feedback line's blue.
#pragma once

namespace corvane {

struct Rgb {
  int red, green, blue;  // 0 to 255
  bool operator==(const Rgb&) const = default;
};

// The contrast ratio of two colours as the web accessibility guidelines
// define it: from 1 (the same) to 21 (black on white).
double ContrastRatio(Rgb a, Rgb b);

// The contrast at which text reads well.
inline constexpr double kReadableContrast = 4.5;

// The feedback line's colour: pure blue where it reads well on background,
// else the first of twenty ever lighter blues that does (a dark theme).
Rgb FeedbackColour(Rgb background);

}  // namespace corvane
