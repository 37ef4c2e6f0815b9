#pragma once
// What the tests of the control through COM share: Tabrix.ocx registered from the test
// program's folder, a user profile with a desktop folder, and a sheethost window with one
// pane hosting the control, with the control's children found.

#include "Tabrix_h.h"
#include "runtime/Twips.h"
#include "sheethost/HostWindow.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cartulane::test {

std::wstring OcxPath();
// Calls one of the control library's exports; the library stays loaded for the program.
HRESULT CallOcx(const char* name);

// Registers the library for the whole program and points USERPROFILE at a profile whose
// "桌面" holds a folder "报表 2024" (with 一月.xlsx), 预算.xls and readme.txt.
class ControlEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    static const TempDir& Profile();
};

// The add-in library next to the test program, and its exports run as regsvr32 does,
// without keeping it loaded.
std::wstring AddInPath();
HRESULT CallAddIn(const char* name);
// DllInstall(install, commandLine) of the add-in library, as "regsvr32 [/u] /n /i:<commandLine>".
HRESULT InstallAddIn(bool install, const wchar_t* commandLine);

// Registers the add-in library, and enters it for this user, for the whole program (the
// application then loads it).
class AddInEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

// The window of the control a pane shows; nullptr when there is no pane, no control in it or
// no window of it.
HWND ControlWindow(sheethost::TaskPane* pane);

class PaneFixture : public ::testing::Test {
protected:
    void SetUp() override;

    HWND Child(const wchar_t* text);
    RECT Rect(HWND window);
    void Resize(int width, int height);
    int Px(double twips) { return TwipsToPixels(twips, dpi_.x); }
    int Py(double twips) { return TwipsToPixels(twips, dpi_.y); }
    RECT Expected(double left, double top, double width, double height) {
        return {Px(left), Py(top), Px(left + width), Py(top + height)};
    }
    // The control's interface.
    ComPtr<_TestControl> Control();

    const Dpi dpi_ = ScreenDpi();
    sheethost::HostWindow host_;
    sheethost::TaskPane* pane_ = nullptr;
    ComPtr<IOleInPlaceObject> inPlace_;
    HWND control_ = nullptr;
    HWND folderTree_ = nullptr;
    HWND workbookTree_ = nullptr;
    HWND label_ = nullptr;
};

}  // namespace cartulane::test
