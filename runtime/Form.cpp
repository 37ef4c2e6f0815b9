#include "runtime/Form.h"

#include "runtime/ComServer.h"

#include <deque>
#include <typeindex>
#include <utility>

namespace cartulane {

namespace {

constexpr wchar_t kFormClass[] = L"Form";

// While any form of this module is loaded on the thread, a message hook gives the
// keyboard messages of its windows to IsDialogMessage first. Plain values: nothing here
// is destroyed at unload, and a loaded form keeps the library loaded.
thread_local HHOOK t_keyboardHook = nullptr;
thread_local int t_loadedForms = 0;

bool IsFormOfThisModule(HWND hwnd) {
    wchar_t className[8] = {};
    return hwnd && ::GetClassNameW(hwnd, className, 8) && ::lstrcmpW(className, kFormClass) == 0 &&
           reinterpret_cast<HMODULE>(::GetClassLongPtrW(hwnd, GCLP_HMODULE)) == com::ThisModule();
}

LRESULT CALLBACK FormKeys(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        MSG* message = reinterpret_cast<MSG*>(lParam);
        if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST && message->hwnd) {
            HWND form = ::GetAncestor(message->hwnd, GA_ROOT);
            if (IsFormOfThisModule(form) && ::IsDialogMessageW(form, message)) {
                // Handled: the application's loop gets nothing to do with it.
                message->message = WM_NULL;
                message->wParam = 0;
                message->lParam = 0;
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, removal, lParam);
}

void FormLoaded() {
    if (t_loadedForms++ == 0)
        t_keyboardHook = ::SetWindowsHookExW(WH_GETMESSAGE, &FormKeys, nullptr, ::GetCurrentThreadId());
}

void FormUnloaded() {
    if (--t_loadedForms == 0 && t_keyboardHook) {
        ::UnhookWindowsHookEx(t_keyboardHook);
        t_keyboardHook = nullptr;
    }
}

// A deque: a slot handed out stays where it is while others are added.
using InstanceSlots = std::deque<std::pair<std::type_index, Form*>>;
thread_local InstanceSlots* t_instances = nullptr;

}  // namespace

HRESULT InvalidPropertyValueError() { return ControlError(380); }

int MouseButtons(WPARAM keyFlags) {
    return ((keyFlags & MK_LBUTTON) ? 1 : 0) | ((keyFlags & MK_RBUTTON) ? 2 : 0) | ((keyFlags & MK_MBUTTON) ? 4 : 0);
}

int ShiftKeys(WPARAM keyFlags) {
    return ((keyFlags & MK_SHIFT) ? 1 : 0) | ((keyFlags & MK_CONTROL) ? 2 : 0) | (::GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

WPARAM KeyFlagsNow() {
    return (::GetKeyState(VK_SHIFT) < 0 ? MK_SHIFT : 0) | (::GetKeyState(VK_CONTROL) < 0 ? MK_CONTROL : 0);
}

// ---- FormControl ----

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

// Each edge is rounded on its own, so that controls that meet in twips meet in pixels too.
RECT FormControl::PixelRect() const {
    return {TwipsToPixels(box_.left, dpi_.x), TwipsToPixels(box_.top, dpi_.y),
            TwipsToPixels(box_.left + box_.width, dpi_.x), TwipsToPixels(box_.top + box_.height, dpi_.y)};
}

bool FormControl::Contains(POINT clientPixel) const {
    const RECT r = PixelRect();
    return ::PtInRect(&r, clientPixel) != FALSE;
}

namespace {

// The DPI of the screen a window is on, where Windows tells it (10, version 1607 on);
// fallback elsewhere.
Dpi WindowDpi(HWND window, Dpi fallback) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto getDpi = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpi ? getDpi(window) : 0;
    return dpi ? Dpi{static_cast<int>(dpi), static_cast<int>(dpi)} : fallback;
}

}  // namespace

UniqueFont CreateFormFont(int dpiY) {
    NONCLIENTMETRICSW metrics{sizeof(metrics)};
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return UniqueFont();
    if (dpiY) metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpiY, ScreenDpi().y);
    return UniqueFont(::CreateFontIndirectW(&metrics.lfMessageFont));
}

HWND CreateChildWindow(HWND parent, const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id,
                       HFONT font) {
    HWND child = ::CreateWindowExW(0, windowClass, caption, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    if (child && font) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// ---- Form ----

Form::Form(std::wstring caption, Border border, double clientWidth, double clientHeight, Placement placement)
    : caption_(std::move(caption)), border_(border), clientWidth_(clientWidth), clientHeight_(clientHeight),
      placement_(placement) {}

Form::~Form() { Unload(); }

void Form::Load(HWND owner) {
    if (Hwnd()) return;
    dpi_ = ScreenDpi();
    font_ = CreateFormFont();
    const DWORD style = border_ == Border::FixedSingle ? WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_BORDER : WS_POPUP;
    const DWORD exStyle = WS_EX_CONTROLPARENT | (border_ == Border::FixedSingle ? WS_EX_DLGMODALFRAME : WS_EX_TOOLWINDOW);
    RECT frame{0, 0, TwipsToPixels(clientWidth_, dpi_.x), TwipsToPixels(clientHeight_, dpi_.y)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    if (FAILED(CreateWindowOf({kFormClass}, exStyle, caption_.c_str(), style, 0, 0, frame.right - frame.left,
                              frame.bottom - frame.top, owner)))
        return;
    // On a screen of another scale than the one the system started with.
    if (const Dpi own = WindowDpi(Hwnd(), dpi_); own.y != dpi_.y) {
        dpi_ = own;
        font_ = CreateFormFont(dpi_.y);
        Size();
    }
    com::LockModule();
    FormLoaded();
    Place(owner);
    CreateControls();
    Form_Load();
}

void Form::Place(HWND owner) {
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (placement_ == Placement::CentreOwner && owner) ::GetWindowRect(owner, &area);
    RECT window{};
    ::GetWindowRect(Hwnd(), &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(Hwnd(), nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Show(HWND owner) {
    Load(owner);
    if (!Hwnd()) return;
    if (owner) ::SetWindowLongPtrW(Hwnd(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    Form_Show();
    if (Hwnd()) {
        ::ShowWindow(Hwnd(), SW_SHOW);
        ::SetForegroundWindow(Hwnd());
    }
}

void Form::Hide() {
    if (Hwnd()) ::ShowWindow(Hwnd(), SW_HIDE);
}

void Form::Unload() { Destroy(); }

void Form::OnDestroyed() {
    places_.clear();
    FormUnloaded();
    com::UnlockModule();
    Form_Unload();
}

void Form::SetIcon(HICON big, HICON small) {
    if (!Hwnd()) return;
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // A dialog frame shows no icon in the caption.
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE)) & ~WS_EX_DLGMODALFRAME;
    ::SetWindowLongPtrW(Hwnd(), GWL_EXSTYLE, exStyle);
    Size();
}

void Form::Size() {
    RECT frame{0, 0, TwipsToPixels(clientWidth_, dpi_.x), TwipsToPixels(clientHeight_, dpi_.y)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE)));
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool Form::Visible() {
    Load();
    return Hwnd() && ::IsWindowVisible(Hwnd());
}

void Form::Move(double left, double top) {
    if (Hwnd()) {
        ::SetWindowPos(Hwnd(), nullptr, TwipsToPixels(left, dpi_.x), TwipsToPixels(top, dpi_.y), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Form::OnCommand(UINT id, UINT) {
    if (id == IDCANCEL && Form_QueryUnload()) Unload();
}

HWND Form::AddChild(const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id, double left, double top,
                    double width, double height) {
    HWND child = CreateChildWindow(Hwnd(), windowClass, caption, style, id, font_.get());
    if (child) {
        places_.push_back(std::make_unique<FormControl>(left, top, width, height));
        places_.back()->AttachWindow(child, dpi_);
    }
    return child;
}

LRESULT Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:  // the close box unloads the form
            if (Form_QueryUnload()) Unload();
            return 0;
        case WM_DPICHANGED: {
            // Moved to a screen of another scale: the same twips at its DPI, in the place
            // the system suggests.
            dpi_ = Dpi{LOWORD(wParam), HIWORD(wParam)};
            UniqueFont font = CreateFormFont(dpi_.y);
            for (const auto& place : places_) {
                place->AttachWindow(place->Window(), dpi_);
                ::SendMessageW(place->Window(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
            }
            font_ = std::move(font);  // the old one only once no child uses it
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case DM_GETDEFID: {
            // Enter presses the command button that has the focus, as on a form it does.
            HWND focus = ::GetFocus();
            if (focus && ::IsChild(Hwnd(), focus) &&
                (::SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
                return MAKELRESULT(::GetDlgCtrlID(focus), DC_HASDEFID);
            return 0;
        }
        default:
            return Default(message, wParam, lParam);
    }
}

Form*& detail::DefaultInstanceSlot(const std::type_info& type) {
    if (!t_instances) t_instances = new InstanceSlots();
    for (auto& [kind, form] : *t_instances)
        if (kind == type) return form;
    return t_instances->emplace_back(std::type_index(type), nullptr).second;
}

void UnloadDefaultInstances() {
    if (!t_instances) return;
    for (auto& [kind, form] : *t_instances)
        if (form) form->Unload();
}

void ReleaseDefaultInstances() {
    InstanceSlots* instances = std::exchange(t_instances, nullptr);
    if (!instances) return;
    for (auto& [kind, form] : *instances) delete form;
    delete instances;
}

}  // namespace cartulane
