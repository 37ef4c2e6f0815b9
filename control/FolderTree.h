#pragma once
// FolderTree: fills the folder tree with a root folder, its sub-folders and its
// workbook files, two levels deep, and one level more on demand; and brings it in line
// with what changed on disk.

#include "control/FolderWatch.h"
#include "control/TreeView.h"

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cartulane::control {

// The file filter both listings use: "xls" anywhere in the extension.
inline constexpr std::wstring_view FileFilter = L"xls";

// Whether the tree shows a file of that name: FileFilter in the text after its last dot.
bool IsWorkbookFile(std::wstring_view name);

// The default root: USERPROFILE & "\桌面" where that folder exists, and otherwise (Windows
// Vista and later name it "Desktop") the user's desktop as the system knows it. Either is
// shown as "桌面".
std::wstring DefaultRootPath();

// The folders whose entries the tree shows (the root, each folder listed), by their nodes'
// keys, each with whether its sub-folders are listed too (the root, a folder the user
// expanded): a folder made in it is listed at once. What the watch is told.
class ListedFolders {
public:
    // A tree built anew: the root's key (the untrimmed text) and the path it is listed by.
    void Reset(const std::wstring& rootKey, const std::wstring& rootPath);
    void Add(const std::wstring& key);
    void SetDeep(const std::wstring& key);
    bool IsDeep(const std::wstring& key) const;
    bool Contains(const std::wstring& key) const { return folders_.count(key) != 0; }
    // The folder and every folder below it.
    void RemoveFrom(const std::wstring& key);
    // A folder renamed: it and the folders below it are listed under the new keys.
    void Rekey(const std::wstring& from, const std::wstring& to);
    size_t Count() const { return folders_.size(); }
    const std::wstring& RootPath() const { return rootPath_; }
    // The paths the folders are listed by, the root's first.
    std::vector<std::wstring> Paths() const;
    // The node of the folder a change is about; nullptr when the tree no longer lists it.
    Node* NodeOf(TreeNodes& nodes, const std::wstring& path) const;
    // Changes with every change of the set; Builds with every tree built anew.
    unsigned Version() const { return version_; }
    unsigned Builds() const { return builds_; }

private:
    std::map<std::wstring, bool> folders_;  // key, deep
    std::wstring rootKey_, rootPath_;
    unsigned version_ = 0;
    unsigned builds_ = 0;
};

// Every operation that lists folders takes an optional set of listed folders, which it
// keeps up to date.

// Clears the tree and builds root, first and second level from rootPath; errors are
// skipped statement by statement. The root's key is rootPath as given; once the root lists
// an entry, rootPath itself is trimmed (see TrimPath).
void BuildFolderTree(std::wstring& rootPath, TreeView& tree, ListedFolders* listed = nullptr);

// Adds path's sub-folders, then its files whose extension contains filter, as children
// of the node keyed parentKey, keyed TrimPath(path) & "\" & name. The first failure ends
// the listing and is returned.
HRESULT ListFolder(const std::wstring& path, const std::wstring& parentKey, std::wstring_view filter, TreeView& tree,
                   ListedFolders* listed = nullptr);

// Removes leading and trailing blanks from path itself, and returns that text without
// one trailing backslash.
std::wstring TrimPath(std::wstring& path);

// Lists the folder at path (normally the key of its node) under that node, when it is
// an existing folder; errors are ignored.
void FillFolder(const std::wstring& path, TreeView& tree, ListedFolders* listed = nullptr);

// For a folder the user expands: exactly one more level under each of its children, so
// that the children that hold entries show as expandable. Never a walk further down.
void FillSubFolders(Node& node, TreeView& tree, ListedFolders* listed = nullptr);

// Brings the folder a change is about in line with it, in place: renamed entries take
// their new names and keys (the keys below them follow; expansion stays), entries gone are
// removed with what lies below them, new ones are inserted where the listing puts them (a
// folder made in a folder whose sub-folders are listed becomes listed itself, and its
// entries come with its own change). A selected node that goes leaves the selection to
// its parent folder. Stops once the deadline has passed: false when the change is not all
// applied (its renames are, and are taken out of it); applying it again finishes it.
bool ApplyFolderChange(TreeView& tree, ListedFolders& listed, FolderChange& change,
                       std::chrono::steady_clock::time_point deadline);

}  // namespace cartulane::control
