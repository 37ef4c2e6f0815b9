// How BuildFolderTree compares with what it is made of, measured in one run:
//   (a) a bare FindFirstFileExW listing with the same inserts into a bare SysTreeView32,
//   (b) the same two-level listing through Scripting.FileSystemObject, with the same inserts;
// and how adding keyed nodes grows from 10,000 to 20,000, against bare inserts.
// Prints ratios; the tree is made in the temporary folder and removed afterwards.

#include "bench/BenchSupport.h"
#include "control/FolderTree.h"
#include "control/NodeImages.h"
#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace cartulane;
using namespace cartulane::bench;
using namespace cartulane::control;

namespace {

// 200 folders of 50 entries (45 files, 5 folders) and 1,000 files at the top.
std::wstring MakeTree() {
    const std::wstring root = ScratchFolder(L"cartulane-bench");
    const wchar_t* const kinds[] = {L".xls", L".xlsx", L".txt"};
    for (int f = 0; f < 200; ++f) {
        const std::wstring folder = JoinPath(root, L"文件夹 " + std::to_wstring(f));
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int e = 0; e < 5; ++e) ::CreateDirectoryW(JoinPath(folder, L"sub " + std::to_wstring(e)).c_str(), nullptr);
        for (int e = 0; e < 45; ++e) Touch(JoinPath(folder, L"报表 " + std::to_wstring(e) + kinds[e % 3]));
    }
    for (int e = 0; e < 1000; ++e) Touch(JoinPath(root, L"Book " + std::to_wstring(e) + kinds[e % 3]));
    return root;
}

std::vector<std::wstring> FsoNames(IDispatch* folder, const wchar_t* collection) {
    std::vector<std::wstring> names;
    ComPtr<IDispatch> items;
    if (FAILED(dispatch::GetDispatch(folder, collection, &items))) return names;
    Variant count;
    dispatch::Get(items.Get(), L"Count", &count);
    dispatch::ForEach(items.Get(), [&](const Variant& item) {
        ComPtr<IDispatch> entry;
        std::wstring name;
        if (SUCCEEDED(item.ToDispatch(&entry)) && SUCCEEDED(dispatch::GetString(entry.Get(), L"Name", &name)))
            names.push_back(name);
        return S_OK;
    });
    return names;
}

// One folder through the scripting runtime, inserted like BareListing does.
std::vector<std::pair<HTREEITEM, std::wstring>> FsoListing(IDispatch* fso, HWND tree, HTREEITEM parent,
                                                           const std::wstring& path) {
    std::vector<std::pair<HTREEITEM, std::wstring>> folders;
    ComPtr<IDispatch> folder;
    if (FAILED(dispatch::GetDispatch(fso, L"GetFolder", &folder, {path}))) return folders;
    for (const auto& name : FsoNames(folder.Get(), L"SubFolders"))
        folders.emplace_back(tree ? Insert(tree, parent, name, 4) : nullptr, path + L"\\" + name);
    for (const auto& name : FsoNames(folder.Get(), L"Files"))
        if (Wanted(name) && tree) Insert(tree, parent, name, 2);
    return folders;
}

}  // namespace

int main() {
    TreesToCompare trees;
    TreeView& tree = trees.tree;
    const HWND bare = trees.bare;
    CLSID clsid;
    ComPtr<IDispatch> fso;
    ::CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid);
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&fso));

    const std::wstring root = MakeTree();
    std::wstring rootPath = root;

    // The bare tree is used as well as it can be: drawing suspended while it fills, and
    // the root expanded as the user sees it.
    auto bareTree = [&](const std::function<void(HTREEITEM top)>& fill) {
        ::SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
        TreeView_DeleteAllItems(bare);
        fill(Insert(bare, TVI_ROOT, root, 4, TVIS_EXPANDED));
        ::SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(bare, nullptr, TRUE);
    };
    auto build = [&] { BuildFolderTree(rootPath, tree); };
    auto bareBuild = [&] {
        bareTree([&](HTREEITEM top) {
            for (const auto& [item, path] : BareListing(bare, top, root)) BareListing(bare, item, path);
        });
    };
    auto fsoBuild = [&] {
        bareTree([&](HTREEITEM top) {
            for (const auto& [item, path] : FsoListing(fso.Get(), bare, top, root))
                FsoListing(fso.Get(), bare, item, path);
        });
    };
    auto fsoListOnly = [&] {
        for (const auto& [item, path] : FsoListing(fso.Get(), nullptr, nullptr, root))
            FsoListing(fso.Get(), nullptr, nullptr, path);
    };
    build();
    std::printf("tree: %d nodes from 200 folders of 50 entries and 1,000 files\n", tree.Nodes().Count());
    const auto t = Medians({{build}, {bareBuild}, {fsoBuild}, {fsoListOnly}}, 7);
    std::printf("BuildFolderTree                          %8.1f ms\n", t[0] * 1e3);
    std::printf("(a) FindFirstFileExW + bare inserts      %8.1f ms   ratio %.2f (target <= 1.3)\n", t[1] * 1e3,
                t[0] / t[1]);
    std::printf("(b) FileSystemObject + bare inserts      %8.1f ms   ratio %.2f (target < 1)\n", t[2] * 1e3,
                t[0] / t[2]);
    std::printf("    FileSystemObject listing alone       %8.1f ms   ratio %.2f\n", t[3] * 1e3, t[0] / t[3]);

    const auto keyOf = [](int i) { return L"C:\\Users\\someone\\Desktop\\报表\\folder " + std::to_wstring(i); };
    auto keyed = [&](int count) {
        return Candidate{[&tree, &keyOf, count] {
                             TreeView::BulkUpdate update(tree);
                             TreeNodes& nodes = tree.Nodes();
                             nodes.Add(L"root", L"root", kImageFolder);
                             for (int i = 0; i < count; ++i) {
                                 const std::wstring key = keyOf(i);
                                 nodes.Add(L"root", tvwChild, key, key.substr(30), kImageFolder);
                             }
                         },
                         [&tree] { tree.Nodes().Clear(); }};
    };
    auto bareInserts = [&](int count) {
        return Candidate{[&, count] {
                             ::SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
                             HTREEITEM top = Insert(bare, TVI_ROOT, L"root", 4);
                             for (int i = 0; i < count; ++i) {
                                 const std::wstring key = keyOf(i);
                                 Insert(bare, top, key.substr(30), 4);
                             }
                             ::SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
                         },
                         [bare] { TreeView_DeleteAllItems(bare); }};
    };
    const auto s = Medians({keyed(10000), keyed(20000), bareInserts(10000), bareInserts(20000)}, 11);
    std::printf("20,000 / 10,000 nodes: TreeView %.2f, bare SysTreeView32 %.2f (keyed Add %.1f ms vs bare %.1f ms "
                "for 20,000)\n",
                s[1] / s[0], s[3] / s[2], s[1] * 1e3, s[3] * 1e3);

    tree.Nodes().Clear();
    FileSystem().DeleteFolder(root);
    return 0;
}
