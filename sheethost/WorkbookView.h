#pragma once
// The workbook area of sheethost's window: the open workbooks as tabs, the sheets of the
// active one as tabs below a grid, and buttons to create, open and close workbooks and to
// hide or show sheets, so that the task pane can be tried by hand.

#include "sheethost/ObjectModel.h"

#include <functional>

namespace cartulane::sheethost {

class WorkbookView {
public:
    WorkbookView(Application& app, HWND parent);
    ~WorkbookView();
    WorkbookView(const WorkbookView&) = delete;
    WorkbookView& operator=(const WorkbookView&) = delete;

    HWND Hwnd() const { return hwnd_; }
    // Shows the model as it is now.
    void Refresh();

    // A click in the area: the host takes the focus back from a pane.
    std::function<void()> Clicked;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void PaintGrid(HDC dc);
    void OnCommand(UINT id);
    std::vector<Sheet*> ShownSheets() const;

    Application& app_;
    HWND hwnd_ = nullptr;
    HWND books_ = nullptr;   // tab control: workbooks
    HWND sheets_ = nullptr;  // tab control: sheets of the active workbook
    HWND buttons_[5] = {};
    bool refreshing_ = false;
};

}  // namespace cartulane::sheethost
