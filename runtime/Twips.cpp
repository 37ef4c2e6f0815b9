#include "runtime/Twips.h"

#include <cmath>

namespace cartulane {

int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

Dpi ScreenDpi() {
    Dpi dpi;
    if (HDC screen = ::GetDC(nullptr)) {
        dpi.x = ::GetDeviceCaps(screen, LOGPIXELSX);
        dpi.y = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    return dpi;
}

}  // namespace cartulane
