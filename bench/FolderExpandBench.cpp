// Expanding a folder in the folder tree against what it is made of, measured in one run.
// The folder has 200 sub-folders of 20 entries each (4 folders, 16 files of which 12 are
// workbooks); the tree's root holds it, so BuildFolderTree shows it with its sub-folders.
//   ours: FillSubFolders on the folder's node of a real TreeView, just built (untimed) by
//         BuildFolderTree: one more level under each of the 200 sub-folders.
//   bare: the same 200 FindFirstFileExW listings with the same inserts (folders, then
//         workbooks) into a bare SysTreeView32 that holds the same items before (untimed),
//         drawing suspended while it fills as ours does.

#include "bench/BenchSupport.h"
#include "control/FolderTree.h"
#include "control/NodeImages.h"
#include "runtime/FileSystem.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

using namespace cartulane;
using namespace cartulane::bench;
using namespace cartulane::control;

namespace {

// The root, with the folder to expand and a few workbooks beside it.
std::wstring MakeRoot(const std::wstring& scratch, const std::wstring& expanded) {
    const std::wstring root = JoinPath(scratch, L"根 目录");
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (int e = 0; e < 10; ++e) Touch(JoinPath(root, L"Book " + std::to_wstring(e) + L".xlsx"));
    const std::wstring folder = JoinPath(root, expanded);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const wchar_t* const kinds[] = {L".xls", L".xlsx", L".txt", L".xlsm"};
    for (int f = 0; f < 200; ++f) {
        const std::wstring sub = JoinPath(folder, L"文件夹 " + std::to_wstring(f));
        ::CreateDirectoryW(sub.c_str(), nullptr);
        for (int e = 0; e < 4; ++e) ::CreateDirectoryW(JoinPath(sub, L"sub " + std::to_wstring(e)).c_str(), nullptr);
        for (int e = 0; e < 16; ++e) Touch(JoinPath(sub, L"报表 " + std::to_wstring(e) + kinds[e % 4]));
    }
    return root;
}

}  // namespace

int main() {
    TreesToCompare trees;
    TreeView& tree = trees.tree;
    const HWND bare = trees.bare;

    const std::wstring scratch = ScratchFolder(L"cartulane-expand-bench");
    const std::wstring expandedName = L"要展开的文件夹";
    const std::wstring root = MakeRoot(scratch, expandedName);
    const std::wstring expanded = JoinPath(root, expandedName);

    Node* node = nullptr;
    auto build = [&] {
        std::wstring rootPath = root;
        BuildFolderTree(rootPath, tree);
        node = tree.Nodes().Find(expanded);
    };
    auto expand = [&] { FillSubFolders(*node, tree); };

    // The bare tree as BuildFolderTree leaves ours: the root expanded, the folder below it
    // collapsed with its sub-folders, the root's workbooks after it.
    std::vector<std::pair<HTREEITEM, std::wstring>> subFolders;
    auto bareBuild = [&] {
        ::SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
        TreeView_DeleteAllItems(bare);
        HTREEITEM top = Insert(bare, TVI_ROOT, root, 4, TVIS_EXPANDED);
        for (const auto& [item, path] : BareListing(bare, top, root)) subFolders = BareListing(bare, item, path);
        ::SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
    };
    auto bareExpand = [&] {
        ::SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
        for (const auto& [item, path] : subFolders) BareListing(bare, item, path);
        ::SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(bare, nullptr, TRUE);
    };

    build();
    bareBuild();
    const int before = tree.Nodes().Count();
    expand();
    bareExpand();
    std::printf("expand: %d nodes before, %d after (bare tree: %u after)\n", before, tree.Nodes().Count(),
                TreeView_GetCount(bare));

    const auto t = Medians({{expand, build}, {bareExpand, bareBuild}}, 11);
    std::printf("FillSubFolders                           %8.1f ms\n", t[0] * 1e3);
    std::printf("FindFirstFileExW + bare inserts          %8.1f ms   ratio %.2f (target <= 1.3)\n", t[1] * 1e3,
                t[0] / t[1]);

    tree.Nodes().Clear();
    FileSystem().DeleteFolder(scratch);
    return 0;
}
