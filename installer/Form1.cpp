#include "installer/Form1.h"

#include "installer/Installation.h"
#include "runtime/ComServer.h"
#include "runtime/Error.h"
#include "runtime/Handles.h"
#include "skin/MSkinner.h"

#include <shellapi.h>

namespace cartulane::installer {

namespace {

constexpr UINT kCommand1 = 101, kCommand2 = 102, kLabel1 = 103;
constexpr UINT kIconId = 1;

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

int Form1::Tell(const std::wstring& text, UINT style) {
    const OwnDialogs own;  // the skin dresses it
    return ::MessageBoxW(Hwnd(), text.c_str(), L"提示", style);
}

// While a command runs the dialog still paints and moves, but its commands wait and it
// cannot be closed.
void Form1::EnableCommands(bool enable) {
    busy_ = !enable;
    for (const UINT id : {kCommand1, kCommand2}) ::EnableWindow(::GetDlgItem(Hwnd(), id), enable);
}

// Whatever the elevated part sends while it runs is kept, to be told once it has ended;
// anything else sent as data (from a program that does not know the token) is not taken.
LRESULT Form1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return Form::OnMessage(message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!awaiting_ || !data || data->dwData != kToldData || !data->lpData || data->cbData % sizeof(wchar_t) != 0 ||
        data->cbData > 64 * 1024 || told_.size() >= 16)
        return FALSE;
    const std::wstring_view sent(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
    if (token_.empty() || !sent.starts_with(token_)) return FALSE;
    told_.emplace_back(sent.substr(token_.size()));
    return TRUE;
}

void Form1::Command1_Click() {
    WORD machine = 0;
    if (const std::wstring problem = CheckPackage(&machine); !problem.empty()) {
        Tell(problem, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const WORD spreadsheet = InstalledSpreadsheetMachine();
    if (spreadsheet != 0 && spreadsheet != machine) {
        const std::wstring text = std::wstring(L"本软件的组件为") + Bits(machine) + L"位，而已安装的Excel为" +
                                  Bits(spreadsheet) + L"位。请使用" + Bits(spreadsheet) + L"位安装包。\n\n是否仍要注册？";
        if (Tell(text, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    }
    EnableCommands(false);
    bool done = false;
    // The add-in is entered for this user once the libraries are in place and registered.
    if (RunElevatedPart(L"/register", &done) && done)
        done = ForUser(true, [this](const std::wstring& text) { Tell(text, MB_OK | MB_ICONEXCLAMATION); });
    EnableCommands(true);
    if (done) Tell(L"注册成功！", MB_OK | MB_ICONINFORMATION);
}

// The elevated part unregisters; this user's entry goes once it has run, whatever it found.
void Form1::Command2_Click() {
    EnableCommands(false);
    bool done = false;
    if (RunElevatedPart(L"/unregister", &done))
        done = ForUser(false, [this](const std::wstring& text) { Tell(text, MB_OK | MB_ICONEXCLAMATION); }) && done;
    EnableCommands(true);
    if (done) Tell(L"卸载成功！", MB_OK | MB_ICONINFORMATION);
}

bool Form1::RunElevatedPart(const wchar_t* command, bool* done) {
    *done = false;
    GUID guid{};
    wchar_t token[40] = {};
    if (FAILED(::CoCreateGuid(&guid)) || !::StringFromGUID2(guid, token, 40)) return false;
    const std::wstring program = com::ModulePath(nullptr);
    const std::wstring parameters =
        std::wstring(command) + L" " + std::to_wstring(reinterpret_cast<ULONG_PTR>(Hwnd())) + L" " + token;
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof(run);
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_UNICODE;
    run.hwnd = Hwnd();
    run.lpVerb = L"runas";
    run.lpFile = program.c_str();
    run.lpParameters = parameters.c_str();
    run.nShow = SW_SHOWNORMAL;
    // Its messages are taken from the start: the shell may handle this window's messages
    // while it starts the program.
    token_ = token;
    told_.clear();
    awaiting_ = true;
    const bool started = ::ShellExecuteExW(&run) != FALSE;
    if (!started || !run.hProcess) {
        awaiting_ = false;
        const DWORD error = started ? ERROR_INVALID_HANDLE : ::GetLastError();
        Tell(error == ERROR_CANCELLED
                 ? std::wstring(L"未获得管理员权限，未作任何更改。")
                 : L"无法以管理员身份运行" + program + L"：\n" + SystemReason(HRESULT_FROM_WIN32(error)),
             MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    const UniqueKernelHandle process(run.hProcess);
    DWORD exitCode = 0;
    const HRESULT hr = AwaitProcess(process.get(), INFINITE, &exitCode);
    awaiting_ = false;
    token_.clear();
    if (hr == E_ABORT) return false;  // the program is ending
    const std::vector<std::wstring> told = std::move(told_);
    told_.clear();
    for (const std::wstring& text : told) Tell(text, MB_OK | MB_ICONEXCLAMATION);
    // Exit code 1: it said why, here or (when this window could not be reached) in its own box.
    const std::wstring action = command == std::wstring(L"/register") ? L"注册" : L"卸载";
    if (FAILED(hr)) {
        Tell(action + L"未完成：\n" + SystemReason(hr), MB_OK | MB_ICONEXCLAMATION);
    } else if (exitCode > 1) {
        Tell(action + L"未完成（退出代码" + std::to_wstring(exitCode) + L"）。", MB_OK | MB_ICONEXCLAMATION);
    }
    *done = SUCCEEDED(hr) && exitCode == 0;
    return true;
}

}  // namespace cartulane::installer
