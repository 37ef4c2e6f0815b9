#include "skin/Primitives.h"
#include "skin/Properties.h"

#include "runtime/Handles.h"
#include "runtime/Twips.h"

#include <commctrl.h>
#include <olectl.h>

namespace cartulane::skin {

namespace {

constexpr UINT kSkinTimerMilliseconds = 15;

RECT Rect(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }


// A memory context compatible with display holding bitmap, or empty (bitmap freed).
MemoryDC HoldingBitmap(HDC display, HBITMAP bitmap) {
    if (!bitmap) return {};
    HDC dc = ::CreateCompatibleDC(display);
    if (!dc) {
        ::DeleteObject(bitmap);
        return {};
    }
    ::SelectObject(dc, bitmap);
    return MemoryDC(dc, bitmap);
}

}  // namespace

void MemoryDC::Free() noexcept {
    if (dc_) ::DeleteDC(std::exchange(dc_, nullptr));
    if (bitmap_) ::DeleteObject(std::exchange(bitmap_, nullptr));
}

int DrawTextRect(HDC dc, const std::wstring& text, int left, int top, int width, int height, UINT format) {
    RECT r = Rect(left, top, width, height);
    return ::DrawTextW(dc, text.c_str(), -1, &r, format);
}

int FillSolidRect(HDC dc, int left, int top, int width, int height, COLORREF color) {
    const UniqueBrush brush(::CreateSolidBrush(color));
    const RECT r = Rect(left, top, width, height);
    return ::FillRect(dc, &r, brush.get());
}

int FrameSolidRect(HDC dc, int left, int top, int width, int height, COLORREF color) {
    const UniqueBrush brush(::CreateSolidBrush(color));
    const RECT r = Rect(left, top, width, height);
    return ::FrameRect(dc, &r, brush.get());
}

BOOL DrawFocusBox(HDC dc, int left, int top, int width, int height) {
    const RECT r = Rect(left, top, width, height);
    return ::DrawFocusRect(dc, &r);
}

BOOL GetWindowBounds(HWND window, WindowBounds* bounds) {
    RECT r{};
    const BOOL result = ::GetWindowRect(window, &r);
    *bounds = WindowBounds{r.left, r.top, r.right, r.bottom, r.right - r.left, r.bottom - r.top};
    return result;
}

int GetBorderOffsets(HWND window, int* offsetX, int* offsetY) {
    RECT outer{}, client{};
    ::GetWindowRect(window, &outer);
    ::GetClientRect(window, &client);
    int dx = (outer.right - outer.left) - (client.right - client.left);
    int dy = (outer.bottom - outer.top) - (client.bottom - client.top);
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    if (style & WS_VSCROLL) dx -= ::GetSystemMetrics(SM_CXVSCROLL);
    if (style & WS_HSCROLL) dy -= ::GetSystemMetrics(SM_CYHSCROLL);
    *offsetX = RoundHalfEven(dx / 2.0);
    *offsetY = RoundHalfEven(dy / 2.0);
    return 1;
}

// An address of this library's: no other code of the window uses it as a timer's id.
UINT_PTR SkinTimerId() { return reinterpret_cast<UINT_PTR>(&kSkinTimerMilliseconds); }

UINT_PTR StartSkinTimer(HWND window) {
    if (::GetPropW(window, kTimerId)) return 0;
    const UINT_PTR id = ::SetTimer(window, SkinTimerId(), kSkinTimerMilliseconds, nullptr);
    ::SetPropW(window, kTimerId, reinterpret_cast<HANDLE>(id));
    return id;
}

BOOL StopSkinTimer(HWND window) {
    const auto id = reinterpret_cast<UINT_PTR>(::GetPropW(window, kTimerId));
    if (id == 0) return 0;
    // By the skin's own id: SetTimer's answer is only promised to be non-zero.
    const BOOL result = ::KillTimer(window, SkinTimerId());
    ::SetPropW(window, kTimerId, nullptr);
    return result;
}

void TrackMouseLeave(HWND window, bool useUser32) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
    if (useUser32) {
        ::TrackMouseEvent(&track);
    } else {
        ::_TrackMouseEvent(&track);
    }
}

MemoryDC CreateMemoryDC(int width, int height) {
    // The screen's context from the system's cache: cheap, unlike a new display context.
    const WindowDC display(nullptr);
    if (!display.get()) return {};
    return HoldingBitmap(display.get(), ::CreateCompatibleBitmap(display.get(), width, height));
}

int DrawSkinImage(HDC dest, int destX, int destY, int destW, int destH, HDC source, int srcX, int srcY, int srcW,
                  int srcH, int leftW, int topH, int rightW, int bottomH, std::optional<COLORREF> transColor) {
    if (destW == 0 || destH == 0 || srcW == 0 || srcH == 0) return 0;
    // Opaque and at least as large as the borders: drawn straight onto the destination.
    // Otherwise composed first in a context of the target's size, which keeps overlapping
    // pieces inside it, and then copied (transparently when asked).
    const bool direct = !transColor && destW >= leftW + rightW && destH >= topH + bottomH;
    MemoryDC work;
    if (!direct) work = CreateMemoryDC(destW, destH);
    HDC m = direct ? dest : work.get();
    const int x0 = direct ? destX : 0, y0 = direct ? destY : 0;
    const int oldMode = ::SetStretchBltMode(m, COLORONCOLOR);  // stretched pixels copied, never blended
    const auto copy = [&](int x, int y, int w, int h, int sx, int sy) {
        return ::BitBlt(m, x0 + x, y0 + y, w, h, source, sx, sy, SRCCOPY);
    };
    const auto stretch = [&](int x, int y, int w, int h, int sx, int sy, int sw, int sh) {
        return ::StretchBlt(m, x0 + x, y0 + y, w, h, source, sx, sy, sw, sh, SRCCOPY);
    };
    BOOL drawn = TRUE;
    if (leftW <= 0 && rightW <= 0 && topH <= 0 && bottomH <= 0) {
        drawn = stretch(0, 0, destW, destH, srcX + leftW, srcY + topH, srcW - rightW, srcH - bottomH);
    } else {
        const int middleW = destW - leftW - rightW, middleH = destH - topH - bottomH;
        const int cellMiddleW = srcW - leftW - rightW, cellMiddleH = srcH - topH - bottomH;
        if (leftW > 0 && topH > 0) copy(0, 0, leftW, topH, srcX, srcY);
        if (rightW > 0 && topH > 0) copy(destW - rightW, 0, rightW, topH, srcX + srcW - rightW, srcY);
        if (leftW > 0 && bottomH > 0) copy(0, destH - bottomH, leftW, bottomH, srcX, srcY + srcH - bottomH);
        if (rightW > 0 && bottomH > 0)
            copy(destW - rightW, destH - bottomH, rightW, bottomH, srcX + srcW - rightW, srcY + srcH - bottomH);
        if (leftW > 0) stretch(0, topH, leftW, middleH, srcX, srcY + topH, leftW, cellMiddleH);
        if (rightW > 0)
            stretch(destW - rightW, topH, rightW, middleH, srcX + srcW - rightW, srcY + topH, rightW, cellMiddleH);
        if (topH > 0) stretch(leftW, 0, middleW, topH, srcX + leftW, srcY, cellMiddleW, topH);
        if (bottomH > 0)
            stretch(leftW, destH - bottomH, middleW, bottomH, srcX + leftW, srcY + srcH - bottomH, cellMiddleW, bottomH);
        drawn = stretch(leftW, topH, middleW, middleH, srcX + leftW, srcY + topH, cellMiddleW, cellMiddleH);
    }
    if (direct) {
        ::SetStretchBltMode(m, oldMode);
        return drawn;
    }
    if (!transColor) return ::BitBlt(dest, destX, destY, destW, destH, m, 0, 0, SRCCOPY);
    TransparentBlit(dest, destX, destY, destW, destH, m, 0, 0, *transColor & 0xFFFFFF);
    return 1;
}

void TransparentBlit(HDC dest, int destX, int destY, int width, int height, HDC source, int srcX, int srcY,
                     COLORREF transColor, HPALETTE palette) {
    const WindowDC display(nullptr);
    if (!display.get()) return;
    // A halftone palette only where a palette matters: a colour given by palette index or
    // entry, or a screen with a palette.
    UniqueGdi<HPALETTE> halftone;
    const BYTE kind = static_cast<BYTE>(transColor >> 24);
    if (!palette && (kind == 1 || kind == 2 || (::GetDeviceCaps(display.get(), RASTERCAPS) & RC_PALETTE))) {
        halftone.reset(::CreateHalftonePalette(display.get()));
        palette = halftone.get();
    }
    COLORREF key = transColor;
    ::OleTranslateColor(transColor, palette, &key);
    key &= 0xFFFFFF;

    // The three contexts go before the palette they may hold (declared after it).
    const MemoryDC work = HoldingBitmap(display.get(), ::CreateCompatibleBitmap(display.get(), width, height));
    const MemoryDC image = HoldingBitmap(display.get(), ::CreateCompatibleBitmap(display.get(), width, height));
    const MemoryDC mask = HoldingBitmap(display.get(), ::CreateBitmap(width, height, 1, 1, nullptr));
    if (!work || !image || !mask) return;
    if (palette) {
        for (HDC dc : {work.get(), image.get()}) {
            ::SelectPalette(dc, palette, TRUE);
            ::RealizePalette(dc);
        }
    }
    ::BitBlt(work.get(), 0, 0, width, height, dest, destX, destY, SRCCOPY);
    ::SetBkColor(image.get(), ::GetBkColor(source));
    ::SetTextColor(image.get(), ::GetTextColor(source));
    ::BitBlt(image.get(), 0, 0, width, height, source, srcX, srcY, SRCCOPY);
    // The mask: 1 where the image has the key.
    ::SetBkColor(image.get(), key);
    ::SetTextColor(image.get(), RGB(255, 255, 255));
    ::BitBlt(mask.get(), 0, 0, width, height, image.get(), 0, 0, SRCCOPY);
    // The image black under the mask, the background cleared elsewhere, then both together.
    ::SetTextColor(image.get(), RGB(0, 0, 0));
    ::SetBkColor(image.get(), RGB(255, 255, 255));
    ::BitBlt(image.get(), 0, 0, width, height, mask.get(), 0, 0, 0x00220326);
    ::BitBlt(work.get(), 0, 0, width, height, mask.get(), 0, 0, SRCAND);
    ::BitBlt(work.get(), 0, 0, width, height, image.get(), 0, 0, SRCPAINT);
    ::BitBlt(dest, destX, destY, width, height, work.get(), 0, 0, SRCCOPY);
    for (HDC dc : {work.get(), image.get()}) ::SelectPalette(dc, static_cast<HPALETTE>(::GetStockObject(DEFAULT_PALETTE)), TRUE);
}

}  // namespace cartulane::skin
