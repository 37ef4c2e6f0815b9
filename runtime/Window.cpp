#include "runtime/Window.h"

#include "runtime/ComServer.h"

#include <mutex>
#include <string>
#include <vector>

namespace cartulane {

namespace {

// The names of the classes registered by this module; freed memory only at unload.
std::vector<std::wstring>& RegisteredClasses() {
    static std::vector<std::wstring> names;
    return names;
}
std::mutex g_classesLock;

HRESULT EnsureClass(const Window::Class& windowClass, WNDPROC procedure) {
    const HINSTANCE module = com::ThisModule();
    WNDCLASSEXW existing{sizeof(existing)};
    if (::GetClassInfoExW(module, windowClass.name, &existing)) return S_OK;
    WNDCLASSEXW wc{sizeof(wc)};
    wc.style = windowClass.style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = module;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = windowClass.icon;
    wc.hbrBackground = windowClass.background < 0 ? nullptr : reinterpret_cast<HBRUSH>(
                                                                  static_cast<INT_PTR>(windowClass.background + 1));
    wc.lpszClassName = windowClass.name;
    RETURN_LAST_ERROR_IF(!::RegisterClassExW(&wc));
    std::lock_guard<std::mutex> lock(g_classesLock);
    RegisteredClasses().emplace_back(windowClass.name);
    return S_OK;
}

}  // namespace

// ---- Window ----

Window::~Window() {
    if (!hwnd_) return;
    HWND hwnd = hwnd_;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    ::DestroyWindow(hwnd);
}

void Window::Destroy() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

HRESULT Window::CreateWindowOf(const Class& windowClass, DWORD exStyle, const wchar_t* title, DWORD style, int x,
                               int y, int width, int height, HWND parent, HMENU menuOrId) {
    if (hwnd_) return E_UNEXPECTED;
    RETURN_IF_FAILED(Boundary([&] { return EnsureClass(windowClass, &Window::Procedure); }));
    HWND created = ::CreateWindowExW(exStyle, windowClass.name, title, style, x, y, width, height, parent, menuOrId,
                                     com::ThisModule(), this);
    RETURN_LAST_ERROR_IF(!created);
    return S_OK;
}

LRESULT Window::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->OnMessage(message, wParam, lParam);
    } catch (...) {
        result = 0;  // a message that failed is answered as not done
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        try {
            self->OnDestroyed();
        } catch (...) {
        }
    }
    return result;
}

// ---- Subclass ----

Subclass::~Subclass() { Detach(); }

Subclass* Subclass::Of(HWND hwnd) {
    if (!hwnd || ::GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Subclass::Procedure))
        return nullptr;
    return reinterpret_cast<Subclass*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

HRESULT Subclass::Attach(HWND hwnd) {
    if (hwnd_ || !hwnd) return E_UNEXPECTED;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetLastError(ERROR_SUCCESS);
    original_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass::Procedure)));
    if (!original_) {
        const HRESULT hr = LastErrorResult();
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return hr;
    }
    hwnd_ = hwnd;
    return S_OK;
}

void Subclass::Detach() {
    if (!hwnd_) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
}

LRESULT Subclass::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(original_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Subclass::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<Subclass*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const WNDPROC original = self->original_;
        self->Detach();
        try {
            self->OnDetached();
        } catch (...) {
        }
        return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

void UnregisterWindowClasses() {
    std::lock_guard<std::mutex> lock(g_classesLock);
    for (const std::wstring& name : RegisteredClasses()) ::UnregisterClassW(name.c_str(), com::ThisModule());
    RegisteredClasses().clear();
}

namespace {
thread_local int g_ownDialogs = 0;
}  // namespace

OwnDialogs::OwnDialogs() { ++g_ownDialogs; }
OwnDialogs::~OwnDialogs() { --g_ownDialogs; }
bool OwnDialogs::Showing() { return g_ownDialogs > 0; }

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace cartulane
