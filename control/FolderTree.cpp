#include "control/FolderTree.h"

#include "control/NodeImages.h"
#include "runtime/Variant.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <unordered_map>
#include <vector>

namespace cartulane::control {

namespace {

// The user's desktop folder as the system names it ("" when it has none); the folder itself
// is not looked at, as it may be redirected to a share.
std::wstring SystemDesktop() {
    UniqueCoTaskMemory<wchar_t> path;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_DONT_VERIFY, nullptr, path.put()))) return {};
    return path.get();
}

bool IsDesktop(const std::wstring& root) {
    return root == EnvironmentVariable(L"USERPROFILE") + L"\\桌面" || root == SystemDesktop();
}

int RootImage(const std::wstring& root) {
    std::wstring withoutBackslashes = root;
    std::erase(withoutBackslashes, L'\\');
    if (!withoutBackslashes.empty() && withoutBackslashes.back() == L':') return kImageDrive;
    const std::wstring profile = EnvironmentVariable(L"USERPROFILE");
    if (IsDesktop(root)) return kImageDesktop;
    if (root == profile + L"\\My Documents") return kImageDocumentsFolder;
    return kImageFolder;
}

// The text after the last "." (the whole name without one), lower-cased.
std::wstring LowerExtension(std::wstring_view name) {
    const size_t dot = name.rfind(L'.');
    std::wstring extension(dot == std::wstring_view::npos ? name : name.substr(dot + 1));
    if (!extension.empty()) ::CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    return extension;
}

// A node goes with what lies below it, and its folders are no longer listed. The selection
// goes to the folder that held it, never to a neighbour the user did not choose (which the
// tree view would pick, and a paste pressed next would copy into).
void RemoveNode(Node& node, TreeView& tree, ListedFolders& listed) {
    for (Node* selected = tree.SelectedItem(); selected; selected = selected->Parent()) {
        if (selected != &node) continue;
        if (Node* parent = node.Parent()) tree.Select(*parent, false);
        break;
    }
    if (node.Image() == kImageFolder) listed.RemoveFrom(node.Key());
    tree.Nodes().Remove(node);
}

// The entry renamed from one name to another in folder (whose children's keys begin with
// prefix): the node takes the new name and key, the keys below it follow; a file whose new
// name is no workbook's goes.
void ApplyRename(Node& folder, const std::wstring& prefix, const std::wstring& from, const std::wstring& to,
                 TreeView& tree, ListedFolders& listed) {
    TreeNodes& nodes = tree.Nodes();
    Node* node = nodes.Find(prefix + from);
    if (!node || node->Parent() != &folder) return;
    const bool isFolder = node->Image() == kImageFolder;
    if (!isFolder && !IsWorkbookFile(to)) {
        RemoveNode(*node, tree, listed);
        return;
    }
    const std::wstring oldKey = node->Key(), newKey = prefix + to;
    if (Node* replaced = nodes.Find(newKey); replaced && replaced != node) RemoveNode(*replaced, tree, listed);
    std::vector<Node*> below{node};
    while (!below.empty()) {
        Node* next = below.back();
        below.pop_back();
        for (Node* child = next->Child(); child; child = child->Next()) below.push_back(child);
        nodes.SetKey(*next, newKey + next->Key().substr(oldKey.size()));
    }
    node->SetText(to);
    if (isFolder) listed.Rekey(oldKey, newKey);
}

// The children of folder (keyed key; its children's keys begin with prefix) against a fresh
// listing: those gone are removed, the new ones inserted after the entry that precedes them
// in the listing; the children that stay keep their places. Done again from the start, it
// goes on where it stopped.
bool SyncFolder(Node& folder, const std::wstring& key, const std::wstring& prefix, const FolderListing& listing,
                TreeView& tree, ListedFolders& listed, std::chrono::steady_clock::time_point deadline) {
    TreeNodes& nodes = tree.Nodes();
    int steps = 0;
    auto late = [&] { return (++steps & 7) == 0 && std::chrono::steady_clock::now() > deadline; };

    std::unordered_map<std::wstring, int> wanted;
    wanted.reserve(listing.subFolders.size() + listing.files.size());
    for (const std::wstring& name : listing.subFolders) wanted.emplace(prefix + name, kImageFolder);
    for (const std::wstring& name : listing.files) wanted.emplace(prefix + name, kImageWorkbook);
    std::vector<Node*> gone;
    for (Node* child = folder.Child(); child; child = child->Next()) {
        const auto found = wanted.find(child->Key());
        if (found == wanted.end() || found->second != child->Image()) gone.push_back(child);  // a file now a folder
    }
    for (Node* child : gone) {
        RemoveNode(*child, tree, listed);
        if (late()) return false;
    }

    const bool listSubFolders = listed.IsDeep(key);
    Node* previous = nullptr;
    auto insert = [&](const std::wstring& name, int image) {
        const std::wstring childKey = prefix + name;
        if (Node* existing = nodes.Find(childKey)) {
            previous = existing;
            return false;
        }
        Node* added = nullptr;
        HRESULT hr;
        if (previous) {
            hr = nodes.Add(previous->Key(), tvwNext, childKey, name, image, &added);
        } else if (folder.Child()) {
            hr = nodes.Add(folder.Child()->Key(), tvwPrevious, childKey, name, image, &added);
        } else {
            hr = nodes.Add(key, tvwChild, childKey, name, image, &added);
        }
        if (FAILED(hr)) return false;
        added->SetExpanded(false);
        previous = added;
        if (image == kImageFolder && listSubFolders) listed.Add(childKey);
        return late();
    };
    for (const std::wstring& name : listing.subFolders)
        if (insert(name, kImageFolder)) return false;
    for (const std::wstring& name : listing.files)
        if (insert(name, kImageWorkbook)) return false;
    return true;
}

}  // namespace

std::wstring DefaultRootPath() {
    const std::wstring named = EnvironmentVariable(L"USERPROFILE") + L"\\桌面";
    if (FileSystem().FolderExists(named)) return named;
    const std::wstring desktop = SystemDesktop();
    return desktop.empty() ? named : desktop;
}

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

bool IsWorkbookFile(std::wstring_view name) { return LowerExtension(name).find(FileFilter) != std::wstring::npos; }

// ---- ListedFolders ----

void ListedFolders::Reset(const std::wstring& rootKey, const std::wstring& rootPath) {
    folders_.clear();
    rootKey_ = rootKey;
    rootPath_ = rootPath;
    ++version_;
    ++builds_;
}

void ListedFolders::Add(const std::wstring& key) {
    if (folders_.emplace(key, false).second) ++version_;
}

void ListedFolders::SetDeep(const std::wstring& key) {
    if (auto found = folders_.find(key); found != folders_.end()) found->second = true;
}

bool ListedFolders::IsDeep(const std::wstring& key) const {
    const auto found = folders_.find(key);
    return found != folders_.end() && found->second;
}

void ListedFolders::RemoveFrom(const std::wstring& key) {
    const auto below = [&](const auto& each) { return IsSameOrInside(each.first, key, TextCase::Kept); };
    if (std::erase_if(folders_, below) > 0) ++version_;
}

void ListedFolders::Rekey(const std::wstring& from, const std::wstring& to) {
    std::vector<std::pair<std::wstring, bool>> moved;
    const std::wstring_view old = WithoutBackslash(from);
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (IsSameOrInside(it->first, from, TextCase::Kept)) {
            moved.emplace_back(std::wstring(WithoutBackslash(to)) + it->first.substr(old.size()), it->second);
            it = folders_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [key, deep] : moved) folders_.insert_or_assign(std::move(key), deep);
    if (!moved.empty()) ++version_;
}

std::vector<std::wstring> ListedFolders::Paths() const {
    std::vector<std::wstring> paths;
    paths.reserve(folders_.size());
    if (folders_.count(rootKey_)) paths.push_back(rootPath_);
    for (const auto& [key, deep] : folders_)
        if (key != rootKey_) paths.push_back(key);
    return paths;
}

Node* ListedFolders::NodeOf(TreeNodes& nodes, const std::wstring& path) const {
    const std::wstring& key = path == rootPath_ ? rootKey_ : path;
    return Contains(key) ? nodes.Find(key) : nullptr;
}

// ---- listing ----

HRESULT ListFolder(const std::wstring& path, const std::wstring& parentKey, std::wstring_view filter, TreeView& tree,
                   ListedFolders* listed) {
    // The folder is looked up without the blanks around it, as the scripting runtime's path
    // parsing drops them. Every key is TrimPath(path) & "\" & name.
    std::wstring trimmed = path;
    const std::wstring prefix = TrimPath(trimmed) + L'\\';
    FolderListing folder;
    RETURN_IF_FAILED(FileSystem().GetFolder(trimmed, &folder));
    if (listed && tree.Nodes().Find(parentKey)) listed->Add(parentKey);
    auto add = [&](const std::wstring& name, int image) -> HRESULT {
        Node* node = nullptr;
        RETURN_IF_FAILED(tree.Nodes().Add(parentKey, tvwChild, prefix + name, name, image, &node));
        node->SetExpanded(false);
        return S_OK;
    };
    for (const std::wstring& name : folder.subFolders) RETURN_IF_FAILED(add(name, kImageFolder));
    for (const std::wstring& name : folder.files) {
        if (LowerExtension(name).find(filter) != std::wstring::npos) RETURN_IF_FAILED(add(name, kImageWorkbook));
    }
    return S_OK;
}

void BuildFolderTree(std::wstring& rootPath, TreeView& tree, ListedFolders* listed) {
    TreeView::BulkUpdate update(tree);
    TreeNodes& nodes = tree.Nodes();
    // The root's key keeps the untrimmed text.
    const std::wstring rootKey = rootPath;
    const size_t lastBackslash = rootKey.rfind(L'\\');
    const std::wstring rootText = IsDesktop(rootKey) ? L"桌面"
                                  : (rootKey.empty() || rootKey.back() != L'\\') && lastBackslash != std::wstring::npos
                                      ? rootKey.substr(lastBackslash + 1)
                                      : rootKey;
    nodes.Clear();
    Node* root = nullptr;
    if (SUCCEEDED(nodes.Add(rootKey, rootText, RootImage(rootKey), &root))) root->SetExpanded(true);
    if (listed) {
        std::wstring trimmed = rootKey;
        TrimPath(trimmed);
        listed->Reset(rootKey, trimmed);
    }
    ListFolder(rootKey, rootKey, FileFilter, tree, listed);
    // A root that lists an entry is kept trimmed, as the keys below it are.
    if (root && root->Child()) TrimPath(rootPath);
    if (listed) listed->SetDeep(rootKey);

    const FileSystem files;
    const int count = nodes.Count();
    for (int i = 2; i <= count; ++i) {
        // File nodes were listed as files a moment ago; only folders are asked about.
        if (nodes.Item(i)->Image() != kImageFolder) continue;
        const std::wstring key = nodes.Item(i)->Key();
        if (files.FolderExists(key)) ListFolder(key, key, FileFilter, tree, listed);
    }
}

void FillSubFolders(Node& node, TreeView& tree, ListedFolders* listed) {
    TreeView::BulkUpdate update(tree);
    // The keys first: filling adds nodes, and the walk must not see them.
    const std::wstring key = node.Key();
    std::vector<std::wstring> children;
    for (Node* child = node.Child(); child; child = child->Next()) children.push_back(child->Key());
    for (const std::wstring& child : children) FillFolder(child, tree, listed);
    if (listed) listed->SetDeep(key);
}

void FillFolder(const std::wstring& path, TreeView& tree, ListedFolders* listed) {
    TreeView::BulkUpdate update(tree);
    if (FileSystem().FolderExists(path)) ListFolder(path, path, FileFilter, tree, listed);
}

bool ApplyFolderChange(TreeView& tree, ListedFolders& listed, FolderChange& change,
                       std::chrono::steady_clock::time_point deadline) {
    Node* folder = listed.NodeOf(tree.Nodes(), change.folder);
    if (!folder) return true;  // no longer listed
    const std::wstring key = folder->Key();
    if (change.kind == FolderChange::Kind::Gone) {
        // Its entries go with it, and so does its node (the root stays, as a build leaves it).
        while (Node* child = folder->Child()) RemoveNode(*child, tree, listed);
        listed.RemoveFrom(key);
        if (folder->Parent()) RemoveNode(*folder, tree, listed);
        return true;
    }
    std::wstring trimmed = change.folder;
    const std::wstring prefix = TrimPath(trimmed) + L'\\';
    for (const auto& [from, to] : change.renames) ApplyRename(*folder, prefix, from, to, tree, listed);
    change.renames.clear();
    return !change.listing || SyncFolder(*folder, key, prefix, *change.listing, tree, listed, deadline);
}

}  // namespace cartulane::control
