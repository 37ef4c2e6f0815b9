#include "runtime/forms.h"

#include "runtime/com.h"

namespace cartulane {

HRESULT InvalidPropertyValueError() { return ControlError(380); }

void FormControl::AttachWindow(HWND window, Dpi dpi) {
    window_ = window;
    dpi_ = dpi;
    if (window_) Move(box_.left, box_.top, box_.width, box_.height);
}

HRESULT FormControl::Move(double left, double top, double width, double height) {
    if (width < 0 || height < 0) return InvalidPropertyValueError();
    box_ = {left, top, width, height};
    if (window_) {
        const RECT r = PixelRect();
        ::SetWindowPos(window_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return S_OK;
}

RECT FormControl::PixelRect() const {
    const int left = TwipsToPixels(box_.left, dpi_.x);
    const int top = TwipsToPixels(box_.top, dpi_.y);
    return {left, top, left + TwipsToPixels(box_.width, dpi_.x), top + TwipsToPixels(box_.height, dpi_.y)};
}

bool FormControl::Contains(POINT clientPixel) const {
    const RECT r = PixelRect();
    return ::PtInRect(&r, clientPixel) != FALSE;
}

UniqueFont CreateFormFont() {
    NONCLIENTMETRICSW metrics{sizeof(metrics)};
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return UniqueFont(static_cast<HFONT>(nullptr));
    }
    return UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
}

HWND CreateChildWindow(HWND parent, const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id,
                       HFONT font) {
    HWND child = ::CreateWindowExW(0, windowClass, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    if (child && font) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

}  // namespace cartulane
