#pragma once
// A top-level window of the stand-in application: its ribbon across the top, its task
// panes docked at the left (or right), and the workbook area. Before 15.0 the application
// has one, showing every workbook; from 15.0 on each workbook window is one of these,
// and one without a workbook stands for the application while none is open.

#include "runtime/Variant.h"
#include "runtime/Window.h"
#include "sheethost/ObjectModel.h"
#include "sheethost/Ribbon.h"
#include "sheethost/TaskPane.h"
#include "sheethost/WorkbookView.h"

#include <memory>
#include <vector>

namespace cartulane::sheethost {

class HostWindow;

class MainWindow : private Window {
public:
    explicit MainWindow(HostWindow& host);
    ~MainWindow() override;

    HRESULT Create(const wchar_t* title, int x, int y, int width, int height, bool visible);
    using Window::Hwnd;
    using Window::Destroy;
    HostWindow& Host() const { return host_; }
    HWND WorkbookArea() const { return view_ ? view_->Hwnd() : nullptr; }
    Ribbon& GetRibbon() const { return *ribbon_; }

    // The workbook window it shows (from 15.0 on); nullptr while it shows none. Panes made
    // while it shows none go with the window it shows next.
    WorkbookWindow* Shown() const { return shown_.Get(); }
    void Show(WorkbookWindow* window);
    // The window object the ribbon and the panes of this window belong to: the one shown,
    // or before 15.0 the application's active window.
    ComPtr<IDispatch> WindowObject() const;

    // A pane docked at the left, widthPoints wide, hosting the control (ProgID or "{CLSID}").
    // The pane stays even when the control cannot be made; the error comes back.
    HRESULT AddPane(const std::wstring& control, const std::wstring& title, int widthPoints, TaskPane** pane,
                    bool visible = true);
    void RemovePane(TaskPane* pane);
    bool HasPane(const TaskPane* pane) const;
    // Deletes every pane, as the window's closing does.
    void DeletePanes();
    const std::vector<std::unique_ptr<TaskPane>>& Panes() const { return panes_; }

    // Places the ribbon, the panes and the workbook area; runs on every resize.
    void Layout();
    // The caption and the workbook area show the model as it is now.
    void Refresh();

    // The in-place frame given to the controls of its panes.
    HRESULT GetFrame(IOleInPlaceFrame** frame) const;

private:
    class Frame;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    std::vector<Workbook*> ShownBooks() const;
    Workbook* CurrentBook() const;

    HostWindow& host_;
    std::wstring title_;
    ComPtr<WorkbookWindow> shown_;
    std::unique_ptr<Ribbon> ribbon_;
    std::unique_ptr<WorkbookView> view_;
    ComPtr<Frame> frame_;
    std::vector<std::unique_ptr<TaskPane>> panes_;
};

}  // namespace cartulane::sheethost
