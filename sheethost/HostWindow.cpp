#include "sheethost/HostWindow.h"

#include "runtime/Handles.h"
#include "sheethost/LiveObject.h"

#include <algorithm>
#include <atomic>

namespace cartulane::sheethost {

// The in-place frame the host gives its controls: it learns which control is active.
class HostWindow::Frame final : public IOleInPlaceFrame, LiveObject {
public:
    explicit Frame(HostWindow* host) : host_(host) {}
    void Detach() { host_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
            iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = host_ ? host_->hwnd_ : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        if (host_) host_->SetActiveObject(object);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    std::atomic<ULONG> refs_{1};
    HostWindow* host_;
};

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
    addIns_.reset();  // the add-ins go first, while their panes are still there
    panes_.clear();
    activeObject_.Reset();
    view_.reset();
    ribbon_.reset();
    if (app_) {
        app_->Changed = nullptr;
        app_->QuitRequested = nullptr;
    }
    app_.Reset();
    if (frame_) frame_->Detach();
    frame_.Reset();
    if (hwnd_) ::DestroyWindow(hwnd_);
}

HRESULT HostWindow::Create(const wchar_t* title, int width, int height, bool visible) {
    static const ATOM mainClass = [] {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = &HostWindow::WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
        wc.lpszClassName = L"SheetHostMain";
        return ::RegisterClassExW(&wc);
    }();
    frame_.Attach(new (std::nothrow) Frame(this));
    if (!frame_) return E_OUTOFMEMORY;
    hwnd_ = ::CreateWindowExW(0, MAKEINTATOM(mainClass), title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                              CW_USEDEFAULT, width, height, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
    if (!hwnd_) return HRESULT_FROM_WIN32(::GetLastError());
    app_ = MakeObject<Application>();
    app_->SetOwnerWindow(hwnd_);
    ribbon_ = std::make_unique<Ribbon>();
    RETURN_IF_FAILED(ribbon_->Create(hwnd_));
    addIns_ = std::make_unique<AddIns>(*this);
    view_ = std::make_unique<WorkbookView>(*app_.Get(), hwnd_);
    view_->Clicked = [this] { TakeFocusBack(); };
    app_->Changed = [this] {
        if (view_) view_->Refresh();
    };
    app_->QuitRequested = [this] {
        if (hwnd_) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    };
    Layout();
    if (visible) {
        ::ShowWindow(hwnd_, SW_SHOW);
        ::UpdateWindow(hwnd_);
    }
    return S_OK;
}

HRESULT HostWindow::AddPane(const std::wstring& control, const std::wstring& title, int widthPoints,
                            TaskPane** pane, bool visible) {
    auto added = std::make_unique<TaskPane>(*this, title, widthPoints, visible);
    TaskPane* created = added.get();
    panes_.push_back(std::move(added));
    if (pane) *pane = created;
    const HRESULT hr = created->Create(hwnd_, control);
    Layout();
    return hr;
}

void HostWindow::RemovePane(TaskPane* pane) {
    std::erase_if(panes_, [pane](const std::unique_ptr<TaskPane>& p) { return p.get() == pane; });
    Layout();
}

void HostWindow::Layout() {
    if (!hwnd_) return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    // The windows are drawn anew where they land: bits copied from where they were may
    // not have been painted yet.
    constexpr UINT kMove = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
    const int top = ribbon_ ? std::min<int>(ribbon_->Height(), client.bottom) : 0;
    if (ribbon_ && ribbon_->Hwnd()) {
        ::SetWindowPos(ribbon_->Hwnd(), nullptr, 0, 0, client.right, top,
                       kMove | (top > 0 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
    const int height = client.bottom - top;
    int left = 0, right = client.right;
    for (const auto& pane : panes_) {
        if (!pane->Visible() || !pane->Hwnd()) continue;
        const int width = std::min<int>(pane->WidthPixels(), right - left);
        const bool atRight = pane->DockPosition() == msoCTPDockPositionRight;
        ::SetWindowPos(pane->Hwnd(), nullptr, atRight ? right - width : left, top, width, height,
                       kMove);
        if (atRight) {
            right -= width;
        } else {
            left += width;
        }
    }
    if (view_) {
        ::SetWindowPos(view_->Hwnd(), nullptr, left, top, std::max<int>(0, right - left), height,
                       kMove);
    }
}

HRESULT HostWindow::GetFrame(IOleInPlaceFrame** frame) const {
    if (!frame) return E_POINTER;
    *frame = frame_.Get();
    if (!*frame) return E_UNEXPECTED;
    (*frame)->AddRef();
    return S_OK;
}

void HostWindow::SetActiveObject(IOleInPlaceActiveObject* object) { activeObject_ = object; }

bool HostWindow::HostAccelerator(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const UINT key = static_cast<UINT>(message.wParam);
    const bool cellKey = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_DELETE ||
                         key == VK_F2 || key == VK_RETURN || key == VK_TAB || key == VK_HOME || key == VK_END;
    const bool shortcut = ctrl && (key == 'N' || key == 'O' || key == 'S' || key == 'W');
    if (!cellKey && !shortcut) return false;
    hostKeys_.push_back(key | (ctrl ? 0x10000u : 0u));
    return true;
}

bool HostWindow::PreTranslate(MSG& message) {
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    if (activeObject_) {
        ComPtr<IOleInPlaceActiveObject> active = activeObject_;  // the call may change it
        if (active->TranslateAccelerator(&message) == S_OK) return true;
    }
    return HostAccelerator(message);
}

// The loop ends with the main window; no quit message is posted, since the thread may
// go on with other windows (the tests make many hosts one after the other).
int HostWindow::Run() {
    MSG message;
    while (hwnd_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

void HostWindow::PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (PreTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK HostWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* host = reinterpret_cast<HostWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_SIZE:
            if (host && host->hwnd_ == hwnd) host->Layout();
            return 0;
        case WM_CLOSE:
            // Closing the application closes its workbooks first, asking about changes.
            if (host && host->hwnd_ == hwnd && host->app_ && !host->app_->CloseAll()) return 0;
            if (host && host->hwnd_ == hwnd && host->addIns_) host->addIns_->UnloadAll();
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_DESTROY:
            if (host && host->hwnd_ == hwnd) {
                host->panes_.clear();
                host->activeObject_.Reset();
                host->hwnd_ = nullptr;
            }
            return 0;
        default:
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// A click in the workbook area takes the focus back from a pane's control.
void HostWindow::TakeFocusBack() {
    if (!activeObject_) return;
    ComPtr<IOleInPlaceObject> object;
    if (SUCCEEDED(activeObject_.As(&object))) object->UIDeactivate();
}

}  // namespace cartulane::sheethost
