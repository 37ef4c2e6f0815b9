// Instaldo: the dialog, until it is closed; or, started by the dialog with administrator
// rights as "Instaldo.exe /register <dialog>" or "/unregister <dialog>", the copies and the
// registration, its messages sent back to the dialog.

#include "installer/Form1.h"
#include "installer/Installation.h"
#include "runtime/Handles.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cwchar>

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

// The process that started this one; 0 when it cannot be told.
DWORD ParentProcess() {
    const cartulane::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ProcessID == ::GetCurrentProcessId()) return entry.th32ParentProcessID;
    return 0;
}

// The elevated part: its messages go to the dialog named on the command line when that is a
// window of the program that started this one, and are shown here otherwise. 0 when all
// was done, 1 when not (and it was said why).
int ElevatedPart(bool unregister, const wchar_t* dialogArgument) {
    namespace installer = cartulane::installer;
    const ULONG_PTR named = dialogArgument ? std::wcstoull(dialogArgument, nullptr, 10) : 0;
    HWND dialog = reinterpret_cast<HWND>(named);
    DWORD owner = 0;
    if (!dialog || !::GetWindowThreadProcessId(dialog, &owner) || owner == 0 || owner != ParentProcess())
        dialog = nullptr;
    const installer::Tell tell = [dialog](const std::wstring& text) {
        COPYDATASTRUCT data{installer::kToldData, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                            const_cast<wchar_t*>(text.c_str())};
        DWORD_PTR taken = FALSE;
        if (dialog && ::SendMessageTimeoutW(dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                            SMTO_ABORTIFHUNG, 30000, &taken) && taken)
            return;
        ::MessageBoxW(nullptr, text.c_str(), L"提示", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
    };
    return (unregister ? installer::UnregisterAll(tell) : installer::CopyAndRegister(tell)) ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LoadLibrariesFromTheSystemOnly();
    int count = 0;
    const cartulane::UniqueLocalMemory<wchar_t*> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (arguments && count >= 2) {
        const std::wstring command = arguments.get()[1];
        if (command == L"/register" || command == L"/unregister")
            return ElevatedPart(command == L"/unregister", count >= 3 ? arguments.get()[2] : nullptr);
    }
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
