#pragma once
// What tests read back from the system as a user or an installer would see it: the
// registry, a library's exports, and the items of a tree view; and the real pointer and
// keyboard, as a user's hand moves them.

#include "runtime/Window.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace cartulane::test {

// The libraries next to the test program.
std::wstring LibraryPath(const wchar_t* fileName);

// A REG_SZ value ("<none>" when it is not there); a REG_DWORD value (0xFFFFFFFF when not).
std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name = nullptr);
DWORD RegistryNumber(HKEY root, const std::wstring& key, const wchar_t* name);
bool KeyExists(HKEY root, const std::wstring& key);
DWORD SubkeyCount(HKEY root, const std::wstring& key);
std::wstring GuidText(REFGUID guid);

// Calls an export of a loaded library (DllRegisterServer, DllCanUnloadNow, ...); E_NOTIMPL
// when it has none.
HRESULT CallExport(HMODULE library, const char* name);
// Loads the library, calls the export and frees it again, as regsvr32 does.
HRESULT CallExportOnce(const std::wstring& path, const char* name);

using cartulane::WindowText;  // a window's text, whatever its length

// A tree view's items: the text of one, the texts under parent (nullptr: the top level).
std::wstring ItemText(HWND tree, HTREEITEM item);
std::vector<std::wstring> Children(HWND tree, HTREEITEM parent);
// The item with that text under parent (nullptr: at the top level), or nullptr.
HTREEITEM FindItem(HWND tree, HTREEITEM parent, const std::wstring& text);

// The control's two trees in its window: the folder tree above, the workbook tree below.
struct ControlTrees {
    HWND folder = nullptr;
    HWND workbook = nullptr;
};
ControlTrees FindTrees(HWND control);

// A sheethost process's main window and the control shown in one of its panes; nullptr
// for what is not there (yet).
struct ApplicationWindows {
    HWND main = nullptr;
    HWND control = nullptr;
};
ApplicationWindows FindApplicationWindows(DWORD process);
// The same once the control is shown, waiting for it a generous minute; what was found by
// then.
ApplicationWindows AwaitApplicationWindows(DWORD process);

// The real pointer to a point of the screen, with button events there (MOUSEEVENTF_LEFTDOWN,
// MOUSEEVENTF_LEFTUP, ...; none for a move), through the system's input queue.
void PointerTo(POINT screen, DWORD buttons = 0);
// The pointer from where it is to a point, in steps of a few pixels, as a hand moves it.
void SlidePointer(POINT from, POINT to);
// A key going down or up, through the system's input queue.
void PressKey(WORD key, bool down);

}  // namespace cartulane::test
