#pragma once
// The application as it starts with the add-in registered and entered for the user
// (AddInEnvironment): sheethost's window of a version and size, then its add-ins loaded;
// made anew by every test that starts it, and closed at the test's end with the libraries
// no longer used freed.

#include "tests/support/PaneFixture.h"

#include <memory>

namespace cartulane::test {

class AddInFixture : public ::testing::Test {
protected:
    void TearDown() override { CloseApplication(); }

    // version "12.0" has one main window for all workbooks; "16.0" a window a workbook,
    // each with its ribbon and panes. An application started by another program is not
    // visible.
    void StartApplication(const wchar_t* version, int width, int height, bool visible = true);
    // The application gone, and the libraries nothing uses any more unloaded.
    void CloseApplication();
    // The control's trees in a pane; none when the pane or its control is not there.
    static ControlTrees TreesIn(sheethost::TaskPane* pane) { return FindTrees(ControlWindow(pane)); }

    std::unique_ptr<sheethost::HostWindow> host_;
};

}  // namespace cartulane::test
