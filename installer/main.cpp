// Instaldo: the dialog, until it is closed; or, started by the dialog with administrator
// rights as "Instaldo.exe /register <dialog>" or "/unregister <dialog>", the copies and the
// registration, its messages sent back to the dialog.

#include "installer/Form1.h"
#include "installer/Installation.h"
#include "runtime/Handles.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
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

// The elevated part: its messages go, after the token, to the dialog named on the command
// line when that is a window of the program that started this one, and are shown here
// otherwise (or when the dialog does not take them within a minute). 0 when all was done,
// 1 when not (and it was said why).
int ElevatedPart(bool unregister, const wchar_t* dialogArgument, const wchar_t* token) {
    namespace installer = cartulane::installer;
    const ULONG_PTR named = dialogArgument ? std::wcstoull(dialogArgument, nullptr, 10) : 0;
    HWND dialog = reinterpret_cast<HWND>(named);
    DWORD owner = 0;
    if (!dialog || !token || !::GetWindowThreadProcessId(dialog, &owner) || owner == 0 || owner != ParentProcess())
        dialog = nullptr;
    const installer::Tell tell = [dialog, token](const std::wstring& text) {
        if (dialog) {
            std::wstring sent = token + text;
            COPYDATASTRUCT data{installer::kToldData, static_cast<DWORD>(sent.size() * sizeof(wchar_t)), sent.data()};
            DWORD_PTR taken = FALSE;
            // The dialog may not be reading its messages yet (still in the shell's call that
            // started this): it is given a minute, not taken for hung.
            if (::SendMessageTimeoutW(dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_BLOCK, 60000,
                                      &taken) &&
                taken)
                return;
        }
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
            return ElevatedPart(command == L"/unregister", count >= 4 ? arguments.get()[2] : nullptr,
                                count >= 4 ? arguments.get()[3] : nullptr);
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The shell starts the elevated part through COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
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
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
