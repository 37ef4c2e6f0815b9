#pragma once
// Twips (1/1440 inch) to and from pixels at the screen's real DPI.

#include <windows.h>

namespace cartulane {

// Rounds to the nearest integer, ties to even.
int RoundHalfEven(double value);

struct Dpi {
    int x = 96;
    int y = 96;
};

// LOGPIXELSX/Y of the screen.
Dpi ScreenDpi();

inline double PixelsToTwips(int pixels, int dpi) { return pixels * 1440.0 / dpi; }
inline int TwipsToPixels(double twips, int dpi) { return RoundHalfEven(twips * dpi / 1440.0); }

}  // namespace cartulane
