// FileSystem's CopyFolder and DeleteFolder against the scripting runtime's, on the same
// folder of 2,000 files in 100 sub-folders, measured in one run.
//   copy:   each side copies the folder into a new empty folder ("...\" form, as a paste
//           does); the empty folder is made untimed.
//   delete: each side deletes a copy of the folder made untimed by the same
//           FileSystem::CopyFolder for both, so both delete the same tree in the same state.
// Timed is the call alone; the scripting runtime is reached late-bound, one call per run. Ours
// is called with a progress that does nothing, as the application calls it.
//   responsiveness: a copy and then a delete of the folder run on a worker thread while the
//           main thread serves its messages, posting itself one every 10 ms; printed is the
//           longest wait between a post and its receipt (goal: at most 100 ms).

#include "bench/BenchSupport.h"
#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

using namespace cartulane;
using namespace cartulane::bench;

namespace {

// 100 sub-folders of 20 files each, of 256 bytes to 2 KB, with Chinese names as users have
// them.
std::wstring MakeSource(const std::wstring& scratch) {
    const std::wstring source = JoinPath(scratch, L"源 文件夹");
    ::CreateDirectoryW(source.c_str(), nullptr);
    const wchar_t* const kinds[] = {L".xls", L".xlsx", L".txt", L".csv"};
    for (int f = 0; f < 100; ++f) {
        const std::wstring folder = JoinPath(source, L"子文件夹 " + std::to_wstring(f));
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int e = 0; e < 20; ++e)
            Touch(JoinPath(folder, L"报表 " + std::to_wstring(e) + kinds[e % 4]), 256 * (1 + (f + e) % 8));
    }
    return source;
}

// What the application's copy and delete are given: asked at every item, stopping none.
class QuietProgress final : public FileProgress {
public:
    void Counted(size_t) override {}
    bool Next(size_t, const std::wstring&) override { return true; }
    bool Stopping() override { return false; }
};

double Now() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// Runs work on a worker thread while this thread serves its messages and posts itself one
// every 10 ms: the longest wait, in seconds, between a post and its receipt.
double LongestWaitBeside(const std::function<void()>& work) {
    constexpr UINT kTick = WM_APP + 1;
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue
    std::thread worker(work);
    const HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread watcher([&] {
        worker.join();
        ::SetEvent(done);
    });
    const DWORD self = ::GetCurrentThreadId();
    double longest = 0, posted = 0, nextPost = Now();
    bool waiting = false;  // for the last post to arrive
    for (;;) {
        const double now = Now();
        if (!waiting && now >= nextPost) {
            posted = Now();
            ::PostThreadMessageW(self, kTick, 0, 0);
            waiting = true;
            nextPost = posted + 0.010;
        }
        const DWORD timeout = waiting ? 100 : DWORD(std::max(0.0, (nextPost - Now()) * 1e3));
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &done, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == kTick) {
                longest = std::max(longest, Now() - posted);
                waiting = false;
            }
            ::DispatchMessageW(&message);
        }
        if (woke == WAIT_OBJECT_0 && !waiting) break;
    }
    watcher.join();
    ::CloseHandle(done);
    return longest;
}

int CountFiles(const std::wstring& folder) {
    FolderListing listing;
    if (FAILED(FileSystem().GetFolder(folder, &listing))) return -1;
    int count = static_cast<int>(listing.files.size());
    for (const auto& sub : listing.subFolders) count += CountFiles(JoinPath(folder, sub));
    return count;
}

}  // namespace

int main() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid;
    ComPtr<IDispatch> fso;
    if (FAILED(::CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid)) ||
        FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&fso)))) {
        std::printf("Scripting.FileSystemObject is not available\n");
        return 1;
    }
    const FileSystem files;
    QuietProgress quiet;
    const std::wstring scratch = ScratchFolder(L"cartulane-copy-bench");
    const std::wstring source = MakeSource(scratch);
    const std::wstring name = source.substr(source.rfind(L'\\') + 1);
    constexpr int kRuns = 9;

    // Every copy goes into a new empty folder, and none is deleted until all are made: a
    // file system slows down making files while many were deleted a moment ago (ext4 looks
    // past recently freed inodes), which would make each side pay for the other's cleanup.
    int copyRun[2] = {0, 0};
    std::wstring into[2];
    HRESULT copied[2] = {S_OK, S_OK};
    auto copyInto = [&](int side) {
        return [&, side] {
            into[side] = JoinPath(scratch, (side == 0 ? L"ours " : L"theirs ") + std::to_wstring(copyRun[side]++));
            ::CreateDirectoryW(into[side].c_str(), nullptr);
        };
    };
    const auto copy = Medians({{[&] { copied[0] = files.CopyFolder(source, into[0] + L"\\", &quiet); }, copyInto(0)},
                               {[&] { copied[1] = dispatch::Call(fso.Get(), L"CopyFolder", {source, into[1] + L"\\"}); },
                                copyInto(1)}},
                              kRuns);
    // The last copies are counted, so that neither side is seen to do less.
    std::printf("copy: %d files copied by FileSystem (%08lx), %d by FileSystemObject (%08lx), of %d\n",
                CountFiles(JoinPath(into[0], name)), copied[0], CountFiles(JoinPath(into[1], name)), copied[1],
                CountFiles(source));
    for (int side = 0; side < 2; ++side)
        for (int run = 0; run < kRuns; ++run)
            files.DeleteFolder(JoinPath(scratch, (side == 0 ? L"ours " : L"theirs ") + std::to_wstring(run)));

    // Both sides delete a copy made just before by the same FileSystem::CopyFolder.
    const std::wstring doomed[2] = {JoinPath(scratch, L"ours"), JoinPath(scratch, L"theirs")};
    HRESULT deleted[2] = {S_OK, S_OK};
    const auto remove =
        Medians({{[&] { deleted[0] = files.DeleteFolder(doomed[0], &quiet); }, [&] { files.CopyFolder(source, doomed[0]); }},
                 {[&] { deleted[1] = dispatch::Call(fso.Get(), L"DeleteFolder", {doomed[1]}); },
                  [&] { files.CopyFolder(source, doomed[1]); }}},
                kRuns);
    std::printf("delete: FileSystem (%08lx) left %s, FileSystemObject (%08lx) left %s\n", deleted[0],
                files.FolderExists(doomed[0]) ? "the folder" : "nothing", deleted[1],
                files.FolderExists(doomed[1]) ? "the folder" : "nothing");

    // The application's way: the work on a worker, its own thread serving messages.
    const std::wstring besides = JoinPath(scratch, L"beside");
    HRESULT besideCopy = S_OK, besideDelete = S_OK;
    const double copyWait = LongestWaitBeside([&] { besideCopy = files.CopyFolder(source, besides, &quiet); });
    const double deleteWait = LongestWaitBeside([&] { besideDelete = files.DeleteFolder(besides, &quiet); });
    std::printf("beside a worker: copy (%08lx), delete (%08lx)\n", besideCopy, besideDelete);

    std::printf("FileSystem::CopyFolder                   %8.1f ms\n", copy[0] * 1e3);
    std::printf("FileSystemObject.CopyFolder              %8.1f ms   ratio %.2f (target <= 1.0)\n", copy[1] * 1e3,
                copy[0] / copy[1]);
    std::printf("FileSystem::DeleteFolder                 %8.1f ms\n", remove[0] * 1e3);
    std::printf("FileSystemObject.DeleteFolder            %8.1f ms   ratio %.2f (target <= 1.0)\n", remove[1] * 1e3,
                remove[0] / remove[1]);

    std::printf("longest wait for a message, copy on a worker   %6.1f ms   (goal <= 100)\n", copyWait * 1e3);
    std::printf("longest wait for a message, delete on a worker %6.1f ms   (goal <= 100)\n", deleteWait * 1e3);

    files.DeleteFolder(scratch);
    fso.Reset();
    ::CoUninitialize();
    return 0;
}
