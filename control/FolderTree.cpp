#include "control/FolderTree.h"

#include "control/FolderWatch.h"
#include "control/NodeImages.h"
#include "runtime/Variant.h"
#include "runtime/FileSystem.h"

#include <algorithm>
#include <unordered_map>
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

bool IsListedFile(const std::wstring& name) { return LowerExtension(name).find(FileFilter) != std::wstring::npos; }

// What a fresh listing of a folder shows, in its order: sub-folders, then workbook files.
struct Entry {
    std::wstring name;
    int image;
};

// A node goes with what lies below it, and the watches of the folders among them.
void RemoveNode(Node& node, TreeView& tree, FolderWatch& watch) {
    if (node.Image() == kImageFolder) watch.Remove(node.Key());
    tree.Nodes().Remove(node);
}

// The entry renamed from one name to another in the folder keyed key: the node takes the
// new name and key, the keys below it follow; a file whose new name is no workbook's goes.
void ApplyRename(Node& folder, const std::wstring& prefix, const std::wstring& from, const std::wstring& to,
                 TreeView& tree, FolderWatch& watch) {
    TreeNodes& nodes = tree.Nodes();
    Node* node = nodes.Find(prefix + from);
    if (!node || node->Parent() != &folder) return;
    const bool isFolder = node->Image() == kImageFolder;
    if (!isFolder && !IsListedFile(to)) {
        RemoveNode(*node, tree, watch);
        return;
    }
    const std::wstring oldKey = node->Key(), newKey = prefix + to;
    if (Node* replaced = nodes.Find(newKey); replaced && replaced != node) RemoveNode(*replaced, tree, watch);
    std::vector<Node*> below{node};
    while (!below.empty()) {
        Node* next = below.back();
        below.pop_back();
        for (Node* child = next->Child(); child; child = child->Next()) below.push_back(child);
        nodes.SetKey(*next, newKey + next->Key().substr(oldKey.size()));
    }
    node->SetText(to);
    if (isFolder) watch.Rekey(oldKey, newKey);
}

// A folder renamed whose new name was not told: a new folder in the listing that is the
// very folder its watch holds open. Anything else is left to the listing (a file, a folder
// moved away while another was made).
void FindRenamed(Node& folder, const std::wstring& prefix, const std::wstring& from, const FolderListing& listing,
                 TreeView& tree, FolderWatch& watch) {
    TreeNodes& nodes = tree.Nodes();
    Node* node = nodes.Find(prefix + from);
    if (!node || node->Parent() != &folder || node->Image() != kImageFolder) return;
    const auto& names = listing.subFolders;
    if (std::find(names.begin(), names.end(), from) != names.end()) return;  // still there
    for (const std::wstring& name : names) {
        if (nodes.Find(prefix + name) || !watch.SameFolder(node->Key(), prefix + name)) continue;
        ApplyRename(folder, prefix, from, name, tree, watch);
        return;
    }
}

// The children of the folder keyed key (whose children's keys begin with prefix) against a fresh listing: those gone are removed,
// the new ones inserted after the entry that precedes them in the listing. The children
// that stay keep their places.
void SyncFolder(Node& folder, const std::wstring& key, const std::wstring& prefix, const FolderListing& listing,
                TreeView& tree, FolderWatch& watch) {
    TreeNodes& nodes = tree.Nodes();
    std::vector<Entry> entries;
    entries.reserve(listing.subFolders.size() + listing.files.size());
    for (const std::wstring& name : listing.subFolders) entries.push_back({name, kImageFolder});
    for (const std::wstring& name : listing.files)
        if (IsListedFile(name)) entries.push_back({name, kImageWorkbook});

    std::unordered_map<std::wstring, int> wanted;
    wanted.reserve(entries.size());
    for (const Entry& entry : entries) wanted.emplace(prefix + entry.name, entry.image);
    std::vector<Node*> gone;
    for (Node* child = folder.Child(); child; child = child->Next()) {
        const auto found = wanted.find(child->Key());
        if (found == wanted.end() || found->second != child->Image()) gone.push_back(child);  // a file now a folder
    }
    for (Node* child : gone) RemoveNode(*child, tree, watch);

    const bool listSubFolders = watch.IsDeep(key);
    Node* previous = nullptr;
    for (const Entry& entry : entries) {
        const std::wstring childKey = prefix + entry.name;
        if (Node* existing = nodes.Find(childKey)) {
            previous = existing;
            continue;
        }
        Node* added = nullptr;
        HRESULT hr;
        if (previous && previous->Next()) {
            hr = nodes.Add(previous->Key(), tvwNext, childKey, entry.name, entry.image, &added);
        } else if (!previous && folder.Child()) {
            hr = nodes.Add(folder.Child()->Key(), tvwPrevious, childKey, entry.name, entry.image, &added);
        } else {
            hr = nodes.Add(key, tvwChild, childKey, entry.name, entry.image, &added);
        }
        if (FAILED(hr)) continue;
        added->SetExpanded(false);
        previous = added;
        if (entry.image == kImageFolder && listSubFolders) FillFolder(childKey, tree, &watch);
    }
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

HRESULT ListFolder(std::wstring& path, std::wstring_view filter, TreeView& tree, FolderWatch* watch) {
    // The folder is looked up without the blanks around it, as the scripting runtime's path
    // parsing drops them; the caller's text is trimmed only once an entry is added.
    std::wstring lookup = path;
    TrimPath(lookup);
    // Watched before it is read: nothing made in between goes unseen.
    const bool watched = watch && tree.Nodes().Find(ParentKey) && watch->Add(ParentKey, lookup);
    FolderListing folder;
    if (const HRESULT hr = FileSystem().GetFolder(lookup, &folder); FAILED(hr)) {
        if (watched) watch->Remove(ParentKey);
        return hr;
    }
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

void BuildFolderTree(TreeView& tree, FolderWatch* watch) {
    TreeView::BulkUpdate update(tree);
    if (watch) watch->MarkAll();
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
    const std::wstring rootKey = RootPath;
    ListFolder(RootPath, FileFilter, tree, watch);
    if (watch) watch->SetDeep(rootKey);

    const FileSystem files;
    const int count = nodes.Count();
    for (int i = 2; i <= count; ++i) {
        // File nodes were listed as files a moment ago; only folders are asked about.
        if (nodes.Item(i)->Image() != kImageFolder) continue;
        std::wstring key = nodes.Item(i)->Key();
        if (files.FolderExists(key)) {
            ParentKey = key;
            ListFolder(key, FileFilter, tree, watch);
        }
    }
    if (watch) watch->Prune();
}

void FillSubFolders(Node& node, TreeView& tree, FolderWatch* watch) {
    TreeView::BulkUpdate update(tree);
    // The keys first: filling adds nodes, and the walk must not see them.
    const std::wstring key = node.Key();
    std::vector<std::wstring> children;
    for (Node* child = node.Child(); child; child = child->Next()) children.push_back(child->Key());
    for (const std::wstring& child : children) FillFolder(child, tree, watch);
    if (watch) watch->SetDeep(key);
}

void FillFolder(std::wstring path, TreeView& tree, FolderWatch* watch) {
    ParentKey = path;
    TreeView::BulkUpdate update(tree);
    if (FileSystem().FolderExists(path)) ListFolder(path, FileFilter, tree, watch);
}

int ApplyFolderChanges(TreeView& tree, FolderWatch& watch) {
    std::vector<FolderWatch::Change> changes = watch.Take();
    if (changes.empty()) return 0;
    TreeView::BulkUpdate update(tree);
    const FileSystem files;
    int updated = 0;
    // A folder comes before the folders below it: a rename or removal above has moved or
    // ended their watches by the time they come.
    for (const FolderWatch::Change& change : changes) {
        const std::wstring* current = watch.KeyOf(change.id);
        if (!current) continue;
        const std::wstring key = *current;
        Node* folder = tree.Nodes().Find(key);
        if (!folder) {
            watch.Remove(key);
            continue;
        }
        std::wstring trimmed = key;
        const std::wstring prefix = TrimPath(trimmed) + L'\\';
        if (change.waiting) {
            for (const auto& [from, to] : change.renames) ApplyRename(*folder, prefix, from, to, tree, watch);
            continue;
        }
        // The folder is watched anew before it is read: what changed since the watch was
        // asked is in the listing, and a folder deleted meanwhile goes now.
        FolderWatch::Renames renames = change.renames;
        const bool watched = watch.Renew(change.id, &renames);
        for (const auto& [from, to] : renames) ApplyRename(*folder, prefix, from, to, tree, watch);
        FolderListing listing;
        const bool listed = SUCCEEDED(files.GetFolder(trimmed, &listing));
        ++updated;
        if (listed) {
            for (const std::wstring& name : change.renamedAway) FindRenamed(*folder, prefix, name, listing, tree, watch);
        }
        if (watched && listed) {
            SyncFolder(*folder, key, prefix, listing, tree, watch);
        } else if (files.FolderExists(trimmed)) {
            // Still there, and not readable for a moment (a share, a sharing violation): what
            // could be read is shown, and the watch tries the folder again in its turn.
            if (listed) SyncFolder(*folder, key, prefix, listing, tree, watch);
        } else {
            // Gone: its entries and watches go with it, and so does its node (the root stays,
            // as a build leaves it).
            while (Node* child = folder->Child()) RemoveNode(*child, tree, watch);
            watch.Remove(key);
            if (folder->Parent()) tree.Nodes().Remove(*folder);
        }
    }
    return updated;
}

}  // namespace cartulane::control
