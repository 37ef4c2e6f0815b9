#include "skin/ControlPaint.h"

#include "runtime/Handles.h"
#include "runtime/Twips.h"
#include "skin/Colours.h"
#include "skin/Painters.h"
#include "skin/Primitives.h"
#include "skin/Properties.h"
#include "skin/SkinState.h"

#include <commctrl.h>

namespace cartulane::skin {

namespace {

// The position a full bar stands for.
constexpr float kProgressFull = 30000.0f;

int Round(float value) { return RoundHalfEven(static_cast<double>(value)); }

}  // namespace

COLORREF FrameColour(HWND window) { return ::IsWindowEnabled(window) ? kFrameEnabled : kFrameDisabled; }

void DrawFlatFrame(HWND window) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const WindowDC dc(window, WindowDC::Whole);
    FrameSolidRect(dc.get(), 0, 0, bounds.Width, bounds.Height, FrameColour(window));
    FrameSolidRect(dc.get(), 1, 1, bounds.Width - 2, bounds.Height - 2, kWhite);
}

void PaintEditCombo(HWND window, HDC dc) {
    Look look = GetLook(window);
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    FillSolidRect(dc, 0, 0, bounds.Width, bounds.Height, kWhite);
    FrameSolidRect(dc, 0, 0, bounds.Width, bounds.Height, FrameColour(window));
    PaintComboButton(window, dc, look, true);
}

bool InComboButtonZone(HWND window, LPARAM lParam) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const int x = LoWord(lParam), y = HiWord(lParam);
    return x >= bounds.Width - ::GetSystemMetrics(SM_CXVSCROLL) - 2 && x <= bounds.Width - 2 && y >= 2 &&
           y <= bounds.Height - 2;
}

float ProgressFraction(HWND window) {
    return static_cast<float>(::SendMessageW(window, PBM_GETPOS, 0, 0)) / kProgressFull;
}

void PaintProgressBar(HWND window, HDC dc) {
    RECT client{};
    ::GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    const MemoryDC m = CreateMemoryDC(w, h);
    const bool vertical = (::GetWindowLongPtrW(window, GWL_STYLE) & PBS_VERTICAL) != 0;
    const float f = ProgressFraction(window);
    if (m) {
        FillSolidRect(m.get(), 0, 0, w, h, kWhite);
        if (f != 0) {
            if (vertical) {
                // The bar reaches the bottom row whatever the two roundings give.
                const int top = Round(h - h * f);
                FillSolidRect(m.get(), 0, top, w, h - top, kProgressFill);
            } else {
                FillSolidRect(m.get(), 0, 0, Round(f * w), h, kProgressFill);
            }
        }
    }
    if (m) ::BitBlt(dc, 0, 0, w, h, m.get(), 0, 0, SRCCOPY);
}

void PaintProgressFrame(HWND window) {
    int bx = 0, by = 0;
    GetBorderOffsets(window, &bx, &by);
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    RECT client{};
    ::GetClientRect(window, &client);
    const int cw = client.right, ch = client.bottom;
    const MemoryDC m = CreateMemoryDC(bounds.Width, bounds.Height);
    if (!m) return;
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    const float f = ProgressFraction(window);
    FillSolidRect(m.get(), 0, 0, bounds.Width, bounds.Height, kFrameEnabled);
    FillSolidRect(m.get(), 1, 1, bounds.Width - 2, bounds.Height - 2, kWhite);
    if (f != 0) {
        if (style & PBS_VERTICAL) {
            if (style & PBS_SMOOTH) FillSolidRect(m.get(), bx, by, cw, ch, kProgressFill);
            FillSolidRect(m.get(), bx, by, cw, Round(ch - ch * f), kWhite);
        } else {
            FillSolidRect(m.get(), bx, by, Round(f * cw), ch, kProgressFill);
        }
    }
    const WindowDC dc(window, WindowDC::Whole);
    ::BitBlt(dc.get(), 0, 0, bounds.Width, bounds.Height, m.get(), 0, 0, SRCCOPY);
}

void PaintHeader(HWND window, HDC dc) {
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const MemoryDC m = CreateMemoryDC(bounds.Width, bounds.Height);
    if (m) {
        ::SetStretchBltMode(m.get(), COLORONCOLOR);
        ::StretchBlt(m.get(), 0, 0, bounds.Width, bounds.Height, Skin().Images.HeaderSkinDC.get(), 1, 0, 1, 20,
                     SRCCOPY);
        const int count = static_cast<int>(::SendMessageW(window, HDM_GETITEMCOUNT, 0, 0));
        const LONG_PTR pressed = GetNumber(window, kHdIndex), hot = GetNumber(window, kHmIndex);
        for (int i = 0; i < count; ++i) {
            RECT item{};
            ::SendMessageW(window, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            const Look look = i == pressed ? Look::Pressed : i == hot ? Look::Hot : Look::Normal;
            DrawHeaderItem(window, m.get(), i, look, item.left, item.right - item.left, bounds.Height);
        }
    }
    if (m) ::BitBlt(dc, 0, 0, bounds.Width, bounds.Height, m.get(), 0, 0, SRCCOPY);
}

int HeaderHitTest(HWND window, LPARAM lParam) {
    const int x = LoWord(lParam);
    const int count = static_cast<int>(::SendMessageW(window, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT item{};
        ::SendMessageW(window, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        if (item.left <= x && x <= item.right) return i;
    }
    return -1;
}

void DrawGridFrame(HWND window) {
    if (!(::GetWindowLongPtrW(window, GWL_STYLE) & WS_BORDER)) return;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const WindowDC dc(window, WindowDC::Whole);
    FrameSolidRect(dc.get(), 0, 0, bounds.Width, bounds.Height, FrameColour(window));
}

void DrawFlatBorder(HWND window) {
    if (!(::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) return;
    int bx = 0, by = 0;
    GetBorderOffsets(window, &bx, &by);
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const WindowDC dc(window, WindowDC::Whole);
    const WindowDC client(window);
    FrameSolidRect(dc.get(), 0, 0, bounds.Width, bounds.Height, FrameColour(window));
    // Each inner ring ends on the same right column and bottom row; only its left and top
    // sides move inward.
    const COLORREF background = ::GetBkColor(client.get());
    for (int d = 1; d <= bx; ++d)
        FrameSolidRect(dc.get(), d, d, bounds.Width - 1 - d, bounds.Height - 1 - d, background);
}

}  // namespace cartulane::skin
