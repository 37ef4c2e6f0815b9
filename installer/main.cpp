// Instaldo: the dialog, until it is closed.

#include "installer/Form1.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
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
