#include "skin/Primitives.h"
#include "skin/Properties.h"

#include "runtime/Handles.h"
#include "runtime/Twips.h"

#include <commctrl.h>
#include <olectl.h>

namespace cartulane::skin {

namespace {

constexpr UINT_PTR kSkinTimerId = 1;
constexpr UINT kSkinTimerMilliseconds = 15;

RECT Rect(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

UniqueMemoryDC DisplayDC() { return UniqueMemoryDC(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr)); }

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

std::wstring GetWindowCaption(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)), L'\0');
    if (!text.empty()) text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()) + 1)));
    return text;
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

UINT_PTR StartSkinTimer(HWND window) {
    if (::GetPropW(window, kTimerId)) return 0;
    const UINT_PTR id = ::SetTimer(window, kSkinTimerId, kSkinTimerMilliseconds, nullptr);
    ::SetPropW(window, kTimerId, reinterpret_cast<HANDLE>(id));
    return id;
}

BOOL StopSkinTimer(HWND window) {
    const auto id = reinterpret_cast<UINT_PTR>(::GetPropW(window, kTimerId));
    if (id == 0) return 0;
    const BOOL result = ::KillTimer(window, id);
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
    const UniqueMemoryDC display = DisplayDC();
    if (!display) return {};
    return HoldingBitmap(display.get(), ::CreateCompatibleBitmap(display.get(), width, height));
}

int DrawSkinImage(HDC dest, int destX, int destY, int destW, int destH, HDC source, int srcX, int srcY, int srcW,
                  int srcH, int leftW, int topH, int rightW, int bottomH, std::optional<COLORREF> transColor) {
    if (destW == 0 || destH == 0 || srcW == 0 || srcH == 0) return 0;
    const MemoryDC work = CreateMemoryDC(destW, destH);
    HDC m = work.get();
    ::SetStretchBltMode(m, COLORONCOLOR);  // stretched pixels copied, never blended
    if (leftW <= 0 && rightW <= 0 && topH <= 0 && bottomH <= 0) {
        ::StretchBlt(m, 0, 0, destW, destH, source, srcX + leftW, srcY + topH, srcW - rightW, srcH - bottomH, SRCCOPY);
    } else {
        const int middleW = destW - leftW - rightW, middleH = destH - topH - bottomH;
        const int cellMiddleW = srcW - leftW - rightW, cellMiddleH = srcH - topH - bottomH;
        if (leftW > 0 && topH > 0) ::BitBlt(m, 0, 0, leftW, topH, source, srcX, srcY, SRCCOPY);
        if (rightW > 0 && topH > 0) ::BitBlt(m, destW - rightW, 0, rightW, topH, source, srcX + srcW - rightW, srcY, SRCCOPY);
        if (leftW > 0 && bottomH > 0)
            ::BitBlt(m, 0, destH - bottomH, leftW, bottomH, source, srcX, srcY + srcH - bottomH, SRCCOPY);
        if (rightW > 0 && bottomH > 0)
            ::BitBlt(m, destW - rightW, destH - bottomH, rightW, bottomH, source, srcX + srcW - rightW,
                     srcY + srcH - bottomH, SRCCOPY);
        if (leftW > 0)
            ::StretchBlt(m, 0, topH, leftW, middleH, source, srcX, srcY + topH, leftW, cellMiddleH, SRCCOPY);
        if (rightW > 0)
            ::StretchBlt(m, destW - rightW, topH, rightW, middleH, source, srcX + srcW - rightW, srcY + topH, rightW,
                         cellMiddleH, SRCCOPY);
        if (topH > 0) ::StretchBlt(m, leftW, 0, middleW, topH, source, srcX + leftW, srcY, cellMiddleW, topH, SRCCOPY);
        if (bottomH > 0)
            ::StretchBlt(m, leftW, destH - bottomH, middleW, bottomH, source, srcX + leftW, srcY + srcH - bottomH,
                         cellMiddleW, bottomH, SRCCOPY);
        ::StretchBlt(m, leftW, topH, middleW, middleH, source, srcX + leftW, srcY + topH, cellMiddleW, cellMiddleH,
                     SRCCOPY);
    }
    if (!transColor) return ::BitBlt(dest, destX, destY, destW, destH, m, 0, 0, SRCCOPY);
    TransparentBlit(dest, destX, destY, destW, destH, m, 0, 0, *transColor & 0xFFFFFF);
    return 1;
}

void TransparentBlit(HDC dest, int destX, int destY, int width, int height, HDC source, int srcX, int srcY,
                     COLORREF transColor, HPALETTE palette) {
    const UniqueMemoryDC display = DisplayDC();
    if (!display) return;
    UniqueGdi<HPALETTE> halftone;
    if (!palette) {
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
    for (HDC dc : {work.get(), image.get()}) {
        ::SelectPalette(dc, palette, TRUE);
        ::RealizePalette(dc);
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
