#pragma once
// FolderTree: fills the folder tree with a root folder, its sub-folders and its
// workbook files, two levels deep, and one level more on demand.

#include "control/TreeView.h"

#include <string>
#include <string_view>

namespace cartulane::control {

class FolderWatch;

// The folder tree's root, shared by the whole control on this thread. Empty until the
// control's first layout sets the default.
extern thread_local std::wstring RootPath;

// The file filter both listings use: "xls" anywhere in the extension.
inline constexpr std::wstring_view FileFilter = L"xls";

// USERPROFILE & "\桌面": the user's desktop folder, the default root.
std::wstring DefaultRootPath();

// Every operation that lists folders takes an optional watch: each folder listed is
// watched from then on, under its node's key, until the tree no longer lists it.

// Clears the tree and builds root, first and second level from RootPath; errors are
// skipped statement by statement. The watch is given the folders of the new tree.
void BuildFolderTree(TreeView& tree, FolderWatch* watch = nullptr);

// Adds path's sub-folders, then its files whose extension contains filter, as children
// of the node keyed ParentKey. path is trimmed in place (see TrimPath). The first
// failure ends the listing and is returned.
HRESULT ListFolder(std::wstring& path, std::wstring_view filter, TreeView& tree, FolderWatch* watch = nullptr);

// Removes leading and trailing blanks from path itself, and returns that text without
// one trailing backslash.
std::wstring TrimPath(std::wstring& path);

// Lists the folder at path (normally the key of its node) under that node, when it is
// an existing folder; errors are ignored.
void FillFolder(std::wstring path, TreeView& tree, FolderWatch* watch = nullptr);

// For a folder the user expands: exactly one more level under each of its children, so
// that the children that hold entries show as expandable. Never a walk further down.
void FillSubFolders(Node& node, TreeView& tree, FolderWatch* watch = nullptr);

// Brings the tree in line with what changed in the watched folders, in place: a workbook
// file or folder made appears where a fresh listing would put it, one deleted disappears
// with what lies below it, one renamed takes its new name and key (and the keys below it
// follow). Expansion and selection stay. A folder made in a folder whose sub-folders are
// listed is listed too. Returns the number of folders brought in line.
int ApplyFolderChanges(TreeView& tree, FolderWatch& watch);

}  // namespace cartulane::control
