// A process of its own that changes the disk as another program would, for the tests of a
// tree that follows the disk. Each argument pair or triple is one step, run in order:
//   mkdir PATH | file PATH | files FOLDER COUNT | ren FROM TO | del PATH | rmtree PATH
// "files" makes COUNT workbook files book00001.xls, book00002.xls ... in FOLDER. "rmtree"
// deletes as a careful deleter does: a folder another program still holds open inside
// (a watch) is not gone at once, and the deletion is tried again for two seconds. The exit
// code is the number of steps that failed.

#include "runtime/FileSystem.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    using cartulane::ExtendedPath;
    const cartulane::FileSystem files;
    std::vector<HANDLE> locked;  // closed when the process ends
    int failed = 0;
    for (int i = 1; i < argc;) {
        const std::wstring step = argv[i];
        auto arg = [&](int n) { return i + n < argc ? std::wstring(argv[i + n]) : std::wstring(); };
        bool ok = false;
        int used = 2;
        if (step == L"mkdir") {
            ok = ::CreateDirectoryW(ExtendedPath(arg(1)).c_str(), nullptr);
        } else if (step == L"file") {
            HANDLE file = ::CreateFileW(ExtendedPath(arg(1)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            ok = file != INVALID_HANDLE_VALUE;
            if (ok) ::CloseHandle(file);
        } else if (step == L"files" || step == L"unfiles") {
            used = 4;
            const int count = _wtoi(arg(2).c_str());
            ok = true;
            for (int n = 1; n <= count; ++n) {
                wchar_t name[48];
                std::swprintf(name, 48, L"\\book%05d.%ls", n, arg(3).c_str());
                const std::wstring path = ExtendedPath(arg(1) + name);
                if (step == L"unfiles") {
                    ok = ::DeleteFileW(path.c_str()) && ok;
                    continue;
                }
                HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file == INVALID_HANDLE_VALUE) ok = false;
                else ::CloseHandle(file);
            }
        } else if (step == L"ren") {
            used = 3;
            ok = ::MoveFileExW(ExtendedPath(arg(1)).c_str(), ExtendedPath(arg(2)).c_str(), 0);
        } else if (step == L"del") {
            ok = ::DeleteFileW(ExtendedPath(arg(1)).c_str());
        } else if (step == L"lock") {
            HANDLE folder = ::CreateFileW(ExtendedPath(arg(1)).c_str(), FILE_LIST_DIRECTORY, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            ok = folder != INVALID_HANDLE_VALUE;
            if (ok) locked.push_back(folder);
        } else if (step == L"sleep") {
            ::Sleep(static_cast<DWORD>(_wtoi(arg(1).c_str())));
            ok = true;
        } else if (step == L"rmtree") {
            for (int tries = 0; !ok && tries < 40; ++tries) {
                ok = SUCCEEDED(files.DeleteFolder(arg(1)));
                if (!ok) ::Sleep(50);
            }
        }
        if (!ok) {
            std::fwprintf(stderr, L"diskchanger: %ls %ls failed (%lu)\n", step.c_str(), arg(1).c_str(), ::GetLastError());
            ++failed;
        }
        i += used;
    }
    return failed;
}
