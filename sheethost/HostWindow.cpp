#include "sheethost/HostWindow.h"

#include "runtime/ComObject.h"
#include "runtime/Handles.h"

#include <algorithm>

namespace cartulane::sheethost {

// The in-place frame the host gives its controls: it learns which control is active.
class HostWindow::Frame final : public com::ComObject<Frame, IOleInPlaceFrame> {
public:
    explicit Frame(HostWindow* host) : host_(host) {}
    void Detach() { host_ = nullptr; }

    static const QITAB* Interfaces() {
        static const QITAB table[] = {
            QITABENT(Frame, IOleInPlaceFrame),
            QITABENTMULTI(Frame, IOleInPlaceUIWindow, IOleInPlaceFrame),
            QITABENTMULTI(Frame, IOleWindow, IOleInPlaceFrame),
            {},
        };
        return table;
    }

    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = host_ ? host_->Hwnd() : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
        if (host_) host_->NoteContainerCall(widths ? L"Frame.SetBorderSpace" : L"Frame.SetBorderSpace(NULL)");
        return S_OK;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        if (host_) host_->SetActiveObject(object);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL enable) override {
        if (host_) host_->NoteContainerCall(enable ? L"Frame.EnableModeless(TRUE)" : L"Frame.EnableModeless(FALSE)");
        return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
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
    Destroy();
}

HRESULT HostWindow::Create(const wchar_t* title, int width, int height, bool visible) {
    frame_ = com::Make<Frame>(this);
    RETURN_IF_NULL_ALLOC(frame_);
    app_ = com::Make<Application>();
    RETURN_IF_NULL_ALLOC(app_);
    RETURN_IF_FAILED(CreateWindowOf({L"SheetHostMain", COLOR_APPWORKSPACE, 0, ::LoadIconW(nullptr, IDI_APPLICATION)},
                                    0, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                    width, height, nullptr));
    app_->SetOwnerWindow(Hwnd());
    ribbon_ = std::make_unique<Ribbon>();
    RETURN_IF_FAILED(ribbon_->Create(Hwnd()));
    addIns_ = std::make_unique<AddIns>(*this);
    view_ = std::make_unique<WorkbookView>(*app_.Get(), Hwnd());
    view_->Clicked = [this] { TakeFocusBack(); };
    app_->Changed = [this] {
        if (view_) view_->Refresh();
    };
    app_->QuitRequested = [this] {
        if (Hwnd()) ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
    };
    Layout();
    if (visible) {
        ::ShowWindow(Hwnd(), SW_SHOW);
        ::UpdateWindow(Hwnd());
    }
    return S_OK;
}

HRESULT HostWindow::AddPane(const std::wstring& control, const std::wstring& title, int widthPoints,
                            TaskPane** pane, bool visible) {
    auto added = std::make_unique<TaskPane>(*this, title, widthPoints, visible);
    TaskPane* created = added.get();
    panes_.push_back(std::move(added));
    if (pane) *pane = created;
    const HRESULT hr = created->Create(Hwnd(), control);
    Layout();
    return hr;
}

void HostWindow::RemovePane(TaskPane* pane) {
    std::erase_if(panes_, [pane](const std::unique_ptr<TaskPane>& p) { return p.get() == pane; });
    Layout();
}

void HostWindow::Layout() {
    if (!Hwnd()) return;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
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
    *frame = nullptr;
    RETURN_HR_IF(E_UNEXPECTED, !frame_);
    return frame_->QueryInterface(IID_PPV_ARGS(frame));
}

void HostWindow::SetActiveObject(IOleInPlaceActiveObject* object) { activeObject_ = object; }

bool HostWindow::HostAccelerator(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const UINT key = static_cast<UINT>(message.wParam);
    const bool cellKey = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_DELETE ||
                         key == VK_F2 || key == VK_RETURN || key == VK_TAB || key == VK_HOME || key == VK_END;
    const bool shortcut = ctrl && (key == 'N' || key == 'O' || key == 'S' || key == 'W' || key == 'C' || key == 'X' ||
                                   key == 'V' || key == 'Z' || key == 'A');
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
    while (Hwnd() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
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

LRESULT HostWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_CLOSE:
            // Closing the application closes its workbooks first, asking about changes.
            if (app_ && !app_->CloseAll()) return 0;
            if (addIns_) addIns_->UnloadAll();
            return Default(message, wParam, lParam);
        case WM_DESTROY:
            panes_.clear();
            activeObject_.Reset();
            return 0;
        default:
            return Default(message, wParam, lParam);
    }
}

// A click in the workbook area takes the focus back from a pane's control.
void HostWindow::TakeFocusBack() {
    if (!activeObject_) return;
    ComPtr<IOleInPlaceObject> object;
    if (SUCCEEDED(activeObject_.As(&object))) object->UIDeactivate();
}

}  // namespace cartulane::sheethost
