#pragma once
// FolderTree: fills the folder tree with a root folder, its sub-folders and its
// workbook files, two levels deep, and one level more on demand.

#include "control/TreeView.h"

#include <string>
#include <string_view>

namespace cartulane::control {

// The folder tree's root, shared by the whole control on this thread. Empty until the
// control's first layout sets the default.
extern thread_local std::wstring RootPath;

// The file filter both listings use: "xls" anywhere in the extension.
inline constexpr std::wstring_view FileFilter = L"xls";

// USERPROFILE & "\桌面": the user's desktop folder, the default root.
std::wstring DefaultRootPath();

// Clears the tree and builds root, first and second level from RootPath; errors are
// skipped statement by statement.
void BuildFolderTree(TreeView& tree);

// Adds path's sub-folders, then its files whose extension contains filter, as children
// of the node keyed ParentKey. path is trimmed in place (see TrimPath). The first
// failure ends the listing and is returned.
HRESULT ListFolder(std::wstring& path, std::wstring_view filter, TreeView& tree);

// Removes leading and trailing blanks from path itself, and returns that text without
// one trailing backslash.
std::wstring TrimPath(std::wstring& path);

// Lists the folder at path (normally the key of its node) under that node, when it is
// an existing folder; errors are ignored.
void FillFolder(std::wstring path, TreeView& tree);

// For a folder the user expands: exactly one more level under each of its children, so
// that the children that hold entries show as expandable. Never a walk further down.
void FillSubFolders(Node& node, TreeView& tree);

}  // namespace cartulane::control
