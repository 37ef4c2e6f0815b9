#include "installer/Registration.h"

#include "runtime/Error.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <cwctype>

namespace cartulane::installer {

namespace {

template <typename T>
bool ReadAt(HANDLE file, LONG offset, T* value) {
    DWORD read = 0;
    return ::SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ::ReadFile(file, value, sizeof(T), &read, nullptr) && read == sizeof(T);
}

// A folder the system names through a function of the GetSystemDirectoryW kind.
template <typename Function>
std::wstring SystemFolder(Function function) {
    wchar_t folder[MAX_PATH];
    const UINT size = function(folder, MAX_PATH);
    return size == 0 || size >= MAX_PATH ? std::wstring() : std::wstring(folder, size);
}

// A string value of the machine's classes in one registry view (REG_EXPAND_SZ comes
// expanded). Not HKEY_CLASSES_ROOT: the user's own classes there are the user's to write.
std::wstring ClassesValue(const std::wstring& key, REGSAM view) {
    UniqueHKey opened;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, KEY_QUERY_VALUE | view,
                        opened.put()) != ERROR_SUCCESS)
        return {};
    DWORD size = 0;
    if (::RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                       &size) != ERROR_SUCCESS)
        return {};
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(opened.get(), nullptr, nullptr, RRF_RT_REG_SZ, nullptr, value.data(),
                       &size) != ERROR_SUCCESS)
        return {};
    value.resize(::wcsnlen(value.c_str(), value.size()));
    return value;
}

// The program of a server's command line: the quoted part, or what ends in ".exe".
std::wstring ProgramOf(const std::wstring& commandLine) {
    if (commandLine.starts_with(L'"')) return commandLine.substr(1, commandLine.find(L'"', 1) - 1);
    std::wstring lower = commandLine;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    const size_t exe = lower.find(L".exe");
    return exe == std::wstring::npos ? commandLine : commandLine.substr(0, exe + 4);
}

}  // namespace

WORD MachineOf(const std::wstring& path) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    IMAGE_DOS_HEADER dos{};
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    if (!file || !ReadAt(file.get(), 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 ||
        !ReadAt(file.get(), dos.e_lfanew, &signature) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(file.get(), dos.e_lfanew + static_cast<LONG>(sizeof(signature)), &header))
        return 0;
    return header.Machine;
}

std::wstring WindowsFolder() { return SystemFolder(::GetSystemWindowsDirectoryW); }

HRESULT CheckReplaceable(const std::wstring& target) {
    const std::wstring extended = ExtendedPath(target);
    const DWORD attributes = ::GetFileAttributesW(extended.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return LinkAtTargetError();
    // Write access too: a library a program has loaded is mapped, with no handle left open,
    // and only a write is refused. A read-only copy (made writable before it is replaced)
    // can be asked for deletion only.
    const DWORD write = (attributes & FILE_ATTRIBUTE_READONLY) ? 0 : FILE_WRITE_DATA;
    const UniqueFile held(::CreateFileW(extended.c_str(), DELETE | FILE_READ_ATTRIBUTES | write, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return held ? S_OK : LastErrorResult();
}

const wchar_t* Bits(WORD machine) { return machine == IMAGE_FILE_MACHINE_I386 ? L"32" : L"64"; }

std::wstring RegistrationTool(WORD machine) {
    constexpr WORD kOwn = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    BOOL underWow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &underWow64);
    std::wstring folder;
    if (machine == kOwn) {
        folder = SystemFolder(::GetSystemDirectoryW);
    } else if (kOwn == IMAGE_FILE_MACHINE_AMD64 && machine == IMAGE_FILE_MACHINE_I386) {
        folder = SystemFolder(::GetSystemWow64DirectoryW);
    } else if (kOwn == IMAGE_FILE_MACHINE_I386 && machine == IMAGE_FILE_MACHINE_AMD64 && underWow64) {
        folder = SystemFolder(::GetSystemWindowsDirectoryW);
        if (!folder.empty()) folder = JoinPath(folder, L"Sysnative");
    }
    return folder.empty() ? folder : JoinPath(folder, L"regsvr32.exe");
}

HRESULT AwaitProcess(HANDLE process, DWORD timeout, DWORD* exitCode) {
    *exitCode = 0;
    const ULONGLONG deadline = ::GetTickCount64() + timeout;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = timeout == INFINITE ? INFINITE : now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        // A message handled for long may have outlasted the deadline: the process's end counts first.
        const DWORD wait = ::MsgWaitForMultipleObjects(1, &process, FALSE, left, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) break;
        if (wait == WAIT_TIMEOUT || (timeout != INFINITE && now >= deadline)) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        if (wait != WAIT_OBJECT_0 + 1) return LastErrorResult();
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The program is ending: its loop gets the quit again.
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return E_ABORT;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    RETURN_LAST_ERROR_IF(!::GetExitCodeProcess(process, exitCode));
    return S_OK;
}

HRESULT RunRegistrationTool(const std::wstring& tool, const std::wstring& library, ToolStep step, DWORD timeout,
                            DWORD* exitCode) {
    *exitCode = 0;
    const wchar_t* const switches[] = {L"Regsvr32 /s ", L"Regsvr32 /s /u ", L"Regsvr32 /s /n /i:user ",
                                       L"Regsvr32 /s /u /n /i:user "};
    std::wstring commandLine = switches[static_cast<int>(step)] + (L'"' + library + L'"');
    // The system's folder, which a 64-bit tool started from a 32-bit installer sees too,
    // rather than whatever folder the installer was started in.
    const std::wstring folder = SystemFolder(::GetSystemDirectoryW);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    // The tool by its full path, never found along the search path.
    RETURN_LAST_ERROR_IF(!::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                           folder.empty() ? nullptr : folder.c_str(), &startup, &started));
    const UniqueKernelHandle process(started.hProcess), thread(started.hThread);
    const HRESULT hr = AwaitProcess(process.get(), timeout, exitCode);
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) ::TerminateProcess(process.get(), ERROR_TIMEOUT);
    return hr;
}

WORD InstalledSpreadsheetMachine() {
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        const std::wstring clsid = ClassesValue(L"Excel.Application\\CLSID", view);
        if (clsid.empty()) continue;
        const std::wstring server = ClassesValue(L"CLSID\\" + clsid + L"\\LocalServer32", view);
        if (server.empty()) continue;
        if (const WORD machine = MachineOf(ProgramOf(server))) return machine;
    }
    return 0;
}

}  // namespace cartulane::installer
