#include "runtime/Form.h"

#include "runtime/Variant.h"
#include "runtime/ComServer.h"

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

namespace {
constexpr wchar_t kFormClass[] = L"Form";
}

Form::Form(std::wstring caption, Border border, double clientWidth, double clientHeight, bool centred)
    : caption_(std::move(caption)), border_(border), clientWidth_(clientWidth), clientHeight_(clientHeight),
      centred_(centred) {}

Form::~Form() { Unload(); }

void Form::UnregisterWindowClass() { ::UnregisterClassW(kFormClass, com::ThisModule()); }

void Form::Load() {
    if (hwnd_) return;
    static const ATOM windowClass = [] {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = &Form::WindowProc;
        wc.hInstance = com::ThisModule();
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kFormClass;
        const ATOM atom = ::RegisterClassExW(&wc);
        return atom ? atom : static_cast<ATOM>(::GetClassInfoExW(wc.hInstance, kFormClass, &wc));
    }();
    dpi_ = ScreenDpi();
    font_ = CreateFormFont();
    const DWORD style = border_ == Border::FixedSingle ? WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER : WS_POPUP;
    const DWORD exStyle = border_ == Border::FixedSingle ? WS_EX_DLGMODALFRAME : WS_EX_TOOLWINDOW;
    RECT frame{0, 0, TwipsToPixels(clientWidth_, dpi_.x), TwipsToPixels(clientHeight_, dpi_.y)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    hwnd_ = ::CreateWindowExW(exStyle, MAKEINTATOM(windowClass), caption_.c_str(), style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              com::ThisModule(), this);
    if (!hwnd_) return;
    com::LockModule();
    shownOnce_ = false;
    CreateControls();
    Form_Load();
}

void Form::Show(HWND owner) {
    Load();
    if (!hwnd_) return;
    if (owner) ::SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    if (centred_ && !shownOnce_) {
        RECT window{};
        ::GetWindowRect(hwnd_, &window);
        const int width = window.right - window.left, height = window.bottom - window.top;
        ::SetWindowPos(hwnd_, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                       (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    shownOnce_ = true;
    Form_Show();
    if (hwnd_) {
        ::ShowWindow(hwnd_, SW_SHOW);
        ::SetForegroundWindow(hwnd_);
    }
}

void Form::Hide() {
    if (hwnd_) ::ShowWindow(hwnd_, SW_HIDE);
}

void Form::Unload() {
    if (!hwnd_) return;
    HWND window = hwnd_;
    hwnd_ = nullptr;
    ::DestroyWindow(window);
    com::UnlockModule();
}

bool Form::Visible() {
    Load();
    return hwnd_ && ::IsWindowVisible(hwnd_);
}

void Form::Move(double left, double top) {
    if (hwnd_) {
        ::SetWindowPos(hwnd_, nullptr, TwipsToPixels(left, dpi_.x), TwipsToPixels(top, dpi_.y), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Form::OnCommand(UINT, UINT) {}

HWND Form::AddChild(const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id, double left, double top,
                    double width, double height) {
    HWND child = CreateChildWindow(hwnd_, windowClass, caption, style, id, font_.get());
    if (child) {
        ::SetWindowPos(child, nullptr, TwipsToPixels(left, dpi_.x), TwipsToPixels(top, dpi_.y),
                       TwipsToPixels(width, dpi_.x), TwipsToPixels(height, dpi_.y), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return child;
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* form = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form && form->hwnd_ == hwnd) {
        switch (message) {
            case WM_COMMAND:
                form->OnCommand(LOWORD(wParam), HIWORD(wParam));
                return 0;
            case WM_CLOSE:  // the close box unloads the form
                form->Unload();
                return 0;
            default:
                break;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace cartulane
