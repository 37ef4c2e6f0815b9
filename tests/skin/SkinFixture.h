#pragma once
// A form of the old form runtime's class ("ThunderRT6FormDC", which the skin knows as a
// form) with children of every family the skin tells apart, shown on the test's display;
// superclasses of the standard controls under the old runtime's class names; and readers of
// what the skin left on a window.

#include "skin/Registry.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace cartulane::test {

// A class registered under newName that behaves as the standard baseClass.
void RegisterSuperclass(const wchar_t* baseClass, const wchar_t* newName);

// Three items, 80 pixels wide: "名称", "大小", "日期".
void AddHeaderItems(HWND header);

// The skin's property names a window carries now.
std::set<std::wstring> SkinProperties(HWND window);

inline LONG_PTR Number(HWND window, const wchar_t* name) {
    return reinterpret_cast<LONG_PTR>(::GetPropW(window, name));
}

// Every message the form's own procedure gets, in order.
struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class SkinForm {
public:
    SkinForm();
    ~SkinForm();
    SkinForm(const SkinForm&) = delete;
    SkinForm& operator=(const SkinForm&) = delete;

    HWND form = nullptr;
    HWND push = nullptr;         // "Button", push style, id 101
    HWND disabledPush = nullptr; // "Button", default push style, disabled
    HWND checkButton = nullptr;  // "Button" with the check-box style
    HWND frame = nullptr;        // a "Static" container ...
    HWND nestedPush = nullptr;   // ... holding a push button (id 102)
    HWND nestedFrame = nullptr;  // ... and another container
    HWND deepLabel = nullptr;    // ... holding a label
    HWND thunderCheck = nullptr; // "ThunderRT6CheckBox"
    HWND thunderOption = nullptr;// "ThunderRT6OptionButton"
    HWND thunderOption2 = nullptr;
    HWND combo = nullptr;        // "ComboBox", drop-down list
    HWND header = nullptr;       // "SysHeader32"
    HWND progress = nullptr;     // "msctls_progress32"
    HWND edit = nullptr;         // "Edit" with a sunken edge
    HWND editCombo = nullptr;    // "ThunderRT6ComboBox", edit style
    HWND driveList = nullptr;    // "ThunderRT6DriveListBox"
    HWND progressBar = nullptr;  // "ProgressBar20WndClass", at 18000 of 30000
    HWND oldHeader = nullptr;    // "MSVB_Lib_Header" with three items
    HWND dataList = nullptr;     // "DataListWndClass" with a sunken edge
    HWND grid = nullptr;         // "ApexGrid8" with a border

    // Every window made, the form last.
    std::vector<HWND> All() const;
    // What the form's procedure saw; WM_COMMAND among it.
    static std::vector<Seen>& Messages();

private:
    static LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
};

// The bitmap selected into dc as a PNG file, and a PNG file's size and its colour at (x, y),
// through the platform's imaging component (COM initialised by the caller).
HRESULT SavePng(HDC dc, const std::wstring& path);
HRESULT ReadPng(const std::wstring& path, int x, int y, SIZE* size, COLORREF* color);

// Dispatches what is queued, then waits for and dispatches more for about ms milliseconds.
void PumpFor(int ms);

}  // namespace cartulane::test
