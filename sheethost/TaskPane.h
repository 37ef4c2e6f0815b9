#pragma once
// A task pane of the stand-in application: a window docked at the left edge of one of its
// main windows, with a title bar and a close box, hosting one ActiveX control that it
// creates by ProgID and sites in place, as the application's task panes do. It is
// deleted with its window.

#include "office_h.h"
#include "runtime/Variant.h"
#include "runtime/Window.h"

#include <ocidl.h>

#include <functional>
#include <string>

namespace cartulane::sheethost {

class MainWindow;

class TaskPane : private Window {
public:
    TaskPane(MainWindow& window, std::wstring title, int widthPoints, bool visible = true);
    ~TaskPane() override;  // deactivates, closes and lets go of the control

    // Makes the pane's window and creates the control (a ProgID or "{CLSID}") inside it,
    // sited as a container that knows IQuickActivate does it.
    HRESULT Create(HWND parent, const std::wstring& control);

    using Window::Hwnd;
    const std::wstring& Title() const { return title_; }
    // The hosted control's IDispatch, or nullptr.
    IDispatch* ContentControl() const { return dispatch_.Get(); }
    IOleObject* Control() const { return control_.Get(); }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    int Width() const { return widthPoints_; }  // points, the application's unit for panes
    void SetWidth(int points);
    int WidthPixels() const;
    // The edge of the main window the pane is docked at: left or right.
    MsoCTPDockPosition DockPosition() const { return dock_; }
    void SetDockPosition(MsoCTPDockPosition dock);
    int TitleHeight() const;
    // Where the control sits, in the pane's client coordinates.
    RECT ContentRect() const;

    // The pane was shown or hidden (by the close box or SetVisible).
    std::function<void(TaskPane&)> VisibleStateChange;

    // The pane as the application's object model shows it to add-ins (_CustomTaskPane),
    // made at the first request. It outlives the pane only as an empty shell whose calls
    // fail (and are counted by the application).
    HRESULT PaneObject(_CustomTaskPane** object);

private:
    class Site;
    class Object;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT SiteControl(const std::wstring& control);
    void Paint();
    RECT CloseBox() const;

    MainWindow& window_;
    std::wstring title_;
    int widthPoints_;
    bool visible_;
    MsoCTPDockPosition dock_ = msoCTPDockPositionLeft;
    ComPtr<Site> site_;
    ComPtr<IOleObject> control_;
    ComPtr<IDispatch> dispatch_;
    ComPtr<Object> object_;
};

}  // namespace cartulane::sheethost
