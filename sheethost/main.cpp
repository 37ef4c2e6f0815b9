// sheethost: the stand-in spreadsheet application.
//   sheethost [--version <text>] [--new] [--open <file>]...
//             [--pane <ProgID> <title> <width in points>]... [--arrange <style>]
// At start it loads the COM add-ins entered for the application with LoadBehavior 3;
// then it opens and creates the workbooks asked for, so that their events reach the
// add-ins. --pane adds a pane of its own with a control in it. --version 15.0 and later
// give every workbook a window of its own; --arrange then places them as the
// application's Windows.Arrange does: tiled, vertical (side by side), horizontal, cascade.
#include "runtime/ComServer.h"
#include "runtime/Dispatch.h"
#include "runtime/Handles.h"
#include "sheethost/HostWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include <string>
#include <vector>

namespace {

// What CoUninitialize does on Windows at the application's exit: every COM library still
// loaded goes, whether or not it is in use and whatever it still holds (Wine keeps the
// ones that say they are in use). The last loaded goes first: the control's library
// before the add-in's that holds references into it.
void UnloadComLibraries() {
    std::vector<HMODULE> modules(512);
    DWORD needed = 0;
    if (!::K32EnumProcessModules(::GetCurrentProcess(), modules.data(),
                                 static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return;
    modules.resize(std::min<size_t>(modules.size(), needed / sizeof(HMODULE)));
    wchar_t windows[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
    for (auto it = modules.rbegin(); it != modules.rend(); ++it) {
        if (!::GetProcAddress(*it, "DllGetClassObject") || !::GetProcAddress(*it, "DllCanUnloadNow")) continue;
        const std::wstring path = cartulane::com::ModulePath(*it);
        if (path.empty() || ::CompareStringOrdinal(path.c_str(), static_cast<int>(length), windows,
                                                    static_cast<int>(length), TRUE) == CSTR_EQUAL)
            continue;
        while (::GetModuleHandleW(path.c_str()) == *it && ::FreeLibrary(*it)) {
        }
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (FAILED(::OleInitialize(nullptr))) return 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
    int result = 0;
    {
        cartulane::sheethost::HostWindow host;
        if (FAILED(host.Create(L"sheethost", 1024, 720, true))) return 1;
        int argc = 0;
        const cartulane::UniqueLocalMemory<wchar_t*> arguments(::CommandLineToArgvW(::GetCommandLineW(), &argc));
        wchar_t** const argv = arguments.get();
        for (int i = 1; argv && i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--version" && i + 1 < argc) host.App().SetVersion(argv[++i]);
        }
        host.LoadAddIns();
        for (int i = 1; argv && i < argc; ++i) {
            const std::wstring option = argv[i];
            const bool more = i + 1 < argc;
            if (option == L"--pane" && i + 3 < argc) {
                host.AddPane(argv[i + 1], argv[i + 2], _wtoi(argv[i + 3]), nullptr);
                i += 3;
            } else if (option == L"--version" && more) {
                ++i;
            } else if (option == L"--new") {
                host.App().AddWorkbook(nullptr);
            } else if (option == L"--open" && more) {
                std::wstring error;
                host.App().OpenWorkbook(argv[++i], nullptr, &error);
            } else if (option == L"--arrange" && more) {
                const std::wstring style = argv[++i];
                const long arrange = style == L"vertical"     ? cartulane::sheethost::xl::ArrangeVertical
                                     : style == L"horizontal" ? cartulane::sheethost::xl::ArrangeHorizontal
                                     : style == L"cascade"    ? cartulane::sheethost::xl::ArrangeCascade
                                                              : cartulane::sheethost::xl::ArrangeTiled;
                cartulane::ComPtr<IDispatch> windows;
                if (SUCCEEDED(cartulane::dispatch::GetDispatch(&host.App(), L"Windows", &windows)))
                    cartulane::dispatch::Call(windows.Get(), L"Arrange", {cartulane::Variant(static_cast<int>(arrange))});
            }
        }
        result = host.Run();
    }
    // As the application may: no CoFreeUnusedLibraries first, and the libraries go with
    // COM, in no fixed order, whatever they still hold.
    ::OleUninitialize();
    UnloadComLibraries();
    return result;
}
