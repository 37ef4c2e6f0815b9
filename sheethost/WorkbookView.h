#pragma once
// The workbook area of a sheethost window: its workbooks as tabs, the sheets of the
// current one as tabs below a grid, and buttons to create, open and close workbooks and to
// hide or show sheets, so that the task pane can be tried by hand.

#include "runtime/ComPtr.h"
#include "runtime/Window.h"
#include "sheethost/ObjectModel.h"

#include <functional>

namespace cartulane::sheethost {

class WorkbookView : private Window {
public:
    // books: the workbooks the window shows (all of them, or its own); current: the one
    // whose sheets it shows.
    WorkbookView(Application& app, HWND parent, std::function<std::vector<Workbook*>()> books,
                 std::function<Workbook*()> current);
    ~WorkbookView() override;

    using Window::Hwnd;
    // Shows the model as it is now.
    void Refresh();

    // A click in the area: the host takes the focus back from a pane.
    std::function<void()> Clicked;

private:
    class FileDrop;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Layout();
    void PaintGrid(HDC dc);
    void OnCommand(UINT id);
    std::vector<Sheet*> ShownSheets() const;

    Application& app_;
    std::function<std::vector<Workbook*>()> books_of_;
    std::function<Workbook*()> current_;
    HWND books_ = nullptr;   // tab control: workbooks
    HWND sheets_ = nullptr;  // tab control: sheets of the active workbook
    HWND buttons_[7] = {};
    int bar_ = 0;  // the height of the buttons' rows
    bool refreshing_ = false;
    ComPtr<FileDrop> drop_;
};

}  // namespace cartulane::sheethost
