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

// A name a file or folder can have and that stays in its folder: not empty, not "." or
// "..", none of \ / : * ? " < > | nor a control character, no blank or dot at its end
// (Windows would drop them), and no device name such as CON or LPT1.
bool IsValidFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L".." || name.size() > 255) return false;
    for (wchar_t c : name)
        if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    if (name.back() == L'.' || name.back() == L' ') return false;
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (SameTextIgnoringCase(stem, device)) return false;
    if (stem.size() == 4 && (SameTextIgnoringCase(stem.substr(0, 3), L"COM") || SameTextIgnoringCase(stem.substr(0, 3), L"LPT")) &&
        stem[3] >= L'1' && stem[3] <= L'9')
        return false;
    return true;
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
    if (choosing) return;
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
    const wchar_t* extension = L".xls";
    if (application && SUCCEEDED(host::Version(application.Get(), &version)))
        extension = version == L"11.0" ? L".xls" : L".xlsx";
    // "." and ".." are refused as typed; the rest once the extension is on.
    if (name == L"." || name == L"..") {
        Message(kInvalidName);
        return;
    }
    if (!EndsWithIgnoringCase(name, extension)) name += extension;
    // The file's format goes with its extension, whatever format the user saves in by
    // default: the workbook format of 2003, or the Open XML workbook.
    const long format = version == L"11.0" || version.empty() ? host::kWorkbookNormal
                        : extension == std::wstring_view(L".xls") ? host::kExcel8
                                                                  : host::kOpenXmlWorkbook;
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

// Paste: the copied file or folder into the selected folder. Refused before anything is
// copied, into the copied folder itself or one of its sub-folders, and into the folder
// that holds the copied item; an item of the same name is replaced only when the user
// agrees (a folder is merged, as the scripting runtime's CopyFolder does).
void TestControl::Command4_Click() {
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
    const bool folder = FileSys.FolderExists(CopiedPath);
    if (PasteFolder == CopiedPath || SameTextIgnoringCase(WithoutBackslash(ParentPath(CopiedPath)), WithoutBackslash(PasteFolder))) {
        Message(L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！");
        return;
    }
    if (folder && IsSameOrInside(PasteFolder, CopiedPath)) {
        Message(L"不能将文件夹粘贴到它自身或其子文件夹中！");
        return;
    }
    const std::wstring destination = PasteFolder + CopiedName;
    if ((FileSys.FileExists(destination) || FileSys.FolderExists(destination)) &&
        Message(L"目标文件夹中已有同名的项目：" + destination + L"\n是否替换？", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    const HRESULT hr = folder ? FileSys.CopyFolder(CopiedPath, destination) : FileSys.CopyFileTo(CopiedPath, destination);
    if (SUCCEEDED(hr)) {
        Message(L"文件 " + CopiedName + L" 粘贴成功！");
    } else {
        Message(L"粘贴失败：" + destination + L"\n" + SystemReason(hr));
    }
    Command6_Click();
    Reveal(SUCCEEDED(hr) ? destination : WithoutBackslash(PasteFolder));
}

// Delete, for good (not into a recycle bin), after the user agreed.
void TestControl::Command5_Click() {
    Node* node = TreeView2.SelectedItem();
    if (!node) {
        Command6_Click();
        return;
    }
    const std::wstring key = node->Key();
    if (key.empty()) return;
    const std::wstring parent = node->Parent() ? node->Parent()->Key() : std::wstring();
    if (Message(L"确定要删除： " + key + L" ?", MB_YESNO) != IDYES) return;
    FileSys = FileSystem();
    HRESULT hr = S_OK;
    follow_.LetGo(key);
    if (FileSys.FolderExists(key)) {
        hr = FileSys.DeleteFolder(key);
    } else if (FileSys.FileExists(key)) {
        hr = FileSys.RemoveFile(key);
    }
    if (FAILED(hr)) Message(L"删除失败：" + key + L"\n" + SystemReason(hr));
    Command6_Click();
    if (!parent.empty()) Reveal(parent);
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
    if (application) host::OpenWorkbook(application.Get(), key);
}

void TestControl::TreeView2_Expand(Node& node) {
    if (node.Parent() && node.Children() > 0) FillSubFolders(node, TreeView2, &follow_.Listed());
    follow_.Tell();
}

// The root's label is the root folder's path: it is not renamed from here.
void TestControl::TreeView2_BeforeLabelEdit(short& cancel) {
    Node* node = TreeView2.SelectedItem();
    if (!node || !node->Parent()) cancel = 1;
}

// Rename: the typed name in the same folder. A name that cannot be a file's is refused
// and the edit undone; a rename the file system refuses is reported; then the tree shows
// what is on disk.
void TestControl::TreeView2_AfterLabelEdit(short& cancel, std::wstring& newString) {
    Node* node = TreeView2.SelectedItem();
    if (!node || !node->Parent()) {
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
    follow_.LetGo(key);
    const HRESULT hr = FileSys.Rename(key, target);
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
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const struct {
        MenuCommand id;
        const wchar_t* text;
        bool enabled;
    } items[] = {
        {kOpen, L"打开", isFile},         {kNew, L"新建", true},     {kCopy, L"复制", node != nullptr},
        {kPaste, L"粘贴", !CopiedPath.empty()}, {kDelete, L"删除", node != nullptr}, {kRename, L"重命名", !isRoot},
        {kRefresh, L"刷新", true},
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
