// Where the windows' controls go, in twips (1440 to the inch: 15 to a pixel
// at 96 dots per inch), client-area coordinates. Both views scale these by
// the screen's resolution and the font.
#pragma once

namespace corvane::layout {

struct TwipRect {
  int left, top, width, height;
};

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

// The main window: a client area of 6315 x 3660 twips (421 x 244 pixels).
inline constexpr int kMainWidth = 6315;
inline constexpr int kMainHeight = 3660;
inline constexpr TwipRect kLstFiles{0, 0, 6255, 2595};
inline constexpr TwipRect kCmdOpenCSV{4440, 2760, 975, 375};
inline constexpr TwipRect kCmdGenerate{4440, 3240, 975, 375};
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
inline constexpr TwipRect kLblDisclaimer{255, 2625, 3870, 825};
inline constexpr TwipRect kCmdOK{4245, 2625, 1260, 345};
inline constexpr TwipRect kCmdSysInfo{4260, 3075, 1245, 345};
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
