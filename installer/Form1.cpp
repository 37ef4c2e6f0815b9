#include "installer/Form1.h"

#include "installer/Registration.h"
#include "runtime/ComServer.h"
#include "runtime/Error.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "skin/MSkinner.h"

#include <string>

namespace cartulane::installer {

namespace {

constexpr UINT kCommand1 = 101, kCommand2 = 102, kLabel1 = 103;
constexpr UINT kIconId = 1;
constexpr DWORD kToolTimeout = 60 * 1000;

constexpr const wchar_t* kNote = L"注：进行以上操作时，请先关闭Excel文件。";
constexpr const wchar_t* kMissing = L"请确保注册文件：TabrixAddIn.dll及Tabrix.ocx均在本软件相同目录下！";
// In the order they are copied; registered the other way round.
constexpr const wchar_t* kLibraries[] = {L"TabrixAddIn.dll", L"Tabrix.ocx"};
constexpr const wchar_t* kRegistered[] = {L"Tabrix.ocx", L"TabrixAddIn.dll"};

// An existing file that is neither hidden nor a system file.
bool IsOrdinaryFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

std::wstring ProgramFolder() {
    std::wstring folder = com::ModulePath(nullptr);
    folder.erase(folder.rfind(L'\\') + 1);
    return folder;
}

std::wstring InstalledPath(const std::wstring& systemRoot, const wchar_t* name) {
    return systemRoot + L"\\" + name;
}

// Copies over an installed copy even when it is read-only or hidden, and leaves the new
// one writable, so that the next installation can replace it. A link at the target's name
// is refused: what it leads to is not the installer's to write.
HRESULT CopyOver(const std::wstring& source, const std::wstring& target) {
    const std::wstring extended = ExtendedPath(target);
    const DWORD attributes = ::GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return LinkAtTargetError();
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
        ::SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
    RETURN_IF_FAILED(FileSystem().CopyFileTo(source, target));
    const DWORD copied = ::GetFileAttributesW(extended.c_str());
    if (copied != INVALID_FILE_ATTRIBUTES && (copied & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(extended.c_str(), copied & ~FILE_ATTRIBUTE_READONLY);
    return S_OK;
}

}  // namespace

Form1::Form1() : Form(L"Instaldo", Border::FixedSingle, 5085, 2115, Placement::CentreScreen) {}

void Form1::CreateControls() {
    AddChild(L"Button", L"注册", BS_PUSHBUTTON | WS_TABSTOP, kCommand1, 720, 600, 1455, 495);
    AddChild(L"Button", L"卸载", BS_PUSHBUTTON | WS_TABSTOP, kCommand2, 2760, 600, 1575, 495);
    AddChild(L"Static", kNote, SS_LEFT | SS_NOPREFIX, kLabel1, 840, 1560, 3615, 375);
    const HINSTANCE program = ::GetModuleHandleW(nullptr);
    const auto icon = [&](int metric) {
        return static_cast<HICON>(::LoadImageW(program, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               ::GetSystemMetrics(metric), ::GetSystemMetrics(metric + 1), LR_SHARED));
    };
    SetIcon(icon(SM_CXICON), icon(SM_CXSMICON));
}

void Form1::Form_Load() { skin::AttachSkin(Hwnd()); }

// A registration half done would be left behind: the dialog stays until it ends.
bool Form1::Form_QueryUnload() { return !busy_; }

// The program ends with its dialog.
void Form1::Form_Unload() { ::PostQuitMessage(0); }

void Form1::OnCommand(UINT id, UINT code) {
    // A click that comes while a command runs (its tool awaited, messages handled) waits for
    // nothing: the command running ends first, and its buttons come back.
    if (code == BN_CLICKED && (id == kCommand1 || id == kCommand2) && busy_) return;
    if (code == BN_CLICKED && id == kCommand1) {
        Command1_Click();
    } else if (code == BN_CLICKED && id == kCommand2) {
        Command2_Click();
    } else {
        Form::OnCommand(id, code);
    }
}

int Form1::Tell(const std::wstring& text, UINT style) { return ::MessageBoxW(Hwnd(), text.c_str(), L"提示", style); }

// While a command runs the dialog still paints and moves, but its commands wait and it
// cannot be closed.
void Form1::EnableCommands(bool enable) {
    busy_ = !enable;
    for (const UINT id : {kCommand1, kCommand2}) ::EnableWindow(::GetDlgItem(Hwnd(), id), enable);
}

void Form1::Command1_Click() {
    const std::wstring systemRoot = WindowsFolder();
    const std::wstring folder = ProgramFolder();
    for (const wchar_t* name : kLibraries) {
        if (!IsOrdinaryFile(folder + name)) {
            Tell(kMissing, MB_OK | MB_ICONEXCLAMATION);
            return;
        }
    }
    const WORD machine = MachineOf(folder + kLibraries[0]);
    if (machine == 0 || MachineOf(folder + kLibraries[1]) != machine) {
        Tell(L"无法识别TabrixAddIn.dll及Tabrix.ocx的位数，或两者的位数不同。", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const WORD spreadsheet = InstalledSpreadsheetMachine();
    if (spreadsheet != 0 && spreadsheet != machine) {
        const std::wstring text = std::wstring(L"本软件的组件为") + Bits(machine) + L"位，而已安装的Excel为" +
                                  Bits(spreadsheet) + L"位。请使用" + Bits(spreadsheet) + L"位安装包。\n\n是否仍要注册？";
        if (Tell(text, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    }

    // Both copies are replaced, or neither: each is looked at before the first is written.
    for (const wchar_t* name : kLibraries) {
        const std::wstring target = InstalledPath(systemRoot, name);
        const HRESULT hr = CheckReplaceable(target);
        if (SUCCEEDED(hr)) continue;
        const std::wstring reason = hr == LinkAtTargetError()
                                        ? target + L"是一个链接，不会被替换。"
                                        : SystemReason(hr);
        Tell(L"无法复制" + std::wstring(name) + L"到" + systemRoot + L"：\n" + reason + L"\n\n" + kNote,
             MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    EnableCommands(false);
    bool done = true;
    for (const wchar_t* name : kLibraries) {
        const HRESULT hr = CopyOver(folder + name, InstalledPath(systemRoot, name));
        if (FAILED(hr)) {
            Tell(L"无法复制" + std::wstring(name) + L"到" + systemRoot + L"：\n" + SystemReason(hr) + L"\n\n" + kNote,
                 MB_OK | MB_ICONEXCLAMATION);
            done = false;
            break;
        }
    }
    done = done && RegisterAll(systemRoot);
    EnableCommands(true);
    if (done) Tell(L"注册成功！", MB_OK | MB_ICONINFORMATION);
}

// Each installed library is unregistered; one that is missing is named, and the others are
// still unregistered.
void Form1::Command2_Click() {
    const std::wstring systemRoot = WindowsFolder();
    std::wstring missing;
    bool done = true, any = false;
    EnableCommands(false);
    for (const wchar_t* name : kRegistered) {
        const std::wstring library = InstalledPath(systemRoot, name);
        if (!IsOrdinaryFile(library)) {
            missing += L"\n" + library;
            continue;
        }
        any = true;
        std::wstring failure;
        if (!RunToolOn(library, name, true, &failure)) {
            done = false;
            if (failure.empty()) break;  // the program is ending
            Tell(failure, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    EnableCommands(true);
    if (!missing.empty()) {
        Tell(L"未找到已安装的组件：" + missing + (any && done ? L"\n\n其余组件已卸载。" : L""), MB_OK | MB_ICONEXCLAMATION);
    } else if (done) {
        Tell(L"卸载成功！", MB_OK | MB_ICONINFORMATION);
    }
}

// Registers each installed library. When one fails, those registered before it are
// unregistered again, so that no half registration is left.
bool Form1::RegisterAll(const std::wstring& systemRoot) {
    for (size_t i = 0; i < std::size(kRegistered); ++i) {
        std::wstring failure;
        if (RunToolOn(InstalledPath(systemRoot, kRegistered[i]), kRegistered[i], false, &failure)) continue;
        if (failure.empty()) return false;  // the program is ending
        for (size_t j = 0; j < i; ++j) {
            std::wstring undoing;
            failure += RunToolOn(InstalledPath(systemRoot, kRegistered[j]), kRegistered[j], true, &undoing)
                           ? L"\n已撤销" + std::wstring(kRegistered[j]) + L"的注册。"
                           : L"\n未能撤销" + std::wstring(kRegistered[j]) + L"的注册：" + undoing;
        }
        Tell(failure, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

bool Form1::RunToolOn(const std::wstring& library, const wchar_t* name, bool unregister, std::wstring* failure) {
    const wchar_t* const action = unregister ? L"卸载" : L"注册";
    const WORD machine = MachineOf(library);
    if (machine == 0) {
        *failure = std::wstring(action) + name + L"失败：" + library + L"不是有效的组件文件。";
        return false;
    }
    const std::wstring tool = RegistrationTool(machine);
    if (tool.empty()) {
        *failure = std::wstring(L"本软件的组件为") + Bits(machine) + L"位，本机的Windows无法" + action + L"。";
        return false;
    }
    DWORD exitCode = 0;
    const HRESULT hr = RunRegistrationTool(tool, library, unregister, kToolTimeout, &exitCode);
    if (hr == E_ABORT) return false;
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) {
        *failure = std::wstring(action) + name + L"失败：Regsvr32在60秒内没有结束，已被终止。";
    } else if (FAILED(hr)) {
        *failure = std::wstring(action) + name + L"失败：无法运行" + tool + L"：\n" + SystemReason(hr);
    } else if (exitCode != 0) {
        *failure = std::wstring(action) + name + L"失败（Regsvr32退出代码" + std::to_wstring(exitCode) + L"）。";
    }
    return failure->empty();
}

}  // namespace cartulane::installer
