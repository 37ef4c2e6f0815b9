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
#include <shlwapi.h>

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
// Two of the items dropped have one name: the second would replace the first.
constexpr HRESULT kPasteSameNames = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0203);
// How many names a question lists.
constexpr size_t kNamesAsked = 10;

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

enum MenuCommand : UINT { kOpen = 1, kNew, kCut, kCopy, kPaste, kDelete, kRename, kRefresh };

bool EndsWithIgnoringCase(const std::wstring& text, std::wstring_view ending) {
    return text.size() >= ending.size() && SameText(std::wstring_view(text).substr(text.size() - ending.size()), ending);
}

// The names Windows keeps for devices, whatever extension follows: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, and COM or LPT with a digit or a superscript one, two or three.
bool IsDeviceName(const std::wstring& stem) {
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (SameText(stem, device)) return true;
    if (stem.size() != 4 || !(SameText(stem.substr(0, 3), L"COM") || SameText(stem.substr(0, 3), L"LPT")))
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
    bool& choosing = Shared().ChoosingRoot;
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
    const std::wstring path = JoinPath(folder, name);
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
        Remember(*node, false);
        Message(L"已复制文件:" + node->Text() + L", 请选择要粘贴的文件夹，然后点击“粘贴”");
    } else {
        Message(L"您没有选择要复制的文件！");
    }
}

// The node is what every pane of the thread pastes next.
void TestControl::Remember(const Node& node, bool cut) {
    SharedValues& shared = Shared();
    shared.CopiedPath = node.Key();
    shared.CopiedName = node.Text();
    shared.CopiedCut = cut;
    ShowCut();
}

// Cut: as copy, but the next paste moves the item, which shows dimmed until then. The root
// stays where it is: the tree would lose what it shows.
void TestControl::Cut() {
    Node* node = TreeView2.SelectedItem();
    if (!node || node->Key().empty()) {
        Message(L"您没有选择要剪切的文件！");
        return;
    }
    if (!node->Parent()) {
        Message(L"不能剪切根目录！");
        return;
    }
    Remember(*node, true);
    Message(L"已剪切文件:" + node->Text() + L", 请选择要粘贴的文件夹，然后点击“粘贴”");
}

void TestControl::ShowCut() {
    TreeNodes& nodes = TreeView2.Nodes();
    if (Node* shown = nodes.Find(cutShown_)) shown->SetCut(false);
    cutShown_ = Shared().CopiedCut ? Shared().CopiedPath : std::wstring();
    if (Node* cut = cutShown_.empty() ? nullptr : nodes.Find(cutShown_)) cut->SetCut(true);
}

// Paste: the copied or cut file or folder into the selected folder, on a thread of its own.
// Refused before anything is written: into the item's folder itself or one of its
// sub-folders, into the folder that holds the item, onto the item itself, each by what the
// paths lead to (a link, a subst drive, a short name or a share of the same folder is the
// same folder); an item of the same name is replaced only when the user agrees (a folder is
// merged, as the scripting runtime's CopyFolder does). The checks open what the paths lead
// to, which on a share can take long: they are the thread's first step, and a destination
// that exists ends it with a question, after which it starts again to replace.
void TestControl::Command4_Click() {
    if (job_) return;
    SharedValues& shared = Shared();
    if (shared.CopiedPath.empty()) {
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
    shared.PasteFolder = JoinPath(key, L"");  // with its trailing backslash
    StartTransfer({{shared.CopiedPath, shared.CopiedName}}, shared.PasteFolder, shared.CopiedCut, false);
}

namespace {

// The progress of items done one after the other, told as one count.
class Consecutive final : public FileProgress {
public:
    explicit Consecutive(FileProgress& whole) : whole_(whole) {}
    void Counted(size_t total) override {
        total_ = total;
        whole_.Counted(base_ + total);
    }
    bool Next(size_t done, const std::wstring& path) override { return whole_.Next(base_ + done, path); }
    bool Stopping() override { return whole_.Stopping(); }
    void ItemDone() {
        base_ += total_;
        total_ = 0;
    }

private:
    FileProgress& whole_;
    size_t base_ = 0, total_ = 0;
};

}  // namespace

void TestControl::StartTransfer(std::vector<Transfer> items, const std::wstring& into, bool move, bool replace) {
    if (items.empty()) return;
    const std::wstring first = into + items.front().name;
    auto existing = std::make_shared<std::vector<std::wstring>>();
    Running running{.kind = move ? Running::Kind::Move : Running::Kind::Paste,
                    .item = first,
                    .items = items,
                    .into = into,
                    .existing = existing,
                    .revealDone = items.size() == 1 ? first : std::wstring(WithoutBackslash(into)),
                    .revealStopped = std::wstring(WithoutBackslash(into))};
    if (move)
        for (const Transfer& item : items) running.held.push_back(item.source);
    StartJob(std::move(running), [items = std::move(items), into, move, replace, existing](FileProgress& progress) {
        const FileSystem files;
        // Every item is checked before any is written: when one is refused, nothing is done.
        for (auto item = items.begin(); item != items.end(); ++item) {
            for (auto other = items.begin(); other != item; ++other) {
                if (SameText(other->name, item->name)) {
                    existing->assign(1, item->name);
                    return kPasteSameNames;
                }
            }
        }
        for (const Transfer& item : items) {
            const std::wstring destination = into + item.name;
            if (files.FolderExists(item.source) && (IsSameOrInside(into, item.source) || IsSameOrBelow(into, item.source)))
                return DestinationInsideSourceError();
            // The holder of an item at a drive's root is the root itself, not the drive's current folder.
            std::wstring holder = ParentPath(item.source);
            if (holder.size() == 2 && holder[1] == L':') holder += L'\\';
            const bool exists = files.FileExists(destination) || files.FolderExists(destination);
            if (SameText(WithoutBackslash(holder), WithoutBackslash(into)) || SameItem(holder, into) ||
                (exists && SameItem(destination, item.source)))
                return kPasteOntoItself;
            if (exists && !replace) existing->push_back(destination);
        }
        if (!existing->empty()) return kPasteOverExisting;
        Consecutive each(progress);
        for (const Transfer& item : items) {
            const std::wstring destination = into + item.name;
            HRESULT hr;
            if (move)
                hr = files.Move(item.source, destination, replace, &each);
            else if (files.FolderExists(item.source))
                hr = files.CopyFolder(item.source, destination, &each);
            else
                hr = files.CopyFileTo(item.source, destination, &each);
            if (FAILED(hr)) return hr;
            each.ItemDone();
        }
        return S_OK;
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
    StartJob({.kind = Running::Kind::Delete, .item = key, .held = {key}, .revealDone = parent, .revealStopped = parent},
             [key](FileProgress& progress) -> HRESULT {
                 const FileSystem files;
                 if (files.FolderExists(key)) return files.DeleteFolder(key, &progress);
                 if (!files.FileExists(key)) return S_FALSE;  // gone meanwhile: nothing to delete
                 progress.Counted(1);
                 if (!progress.Next(0, key)) return CancelledError();
                 return files.RemoveFile(key);
             });
}

// ---- a paste, move or delete running ----

std::wstring TestControl::Running::Verb() const {
    return kind == Kind::Move ? L"移动" : kind == Kind::Paste ? L"粘贴" : L"删除";
}

void TestControl::TakeUpHeld(const Running& running) {
    for (const std::wstring& item : running.held) follow_.TakeUp(item);
}

void TestControl::StartJob(Running running, FileJob::Work work) {
    // The pane may have closed while a question of the paste was up; one job at a time.
    if (!::IsWindow(Hwnd()) || job_) return;
    // Nothing of the tree's watch holds what the job deletes or moves (Windows refuses to move
    // or remove a folder while a handle is open below it).
    for (const std::wstring& item : running.held) follow_.LetGo(item);
    try {
        job_ = std::make_unique<FileJob>(std::move(work), Hwnd(), JobDoneMessage());
    } catch (...) {  // no thread to be had
        TakeUpHeld(running);
        Message(running.Verb() + L"失败：" + running.item + L"\n" + SystemReason(E_OUTOFMEMORY));
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
        const std::wstring verb = running_.Verb();
        progress_ = std::make_unique<ProgressForm>(verb, L"正在" + verb + L"：");
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
    running_ = {};
    TakeUpHeld(running);
    EnableDiskCommands(true);
    const bool paste = running.kind != Running::Kind::Delete, move = running.kind == Running::Kind::Move;
    if (paste && hr == kPasteOverExisting) {
        // Every item that would be replaced is named: Yes replaces them all.
        std::wstring names;
        for (size_t index = 0; index < running.existing->size() && index < kNamesAsked; ++index)
            names += (*running.existing)[index] + L"\n";
        if (running.existing->size() > kNamesAsked)
            names += L"……共 " + std::to_wstring(running.existing->size()) + L" 项\n";
        if (Message(L"目标文件夹中已有同名的项目：" + names + L"是否替换？", MB_YESNO | MB_ICONQUESTION) == IDYES)
            StartTransfer(running.items, running.into, move, true);
        return;
    }
    if (paste && hr == kPasteSameNames) {
        Message(L"要粘贴的项目中有同名的项目，无法完成操作：" + running.existing->front());
        return;
    }
    if (paste && hr == kPasteOntoItself) {
        Message(L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！");
        return;
    }
    if (paste && hr == DestinationInsideSourceError()) {
        Message(L"不能将文件夹粘贴到它自身或其子文件夹中！");
        return;
    }
    // A cut item that was moved is no longer there to paste.
    SharedValues& shared = Shared();
    if (move && SUCCEEDED(hr) &&
        std::any_of(running.items.begin(), running.items.end(), [&](const Transfer& item) {
            return SameText(WithoutBackslash(item.source), WithoutBackslash(shared.CopiedPath));
        })) {
        shared.CopiedPath.clear();
        shared.CopiedName.clear();
        shared.CopiedCut = false;
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
    TakeUpHeld(running_);
    running_ = {};
}

void TestControl::TellJobResult(const Running& running, const FileJob::Status& status, HRESULT hr, bool cancelled) {
    const bool paste = running.kind != Running::Kind::Delete, move = running.kind == Running::Kind::Move;
    const std::wstring verb = running.Verb();
    const std::wstring done = std::to_wstring(status.done), total = std::to_wstring(status.total);
    // What a move stopped short leaves: every item not moved whole is where it was.
    const std::wstring rest = move ? L"未移动完的项目都留在原处。" : L"其余未" + verb + L"。";
    const std::wstring count = move ? L"已完成 " + done + L" 项，共 " + total + L" 项，"
                                    : L"已" + verb + L" " + done + L" 项，共 " + total + L" 项，";
    if (SUCCEEDED(hr)) {
        if (!paste) return;
        if (running.items.size() == 1)
            Message(L"文件 " + running.items.front().name + L" " + verb + L"成功！");
        else
            Message(std::to_wstring(running.items.size()) + L" 个项目" + verb + L"成功！");
    } else if (cancelled) {
        Message(verb + L"已取消：" + count + rest);
    } else if (hr == ChangedWhileMovedError()) {
        Message(L"移动未完成：另一个程序在移动时改变或新加的文件留在了原处，其余已移动到：" +
                std::wstring(WithoutBackslash(running.into)));
    } else if (status.done == 0 || status.current.empty()) {
        Message(verb + L"失败：" + running.item + L"\n" + SystemReason(hr));
    } else {
        // Stopped in the middle: the item that failed, and how far it got.
        Message(verb + L"未完成：" + status.current + L"\n" + SystemReason(hr) + L"\n" + count + rest);
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
    Shared().RootPath = nodes.Item(1)->Key();
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
    const std::wstring target = JoinPath(parent, newString);
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
// opens, Ctrl+C copies, Ctrl+X cuts, Ctrl+V pastes, Shift+F10 and the menu key show the context menu.
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
    } else if (keyCode == 'X' && ctrl && !alt) {
        Cut();
    } else if (keyCode == 'V' && ctrl && !alt) {
        Command4_Click();
    } else {
        return;
    }
    keyCode = 0;
}

// Ctrl+C, Ctrl+X and Ctrl+V are the tree's while it has the focus: the application's own
// copy, cut and paste must not see them.
bool TestControl::KeepsKey(const MSG& message) {
    if (message.hwnd != TreeView2.Hwnd() || (message.message != WM_KEYDOWN && message.message != WM_KEYUP)) return false;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0, alt = ::GetKeyState(VK_MENU) < 0;
    return ctrl && !alt && (message.wParam == 'C' || message.wParam == 'X' || message.wParam == 'V');
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
        {kCut, L"剪切", !isRoot},
        {kCopy, L"复制", node != nullptr},
        {kPaste, L"粘贴", idle && !Shared().CopiedPath.empty()},
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
        case kCut: Cut(); break;
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

// ---- drag and drop ----

// A node dragged out: its item, for the folder tree, the application or a file manager. The
// root stays where it is, and nothing is dragged while the disk is being changed.
void TestControl::TreeView2_BeginDrag(Node& node) {
    if (!node.Parent() || job_) return;
    const std::wstring key = node.Key();  // a drop may rebuild the tree before the drag returns
    // Another program may move the item where it is dropped: no watch holds it meanwhile.
    follow_.LetGo(key);
    DragItem(key);
    follow_.TakeUp(key);
}

// Files dropped on a folder: pasted or moved there as a paste does, with its checks,
// questions, progress and messages.
void TestControl::TreeView2_Drop(FolderDrop drop) {
    if (job_ || InModal()) return;
    std::vector<Transfer> items;
    for (const std::wstring& path : drop.paths) {
        const std::wstring trimmed(WithoutBackslash(path));
        const std::wstring name = ::PathFindFileNameW(trimmed.c_str());
        if (!name.empty() && name != trimmed) items.push_back({path, name});  // not a drive
    }
    if (items.empty()) return;
    StartTransfer(std::move(items), JoinPath(drop.folder, L""), drop.move, false);
}

// A folder hovered during a drag opens as it does for the user's click.
void TestControl::TreeView2_OpenHovered(const std::wstring& key) {
    Node* node = TreeView2.Nodes().Find(key);
    if (!node || node->Expanded()) return;
    TreeView2_Expand(*node);
    if (Node* listed = TreeView2.Nodes().Find(key)) listed->SetExpanded(true);
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
