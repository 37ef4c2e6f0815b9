#include "sheethost/HostWindow.h"

#include "runtime/ComObject.h"
#include "runtime/Handles.h"

#include <algorithm>
#include <cmath>

namespace cartulane::sheethost {

namespace {

// Messages of the application's own (hidden) window.
enum : UINT { kDeleteClosedWindows = WM_APP + 1, kQuitRequested };

// How far a new workbook window lands from the active one.
constexpr int kCascade = 26;

}  // namespace

HostWindow::HostWindow() = default;

HostWindow::~HostWindow() {
    addIns_.reset();  // the add-ins go first, while their panes are still there
    if (app_) {
        app_->Changed = nullptr;
        app_->QuitRequested = nullptr;
        app_->WindowHandle = nullptr;
        app_->WindowOpened = nullptr;
        app_->WindowClosed = nullptr;
        app_->ArrangeRequested = nullptr;
        app_->ModelessEnabled = nullptr;
        app_->VisibleChanged = nullptr;
    }
    front_ = nullptr;
    windows_.clear();
    closed_.clear();
    activeObject_.Reset();
    app_.Reset();
    Destroy();
}

HRESULT HostWindow::Create(const wchar_t* title, int width, int height, bool visible) {
    title_ = title;
    visible_ = visible;
    app_ = com::Make<Application>();
    RETURN_IF_NULL_ALLOC(app_);
    // Started hidden, as by another program: Application.Visible is False until set.
    app_->SetVisible(visible);
    RETURN_IF_FAILED(CreateWindowOf({L"SheetHostApplication", -1}, 0, L"sheethost", 0, 0, 0, 0, 0, HWND_MESSAGE));
    addIns_ = std::make_unique<AddIns>(*this);
    auto first = std::make_unique<MainWindow>(*this);
    RETURN_IF_FAILED(first->Create(title, CW_USEDEFAULT, CW_USEDEFAULT, width, height, visible));
    windows_.push_back(std::move(first));
    app_->Changed = [this] { Changed(); };
    app_->QuitRequested = [this] {
        if (Window::Hwnd()) ::PostMessageW(Window::Hwnd(), kQuitRequested, 0, 0);
    };
    app_->WindowOpened = [this](WorkbookWindow& window) { Opened(window); };
    app_->WindowClosed = [this](WorkbookWindow& window) { Closed(window); };
    app_->ArrangeRequested = [this](long style) { Arrange(style); };
    app_->VisibleChanged = [this](bool shown) {
        visible_ = shown;
        for (MainWindow* window : Windows()) ::ShowWindow(window->Hwnd(), shown ? SW_SHOW : SW_HIDE);
    };
    // Around its own modal dialogs the application tells the active control, as a container does.
    app_->ModelessEnabled = [this](bool enable) {
        NoteContainerCall(enable ? L"ActiveObject.EnableModeless(TRUE)" : L"ActiveObject.EnableModeless(FALSE)");
        if (ComPtr<IOleInPlaceActiveObject> active = activeObject_) active->EnableModeless(enable ? TRUE : FALSE);
    };
    app_->WindowHandle = [this](const WorkbookWindow& window) {
        MainWindow* shown = WindowOf(&window);
        return shown ? shown->Hwnd() : nullptr;
    };
    Changed();
    if (visible) ::ShowWindow(Hwnd(), SW_SHOW);
    return S_OK;
}

MainWindow* HostWindow::Active() const {
    if (windows_.empty()) return nullptr;
    if (app_->WindowPerWorkbook()) {
        if (MainWindow* active = WindowOf(app_->ActiveWindow())) return active;
    }
    return windows_.front().get();
}

HWND HostWindow::Hwnd() const {
    MainWindow* active = Active();
    return active ? active->Hwnd() : nullptr;
}

std::vector<MainWindow*> HostWindow::Windows() const {
    std::vector<MainWindow*> windows;
    for (const auto& window : windows_) windows.push_back(window.get());
    return windows;
}

MainWindow* HostWindow::WindowOf(const WorkbookWindow* window) const {
    if (!window) return nullptr;
    for (const auto& main : windows_)
        if (main->Shown() == window) return main.get();
    return nullptr;
}

MainWindow* HostWindow::WindowOf(const TaskPane* pane) const {
    for (const auto& main : windows_)
        if (main->HasPane(pane)) return main.get();
    return nullptr;
}

HRESULT HostWindow::AddPane(const std::wstring& control, const std::wstring& title, int widthPoints,
                            TaskPane** pane, bool visible) {
    if (pane) *pane = nullptr;
    RETURN_HR_IF(E_UNEXPECTED, !Active());
    return Active()->AddPane(control, title, widthPoints, pane, visible);
}

void HostWindow::RemovePane(TaskPane* pane) {
    if (MainWindow* window = WindowOf(pane)) window->RemovePane(pane);
}

void HostWindow::Layout() {
    for (const auto& window : windows_) window->Layout();
}

MainWindow* HostWindow::NewWindow(int x, int y, int width, int height) {
    auto window = std::make_unique<MainWindow>(*this);
    if (FAILED(window->Create(title_.c_str(), x, y, width, height, visible_))) return nullptr;
    addIns_->AddRibbonsTo(window->GetRibbon());
    window->Layout();
    windows_.push_back(std::move(window));
    return windows_.back().get();
}

// From 15.0 on a workbook's window is a main window of its own: the one without a
// workbook, when there is one, or a new one over the active one.
void HostWindow::Opened(WorkbookWindow& window) {
    if (!app_->WindowPerWorkbook()) return;
    for (const auto& main : windows_) {
        if (!main->Shown()) {
            main->Show(&window);
            return;
        }
    }
    RECT bounds{0, 0, 800, 600};
    if (MainWindow* active = Active()) ::GetWindowRect(active->Hwnd(), &bounds);
    RECT screen{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    int x = bounds.left + kCascade, y = bounds.top + kCascade;
    if (x + (bounds.right - bounds.left) > screen.right || y + (bounds.bottom - bounds.top) > screen.bottom) {
        x = screen.left;
        y = screen.top;
    }
    if (MainWindow* made = NewWindow(x, y, bounds.right - bounds.left, bounds.bottom - bounds.top)) made->Show(&window);
}

// The window's panes are deleted with it. The last workbook's window stays as the
// application's window without a workbook; another one is hidden now and goes once its
// own messages are done (a button of its own may have closed it).
void HostWindow::Closed(WorkbookWindow& window) {
    if (!app_->WindowPerWorkbook()) return;
    MainWindow* main = WindowOf(&window);
    if (!main) return;
    main->DeletePanes();
    main->Show(nullptr);
    if (app_->OpenWorkbooks().empty()) return;
    if (front_ == main) front_ = nullptr;
    for (auto& owned : windows_) {
        if (owned.get() == main) closed_.push_back(std::move(owned));
    }
    std::erase(windows_, nullptr);
    ::ShowWindow(main->Hwnd(), SW_HIDE);
    ::PostMessageW(Window::Hwnd(), kDeleteClosedWindows, 0, 0);
}

// The windows show the model as it is now, and the active workbook's window comes to the
// front.
void HostWindow::Changed() {
    for (const auto& window : windows_) window->Refresh();
    app_->SetOwnerWindow(Hwnd());
    MainWindow* active = Active();
    if (!active || active == front_ || !app_->WindowPerWorkbook()) return;
    front_ = active;
    if (!::IsWindowVisible(active->Hwnd())) return;
    ::SetWindowPos(active->Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(active->Hwnd());
}

// Windows.Arrange: the workbook windows share the screen's work area, the active first.
void HostWindow::Arrange(long style) {
    if (!app_->WindowPerWorkbook()) return;
    std::vector<MainWindow*> windows;
    for (WorkbookWindow* window : app_->Windows())
        if (MainWindow* main = WindowOf(window)) windows.push_back(main);
    if (windows.empty()) return;
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int count = static_cast<int>(windows.size());
    const int width = area.right - area.left, height = area.bottom - area.top;
    int columns = count, rows = 1;
    if (style == xl::ArrangeHorizontal) {
        columns = 1;
        rows = count;
    } else if (style == xl::ArrangeTiled) {
        columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
        rows = (count + columns - 1) / columns;
    }
    for (int i = 0; i < count; ++i) {
        RECT r{};
        if (style == xl::ArrangeCascade) {
            r = {area.left + i * kCascade, area.top + i * kCascade, area.left + i * kCascade + width * 3 / 4,
                 area.top + i * kCascade + height * 3 / 4};
        } else {
            const int column = i % columns, row = i / columns;
            r = {area.left + column * width / columns, area.top + row * height / rows,
                 area.left + (column + 1) * width / columns, area.top + (row + 1) * height / rows};
        }
        ::SetWindowPos(windows[i]->Hwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void HostWindow::CloseWindow(MainWindow& window) {
    WorkbookWindow* shown = window.Shown();
    if (app_->WindowPerWorkbook() && shown && shown->Book() && app_->OpenWorkbooks().size() > 1) {
        ComPtr<Workbook> book(shown->Book());
        std::wstring error;
        app_->CloseWorkbook(book.Get(), std::nullopt, &error);
        return;
    }
    Quit();
}

void HostWindow::WindowClicked(MainWindow& window) {
    WorkbookWindow* shown = window.Shown();
    if (!app_->WindowPerWorkbook() || !shown || !shown->Book() || app_->ActiveWorkbook() == shown->Book()) return;
    ComPtr<Workbook> book(shown->Book());
    app_->ActivateWorkbook(book.Get());
}

bool HostWindow::Quit() {
    if (!app_->CloseAll()) return false;
    if (addIns_) addIns_->UnloadAll();
    CloseAllWindows();
    return true;
}

// The windows are destroyed now; the objects go once the messages under way are done.
void HostWindow::CloseAllWindows() {
    front_ = nullptr;
    std::vector<std::unique_ptr<MainWindow>> windows = std::move(windows_);
    windows_.clear();
    for (auto& window : windows) {
        window->Destroy();
        closed_.push_back(std::move(window));
    }
    activeObject_.Reset();
    ::PostMessageW(Window::Hwnd(), kDeleteClosedWindows, 0, 0);
}

void HostWindow::DeleteClosedWindows() {
    std::vector<std::unique_ptr<MainWindow>> closed = std::move(closed_);
    closed_.clear();
    closed.clear();
}

void HostWindow::SetActiveObject(IOleInPlaceActiveObject* object) { activeObject_ = object; }

bool HostWindow::HostAccelerator(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const UINT key = static_cast<UINT>(message.wParam);
    // F6 and Shift+F6 move between the application's parts, Esc goes back to the sheet: here
    // both give the workbook the focus. Keys of other top-level windows (a form of an add-in's)
    // are theirs.
    const HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    const auto windows = Windows();
    const bool inFrame = std::any_of(windows.begin(), windows.end(), [&](MainWindow* w) { return w->Hwnd() == root; });
    if (!ctrl && inFrame && (key == VK_F6 || key == VK_ESCAPE)) {
        if (HWND area = WorkbookArea()) ::SetFocus(area);
        hostKeys_.push_back(key);
        return true;
    }
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

// The loop ends with the application's last window; no quit message is posted, since the
// thread may go on with other windows (the tests make many hosts one after the other).
int HostWindow::Run() {
    MSG message;
    while (Hwnd() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    DeleteClosedWindows();
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
        case kDeleteClosedWindows:
            DeleteClosedWindows();
            return 0;
        case kQuitRequested:
            // The workbooks are closed already (Application.Quit).
            Quit();
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
