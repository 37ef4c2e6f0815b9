#include "tests/support/Probes.h"

#include "runtime/Handles.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace cartulane::test {

std::wstring LibraryPath(const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    const DWORD size = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, size);
    return program.substr(0, program.rfind(L'\\') + 1) + fileName;
}

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return L"<none>";
    return text;
}

DWORD RegistryNumber(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0xFFFFFFFF, size = sizeof(value);
    ::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

bool KeyExists(HKEY root, const std::wstring& key) {
    UniqueHKey opened;
    return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

DWORD SubkeyCount(HKEY root, const std::wstring& key) {
    UniqueHKey opened;
    DWORD count = 0;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS) {
        ::RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
    }
    return count;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    ::StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT CallExport(HMODULE library, const char* name) {
    auto function =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    return function ? function() : E_NOTIMPL;
}

HRESULT CallExportOnce(const std::wstring& path, const char* name) {
    HMODULE library = ::LoadLibraryW(path.c_str());
    if (!library) return HRESULT_FROM_WIN32(::GetLastError());
    const HRESULT hr = CallExport(library, name);
    ::FreeLibrary(library);
    return hr;
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
    wchar_t text[1024] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = 1024;
    TreeView_GetItem(tree, &data);
    return text;
}

std::vector<std::wstring> Children(HWND tree, HTREEITEM parent) {
    std::vector<std::wstring> texts;
    for (HTREEITEM item = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); item;
         item = TreeView_GetNextSibling(tree, item))
        texts.push_back(ItemText(tree, item));
    return texts;
}

HTREEITEM FindItem(HWND tree, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM item = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); item;
         item = TreeView_GetNextSibling(tree, item))
        if (ItemText(tree, item) == text) return item;
    return nullptr;
}

ControlTrees FindTrees(HWND control) {
    std::vector<std::pair<LONG, HWND>> trees;
    for (HWND child = ::GetWindow(control, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        ::GetClassNameW(child, className, 64);
        RECT r{};
        ::GetWindowRect(child, &r);
        if (std::wstring(className) == WC_TREEVIEWW) trees.emplace_back(r.top, child);
    }
    if (trees.size() != 2) return {};
    std::sort(trees.begin(), trees.end());
    return {trees[0].second, trees[1].second};
}

namespace {

struct ApplicationSearch {
    DWORD process;
    ApplicationWindows found;
};

BOOL CALLBACK FindShownControl(HWND child, LPARAM state) {
    wchar_t className[32] = {};
    ::GetClassNameW(child, className, 32);
    if (std::wstring(className) == L"UserControl" && ::IsWindowVisible(child))
        reinterpret_cast<ApplicationSearch*>(state)->found.control = child;
    return TRUE;
}

BOOL CALLBACK FindApplicationMain(HWND top, LPARAM state) {
    auto* search = reinterpret_cast<ApplicationSearch*>(state);
    DWORD process = 0;
    ::GetWindowThreadProcessId(top, &process);
    wchar_t className[32] = {};
    ::GetClassNameW(top, className, 32);
    if (process == search->process && std::wstring(className) == L"SheetHostMain") {
        search->found.main = top;
        ::EnumChildWindows(top, &FindShownControl, state);
    }
    return TRUE;
}

}  // namespace

ApplicationWindows FindApplicationWindows(DWORD process) {
    ApplicationSearch search{process, {}};
    ::EnumWindows(&FindApplicationMain, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

ApplicationWindows AwaitApplicationWindows(DWORD process) {
    ApplicationWindows windows;
    for (int i = 0; i < 600 && !windows.control; ++i) {
        ::Sleep(100);
        windows = FindApplicationWindows(process);
    }
    return windows;
}

void PointerTo(POINT screen, DWORD buttons) {
    ::SetCursorPos(screen.x, screen.y);
    INPUT event{};
    event.type = INPUT_MOUSE;
    event.mi.dx = ::MulDiv(screen.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    event.mi.dy = ::MulDiv(screen.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    event.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    ::SendInput(1, &event, sizeof(event));
}

void SlidePointer(POINT from, POINT to) {
    const LONG steps = std::max<LONG>(1, std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 8);
    for (LONG step = 1; step <= steps; ++step) {
        PointerTo({from.x + (to.x - from.x) * step / steps, from.y + (to.y - from.y) * step / steps});
        ::Sleep(5);
    }
}

void PressKey(WORD key, bool down) {
    INPUT event{};
    event.type = INPUT_KEYBOARD;
    event.ki.wVk = key;
    event.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &event, sizeof(event));
}

}  // namespace cartulane::test
