#include "skin/Painters.h"

#include "runtime/Handles.h"
#include "runtime/Twips.h"
#include "runtime/Window.h"
#include "skin/Colours.h"
#include "skin/Primitives.h"
#include "skin/Properties.h"
#include "skin/SkinState.h"

#include <commctrl.h>

#include <iterator>
#include <optional>
#include <string>

namespace cartulane::skin {

namespace {

// Centred horizontally and vertically on one line, ending in an ellipsis when too long.
constexpr UINT kCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;

HFONT WindowFont(HWND window) { return reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)); }

// (outer - inner) / 2, rounded to nearest with ties to even.
int Centred(int outer, int inner) { return RoundHalfEven((outer - inner) / 2.0); }

// The device context the caller gave, or else the window's whole-window context, released
// on scope exit.
class TargetDC {
public:
    TargetDC(HWND window, HDC given) noexcept : dc_(given) {
        if (!dc_) dc_ = owned_.emplace(window, WindowDC::Whole).get();
    }
    HDC get() const noexcept { return dc_; }

private:
    std::optional<WindowDC> owned_;
    HDC dc_;
};

// The "OLDSTATE" cache: false when look is already painted and not forced; otherwise the
// new look is stored.
bool TakeLook(HWND window, Look look, bool force) {
    if (GetLook(window) == look && !force) return false;
    SetLook(window, look);
    return true;
}

}  // namespace

void PaintButtonFaces(HWND window) {
    const SkinImages& images = Skin().Images;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const std::wstring caption = WindowText(window);
    const HFONT font = WindowFont(window);
    const bool focused = ::GetFocus() == window;
    for (int i = 0; i < 4; ++i) {
        HDC d = StateImage(window, i);
        if (!d) continue;
        // The form's font is let go again: a form deletes its old font when it moves to a
        // screen of another scale, which fails while a context still holds it.
        const SelectGuard selected(d, font ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT)));
        ::SetBkMode(d, TRANSPARENT);
        DrawSkinImage(d, 0, 0, bounds.Width, bounds.Height, images.ButtonSkinDC.get(), 0, 21 * i, 7, 21, 3, 3, 3, 3);
        ::SetTextColor(d, i == 3 ? kDisabledText : 0);
        DrawTextRect(d, caption, 2, 2, bounds.Width - 4, bounds.Height - 4, kCaptionFormat);
        if (focused) DrawFocusBox(d, 2, 2, bounds.Width - 4, bounds.Height - 4);
    }
}

void BlendButtonFace(HWND window, HDC dc) {
    if (!::IsWindowEnabled(window)) SetLook(window, Look::Disabled);
    if (!IsPushStyle(GetNumber(window, kOldStyle))) return;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const LONG_PTR alpha = GetNumber(window, kAlphaLevel);
    HDC image = StateImage(window, static_cast<int>(GetLook(window)));
    const TargetDC target(window, dc);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(alpha & 0xFF), 0};
    if (alpha == 255) {
        // At full strength the blend is the image itself: a plain copy does it faster.
        ::BitBlt(target.get(), 0, 0, bounds.Width, bounds.Height, image, 0, 0, SRCCOPY);
    } else {
        ::GdiAlphaBlend(target.get(), 0, 0, bounds.Width, bounds.Height, image, 0, 0, bounds.Width, bounds.Height,
                     blend);
    }
}

void PaintComboButton(HWND window, HDC dc, Look& look, bool force) {
    if (::SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0)) look = Look::Pressed;
    if (GetLook(window) == look && !force) return;
    if ((::GetWindowLongPtrW(window, GWL_STYLE) & 2) == 0) return;
    SetLook(window, look);

    const SkinImages& images = Skin().Images;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const int w = ::GetSystemMetrics(SM_CXVSCROLL) + 1, h = bounds.Height - 2;
    const MemoryDC m = CreateMemoryDC(w, h);
    if (!m) return;
    if (look == Look::Hot || look == Look::Pressed) {
        DrawSkinImage(m.get(), 0, 0, w, h, images.ComboSkinDC.get(), look == Look::Hot ? 0 : 4, 0, 4, 18, 2, 1, 1, 1);
    } else {
        // Normal, and any look without an image of its own: a new bitmap's content is
        // undefined, so it gets the plain white of the normal state.
        FillSolidRect(m.get(), 0, 0, w, h, kWhite);
    }
    const int arrowX = RoundHalfEven((w - 7) - (w - 7) / 2.0);
    const int arrowY = RoundHalfEven((bounds.Height - 6) / 2.0);
    TransparentBlit(m.get(), arrowX, arrowY, 7, 4, images.ComboSkinDC.get(), 8, ::IsWindowEnabled(window) ? 0 : 4,
                    SkinKeyColor);
    const TargetDC target(window, dc);
    ::BitBlt(target.get(), bounds.Width - w - 1, 1, w, h, m.get(), 0, 0, SRCCOPY);
}

bool PaintCheckBox(HWND window, Look look, bool force) {
    if (!TakeLook(window, look, force)) return false;
    const SkinImages& images = Skin().Images;
    const int cw = ::GetSystemMetrics(SM_CXMENUCHECK), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const LRESULT check = ::SendMessageW(window, BM_GETCHECK, 0, 0);

    const MemoryDC m = CreateMemoryDC(cw, ch);
    if (m) {
        FillSolidRect(m.get(), 0, 0, cw, ch, kWhite);
        const bool enabled = ::IsWindowEnabled(window);
        const COLORREF frame = !enabled ? kFrameDisabled : look == Look::Pressed ? kFramePressed : kFrameEnabled;
        FrameSolidRect(m.get(), 0, 0, cw, ch, frame);
        if (enabled && (look == Look::Hot || look == Look::Pressed)) {
            ::SetStretchBltMode(m.get(), COLORONCOLOR);
            ::StretchBlt(m.get(), 1, 1, cw - 2, ch - 2, images.OptionSkinDC.get(), 1, look == Look::Hot ? 17 : 30, 11,
                         5, SRCCOPY);
        }
        const int pale = enabled ? 0 : 9;  // the disabled marks sit 9 pixels to the right
        if (check == BST_CHECKED) {
            TransparentBlit(m.get(), Centred(cw, 9), Centred(ch, 8), 9, 8, images.GlyphSkinDC.get(), pale, 0,
                            SkinKeyColor);
        } else if (check == BST_INDETERMINATE) {
            TransparentBlit(m.get(), Centred(cw, 7), Centred(ch, 7), 7, 7, images.GlyphSkinDC.get(), 1 + pale, 9,
                            SkinKeyColor);
        }
        const TargetDC target(window, nullptr);
        ::BitBlt(target.get(), 0, Centred(bounds.Height, ch), cw, ch, m.get(), 0, 0, SRCCOPY);
    }
    return true;
}

bool PaintOptionButton(HWND window, Look look, bool force) {
    if (!TakeLook(window, look, force)) return false;
    const SkinImages& images = Skin().Images;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    const int cw = ::GetSystemMetrics(SM_CXMENUCHECK), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    const int y0 = Centred(bounds.Height, ch);
    const bool checked = ::SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const bool enabled = ::IsWindowEnabled(window);

    const TargetDC target(window, nullptr);
    int cell = -1;
    if (!enabled) {
        cell = 3;
    } else if (look >= Look::Normal && look <= Look::Pressed) {
        cell = static_cast<int>(look);
    }
    if (cell >= 0) {
        DrawSkinImage(target.get(), 0, y0, cw, ch, images.OptionSkinDC.get(), 0, 13 * cell, 13, 13, 5, 5, 5, 5,
                      SkinKeyColor);
    }
    if (checked) {
        TransparentBlit(target.get(), Centred(cw, 5), Centred(ch, 5) + y0, 5, 5, images.GlyphSkinDC.get(),
                        enabled ? 2 : 11, 18, SkinKeyColor);
    }
    return true;
}

void DrawHeaderItem(HWND header, HDC dc, int index, Look look, int left, int width, int height) {
    const int cellX = look == Look::Hot ? 3 : look == Look::Pressed ? 6 : 0;
    DrawSkinImage(dc, left, 0, width, height, Skin().Images.HeaderSkinDC.get(), cellX, 0, 3, 20, 1, 1, 1, 1);

    wchar_t buffer[256] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = buffer;
    item.cchTextMax = static_cast<int>(std::size(buffer));
    ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    std::wstring text;
    // The control may hand back its own buffer instead of filling ours, or the callback
    // marker of a column whose text its parent gives (which has none to read).
    if (const wchar_t* source = item.pszText; source && source != LPSTR_TEXTCALLBACKW) {
        for (size_t i = 0; i < std::size(buffer) - 1 && source[i]; ++i) text += source[i];
    }
    if (text.empty()) return;
    const HFONT font = WindowFont(header);
    const SelectGuard selected(dc, font ? font : static_cast<HFONT>(::GetStockObject(SYSTEM_FONT)));
    ::SetBkMode(dc, TRANSPARENT);
    DrawTextRect(dc, text, left, 0, width, height, kCaptionFormat);
}

void PaintHeaderItem(HWND window, HDC dc, int index, Look look) {
    if (index < 0) return;
    WindowBounds bounds;
    GetWindowBounds(window, &bounds);
    RECT item{};
    ::SendMessageW(window, HDM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const int w = item.right - item.left, h = item.bottom - item.top;

    const MemoryDC m = CreateMemoryDC(w, bounds.Height);
    if (!m) return;
    DrawHeaderItem(window, m.get(), index, look, 0, w, bounds.Height);
    const TargetDC target(window, dc);
    ::BitBlt(target.get(), item.left, 0, w, h, m.get(), 0, 0, SRCCOPY);
}

}  // namespace cartulane::skin
