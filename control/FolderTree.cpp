#include "control/FolderTree.h"

#include "control/NodeImages.h"
#include "runtime/Variant.h"
#include "runtime/FileSystem.h"

#include <algorithm>
#include <vector>

namespace cartulane::control {

thread_local std::wstring RootPath;

namespace {

thread_local std::wstring ParentKey;  // the node that ListFolder adds under
thread_local std::wstring RootText;

int RootImage(const std::wstring& root) {
    std::wstring withoutBackslashes = root;
    std::erase(withoutBackslashes, L'\\');
    if (!withoutBackslashes.empty() && withoutBackslashes.back() == L':') return kImageDrive;
    const std::wstring profile = EnvironmentVariable(L"USERPROFILE");
    if (root == profile + L"\\桌面") return kImageDesktop;
    if (root == profile + L"\\My Documents") return kImageDocumentsFolder;
    return kImageFolder;
}

// The text after the last "." (the whole name without one), lower-cased.
std::wstring LowerExtension(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? name : name.substr(dot + 1);
    if (!extension.empty()) ::CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    return extension;
}

}  // namespace

std::wstring DefaultRootPath() { return EnvironmentVariable(L"USERPROFILE") + L"\\桌面"; }

std::wstring TrimPath(std::wstring& path) {
    const size_t first = path.find_first_not_of(L' ');
    if (first == std::wstring::npos) {
        path.clear();
    } else {
        path.erase(path.find_last_not_of(L' ') + 1);
        path.erase(0, first);
    }
    std::wstring result = path;
    if (!result.empty() && result.back() == L'\\') result.pop_back();
    return result;
}

HRESULT ListFolder(std::wstring& path, std::wstring_view filter, TreeView& tree) {
    // The folder is looked up without the blanks around it, as the scripting runtime's path
    // parsing drops them; the caller's text is trimmed only once an entry is added.
    std::wstring lookup = path;
    TrimPath(lookup);
    FolderListing folder;
    RETURN_IF_FAILED(FileSystem().GetFolder(lookup, &folder));
    // Every key is TrimPath(path) & "\" & name; the trimmed text is the same for each.
    std::wstring prefix;
    auto add = [&](const std::wstring& name, int image) -> HRESULT {
        if (prefix.empty()) prefix = TrimPath(path) + L'\\';
        Node* node = nullptr;
        RETURN_IF_FAILED(tree.Nodes().Add(ParentKey, tvwChild, prefix + name, name, image, &node));
        node->SetExpanded(false);
        return S_OK;
    };
    for (const std::wstring& name : folder.subFolders) RETURN_IF_FAILED(add(name, kImageFolder));
    for (const std::wstring& name : folder.files) {
        if (LowerExtension(name).find(filter) != std::wstring::npos) RETURN_IF_FAILED(add(name, kImageWorkbook));
    }
    return S_OK;
}

void BuildFolderTree(TreeView& tree) {
    TreeView::BulkUpdate update(tree);
    TreeNodes& nodes = tree.Nodes();
    ParentKey = RootPath;
    const size_t lastBackslash = RootPath.rfind(L'\\');
    RootText = (RootPath.empty() || RootPath.back() != L'\\') && lastBackslash != std::wstring::npos
                   ? RootPath.substr(lastBackslash + 1)
                   : RootPath;
    nodes.Clear();
    Node* root = nullptr;
    if (SUCCEEDED(nodes.Add(ParentKey, RootText, RootImage(RootPath), &root))) root->SetExpanded(true);
    // The listing trims RootPath itself; the root's key keeps the untrimmed text.
    ListFolder(RootPath, FileFilter, tree);

    const FileSystem files;
    const int count = nodes.Count();
    for (int i = 2; i <= count; ++i) {
        // File nodes were listed as files a moment ago; only folders are asked about.
        if (nodes.Item(i)->Image() != kImageFolder) continue;
        std::wstring key = nodes.Item(i)->Key();
        if (files.FolderExists(key)) {
            ParentKey = key;
            ListFolder(key, FileFilter, tree);
        }
    }
}

void FillSubFolders(Node& node, TreeView& tree) {
    TreeView::BulkUpdate update(tree);
    // The keys first: filling adds nodes, and the walk must not see them.
    std::vector<std::wstring> children;
    for (Node* child = node.Child(); child; child = child->Next()) children.push_back(child->Key());
    for (const std::wstring& key : children) FillFolder(key, tree);
}

void FillFolder(std::wstring path, TreeView& tree) {
    ParentKey = path;
    TreeView::BulkUpdate update(tree);
    if (FileSystem().FolderExists(path)) ListFolder(path, FileFilter, tree);
}

}  // namespace cartulane::control
