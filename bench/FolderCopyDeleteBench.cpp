// FileSystem's CopyFolder and DeleteFolder against the scripting runtime's, on the same
// folder of 2,000 files in 100 sub-folders, measured in one run.
//   copy:   each side copies the folder into an empty folder of its own ("...\" form, as a
//           paste does); the empty folder is made and the last copy removed untimed.
//   delete: each side deletes a fresh copy of the folder, made untimed by the same
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

// 100 sub-folders of 20 files each, of a few kilobytes as small workbooks are, with Chinese
// names as users have them.
std::wstring MakeSource(const std::wstring& scratch) {
    const std::wstring source = JoinPath(scratch, L"源 文件夹");
    ::CreateDirectoryW(source.c_str(), nullptr);
    const wchar_t* const kinds[] = {L".xls", L".xlsx", L".txt", L".csv"};
    for (int f = 0; f < 100; ++f) {
        const std::wstring folder = JoinPath(source, L"子文件夹 " + std::to_wstring(f));
        ::CreateDirectoryW(folder.c_str(), nullptr);
        for (int e = 0; e < 20; ++e)
            Touch(JoinPath(folder, L"报表 " + std::to_wstring(e) + kinds[e % 4]), 1024 * (1 + (f + e) % 16));
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
    const std::wstring oursInto = JoinPath(scratch, L"ours"), theirsInto = JoinPath(scratch, L"theirs");
    const std::wstring name = source.substr(source.rfind(L'\\') + 1);
    const std::wstring oursCopy = JoinPath(oursInto, name), theirsCopy = JoinPath(theirsInto, name);

    // The results and the last copies are shown, so that neither side is seen to do less.
    HRESULT oursCopied = S_OK, theirsCopied = S_OK, oursDeleted = S_OK, theirsDeleted = S_OK;
    auto emptyFolder = [&](const std::wstring& folder) {
        files.DeleteFolder(folder);
        ::CreateDirectoryW(folder.c_str(), nullptr);
    };
    const auto copy = Medians(
        {{[&] { oursCopied = files.CopyFolder(source, oursInto + L"\\"); }, [&] { emptyFolder(oursInto); }},
         {[&] { theirsCopied = dispatch::Call(fso.Get(), L"CopyFolder", {source, theirsInto + L"\\"}); },
          [&] { emptyFolder(theirsInto); }}},
        7);
    std::printf("copy: %d files copied by FileSystem (%08lx), %d by FileSystemObject (%08lx), of %d\n",
                CountFiles(oursCopy), oursCopied, CountFiles(theirsCopy), theirsCopied, CountFiles(source));

    const auto remove = Medians(
        {{[&] { oursDeleted = files.DeleteFolder(oursCopy); }, [&] { files.CopyFolder(source, oursCopy); }},
         {[&] { theirsDeleted = dispatch::Call(fso.Get(), L"DeleteFolder", {theirsCopy}); },
          [&] { files.CopyFolder(source, theirsCopy); }}},
        7);
    std::printf("delete: FileSystem (%08lx) left %s, FileSystemObject (%08lx) left %s\n", oursDeleted,
                files.FolderExists(oursCopy) ? "the folder" : "nothing", theirsDeleted,
                files.FolderExists(theirsCopy) ? "the folder" : "nothing");

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
