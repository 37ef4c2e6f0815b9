#include "installer/Installation.h"

#include "addin/AddInEntry.h"
#include "runtime/ComServer.h"
#include "runtime/Error.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

namespace cartulane::installer {

namespace {

constexpr DWORD kToolTimeout = 60 * 1000;
constexpr const wchar_t* kMissing = L"请确保注册文件：TabrixAddIn.dll及Tabrix.ocx均在本软件相同目录下！";
// In the order they are copied; registered the other way round.
constexpr const wchar_t* kLibraries[] = {L"TabrixAddIn.dll", L"Tabrix.ocx"};
constexpr const wchar_t* kRegistered[] = {L"Tabrix.ocx", L"TabrixAddIn.dll"};

// Copies over an installed copy even when it is read-only or hidden, and leaves the new
// one writable, so that the next installation can replace it. A link at the target's name
// is refused: what it leads to is not the installer's to write.
HRESULT CopyOver(const std::wstring& source, const std::wstring& target) {
    const std::wstring extended = ExtendedPath(target);
    const DWORD attributes = ::GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return LinkAtTargetError();
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
        ::SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
    RETURN_IF_FAILED(FileSystem().CopyFileTo(source, target));
    const DWORD copied = ::GetFileAttributesW(extended.c_str());
    if (copied != INVALID_FILE_ATTRIBUTES && (copied & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(extended.c_str(), copied & ~FILE_ATTRIBUTE_READONLY);
    return S_OK;
}

std::wstring CopyFailure(const wchar_t* name, const std::wstring& reason) {
    return L"无法复制" + std::wstring(name) + L"到" + WindowsFolder() + L"：\n" + reason + L"\n\n" + kNote;
}

// Runs the tool on one library: whether it succeeded, and what failed (nothing when the
// program is ending).
bool RunToolOn(const std::wstring& library, const wchar_t* name, ToolStep step, std::wstring* failure) {
    const wchar_t* const actions[] = {L"注册", L"卸载", L"为当前用户注册", L"为当前用户卸载"};
    const std::wstring action = actions[static_cast<int>(step)];
    const WORD machine = MachineOf(library);
    if (machine == 0) {
        *failure = action + name + L"失败：" + library + L"不是有效的组件文件。";
        return false;
    }
    const std::wstring tool = RegistrationTool(machine);
    if (tool.empty()) {
        *failure = std::wstring(L"本软件的组件为") + Bits(machine) + L"位，本机的Windows无法" + action + L"。";
        return false;
    }
    DWORD exitCode = 0;
    const HRESULT hr = RunRegistrationTool(tool, library, step, kToolTimeout, &exitCode);
    if (hr == E_ABORT) return false;
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) {
        *failure = action + name + L"失败：Regsvr32在60秒内没有结束，已被终止。";
    } else if (FAILED(hr)) {
        *failure = action + name + L"失败：无法运行" + tool + L"：\n" + SystemReason(hr);
    } else if (exitCode != 0) {
        *failure = action + name + L"失败（Regsvr32退出代码" + std::to_wstring(exitCode) + L"）。";
    }
    return failure->empty();
}

// Registers each installed library. When one fails, those registered before it are
// unregistered again, so that no half registration is left.
bool RegisterEach(const Tell& tell) {
    for (size_t i = 0; i < std::size(kRegistered); ++i) {
        std::wstring failure;
        if (RunToolOn(InstalledPath(kRegistered[i]), kRegistered[i], ToolStep::Register, &failure)) continue;
        if (failure.empty()) return false;  // the program is ending
        for (size_t j = 0; j < i; ++j) {
            std::wstring undoing;
            failure += RunToolOn(InstalledPath(kRegistered[j]), kRegistered[j], ToolStep::Unregister, &undoing)
                           ? L"\n已撤销" + std::wstring(kRegistered[j]) + L"的注册。"
                           : L"\n未能撤销" + std::wstring(kRegistered[j]) + L"的注册：" + undoing;
        }
        tell(failure);
        return false;
    }
    return true;
}

}  // namespace

std::wstring ProgramFolder() {
    std::wstring folder = com::ModulePath(nullptr);
    folder.erase(folder.rfind(L'\\') + 1);
    return folder;
}

std::wstring InstalledPath(const wchar_t* name) { return JoinPath(WindowsFolder(), name); }

bool IsOrdinaryFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

std::wstring CheckPackage(WORD* machine) {
    const std::wstring folder = ProgramFolder();
    for (const wchar_t* name : kLibraries)
        if (!IsOrdinaryFile(folder + name)) return kMissing;
    *machine = MachineOf(folder + kLibraries[0]);
    if (*machine == 0 || MachineOf(folder + kLibraries[1]) != *machine)
        return L"无法识别TabrixAddIn.dll及Tabrix.ocx的位数，或两者的位数不同。";
    return {};
}

bool CopyAndRegister(const Tell& tell) {
    // The package's libraries are held from the first look to the end of the copy: opened
    // once, shared for reading only, so that nobody changes, renames or deletes them, nor a
    // folder above them, in between; and neither may be a link, which would have this
    // program read, with its rights, a file the user who put it there may not read.
    const std::wstring folder = ProgramFolder();
    UniqueFile held[std::size(kLibraries)];
    for (size_t i = 0; i < std::size(kLibraries); ++i) {
        const std::wstring source = folder + kLibraries[i];
        held[i].reset(::CreateFileW(ExtendedPath(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!held[i]) {
            const HRESULT hr = LastErrorResult();
            tell(IsOrdinaryFile(source) ? CopyFailure(kLibraries[i], SystemReason(hr)) : std::wstring(kMissing));
            return false;
        }
        if (!::GetFileInformationByHandle(held[i].get(), &information) ||
            (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks != 1) {
            tell(CopyFailure(kLibraries[i], source + L"是一个链接，不会被复制。"));
            return false;
        }
    }
    WORD machine = 0;
    if (const std::wstring problem = CheckPackage(&machine); !problem.empty()) {
        tell(problem);
        return false;
    }
    // Both copies are replaced, or neither: each is looked at before the first is written.
    for (const wchar_t* name : kLibraries) {
        const std::wstring target = InstalledPath(name);
        const HRESULT hr = CheckReplaceable(target);
        if (FAILED(hr)) {
            tell(CopyFailure(name, hr == LinkAtTargetError() ? target + L"是一个链接，不会被替换。" : SystemReason(hr)));
            return false;
        }
    }
    for (const wchar_t* name : kLibraries) {
        if (const HRESULT hr = CopyOver(folder + name, InstalledPath(name)); FAILED(hr)) {
            tell(CopyFailure(name, SystemReason(hr)));
            return false;
        }
    }
    return RegisterEach(tell);
}

bool UnregisterAll(const Tell& tell) {
    std::wstring missing;
    bool done = true, any = false;
    for (const wchar_t* name : kRegistered) {
        const std::wstring library = InstalledPath(name);
        if (!IsOrdinaryFile(library)) {
            missing += L"\n" + library;
            continue;
        }
        any = true;
        std::wstring failure;
        if (!RunToolOn(library, name, ToolStep::Unregister, &failure)) {
            done = false;
            if (failure.empty()) return false;  // the program is ending
            tell(failure);
        }
    }
    if (!missing.empty())
        tell(L"未找到已安装的组件：" + missing + (any && done ? L"\n\n其余组件已卸载。" : L""));
    return done && missing.empty();
}

bool ForUser(bool enter, const Tell& tell) {
    const std::wstring library = InstalledPath(kAddIn);
    if (!IsOrdinaryFile(library)) {
        if (enter) {
            tell(L"未找到已安装的组件：\n" + library);
            return false;
        }
        // Without the library its entry would have the application fail to load it at every
        // start: it goes by its name.
        const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, addin::kAddInEntryKey);
        if (status == ERROR_SUCCESS) ::RegDeleteKeyW(HKEY_CURRENT_USER, addin::kAddInEntryKey);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return true;
        tell(L"为当前用户卸载" + std::wstring(kAddIn) + L"失败：\n" + SystemReason(HRESULT_FROM_WIN32(status)));
        return false;
    }
    std::wstring failure;
    if (RunToolOn(library, kAddIn, enter ? ToolStep::EnterForUser : ToolStep::RemoveForUser, &failure)) return true;
    if (!failure.empty()) tell(failure);
    return false;
}

}  // namespace cartulane::installer
