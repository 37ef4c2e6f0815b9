#pragma once
// The stand-in application's main window: task panes docked at the left, the rest
// for the workbooks. Its message loop routes keys as the application's does: first to
// the UI-active control, then to the host's own keys.

#include "runtime/Variant.h"
#include "runtime/Window.h"
#include "sheethost/AddIns.h"
#include "sheethost/ObjectModel.h"
#include "sheethost/Ribbon.h"
#include "sheethost/TaskPane.h"
#include "sheethost/WorkbookView.h"

#include <memory>
#include <vector>

namespace cartulane::sheethost {

class HostWindow : private Window {
public:
    HostWindow();
    ~HostWindow() override;

    HRESULT Create(const wchar_t* title, int width, int height, bool visible);
    using Window::Hwnd;
    HWND WorkbookArea() const { return view_ ? view_->Hwnd() : nullptr; }
    // The application object the host hands to add-ins and controls.
    Application& App() const { return *app_.Get(); }

    Ribbon& GetRibbon() const { return *ribbon_; }
    AddIns& GetAddIns() const { return *addIns_; }
    // Loads the add-ins set to load at start (the application does this as it starts).
    void LoadAddIns() { addIns_->LoadAll(); }

    // A pane docked at the left, widthPoints wide, hosting the control (ProgID or "{CLSID}").
    // The pane stays even when the control cannot be made; the error comes back.
    HRESULT AddPane(const std::wstring& control, const std::wstring& title, int widthPoints, TaskPane** pane,
                    bool visible = true);
    void RemovePane(TaskPane* pane);
    const std::vector<std::unique_ptr<TaskPane>>& Panes() const { return panes_; }

    // Places the ribbon, the panes and the workbook area; runs on every resize.
    void Layout();

    // What the application's loop does with a message before dispatching it: the active
    // control's keys first, then the host's own. True when it was taken.
    bool PreTranslate(MSG& message);
    // The loop until the window is closed, and the same for what is queued now (tests).
    int Run();
    void PumpMessages();

    // The in-place frame given to the controls of the panes.
    HRESULT GetFrame(IOleInPlaceFrame** frame) const;
    // The control that is UI active (the frame's active object), or nullptr.
    IOleInPlaceActiveObject* ActiveObject() const { return activeObject_.Get(); }
    // Keys the host handled itself, in order (virtual-key codes; Ctrl adds 0x10000).
    const std::vector<UINT>& HostKeys() const { return hostKeys_; }
    // The host's own keys: cell navigation and its Ctrl shortcuts (new, open, save, close,
    // and the worksheet's copy, cut, paste, undo and select all).
    bool HostAccelerator(const MSG& message);
    // The container's callbacks that a control made, in order, as "Frame.EnableModeless(FALSE)",
    // "Frame.SetBorderSpace(NULL)", "Site.ShowObject" (the others are not written down).
    const std::vector<std::wstring>& ContainerCalls() const { return containerCalls_; }
    void NoteContainerCall(std::wstring call) { containerCalls_.push_back(std::move(call)); }

private:
    class Frame;
    friend class TaskPane;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void SetActiveObject(IOleInPlaceActiveObject* object);
    void TakeFocusBack();

    ComPtr<Application> app_;
    std::unique_ptr<WorkbookView> view_;
    std::unique_ptr<Ribbon> ribbon_;
    std::unique_ptr<AddIns> addIns_;
    ComPtr<Frame> frame_;
    ComPtr<IOleInPlaceActiveObject> activeObject_;
    std::vector<std::unique_ptr<TaskPane>> panes_;
    std::vector<UINT> hostKeys_;
    std::vector<std::wstring> containerCalls_;
};

}  // namespace cartulane::sheethost
