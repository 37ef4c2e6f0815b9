// windowpoint: prints the screen point at the middle of a window or tree item of a
// running program, so that scripts click what a user sees by its caption rather than by
// fixed pixels.
//   windowpoint window <top-level title> <caption>
//   windowpoint item <top-level title> folder|workbook <text> [<text>...]
// "item" follows the texts from the top of the control's folder or workbook tree down;
// the tree is read in the other program's memory.
// Prints "x y" and exits 0, or exits 1 when nothing matches.

#include "tests/support/Probes.h"

#include <cstdio>
#include <string>

namespace {

using namespace cartulane;

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchCaption(HWND child, LPARAM state) {
    auto* search = reinterpret_cast<Search*>(state);
    if (::IsWindowVisible(child) && search->caption == test::WindowText(child)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchControl(HWND child, LPARAM state) {
    auto* found = reinterpret_cast<HWND*>(state);
    wchar_t className[32] = {};
    ::GetClassNameW(child, className, 32);
    if (std::wstring(className) == L"UserControl" && ::IsWindowVisible(child)) {
        *found = child;
        return FALSE;
    }
    return TRUE;
}

// A tree view of another process: its messages that pass pointers need them in that
// process's memory.
class RemoteTree {
public:
    explicit RemoteTree(HWND tree) : tree_(tree) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(tree, &process);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (process_) memory_ = ::VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteTree() {
        if (memory_) ::VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_) ::CloseHandle(process_);
    }
    RemoteTree(const RemoteTree&) = delete;
    RemoteTree& operator=(const RemoteTree&) = delete;

    std::wstring Text(HTREEITEM item) {
        if (!memory_) return {};
        auto* text = static_cast<char*>(memory_) + sizeof(TVITEMW);
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = reinterpret_cast<wchar_t*>(text);
        data.cchTextMax = static_cast<int>((kSize - sizeof(TVITEMW)) / sizeof(wchar_t)) - 1;
        if (!Write(memory_, &data, sizeof(data)) || !::SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory_)))
            return {};
        std::wstring read(static_cast<size_t>(data.cchTextMax), L'\0');
        SIZE_T done = 0;
        ::ReadProcessMemory(process_, text, read.data(), read.size() * sizeof(wchar_t), &done);
        read.resize(std::char_traits<wchar_t>::length(read.c_str()));
        return read;
    }
    HTREEITEM Find(HTREEITEM parent, const std::wstring& text) {
        for (HTREEITEM item = parent ? TreeView_GetChild(tree_, parent) : TreeView_GetRoot(tree_); item;
             item = TreeView_GetNextSibling(tree_, item))
            if (Text(item) == text) return item;
        return nullptr;
    }
    bool Rect(HTREEITEM item, RECT* rect) {
        if (!memory_ || !Write(memory_, &item, sizeof(item)) ||
            !::SendMessageW(tree_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(memory_)))
            return false;
        SIZE_T done = 0;
        return ::ReadProcessMemory(process_, memory_, rect, sizeof(*rect), &done) != FALSE;
    }

private:
    static constexpr SIZE_T kSize = 4096;
    bool Write(void* at, const void* data, SIZE_T size) {
        SIZE_T done = 0;
        return ::WriteProcessMemory(process_, at, data, size, &done) != FALSE;
    }
    HWND tree_;
    HANDLE process_ = nullptr;
    void* memory_ = nullptr;
};

int Print(POINT at) {
    std::printf("%ld %ld\n", at.x, at.y);
    return 0;
}

POINT Middle(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring what = argv[1];
    HWND top = ::FindWindowW(nullptr, argv[2]);
    if (!top) return 1;
    if (what == L"window") {
        Search search{argv[3]};
        ::EnumChildWindows(top, &MatchCaption, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return 1;
        RECT r{};
        ::GetWindowRect(search.found, &r);
        return Print(Middle(r));
    }
    if (what == L"item" && argc >= 5) {
        HWND control = nullptr;
        ::EnumChildWindows(top, &MatchControl, reinterpret_cast<LPARAM>(&control));
        const test::ControlTrees trees = test::FindTrees(control);
        HWND tree = std::wstring(argv[3]) == L"folder" ? trees.folder : trees.workbook;
        if (!tree) return 1;
        RemoteTree remote(tree);
        HTREEITEM item = nullptr;
        for (int i = 4; i < argc; ++i) {
            item = remote.Find(item, argv[i]);
            if (!item) return 1;
        }
        RECT r{};
        if (!remote.Rect(item, &r)) return 1;
        ::MapWindowPoints(tree, nullptr, reinterpret_cast<POINT*>(&r), 2);
        return Print(Middle(r));
    }
    return 2;
}
