// Window geometry is laid out in twips: 15 twips to a device-independent pixel.
#pragma once

#include <QRect>
#include <QSize>

namespace corvane {

inline constexpr int kTwipsPerPixel = 15;

constexpr int TwipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

inline QRect TwipRect(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
               TwipsToPixels(height));
}

inline QSize TwipSize(int width, int height) {
  return QSize(TwipsToPixels(width), TwipsToPixels(height));
}

}  // namespace corvane
