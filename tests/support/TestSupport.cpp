#include "tests/support/TestSupport.h"
#include "tests/support/Probes.h"

#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

namespace cartulane::test {

namespace {

std::wstring TempRoot() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD size = ::GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, size);
}

std::wstring UniqueFolderIn(std::wstring_view parent) {
    static unsigned counter = 0;
    for (;;) {
        std::wstring candidate = JoinPath(parent, L"cartulane-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                                      std::to_wstring(++counter));
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) return candidate;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a folder in " << Narrow(parent);
            return candidate;
        }
    }
}

}  // namespace

TempDir::TempDir() : path_(UniqueFolderIn(TempRoot())) {}
TempDir::TempDir(std::wstring_view parent) : path_(UniqueFolderIn(parent)) {}
TempDir::~TempDir() {
    FileSystem files;
    if (files.FolderExists(path_)) files.DeleteFolder(path_);
}
std::wstring TempDir::operator/(std::wstring_view name) const { return JoinPath(path_, name); }

void MakeFolder(const std::wstring& path) {
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(path).c_str(), nullptr)) << Narrow(path);
}

void MakeFile(const std::wstring& path, std::string_view content) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << Narrow(path);
    DWORD written = 0;
    ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

std::pair<DWORD, ULONGLONG> Identity(const std::wstring& path) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return {};
    return {info.dwVolumeSerialNumber, (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::string ReadFile(const std::wstring& path) {
    UniqueFile file(::CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    if (!file) return "<missing>";
    std::string content(::GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
    return content;
}

HiddenWindow::HiddenWindow(Handler onMessage, DWORD style) : onMessage_(std::move(onMessage)) {
    static const ATOM kClass = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &HiddenWindow::WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CartulaneTestParent";
        return ::RegisterClassW(&wc);
    }();
    hwnd_ = ::CreateWindowExW(0, MAKEINTATOM(kClass), L"test", style, 0, 0, 400, 600, nullptr,
                              nullptr, ::GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK HiddenWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<HiddenWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->onMessage_ && self->onMessage_(message, wParam, lParam, &result)) return result;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HiddenWindow::~HiddenWindow() { ::DestroyWindow(hwnd_); }

namespace {
// The watchers of this thread, and the one hook that calls them.
thread_local std::vector<DialogWatcher*>* t_watchers = nullptr;
thread_local HHOOK t_dialogHook = nullptr;

bool IsDialog(HWND window) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    return std::wstring(className) == L"#32770";
}
}  // namespace

DialogWatcher::DialogWatcher(std::function<void(HWND)> onDialog) : onDialog_(std::move(onDialog)) {
    if (!t_watchers) t_watchers = new std::vector<DialogWatcher*>;
    if (t_watchers->empty())
        t_dialogHook = ::SetWindowsHookExW(WH_CBT, &DialogWatcher::Hook, nullptr, ::GetCurrentThreadId());
    t_watchers->push_back(this);
}

DialogWatcher::~DialogWatcher() {
    std::erase(*t_watchers, this);
    if (t_watchers->empty()) {
        ::UnhookWindowsHookEx(t_dialogHook);
        t_dialogHook = nullptr;
    }
}

LRESULT CALLBACK DialogWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && t_watchers && IsDialog(reinterpret_cast<HWND>(wParam))) {
        const std::vector<DialogWatcher*> watchers = *t_watchers;  // one may go meanwhile
        for (DialogWatcher* watcher : watchers) watcher->onDialog_(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

MessageBoxes::MessageBoxes(int answer) : answer_(answer), watcher_([this](HWND box) { Answer(box); }) {}

// A message box: a dialog with its text in the static of id 0xFFFF.
void MessageBoxes::Answer(HWND box) {
    if (!::GetDlgItem(box, 0xFFFF)) return;
    Shown shown;
    shown.title = WindowText(box);
    shown.text = WindowText(::GetDlgItem(box, 0xFFFF));
    // The icon's static is 0x14 in Windows' message box, 0x440 in Wine's.
    for (int id : {0x14, 0x440}) {
        HWND holder = ::GetDlgItem(box, id);
        HICON icon = reinterpret_cast<HICON>(::SendDlgItemMessageW(box, id, STM_GETICON, 0, 0));
        shown.information = shown.information || (icon && icon == ::LoadIconW(nullptr, IDI_INFORMATION));
        shown.question = shown.question || (icon && icon == ::LoadIconW(nullptr, IDI_QUESTION));
        shown.icon = shown.icon || (icon && holder && (::GetWindowLongW(holder, GWL_STYLE) & WS_VISIBLE));
    }
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (HWND button = ::GetDlgItem(box, id); button && (::GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE))
            shown.buttons.push_back(id);
    const bool has = std::find(shown.buttons.begin(), shown.buttons.end(), answer_) != shown.buttons.end();
    const int press = has || shown.buttons.empty() ? answer_ : shown.buttons.front();
    seen_.push_back(shown);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), 0);
}

namespace {
FolderBrowserAnswer* g_browserAnswer = nullptr;
constexpr UINT_PTR kBrowserTimer = 0xB0F;
}  // namespace

FolderBrowserAnswer::FolderBrowserAnswer(std::wstring folder)
    : folder_(std::move(folder)), watcher_([this](HWND dialog) {
          if (::GetDlgItem(dialog, 0xFFFF)) return;  // a message box, not the browser
          ++shown_;
          deadline_ = ::GetTickCount64() + 60000;
          nextAsk_ = 0;
          if (folder_.empty()) {
              ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
              return;
          }
          ::SetTimer(dialog, kBrowserTimer, 50, &FolderBrowserAnswer::Tick);
      }) {
    g_browserAnswer = this;
}

FolderBrowserAnswer::~FolderBrowserAnswer() { g_browserAnswer = nullptr; }

void CALLBACK FolderBrowserAnswer::Tick(HWND dialog, UINT, UINT_PTR, DWORD) {
    if (g_browserAnswer) g_browserAnswer->Answer(dialog);
}

// OK once the browser's tree has the folder selected (its last name is the item's text), or
// after a minute. The selection is asked for again each second: a busy machine may fill the
// tree after the first ask.
void FolderBrowserAnswer::Answer(HWND dialog) {
    HWND tree = ::FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
    for (HWND child = ::GetWindow(dialog, GW_CHILD); !tree && child; child = ::GetWindow(child, GW_HWNDNEXT))
        tree = ::FindWindowExW(child, nullptr, WC_TREEVIEWW, nullptr);
    std::wstring selected;
    if (tree) {
        wchar_t text[MAX_PATH] = {};
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = TreeView_GetSelection(tree);
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        if (item.hItem && TreeView_GetItem(tree, &item)) selected = text;
    }
    const std::wstring name = folder_.substr(folder_.find_last_of(L'\\') + 1);
    const ULONGLONG now = ::GetTickCount64();
    if (selected == name || now >= deadline_) {
        ::KillTimer(dialog, kBrowserTimer);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    if (now < nextAsk_) return;
    nextAsk_ = now + 1000;
    ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder_.c_str()));
}

InputBoxAnswer::InputBoxAnswer(std::wstring title, std::wstring typed, bool cancel)
    : title_(std::move(title)), typed_(std::move(typed)), cancel_(cancel),
      watcher_([this](HWND dialog) { Answer(dialog); }) {}

void InputBoxAnswer::Answer(HWND dialog) {
    if (title_ != WindowText(dialog)) return;
    HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr);
    HWND prompt = ::FindWindowExW(dialog, nullptr, L"Static", nullptr);
    if (!edit || !prompt) return;
    if (seen_.size() > 64) return;  // never answer for ever
    Shown shown;
    shown.prompt = WindowText(prompt);
    shown.defaultText = WindowText(edit);
    DWORD from = 0, to = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    shown.defaultSelected = from == 0 && to == shown.defaultText.size();
    seen_.push_back(shown);
    if (!cancel_) ::SetWindowTextW(edit, typed_.c_str());
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(cancel_ ? IDCANCEL : IDOK, BN_CLICKED), 0);
}

namespace {
MenuAnswer* g_menuAnswer = nullptr;
}  // namespace

MenuAnswer::MenuAnswer(std::wstring choose) : choose_(std::move(choose)) {
    g_menuAnswer = this;
    timer_ = ::SetTimer(nullptr, 0, 30, &MenuAnswer::Tick);
}

MenuAnswer::~MenuAnswer() {
    ::KillTimer(nullptr, timer_);
    g_menuAnswer = nullptr;
}

void CALLBACK MenuAnswer::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_menuAnswer) g_menuAnswer->Answer();
}

void MenuAnswer::Answer() {
    HWND window = ::FindWindowW(L"#32768", nullptr);
    if (!window || !::IsWindowVisible(window)) {
        current_ = nullptr;
        return;
    }
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(window, MN_GETHMENU, 0, 0));
    if (!menu) return;
    if (window != current_) {  // a new menu: what it offers
        current_ = window;
        chosen_ = false;
        ++shown_;
        items_.clear();
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            if (::GetMenuStringW(menu, i, text, 64, MF_BYPOSITION) == 0) continue;  // a separator
            items_.push_back({text, (::GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED) != 0});
        }
    }
    if (chosen_) return;
    if (choose_.empty()) {
        ::EndMenu();
        chosen_ = true;
        return;
    }
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        if (!(::GetMenuState(menu, i, MF_BYPOSITION) & MF_HILITE)) continue;
        if (choose_ == text) {
            ::PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
            chosen_ = true;
            return;
        }
        break;
    }
    ::PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
}

ComPtr<IDispatch> CreateByProgId(const wchar_t* progId) {
    CLSID clsid;
    ComPtr<IDispatch> object;
    if (SUCCEEDED(::CLSIDFromProgID(progId, &clsid)))
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    return object;
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool ServeUntil(const std::function<bool()>& done, const std::function<void()>& serve,
                std::chrono::milliseconds limit) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > limit) return false;
        serve();
        ::Sleep(10);
    }
    return true;
}

void ServeFor(std::chrono::milliseconds time, const std::function<void()>& serve) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < time) {
        serve();
        ::Sleep(10);
    }
}

std::vector<std::pair<std::wstring, std::string>> Snapshot(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, std::string>> entries;
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        FolderListing listing;
        if (FAILED(FileSystem().GetFolder(JoinPath(folder, relative), &listing))) continue;
        for (const std::wstring& name : listing.subFolders) {
            const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
            entries.emplace_back(path, "<folder>");
            pending.push_back(path);
        }
        for (const std::wstring& name : listing.files) {
            const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
            entries.emplace_back(path, ReadFile(JoinPath(folder, path)));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string Narrow(std::wstring_view text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

namespace {
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> DescendantWindows(HWND parent) {
    std::vector<HWND> all;
    ::EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&all));
    return all;
}

DWORD RunProgram(const wchar_t* program, const std::vector<std::wstring>& arguments,
                 const std::function<void()>& meanwhile) {
    std::wstring command = L"\"" + LibraryPath(program) + L"\"";
    for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<DWORD>(-1);
    const UniqueKernelHandle thread(process.hThread), owned(process.hProcess);
    DWORD code = static_cast<DWORD>(-1);
    const DWORD step = meanwhile ? 20 : 60000;
    for (DWORD waited = 0; waited < 60000; waited += step) {
        if (::WaitForSingleObject(process.hProcess, step) == WAIT_OBJECT_0) {
            ::GetExitCodeProcess(process.hProcess, &code);
            break;
        }
        if (meanwhile) meanwhile();
    }
    return code;
}

int ChangeDisk(std::initializer_list<std::wstring> steps, const std::function<void()>& meanwhile) {
    return static_cast<int>(RunProgram(L"diskchanger.exe", steps, meanwhile));
}

}  // namespace cartulane::test
