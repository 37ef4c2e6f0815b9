#pragma once
// What the benchmarks share: timing by medians with the candidates taking turns, a
// scratch folder, and the bare listing and inserts that our code is measured against.

#include "control/NodeImages.h"
#include "control/TreeView.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cartulane::bench {

inline double Seconds(const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    work();
    ::QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

struct Candidate {
    std::function<void()> work;
    std::function<void()> prepare = [] {};  // not timed
};

// Median of runs, the candidates taking turns so that drift hits them alike.
inline std::vector<double> Medians(const std::vector<Candidate>& candidates, int runs) {
    std::vector<std::vector<double>> times(candidates.size());
    for (int run = 0; run < runs; ++run) {
        for (size_t i = 0; i < candidates.size(); ++i) {
            candidates[i].prepare();
            times[i].push_back(Seconds(candidates[i].work));
        }
    }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

// A new folder in the temporary folder, named after the benchmark and this process.
inline std::wstring ScratchFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring folder = JoinPath(temp, name + L"-" + std::to_wstring(::GetCurrentProcessId()));
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline void Touch(const std::wstring& path, size_t bytes = 0) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file || bytes == 0) return;
    const std::string content(bytes, 'x');
    DWORD written = 0;
    ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

// The filter the folder tree uses: "xls" anywhere in the extension.
inline bool Wanted(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? name : name.substr(dot + 1);
    ::CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    return extension.find(L"xls") != std::wstring::npos;
}

inline HTREEITEM Insert(HWND tree, HTREEITEM parent, const std::wstring& text, int image, UINT state = 0) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
    insert.item.state = insert.item.stateMask = state;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = insert.item.iSelectedImage = image;
    return TreeView_InsertItem(tree, &insert);
}

// One folder into the bare tree: sub-folders, then matching files; the folders' items returned.
inline std::vector<std::pair<HTREEITEM, std::wstring>> BareListing(HWND tree, HTREEITEM parent,
                                                                  const std::wstring& path) {
    std::vector<std::pair<HTREEITEM, std::wstring>> folders;
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return folders;
    do {
        if (data.cFileName[0] == L'.' && (!data.cFileName[1] || (data.cFileName[1] == L'.' && !data.cFileName[2])))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            folders.emplace_back(Insert(tree, parent, data.cFileName, 4), path + L"\\" + data.cFileName);
        } else if (Wanted(data.cFileName)) {
            files.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(find.get(), &data));
    for (const auto& file : files) Insert(tree, parent, file, 2);
    return folders;
}

inline HWND MakeParent() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.lpszClassName = L"CartulaneBench";
    ::RegisterClassW(&wc);
    return ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 600, nullptr, nullptr,
                             nullptr, nullptr);
}

inline HWND MakeBareTree(HWND parent, HIMAGELIST images) {
    HWND tree = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                  WS_CHILD | WS_VISIBLE | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0, 300,
                                  600, parent, nullptr, nullptr, nullptr);
    TreeView_SetImageList(tree, images, TVSIL_NORMAL);
    return tree;
}

// Our tree and a bare SysTreeView32 side by side in one parent window, on the same images,
// with COM and the common controls started for them.
struct TreesToCompare {
    TreesToCompare() {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
        parent = MakeParent();
        images = control::CreateNodeImages(16);
        tree.Create(parent, 1, images.get());
        bare = MakeBareTree(parent, images.get());
    }
    ~TreesToCompare() {
        tree.Nodes().Clear();
        ::DestroyWindow(parent);
        ::CoUninitialize();
    }
    TreesToCompare(const TreesToCompare&) = delete;
    TreesToCompare& operator=(const TreesToCompare&) = delete;

    HWND parent = nullptr;
    UniqueImageList images;
    control::TreeView tree;
    HWND bare = nullptr;
};

}  // namespace cartulane::bench
