#include "skin/PushButton.h"

#include "runtime/Handles.h"
#include "skin/Painters.h"
#include "skin/Primitives.h"
#include "skin/Properties.h"

namespace cartulane::skin {

namespace {

HBITMAP StateBitmap(HWND window, int state) {
    return reinterpret_cast<HBITMAP>(::GetPropW(window, StateBitmapName(state).c_str()));
}

}  // namespace

void CreateButtonImages(HWND window) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    {
        const WindowDC windowDC(window, WindowDC::Whole);
        for (int n = 0; n < 4; ++n) {
            HDC dc = ::CreateCompatibleDC(windowDC.get());
            HBITMAP bitmap = ::CreateCompatibleBitmap(windowDC.get(), bounds.Width, bounds.Height);
            if (dc && bitmap) {
                ::SelectObject(dc, bitmap);
            } else {
                // Half a pair is of no use; the state stays empty and blends draw nothing.
                if (dc) ::DeleteDC(dc);
                if (bitmap) ::DeleteObject(bitmap);
                dc = nullptr;
                bitmap = nullptr;
            }
            SetNumber(window, StateDCName(n).c_str(), reinterpret_cast<LONG_PTR>(dc));
            SetNumber(window, StateBitmapName(n).c_str(), reinterpret_cast<LONG_PTR>(bitmap));
        }
    }
    PaintButtonFaces(window);
}

void ResizeButtonImages(HWND window) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    {
        const WindowDC windowDC(window, WindowDC::Whole);
        for (int n = 0; n < 4; ++n) {
            HDC dc = StateImage(window, n);
            if (!dc) continue;
            HBITMAP bitmap = ::CreateCompatibleBitmap(windowDC.get(), bounds.Width, bounds.Height);
            if (!bitmap) continue;  // keeps the old image rather than none
            const HGDIOBJ old = ::SelectObject(dc, bitmap);
            if (old && old == StateBitmap(window, n)) ::DeleteObject(old);
            SetNumber(window, StateBitmapName(n).c_str(), reinterpret_cast<LONG_PTR>(bitmap));
        }
    }
    PaintButtonFaces(window);
}

void FreeButtonImages(HWND window) {
    for (int n = 0; n < 4; ++n) {
        if (HDC dc = StateImage(window, n)) ::DeleteDC(dc);
        if (HBITMAP bitmap = StateBitmap(window, n)) ::DeleteObject(bitmap);
        RemoveNumber(window, StateDCName(n).c_str());
        RemoveNumber(window, StateBitmapName(n).c_str());
    }
}

void SetRoundRegion(HWND window) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    if (HRGN region = ::CreateRoundRectRgn(0, 0, bounds.Width + 1, bounds.Height + 1, 3, 3)) {
        if (!::SetWindowRgn(window, region, TRUE)) ::DeleteObject(region);
    }
}

}  // namespace cartulane::skin
