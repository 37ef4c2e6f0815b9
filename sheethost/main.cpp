// sheethost: the stand-in spreadsheet application.
//   sheethost [--version <text>] [--new] [--open <file>]...
//             [--pane <ProgID> <title> <width in points> [--connect]]...
// --connect does for the last pane what the add-in does: the control gets the application
// and rebuilds its workbook tree after each workbook event.
#include "sheethost/HostWindow.h"

#include <commctrl.h>
#include <objbase.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (FAILED(::OleInitialize(nullptr))) return 1;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    int result = 0;
    {
        cartulane::sheethost::HostWindow host;
        if (FAILED(host.Create(L"sheethost", 1024, 720, true))) return 1;
        int argc = 0;
        wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
        cartulane::sheethost::TaskPane* pane = nullptr;
        for (int i = 1; argv && i < argc; ++i) {
            const std::wstring option = argv[i];
            const bool more = i + 1 < argc;
            if (option == L"--pane" && i + 3 < argc) {
                host.AddPane(argv[i + 1], argv[i + 2], _wtoi(argv[i + 3]), &pane);
                i += 3;
            } else if (option == L"--connect" && pane) {
                host.ConnectControl(pane);
            } else if (option == L"--version" && more) {
                host.App().SetVersion(argv[++i]);
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
    ::OleUninitialize();
    return result;
}
