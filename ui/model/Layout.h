// Where the windows' controls go, in twips (1440 to the inch: 15 to a pixel
// at 96 dots per inch), client-area coordinates, and the one rule by which a
// view turns twips into pixels: by its screen's resolution, and by its font
// against the reference font the layout is made for. Every view draws
// exactly these rectangles.
#pragma once

#include <algorithm>
#include <cmath>

namespace corvane::layout {

struct TwipRect {
  int left, top, width, height;
};

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch
inline constexpr int kReferenceDpi = 96;

// The reference font, for which the layout is exact: 9 point at 96 dots per
// inch. A view compares its font with it by the height its toolkit gives:
// - the character height (the em: Win32's LOGFONT), 12 pixels;
// - the line height, ascent plus descent (Qt's font metrics), 14 pixels in
//   DejaVu Sans, the sans-serif of Linux desktops. (The two are not one:
//   under a line rule Windows' own 9-point font, whose lines are taller,
//   would grow the window at the system's default settings; under the
//   character rule a Linux font with tall lines would not fit its labels.)
enum class FontHeight { kCharacter, kLine };
inline constexpr double ReferenceFontHeight(FontHeight kind) {
  return kind == FontHeight::kCharacter ? 12.0 : 14.0;
}

// How much the whole layout grows for a font of the given height (pixels at
// 96 dots per inch): by its height over the reference font's, never below
// the reference layout, so that every caption still fits its control.
inline double FontFactor(double height, FontHeight kind) {
  return std::max(1.0, height / ReferenceFontHeight(kind));
}

// A length in twips as pixels at a resolution (dots per inch) and font factor.
inline int Pixels(int twips, double dpi, double fontFactor) {
  return static_cast<int>(std::lround(twips * dpi * fontFactor / kTwipsPerInch));
}

// A size given in pixels at the reference (96 dots per inch, the reference
// font), at a resolution and font factor.
inline int ScaledPixels(int pixels, double dpi, double fontFactor) {
  return static_cast<int>(std::lround(pixels * dpi * fontFactor / kReferenceDpi));
}

// The main window: a client area of 6315 x 3660 twips (421 x 244 pixels).
inline constexpr int kMainWidth = 6315;
inline constexpr int kMainHeight = 3660;
inline constexpr TwipRect kLstFiles{0, 0, 6255, 2595};
// Open CSV and Generate start 90 twips (6 pixels) left of the original 4440,
// their right edge where it was, so that "Open CSV" fits inside the wider
// frames of styles such as Adwaita.
inline constexpr TwipRect kCmdOpenCSV{4350, 2760, 1065, 375};
inline constexpr TwipRect kCmdGenerate{4350, 3240, 1065, 375};
inline constexpr TwipRect kCmdAbout{5520, 2760, 735, 375};
inline constexpr TwipRect kCmdExit{5520, 3240, 735, 375};
inline constexpr TwipRect kLblFeedback{120, 2640, 4095, 255};
inline constexpr TwipRect kLblStatus{120, 3000, 4095, 615};

// The About window: a client area of 5730 x 3555 twips.
inline constexpr int kAboutWidth = 5730;
inline constexpr int kAboutHeight = 3555;
inline constexpr TwipRect kPicIcon{240, 240, 540, 540};
inline constexpr TwipRect kLblTitle{1050, 240, 3885, 480};
inline constexpr TwipRect kLblVersion{1050, 780, 3885, 225};
inline constexpr TwipRect kLblDescription{1050, 1125, 3885, 1170};
// The disclaimer starts 60 twips above the original 2625 and is 900 high
// instead of 825: its four lines in DejaVu Sans keep clear of the window's
// bottom edge.
inline constexpr TwipRect kLblDisclaimer{255, 2565, 3870, 900};
// OK and System Info share one column, 4155 to 5535 (the original 4245 to
// 5505 and 4260 to 5505), wide enough for "System Info..." in today's
// sans-serif fonts and inside the wider frames of styles such as Adwaita.
inline constexpr TwipRect kCmdOK{4155, 2625, 1380, 345};
inline constexpr TwipRect kCmdSysInfo{4155, 3075, 1380, 345};
// The etched separator `Line1`: the shadow line (1) one pixel high, the
// light line (0) two pixels high just below it, both to the same right end.
inline constexpr int kLine1ShadowLeft = 90;
inline constexpr int kLine1ShadowTop = 2445;
inline constexpr int kLine1LightLeft = 105;
inline constexpr int kLine1LightTop = 2460;
inline constexpr int kLine1Right = 5654;
// The title's font: 20 pixels at the reference font, bold.
inline constexpr int kTitlePixels = 20;

}  // namespace corvane::layout
