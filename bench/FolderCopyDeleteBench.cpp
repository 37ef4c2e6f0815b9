// FileSystem's CopyFolder and DeleteFolder against the scripting runtime's, on the same
// folder of 2,000 files in 100 sub-folders, measured in one run.
//   copy:   each side copies the folder into a new empty folder ("...\" form, as a paste
//           does); the empty folder is made untimed.
//   delete: each side deletes a copy of the folder made untimed by the same
//           FileSystem::CopyFolder for both, so both delete the same tree in the same state.
// Timed is the call alone; the scripting runtime is reached late-bound, one call per run.

#include "bench/BenchSupport.h"
#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"

#include <windows.h>

#include <cstdio>
#include <string>

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
    const auto copy = Medians({{[&] { copied[0] = files.CopyFolder(source, into[0] + L"\\"); }, copyInto(0)},
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
        Medians({{[&] { deleted[0] = files.DeleteFolder(doomed[0]); }, [&] { files.CopyFolder(source, doomed[0]); }},
                 {[&] { deleted[1] = dispatch::Call(fso.Get(), L"DeleteFolder", {doomed[1]}); },
                  [&] { files.CopyFolder(source, doomed[1]); }}},
                kRuns);
    std::printf("delete: FileSystem (%08lx) left %s, FileSystemObject (%08lx) left %s\n", deleted[0],
                files.FolderExists(doomed[0]) ? "the folder" : "nothing", deleted[1],
                files.FolderExists(doomed[1]) ? "the folder" : "nothing");

    std::printf("FileSystem::CopyFolder                   %8.1f ms\n", copy[0] * 1e3);
    std::printf("FileSystemObject.CopyFolder              %8.1f ms   ratio %.2f (target <= 1.0)\n", copy[1] * 1e3,
                copy[0] / copy[1]);
    std::printf("FileSystem::DeleteFolder                 %8.1f ms\n", remove[0] * 1e3);
    std::printf("FileSystemObject.DeleteFolder            %8.1f ms   ratio %.2f (target <= 1.0)\n", remove[1] * 1e3,
                remove[0] / remove[1]);

    files.DeleteFolder(scratch);
    fso.Reset();
    ::CoUninitialize();
    return 0;
}
