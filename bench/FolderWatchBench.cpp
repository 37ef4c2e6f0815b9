// What following the disk costs, on a pane whose root holds 200 folders (each with a
// workbook and a folder) and one more folder for a burst. Idle: the CPU time of a minute
// with the 201 listed folders watched and asked every half second, against the same
// minute with no watches. A burst: bringing the tree in line after 2,000 files were made
// in the one folder, against a full refresh of the same tree; and the same on a small tree
// where the burst is most of what the tree shows.

#include "bench/BenchSupport.h"
#include "control/FolderTree.h"
#include "control/FolderWatch.h"

#include <cstdio>

namespace cartulane {
namespace {

using bench::Candidate;
using bench::Medians;
using bench::ScratchFolder;
using bench::Touch;
using control::FolderWatch;

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return double((ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Runs the thread's message loop for the given time with a timer of the control's period;
// each tick asks the watch when there is one. The CPU time the process used meanwhile, and
// the time spent in the ticks.
struct Idle {
    double cpu = 0;
    double ticks = 0;
    int count = 0;
};

Idle RunIdle(HWND window, control::TreeView& tree, FolderWatch* watch, double seconds) {
    Idle idle;
    const UINT_PTR timer = ::SetTimer(window, 1, 500, nullptr);
    const double cpuBefore = ProcessCpuSeconds();
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    MSG message;
    while (::GetTickCount64() < end) {
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) continue;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_TIMER && message.hwnd == window) {
                ++idle.count;
                if (watch) idle.ticks += bench::Seconds([&] { control::ApplyFolderChanges(tree, *watch); });
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    idle.cpu = ProcessCpuSeconds() - cpuBefore;
    ::KillTimer(window, timer);
    return idle;
}

// A root with folders, each with files workbooks and a folder, and an empty folder "burst".
std::wstring MakePane(const wchar_t* name, int folders, int files) {
    const std::wstring root = ScratchFolder(name);
    for (int i = 0; i < folders; ++i) {
        const std::wstring folder = root + L"\\folder " + std::to_wstring(i);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int j = 0; j < files; ++j) Touch(folder + L"\\book " + std::to_wstring(j) + L".xls");
        ::CreateDirectoryW((folder + L"\\inner").c_str(), nullptr);
    }
    ::CreateDirectoryW((root + L"\\burst").c_str(), nullptr);
    return root;
}

void IdleCost(bench::TreesToCompare& trees, const std::wstring& root) {
    control::RootPath = root;
    FolderWatch watch;
    control::BuildFolderTree(trees.tree, &watch);
    std::printf("idle pane: %zu folders watched, %d nodes\n", watch.Count(), trees.tree.Nodes().Count());

    constexpr double kSeconds = 30;
    // Taking turns: without watches, with, without, with.
    Idle without, with;
    for (int round = 0; round < 2; ++round) {
        const Idle a = RunIdle(trees.parent, trees.tree, nullptr, kSeconds / 2);
        const Idle b = RunIdle(trees.parent, trees.tree, &watch, kSeconds / 2);
        without.cpu += a.cpu;
        with.cpu += b.cpu;
        with.ticks += b.ticks;
        with.count += b.count;
    }
    const double perMinute = 60 / kSeconds;
    std::printf("  CPU time per minute: %.0f ms watched, %.0f ms without watches (%d ticks of %.2f ms)\n",
                with.cpu * perMinute * 1000, without.cpu * perMinute * 1000, with.count,
                with.count ? with.ticks / with.count * 1000 : 0.0);
    std::printf("  the watch's cost: %.3f %% of one core by process time, %.3f %% by the time in the ticks (target: under 1 %%)\n",
                (with.cpu - without.cpu) / kSeconds * 100, with.ticks / kSeconds * 100);
    control::BuildFolderTree(trees.tree);
    watch.Clear();
}

void BurstCost(bench::TreesToCompare& trees, const std::wstring& root, const char* target) {
    const std::wstring burst = root + L"\\burst";
    control::RootPath = root;
    FolderWatch watch;
    control::BuildFolderTree(trees.tree, &watch);

    auto names = [&](int n) { return burst + L"\\copy " + std::to_wstring(n) + L".xlsx"; };
    auto settle = [&] {  // the watches told, and the tree in line
        ::Sleep(200);
        while (control::ApplyFolderChanges(trees.tree, watch) > 0) ::Sleep(50);
    };
    const std::vector<double> medians = Medians(
        {
            {[&] { control::ApplyFolderChanges(trees.tree, watch); },
             [&] {
                 for (int n = 0; n < 2000; ++n) ::DeleteFileW(names(n).c_str());
                 settle();
                 for (int n = 0; n < 2000; ++n) Touch(names(n));
                 ::Sleep(300);  // every creation told
             }},
            {[&] { control::BuildFolderTree(trees.tree, &watch); }, settle},
        },
        5);
    control::Node* shown = trees.tree.Nodes().Find(burst);
    std::printf("burst of 2,000 files in a listed folder: %d nodes in the tree, %d of them in the folder\n",
                trees.tree.Nodes().Count(), shown ? shown->Children() : -1);
    std::printf("  update %.1f ms, full refresh %.1f ms: ratio %.2f%s\n", medians[0] * 1000, medians[1] * 1000,
                medians[0] / medians[1], target);
    for (int n = 0; n < 2000; ++n) ::DeleteFileW(names(n).c_str());
    watch.Clear();
    control::BuildFolderTree(trees.tree);
}

}  // namespace
}  // namespace cartulane

int main() {
    using namespace cartulane;
    bench::TreesToCompare trees;
    const std::wstring pane = MakePane(L"cartulane-watch-pane", 200, 1);
    std::printf("== the pane: 200 folders with a workbook and a folder each\n");
    BurstCost(trees, pane, " (target: at most 0.5)");
    IdleCost(trees, pane);
    FileSystem().DeleteFolder(pane);
    const std::wstring small = MakePane(L"cartulane-watch-small", 20, 50);
    std::printf("== a small tree: 20 folders with 50 workbooks and a folder each\n");
    BurstCost(trees, small, " (the listing of the burst's folder is most of a refresh here)");
    FileSystem().DeleteFolder(small);
    return 0;
}
