#pragma once
// The stand-in application's windows: the application object, its add-ins, and its main
// windows. Before 15.0 there is one main window with all workbooks; from 15.0 on every
// workbook window is a top-level window of its own with its own ribbon and task panes,
// and one without a workbook stands for the application while none is open. What is
// asked of "the" window (Hwnd, the ribbon, the panes, AddPane) goes to the active one.
// The message loop routes keys as the application's does: first to the UI-active
// control, then to the host's own keys.

#include "runtime/Variant.h"
#include "runtime/Window.h"
#include "sheethost/AddIns.h"
#include "sheethost/MainWindow.h"
#include "sheethost/ObjectModel.h"

#include <memory>
#include <vector>

namespace cartulane::sheethost {

class HostWindow : private Window {
public:
    HostWindow();
    ~HostWindow() override;

    HRESULT Create(const wchar_t* title, int width, int height, bool visible);
    // The active main window (the one of the active workbook); nullptr once the
    // application has closed.
    HWND Hwnd() const;
    MainWindow* Active() const;
    HWND WorkbookArea() const { return Active() ? Active()->WorkbookArea() : nullptr; }
    // The application object the host hands to add-ins and controls.
    Application& App() const { return *app_.Get(); }

    // Every main window that is open, and the one showing a workbook window.
    std::vector<MainWindow*> Windows() const;
    MainWindow* WindowOf(const WorkbookWindow* window) const;
    // The main window a pane is in (nullptr once the pane is gone).
    MainWindow* WindowOf(const TaskPane* pane) const;

    Ribbon& GetRibbon() const { return Active()->GetRibbon(); }
    AddIns& GetAddIns() const { return *addIns_; }
    // Loads the add-ins set to load at start (the application does this as it starts).
    void LoadAddIns() { addIns_->LoadAll(); }

    // A pane in the active window (see MainWindow::AddPane).
    HRESULT AddPane(const std::wstring& control, const std::wstring& title, int widthPoints, TaskPane** pane,
                    bool visible = true);
    void RemovePane(TaskPane* pane);
    // The panes of the active window.
    const std::vector<std::unique_ptr<TaskPane>>& Panes() const { return Active()->Panes(); }

    // Lays out every window.
    void Layout();

    // What the application's loop does with a message before dispatching it: the active
    // control's keys first, then the host's own. True when it was taken.
    bool PreTranslate(MSG& message);
    // The loop until the application has closed, and the same for what is queued now (tests).
    int Run();
    void PumpMessages();

    // The control that is UI active (the frame's active object), or nullptr.
    IOleInPlaceActiveObject* ActiveObject() const { return activeObject_.Get(); }
    void SetActiveObject(IOleInPlaceActiveObject* object);
    // Keys the host handled itself, in order (virtual-key codes; Ctrl adds 0x10000).
    const std::vector<UINT>& HostKeys() const { return hostKeys_; }
    // The host's own keys: cell navigation and its Ctrl shortcuts (new, open, save, close,
    // and the worksheet's copy, cut, paste, undo and select all); F6, Shift+F6 and Esc, which
    // give the workbook the focus.
    bool HostAccelerator(const MSG& message);
    // The container's callbacks that a control made, in order, as "Frame.EnableModeless(FALSE)",
    // "Frame.SetBorderSpace(NULL)", "Site.ShowObject" (the others are not written down).
    const std::vector<std::wstring>& ContainerCalls() const { return containerCalls_; }
    void NoteContainerCall(std::wstring call) { containerCalls_.push_back(std::move(call)); }

    // What the main windows ask of the application.
    // The close box: from 15.0 on it closes that window's workbook, unless it is the last
    // one; otherwise the application closes (asking about unsaved changes first).
    void CloseWindow(MainWindow& window);
    void WindowClicked(MainWindow& window);
    // A click in the workbook area takes the focus back from a pane's control.
    void TakeFocusBack();
    // Closes every workbook, asking as Close does, then lets the add-ins go and closes every
    // window; false when the user kept a workbook open.
    bool Quit();

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    MainWindow* NewWindow(int x, int y, int width, int height);
    void Opened(WorkbookWindow& window);
    void Closed(WorkbookWindow& window);
    void Changed();
    void Arrange(long style);
    void CloseAllWindows();
    void DeleteClosedWindows();

    std::wstring title_;
    bool visible_ = true;
    ComPtr<Application> app_;
    std::unique_ptr<AddIns> addIns_;
    std::vector<std::unique_ptr<MainWindow>> windows_;
    // Windows of closed workbooks: hidden at once, deleted once their messages are done.
    std::vector<std::unique_ptr<MainWindow>> closed_;
    MainWindow* front_ = nullptr;
    ComPtr<IOleInPlaceActiveObject> activeObject_;
    std::vector<UINT> hostKeys_;
    std::vector<std::wstring> containerCalls_;
};

}  // namespace cartulane::sheethost
