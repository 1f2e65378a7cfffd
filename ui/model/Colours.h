// The colours the windows choose for themselves, as plain RGB, each readable
// on what is around it whatever the theme: the feedback line's blue and the
// focus frame.
#pragma once

#include <initializer_list>

namespace corvane {

struct Rgb {
  int red, green, blue;  // 0 to 255
  bool operator==(const Rgb&) const = default;
};

// The contrast ratio of two colours as the web accessibility guidelines
// define it: from 1 (the same) to 21 (black on white).
double ContrastRatio(Rgb a, Rgb b);

// The contrast at which text reads well; the focus frame asks the same, so
// that a style's shading under it keeps it well above the 3:1 a frame needs.
inline constexpr double kReadableContrast = 4.5;

// The feedback line's colour: pure blue where it reads well on background,
// else the first of twenty ever lighter blues that does (a dark theme).
Rgb FeedbackColour(Rgb background);

// The focus frame's colour on a control: the theme's highlight where it
// reads well on every colour under the frame, else the control's text
// colour where that does, else black or white, whichever stands out more.
Rgb FocusFrameColour(Rgb highlight, Rgb text, std::initializer_list<Rgb> under);

}  // namespace corvane
