// Instaldo: the dialog, until it is closed.

#include "installer/Form1.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

namespace {

// Libraries loaded by name from now on come from the system's folder only, never from the
// folder the installer was started from (a download folder) nor the current one. Asked of
// kernel32 by name: Windows 7 has the function only with its update KB2533623.
void LoadLibrariesFromTheSystemOnly() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LoadLibrariesFromTheSystemOnly();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    int result = 0;
    {
        cartulane::installer::Form1 form;
        form.Show();
        if (!form.Loaded()) return 1;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        result = static_cast<int>(message.wParam);
    }
    return result;
}
