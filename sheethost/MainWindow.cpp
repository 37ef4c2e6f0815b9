#include "sheethost/MainWindow.h"

#include "runtime/ComObject.h"
#include "sheethost/HostWindow.h"

#include <algorithm>

namespace cartulane::sheethost {

// The in-place frame the window gives its panes' controls: the host learns which control
// is active.
class MainWindow::Frame final : public com::ComObject<Frame, IOleInPlaceFrame> {
public:
    explicit Frame(MainWindow* window) : window_(window) {}
    void Detach() { window_ = nullptr; }

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
        *window = window_ ? window_->Hwnd() : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override {
        if (window_) window_->host_.NoteContainerCall(widths ? L"Frame.SetBorderSpace" : L"Frame.SetBorderSpace(NULL)");
        return S_OK;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        if (window_) window_->host_.SetActiveObject(object);
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL enable) override {
        if (window_)
            window_->host_.NoteContainerCall(enable ? L"Frame.EnableModeless(TRUE)" : L"Frame.EnableModeless(FALSE)");
        return S_OK;
    }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    MainWindow* window_;
};

MainWindow::MainWindow(HostWindow& host) : host_(host) {}

MainWindow::~MainWindow() {
    panes_.clear();
    view_.reset();
    ribbon_.reset();
    if (frame_) frame_->Detach();
    frame_.Reset();
    Destroy();
}

HRESULT MainWindow::Create(const wchar_t* title, int x, int y, int width, int height, bool visible) {
    title_ = title;
    frame_ = com::Make<Frame>(this);
    RETURN_IF_NULL_ALLOC(frame_);
    RETURN_IF_FAILED(CreateWindowOf({L"SheetHostMain", COLOR_APPWORKSPACE, 0, ::LoadIconW(nullptr, IDI_APPLICATION)},
                                    0, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, width, height, nullptr));
    ribbon_ = std::make_unique<Ribbon>();
    RETURN_IF_FAILED(ribbon_->Create(Hwnd()));
    ribbon_->Context = [this] { return WindowObject(); };
    view_ = std::make_unique<WorkbookView>(
        host_.App(), Hwnd(), [this] { return ShownBooks(); }, [this] { return CurrentBook(); });
    view_->Clicked = [this] { host_.TakeFocusBack(); };
    Layout();
    if (visible) {
        ::ShowWindow(Hwnd(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(Hwnd());
    }
    return S_OK;
}

void MainWindow::Show(WorkbookWindow* window) {
    shown_ = window;
    Refresh();
}

ComPtr<IDispatch> MainWindow::WindowObject() const {
    if (host_.App().WindowPerWorkbook()) return shown_.Get();
    return host_.App().ActiveWindow();
}

std::vector<Workbook*> MainWindow::ShownBooks() const {
    std::vector<Workbook*> books;
    if (!host_.App().WindowPerWorkbook()) {
        for (const auto& book : host_.App().OpenWorkbooks()) books.push_back(book.Get());
    } else if (shown_ && shown_->Book()) {
        books.push_back(shown_->Book());
    }
    return books;
}

Workbook* MainWindow::CurrentBook() const {
    if (!host_.App().WindowPerWorkbook()) return host_.App().ActiveWorkbook();
    return shown_ ? shown_->Book() : nullptr;
}

void MainWindow::Refresh() {
    if (!Hwnd()) return;
    std::wstring caption = title_;
    if (host_.App().WindowPerWorkbook() && shown_ && shown_->Book()) caption = shown_->Caption() + L" - " + title_;
    ::SetWindowTextW(Hwnd(), caption.c_str());
    if (view_) view_->Refresh();
}

HRESULT MainWindow::AddPane(const std::wstring& control, const std::wstring& title, int widthPoints,
                            TaskPane** pane, bool visible) {
    auto added = std::make_unique<TaskPane>(*this, title, widthPoints, visible);
    TaskPane* created = added.get();
    panes_.push_back(std::move(added));
    if (pane) *pane = created;
    const HRESULT hr = created->Create(Hwnd(), control);
    Layout();
    return hr;
}

void MainWindow::RemovePane(TaskPane* pane) {
    // Out of the list first: its control may call back while it goes.
    std::unique_ptr<TaskPane> removed;
    for (auto& p : panes_)
        if (p.get() == pane) removed = std::move(p);
    std::erase(panes_, nullptr);
    removed.reset();
    Layout();
}

bool MainWindow::HasPane(const TaskPane* pane) const {
    return std::any_of(panes_.begin(), panes_.end(), [pane](const auto& p) { return p.get() == pane; });
}

void MainWindow::DeletePanes() {
    std::vector<std::unique_ptr<TaskPane>> panes = std::move(panes_);
    panes_.clear();
    panes.clear();
    Layout();
}

void MainWindow::Layout() {
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
        ::SetWindowPos(pane->Hwnd(), nullptr, atRight ? right - width : left, top, width, height, kMove);
        if (atRight) {
            right -= width;
        } else {
            left += width;
        }
    }
    if (view_) {
        ::SetWindowPos(view_->Hwnd(), nullptr, left, top, std::max<int>(0, right - left), height, kMove);
    }
}

HRESULT MainWindow::GetFrame(IOleInPlaceFrame** frame) const {
    if (!frame) return E_POINTER;
    *frame = nullptr;
    RETURN_HR_IF(E_UNEXPECTED, !frame_);
    return frame_->QueryInterface(IID_PPV_ARGS(frame));
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_CLOSE:
            host_.CloseWindow(*this);
            return 0;
        case WM_ACTIVATE:
            // A click on a window of another workbook makes that workbook the active one.
            if (LOWORD(wParam) == WA_CLICKACTIVE) host_.WindowClicked(*this);
            return Default(message, wParam, lParam);
        case WM_DESTROY:
            panes_.clear();
            return 0;
        default:
            return Default(message, wParam, lParam);
    }
}

}  // namespace cartulane::sheethost
