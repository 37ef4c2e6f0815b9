// sheethost: the stand-in spreadsheet application.
//   sheethost [--version <text>] [--new] [--open <file>]...
//             [--pane <ProgID> <title> <width in points>]...
// At start it loads the COM add-ins entered for the application with LoadBehavior 3;
// then it opens and creates the workbooks asked for, so that their events reach the
// add-ins. --pane adds a pane of its own with a control in it.
#include "sheethost/HostWindow.h"

#include <commctrl.h>
#include <objbase.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (FAILED(::OleInitialize(nullptr))) return 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
    int result = 0;
    {
        cartulane::sheethost::HostWindow host;
        if (FAILED(host.Create(L"sheethost", 1024, 720, true))) return 1;
        int argc = 0;
        wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
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
            }
        }
        ::LocalFree(argv);
        result = host.Run();
    }
    // As the application may: the libraries go with COM, in no fixed order, whatever
    // they still hold.
    ::OleUninitialize();
    return result;
}
