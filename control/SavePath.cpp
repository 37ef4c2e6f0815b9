#include "control/SavePath.h"

#include <objbase.h>
#include <shlobj.h>

namespace cartulane::control {

thread_local std::wstring PickedFolder;

std::wstring BrowseForFolder(HWND owner, const std::wstring& title) {
    const std::wstring prompt = title.empty() ? L"选择目录" : title;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (!chosen) return {};
    // Room for the longest path Windows has, not only MAX_PATH.
    std::wstring path(32768, L'\0');
    const BOOL found = ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    ::CoTaskMemFree(chosen);
    if (!found) return {};
    path.resize(std::char_traits<wchar_t>::length(path.c_str()));
    return path;
}

}  // namespace cartulane::control
