// TestControl's file commands (the buttons 换目录 to 刷新) and the folder tree's own
// interaction: open on a double-click, the next level on expanding, rename by editing a
// label, the keys of a file manager's tree and its context menu.
//
// Every command goes on past a step that fails, without a message, except where the user
// must learn of it: a name that cannot be a file's, a copy, paste, new file, delete or
// rename that the file system or the application refused. Nothing on disk is changed
// by a command that is refused.

#include "control/Form3.h"
#include "control/FolderTree.h"
#include "control/Host.h"
#include "control/SharedValues.h"
#include "control/TestControl.h"
#include "runtime/InputBox.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>

namespace cartulane::control {

namespace {

constexpr wchar_t kInvalidName[] = L"文件名无效，不能包含下列字符之一：\\ / : * ? \" < > |";

// While a paste or delete runs: how often its progress is shown, and after how long.
constexpr UINT_PTR kJobTimer = 2;
constexpr UINT kJobPeriod = 100;
constexpr ULONGLONG kProgressAfter = 500;

// What a paste's first step finds instead of copying: the destination is the source or its
// folder, or an item of the same name is there and the user has not yet said to replace it.
constexpr HRESULT kPasteOntoItself = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201);
constexpr HRESULT kPasteOverExisting = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0202);

UINT JobDoneMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TestControl.FileJobDone");
    return message;
}

// The application opens no workbook whose path and name are longer than this.
constexpr size_t kLongestWorkbookPath = 218;

// The extensions of workbooks the application saves, each with its file format from 2007 on.
struct WorkbookExtension {
    const wchar_t* extension;
    long format;
};
constexpr WorkbookExtension kWorkbookExtensions[] = {
    {L".xls", host::kExcel8},
    {L".xlsx", host::kOpenXmlWorkbook},
    {L".xlsm", host::kOpenXmlWorkbookMacroEnabled},
    {L".xlsb", host::kExcel12},
};

enum MenuCommand : UINT { kOpen = 1, kNew, kCopy, kPaste, kDelete, kRename, kRefresh };

bool EndsWithBackslash(const std::wstring& path) { return !path.empty() && path.back() == L'\\'; }

bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool EndsWithIgnoringCase(const std::wstring& text, std::wstring_view ending) {
    return text.size() >= ending.size() && SameTextIgnoringCase(std::wstring_view(text).substr(text.size() - ending.size()), ending);
}

std::wstring WithoutBackslash(std::wstring path) {
    while (EndsWithBackslash(path)) path.pop_back();
    return path;
}

// Whether inner is the folder outer itself or lies somewhere below it.
bool IsSameOrInside(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring a = WithoutBackslash(inner), b = WithoutBackslash(outer);
    return SameTextIgnoringCase(a, b) ||
           (a.size() > b.size() && a[b.size()] == L'\\' && SameTextIgnoringCase(std::wstring_view(a).substr(0, b.size()), b));
}

std::wstring ParentPath(const std::wstring& path) {
    const std::wstring trimmed = WithoutBackslash(path);
    const size_t slash = trimmed.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : trimmed.substr(0, slash);
}

// The names Windows keeps for devices, whatever extension follows: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, and COM or LPT with a digit or a superscript one, two or three.
bool IsDeviceName(const std::wstring& stem) {
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameTextIgnoringCase(stem, device)) return true;
    if (stem.size() != 4 || !(SameTextIgnoringCase(stem.substr(0, 3), L"COM") || SameTextIgnoringCase(stem.substr(0, 3), L"LPT")))
        return false;
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// A name a file or folder can have and that stays in its folder: not empty, not "." or
// "..", none of \ / : * ? " < > | nor a control character, no blank or dot at its end
// (Windows would drop them), and no device name such as CON, COM0 or LPT¹.
bool IsValidFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L".." || name.size() > 255) return false;
    for (wchar_t c : name)
        if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    if (name.back() == L'.' || name.back() == L' ') return false;
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    return !IsDeviceName(stem);
}

// The message for a workbook the application could not open: its path is too long.
std::wstring TooLongForTheApplication(const std::wstring& path) {
    return L"文件路径超过" + std::to_wstring(kLongestWorkbookPath) + L"个字符，Excel无法打开：" + path;
}

std::wstring TrimBlanks(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

}  // namespace

int TestControl::Message(const std::wstring& text, UINT style) { return ShowMessage(text, L"提示", style); }

// ---- the buttons ----

// Change root: Form3 lets the user choose the folder while it loads. The browser is modal
// to Form3's window only: the application's window is disabled meanwhile, as under a
// message box, and a second change of root (from another pane) waits for none.
void TestControl::Command1_Click() {
    static thread_local bool choosing = false;
    if (choosing || job_) return;
    choosing = true;
    Form3& picker = DefaultInstance<Form3>();
    HWND owner = OwnerWindow();
    const bool disable = owner && ::IsWindowEnabled(owner);
    Modal([&] {
        if (disable) ::EnableWindow(owner, FALSE);
        picker.Show(owner);
        if (disable) ::EnableWindow(owner, TRUE);
        return 0;
    });
    choosing = false;
    BuildFolders();
    if (picker.Loaded() && picker.Visible()) picker.Unload();
}

// New: an empty workbook saved under the typed name in the selected folder (or the
// folder of the selected file), with the extension of the application's own version.
void TestControl::Command2_Click() {
    if (job_) return;
    FileSys = FileSystem();
    const std::wstring typed = Modal(
        [&] { return InputBox(OwnerWindow(), L"请输入新建Excel文件的名称：", L"保存命名", L"NewExcel"); });
    std::wstring name = TrimBlanks(typed);
    if (name.empty()) {
        Message(L"文件名不能为空！");
        return;
    }
    ComPtr<IDispatch> application = Application;
    std::wstring version;
    if (application) host::Version(application.Get(), &version);
    const bool before2007 = version == L"11.0" || version.empty();
    // "." and ".." are refused as typed; the rest once the extension is on.
    if (name == L"." || name == L"..") {
        Message(kInvalidName);
        return;
    }
    // The file's format goes with its extension, whatever format the user saves in by
    // default. A workbook's extension typed is kept (the application of 2003 saves only
    // its own); any other name gets the application's own: the workbook of 2003, or the
    // Open XML workbook.
    const WorkbookExtension* typedExtension = nullptr;
    for (const WorkbookExtension& known : kWorkbookExtensions)
        if (EndsWithIgnoringCase(name, known.extension)) typedExtension = &known;
    long format = before2007 ? host::kWorkbookNormal : host::kOpenXmlWorkbook;
    if (!typedExtension) {
        name += before2007 ? L".xls" : L".xlsx";
    } else if (!before2007) {
        format = typedExtension->format;
    } else if (typedExtension->extension != std::wstring_view(L".xls")) {
        Message(L"此版本的Excel不能保存该格式的文件：" + name);
        return;
    }
    if (!IsValidFileName(name)) {
        Message(kInvalidName);
        return;
    }

    TreeView2.SetFocus();
    TreeNodes& nodes = TreeView2.Nodes();
    if (nodes.Count() == 0) return;
    Node* selected = TreeView2.SelectedItem();
    if (!selected) selected = nodes.Item(1);
    std::wstring folder;
    if (selected->Key().empty()) {
        folder = nodes.Item(1)->Key();
    } else if (FileSys.FolderExists(selected->Key())) {
        folder = selected->Key();
    } else if (FileSys.FileExists(selected->Key()) && selected->Parent()) {
        folder = selected->Parent()->Key();
    } else {
        return;
    }
    if (!EndsWithBackslash(folder)) name = L"\\" + name;
    const std::wstring path = folder + name;
    if (FileSys.FileExists(path) || FileSys.FolderExists(path)) {
        Message(L"文件已存在：" + path);
        return;
    }
    if (path.size() > kLongestWorkbookPath) {
        Message(TooLongForTheApplication(path));
        return;
    }

    ComPtr<IDispatch> workbook;
    HRESULT hr = application ? host::AddWorkbook(application.Get(), &workbook) : E_POINTER;
    if (SUCCEEDED(hr)) hr = host::SaveAs(workbook.Get(), path, format);
    if (FAILED(hr)) {
        std::wstring reason = TakeErrorDescription();
        if (reason.empty()) reason = SystemReason(hr);
        // The host is left as it was: the workbook made for the file goes again.
        if (workbook) host::CloseWithoutSaving(workbook.Get());
        Message(L"文件新建失败：" + path + L"\n" + reason);
        return;
    }
    Message(L"文件新建成功！文件路径为： " + path);
    Command6_Click();
    Reveal(path);
}

void TestControl::Command3_Click() {
    Node* node = TreeView2.SelectedItem();
    if (node && !node->Key().empty()) {
        CopiedPath = node->Key();
        CopiedName = node->Text();
        Message(L"已复制文件:" + CopiedName + L", 请选择要粘贴的文件夹，然后点击“粘贴”");
    } else {
        Message(L"您没有选择要复制的文件！");
    }
}

// Paste: the copied file or folder into the selected folder, on a thread of its own. Refused
// before anything is copied: into the copied folder itself or one of its sub-folders, into
// the folder that holds the copied item, onto the copied item itself, each by what the paths
// lead to (a link, a subst drive, a short name or a share of the same folder is the same
// folder); an item of the same name is replaced only when the user agrees (a folder is
// merged, as the scripting runtime's CopyFolder does). The checks open what the paths lead
// to, which on a share can take long: they are the thread's first step, and a destination
// that exists ends it with a question, after which it starts again to replace.
void TestControl::Command4_Click() {
    if (job_) return;
    if (CopiedPath.empty()) {
        Message(L"请先选择要复制的文件或文件夹，然后点击“复制”！");
        return;
    }
    Node* node = TreeView2.SelectedItem();
    const std::wstring key = node ? node->Key() : std::wstring();
    FileSys = FileSystem();
    if (key.empty() || !FileSys.FolderExists(key)) {
        Message(L"请选择要进行粘贴的文件夹！");
        return;
    }
    PasteFolder = EndsWithBackslash(key) ? key : key + L"\\";
    StartPaste(CopiedPath, PasteFolder, CopiedName, false);
}

void TestControl::StartPaste(const std::wstring& source, const std::wstring& into, const std::wstring& name,
                             bool replace) {
    const std::wstring destination = into + name;
    Running running{.kind = Running::Kind::Paste,
                    .item = destination,
                    .name = name,
                    .source = source,
                    .into = into,
                    .revealDone = destination,
                    .revealStopped = WithoutBackslash(into)};
    StartJob(std::move(running), [source, into, destination, replace](FileProgress& progress) {
        const FileSystem files;
        const bool folder = files.FolderExists(source);
        if (folder && (IsSameOrInside(into, source) || IsSameOrBelow(into, source))) return DestinationInsideSourceError();
        // The holder of an item at a drive's root is the root itself, not the drive's current folder.
        std::wstring holder = WithoutBackslash(ParentPath(source));
        if (holder.size() == 2 && holder[1] == L':') holder += L'\\';
        const bool exists = files.FileExists(destination) || files.FolderExists(destination);
        if (SameTextIgnoringCase(WithoutBackslash(holder), WithoutBackslash(into)) || SameItem(holder, into) ||
            (exists && SameItem(destination, source)))
            return kPasteOntoItself;
        if (exists && !replace) return kPasteOverExisting;
        return folder ? files.CopyFolder(source, destination, &progress) : files.CopyFileTo(source, destination, &progress);
    });
}

// Delete, for good (not into a recycle bin), after the user agreed, on a thread of its own.
void TestControl::Command5_Click() {
    if (job_) return;
    Node* node = TreeView2.SelectedItem();
    if (!node) {
        Command6_Click();
        return;
    }
    const std::wstring key = node->Key();
    if (key.empty()) return;
    const std::wstring parent = node->Parent() ? node->Parent()->Key() : std::wstring();
    if (Message(L"确定要删除： " + key + L" ?", MB_YESNO) != IDYES) return;
    follow_.LetGo(key);
    StartJob({.kind = Running::Kind::Delete, .item = key, .revealDone = parent, .revealStopped = parent},
             [key](FileProgress& progress) -> HRESULT {
                 const FileSystem files;
                 if (files.FolderExists(key)) return files.DeleteFolder(key, &progress);
                 if (!files.FileExists(key)) return S_FALSE;  // gone meanwhile: nothing to delete
                 progress.Counted(1);
                 if (!progress.Next(0, key)) return CancelledError();
                 return files.RemoveFile(key);
             });
}

// ---- a paste or delete running ----

void TestControl::StartJob(Running running, FileJob::Work work) {
    // The pane may have closed while a question of the paste was up.
    if (!::IsWindow(Hwnd())) {
        if (running.kind == Running::Kind::Delete) follow_.TakeUp(running.item);
        return;
    }
    try {
        job_ = std::make_unique<FileJob>(std::move(work), Hwnd(), JobDoneMessage());
    } catch (...) {  // no thread to be had
        if (running.kind == Running::Kind::Delete) follow_.TakeUp(running.item);
        Message((running.kind == Running::Kind::Paste ? L"粘贴失败：" : L"删除失败：") + running.item + L"\n" +
                SystemReason(E_OUTOFMEMORY));
        return;
    }
    running_ = std::move(running);
    EnableDiskCommands(false);
    // The timer shows the progress, and ends the job should its message be lost or have come
    // while it had to wait.
    ::SetTimer(Hwnd(), kJobTimer, kJobPeriod, nullptr);
}

bool TestControl::OnJobMessage(UINT message, WPARAM wParam) {
    if (message == JobDoneMessage()) {
        JobDone();
        return true;
    }
    if (message != WM_TIMER || wParam != kJobTimer) return false;
    JobTick();
    return true;
}

// After half a second the progress form shows what is being done.
void TestControl::JobTick() {
    if (!job_) {
        ::KillTimer(Hwnd(), kJobTimer);
        return;
    }
    if (job_->Finished()) {
        JobDone();
        return;
    }
    const FileJob::Status status = job_->Now();
    if (!progress_ && !job_->Finished() && ::GetTickCount64() - job_->StartedAt() >= kProgressAfter) {
        const bool paste = running_.kind == Running::Kind::Paste;
        progress_ = std::make_unique<ProgressForm>(paste ? L"粘贴" : L"删除", paste ? L"正在粘贴：" : L"正在删除：");
        progress_->Cancel = [this] {
            if (job_) job_->Cancel();
        };
        progress_->Show(OwnerWindow());
    }
    if (progress_) progress_->Update(status.done, status.total, status.current);
}

// The work has ended: its result is told, the tree shows what is on disk, and the commands
// come back. While a message box, menu or label edit of the control is up, this waits for
// the timer: what it tells and rebuilds would come in the middle of them.
void TestControl::JobDone() {
    if (!job_ || !job_->Finished()) return;
    if (InModal() || TreeView_GetEditControl(TreeView2.Hwnd())) return;
    ::KillTimer(Hwnd(), kJobTimer);
    const FileJob::Status status = job_->Now();
    const HRESULT hr = job_->Result();
    const bool cancelled = job_->Cancelled() && hr == CancelledError();
    job_.reset();
    progress_.reset();
    const Running running = std::move(running_);
    if (running.kind == Running::Kind::Delete) follow_.TakeUp(running.item);
    EnableDiskCommands(true);
    if (hr == kPasteOverExisting) {
        if (Message(L"目标文件夹中已有同名的项目：" + running.item + L"\n是否替换？", MB_YESNO | MB_ICONQUESTION) == IDYES)
            StartPaste(running.source, running.into, running.name, true);
        return;
    }
    if (hr == kPasteOntoItself) {
        Message(L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！");
        return;
    }
    if (running.kind == Running::Kind::Paste && hr == DestinationInsideSourceError()) {
        Message(L"不能将文件夹粘贴到它自身或其子文件夹中！");
        return;
    }
    TellJobResult(running, status, hr, cancelled);
    Command6_Click();
    const std::wstring& shown = SUCCEEDED(hr) ? running.revealDone : running.revealStopped;
    if (!shown.empty()) Reveal(shown);
}

void TestControl::StopJob() {
    if (!job_) return;
    job_.reset();
    progress_.reset();
    if (running_.kind == Running::Kind::Delete) follow_.TakeUp(running_.item);
    running_ = {};
}

void TestControl::TellJobResult(const Running& running, const FileJob::Status& status, HRESULT hr, bool cancelled) {
    const bool paste = running.kind == Running::Kind::Paste;
    const std::wstring done = std::to_wstring(status.done), total = std::to_wstring(status.total);
    if (SUCCEEDED(hr)) {
        if (paste) Message(L"文件 " + running.name + L" 粘贴成功！");
    } else if (cancelled) {
        Message(paste ? L"粘贴已取消：已粘贴 " + done + L" 项，共 " + total + L" 项，其余未粘贴。"
                      : L"删除已取消：已删除 " + done + L" 项，共 " + total + L" 项，其余未删除。");
    } else if (status.done == 0 || status.current.empty()) {
        Message((paste ? L"粘贴失败：" : L"删除失败：") + running.item + L"\n" + SystemReason(hr));
    } else {
        // Stopped in the middle: the item that failed, and how far it got.
        Message(paste ? L"粘贴未完成：" + status.current + L"\n" + SystemReason(hr) + L"\n已粘贴 " + done + L" 项，共 " +
                            total + L" 项，其余未粘贴。"
                      : L"删除未完成：" + status.current + L"\n" + SystemReason(hr) + L"\n已删除 " + done + L" 项，共 " +
                            total + L" 项，其余未删除。");
    }
}

// The commands that change the disk or list it anew: 换目录, 新建, 粘贴, 删除, 刷新 (and their
// keys, menu entries and the label edit, which look at job_).
void TestControl::EnableDiskCommands(bool enabled) {
    const HWND focus = ::GetFocus();
    for (size_t index : {0, 1, 3, 4, 5}) {
        // The keyboard's focus does not stay on a button that goes grey: the tree takes it.
        if (!enabled && commands_[index].Window() == focus) TreeView2.SetFocus();
        ::EnableWindow(commands_[index].Window(), enabled ? TRUE : FALSE);
    }
}

void TestControl::Command6_Click() {
    TreeView2.SetFocus();
    TreeNodes& nodes = TreeView2.Nodes();
    if (nodes.Count() < 1) return;
    RootPath = nodes.Item(1)->Key();
    BuildFolders();
}

// ---- the folder tree ----

void TestControl::TreeView2_DblClick() {
    FileSys = FileSystem();
    Node* node = TreeView2.SelectedItem();
    if (!node) return;
    const std::wstring key = node->Key();
    if (!FileSys.FileExists(key)) return;
    ComPtr<IDispatch> application = Application;
    if (!application) return;
    if (const HRESULT hr = host::OpenWorkbook(application.Get(), key); FAILED(hr)) {
        std::wstring reason = TakeErrorDescription();
        if (reason.empty()) reason = SystemReason(hr);
        Message(L"文件打开失败：" + key + L"\n" + reason);
    }
}

void TestControl::TreeView2_Expand(Node& node) {
    if (node.Parent() && node.Children() > 0) FillSubFolders(node, TreeView2, &follow_.Listed());
    follow_.Tell();
}

// The root's label is the root folder's path: it is not renamed from here. Nothing is
// renamed while a paste or delete runs.
void TestControl::TreeView2_BeforeLabelEdit(short& cancel) {
    Node* node = TreeView2.SelectedItem();
    if (!node || !node->Parent() || job_) cancel = 1;
}

// Rename: the typed name in the same folder. A name that cannot be a file's, or a workbook's
// path the application could not open, is refused and the edit undone; a rename the file
// system refuses is reported; then the tree shows what is on disk.
void TestControl::TreeView2_AfterLabelEdit(short& cancel, std::wstring& newString) {
    Node* node = TreeView2.SelectedItem();
    if (!node || !node->Parent() || job_) {
        cancel = 1;
        return;
    }
    const std::wstring key = node->Key();
    const std::wstring parent = node->Parent()->Key();
    if (!IsValidFileName(newString)) {
        cancel = 1;
        Message(kInvalidName);
        return;
    }
    const std::wstring target = (EndsWithBackslash(parent) ? parent : parent + L"\\") + newString;
    FileSys = FileSystem();
    if (target.size() > kLongestWorkbookPath && IsWorkbookFile(newString) && !FileSys.FolderExists(key)) {
        cancel = 1;
        Message(TooLongForTheApplication(target));
        return;
    }
    follow_.LetGo(key);
    const HRESULT hr = FileSys.Rename(key, target);
    follow_.TakeUp(key);
    if (FAILED(hr)) {
        cancel = 1;
        Message(L"重命名失败：" + key + L"\n" + SystemReason(hr));
    }
    Command6_Click();
    Reveal(SUCCEEDED(hr) ? target : key);
}

// The keys of a file manager's tree: F2 renames, Delete deletes, F5 refreshes, Enter
// opens, Ctrl+C copies, Ctrl+V pastes, Shift+F10 and the menu key show the context menu.
void TestControl::TreeView2_KeyDown(int& keyCode, int shift) {
    const bool ctrl = shift & 2, alt = shift & 4, plain = !(shift & 7);
    Node* node = TreeView2.SelectedItem();
    // While a paste or delete runs, the keys that change the disk do nothing.
    const bool diskKey = ((keyCode == VK_F2 || keyCode == VK_DELETE || keyCode == VK_F5) && plain) ||
                         (keyCode == 'V' && ctrl && !alt);
    if (job_ && diskKey) {
        keyCode = 0;
        return;
    }
    if (keyCode == VK_F2 && plain) {
        if (node) TreeView_EditLabel(TreeView2.Hwnd(), node->Handle());
    } else if (keyCode == VK_DELETE && plain) {
        Command5_Click();
    } else if (keyCode == VK_F5 && plain) {
        Command6_Click();
    } else if (keyCode == VK_RETURN && plain) {
        TreeView2_DblClick();
    } else if (keyCode == 'C' && ctrl && !alt) {
        Command3_Click();
    } else if (keyCode == 'V' && ctrl && !alt) {
        Command4_Click();
    } else {
        return;
    }
    keyCode = 0;
}

// Ctrl+C and Ctrl+V are the tree's while it has the focus: the application's own copy and
// paste must not see them.
bool TestControl::KeepsKey(const MSG& message) {
    if (message.hwnd != TreeView2.Hwnd() || (message.message != WM_KEYDOWN && message.message != WM_KEYUP)) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0, alt = ::GetKeyState(VK_MENU) < 0;
    return ctrl && !alt && (message.wParam == 'C' || message.wParam == 'V');
}

void TestControl::TreeView2_ContextMenu(POINT screen) {
    Node* node = TreeView2.SelectedItem();
    FileSys = FileSystem();
    const bool isFile = node && FileSys.FileExists(node->Key());
    const bool isRoot = !node || !node->Parent();
    const bool idle = !job_;  // while a paste or delete runs, nothing else changes the disk
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const struct {
        MenuCommand id;
        const wchar_t* text;
        bool enabled;
    } items[] = {
        {kOpen, L"打开", isFile},
        {kNew, L"新建", idle},
        {kCopy, L"复制", node != nullptr},
        {kPaste, L"粘贴", idle && !CopiedPath.empty()},
        {kDelete, L"删除", idle && node != nullptr},
        {kRename, L"重命名", idle && !isRoot},
        {kRefresh, L"刷新", idle},
    };
    for (const auto& item : items) {
        ::AppendMenuW(menu.get(), MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED), item.id, item.text);
        if (item.id == kOpen || item.id == kDelete) ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    const UINT chosen = Modal([&] {
        return static_cast<UINT>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x,
                                                  screen.y, 0, Hwnd(), nullptr));
    });
    switch (chosen) {
        case kOpen: TreeView2_DblClick(); break;
        case kNew: Command2_Click(); break;
        case kCopy: Command3_Click(); break;
        case kPaste: Command4_Click(); break;
        case kDelete: Command5_Click(); break;
        case kRename:
            if (Node* selected = TreeView2.SelectedItem()) TreeView_EditLabel(TreeView2.Hwnd(), selected->Handle());
            break;
        case kRefresh: Command6_Click(); break;
        default: break;
    }
}

// ---- showing the result of a command ----

Node* TestControl::Reveal(const std::wstring& path) {
    Node* node = ListDownTo(path);
    if (node) TreeView2.Select(*node);
    follow_.Tell();
    return node;
}

// The tree lists two levels after a refresh: the folders between the root and path are
// listed one after the other, each within its parent, until path's node is there.
Node* TestControl::ListDownTo(const std::wstring& path) {
    TreeNodes& nodes = TreeView2.Nodes();
    if (Node* found = nodes.Find(path)) return found;
    const std::wstring parentPath = ParentPath(path);
    if (parentPath.empty() || nodes.Count() == 0 || !IsSameOrInside(path, nodes.Item(1)->Key())) return nullptr;
    Node* parent = nodes.Find(parentPath);
    if (!parent) parent = nodes.Find(parentPath + L"\\");  // a root such as C:\ keeps its backslash
    if (!parent) parent = ListDownTo(parentPath);
    if (!parent) return nullptr;
    FillFolder(parent->Key(), TreeView2, &follow_.Listed());
    parent->SetExpanded(true);
    return nodes.Find(path);
}

}  // namespace cartulane::control
