// sheethost: the stand-in spreadsheet application.
//   sheethost [--pane <ProgID> <title> <width in points>]...
#include "sheethost/HostWindow.h"

#include <commctrl.h>
#include <objbase.h>

#include <cwchar>

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
        for (int i = 1; argv && i + 3 < argc; ++i) {
            if (std::wcscmp(argv[i], L"--pane") == 0) {
                host.AddPane(argv[i + 1], argv[i + 2], _wtoi(argv[i + 3]), nullptr);
                i += 3;
            }
        }
        ::LocalFree(argv);
        result = host.Run();
    }
    ::OleUninitialize();
    return result;
}
