#pragma once
// What the installer asks of the system: the machine a program or library is built for,
// the registration tool that matches it, a run of that tool awaited, and the machine of
// the spreadsheet application that is installed.

#include <windows.h>

#include <string>

namespace cartulane::installer {

// IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_I386, ... from the file's PE header; 0 when
// the file cannot be read or is not a program or library.
WORD MachineOf(const std::wstring& path);

// The Windows folder, as the system says it: never from the environment, which belongs to
// the user who may have started the installer to have it write elsewhere.
std::wstring WindowsFolder();

// Whether an installed copy can be replaced: nothing there, or a file that no program has
// open (as the spreadsheet application holds a library it loaded). A link at the name is
// refused (LinkAtTargetError): what it leads to is not the installer's to write.
HRESULT CheckReplaceable(const std::wstring& target);
inline HRESULT LinkAtTargetError() { return HRESULT_FROM_WIN32(ERROR_REPARSE_ATTRIBUTE_CONFLICT); }

// "64" or "32" for a machine, as the messages say it.
const wchar_t* Bits(WORD machine);

// The system's own regsvr32.exe for libraries of this machine: System32 for the installer's
// own kind, SysWOW64 for 32-bit libraries from a 64-bit installer, Sysnative for 64-bit ones
// from a 32-bit installer on 64-bit Windows. Empty when this Windows has no such tool.
std::wstring RegistrationTool(WORD machine);

// What a run of the registration tool does with a library.
enum class ToolStep {
    Register,       // "Regsvr32 /s ": its classes, for the machine
    Unregister,     // "Regsvr32 /s /u "
    EnterForUser,   // "Regsvr32 /s /n /i:user ": the add-in's entry of the user who runs it
    RemoveForUser,  // "Regsvr32 /s /u /n /i:user "
};

// Waits at most timeout milliseconds (INFINITE: for as long as it runs) for a process to
// end while this thread's messages go on being handled. S_OK with its exit code;
// HRESULT_FROM_WIN32(ERROR_TIMEOUT) when it did not end in time; E_ABORT when the program
// is ending (its quit is posted again).
HRESULT AwaitProcess(HANDLE process, DWORD timeout, DWORD* exitCode);

// Runs the tool's command line for the step and the library's path in double quotes, its
// window hidden, in the system's folder, and awaits it (AwaitProcess). Ended when it did not
// end in time, so that it does not keep the library loaded; the failure to start it.
HRESULT RunRegistrationTool(const std::wstring& tool, const std::wstring& library, ToolStep step, DWORD timeout,
                            DWORD* exitCode);

// The machine of the program registered for the machine as the local server of
// "Excel.Application", in either registry view; 0 when none is registered or it cannot be read.
WORD InstalledSpreadsheetMachine();

}  // namespace cartulane::installer
