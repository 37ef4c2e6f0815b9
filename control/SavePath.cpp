#include "control/SavePath.h"

#include "runtime/Handles.h"

#include <objbase.h>
#include <shlobj.h>

namespace cartulane::control {

std::wstring BrowseForFolder(HWND owner, const std::wstring& title) {
    const std::wstring prompt = title.empty() ? L"选择目录" : title;
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    UniqueCoTaskMemory<ITEMIDLIST_ABSOLUTE> chosen(::SHBrowseForFolderW(&info));
    if (!chosen) return {};
    // Room for the longest path Windows has, not only MAX_PATH.
    std::wstring path(32768, L'\0');
    if (!::SHGetPathFromIDListEx(chosen.get(), path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) return {};
    path.resize(std::char_traits<wchar_t>::length(path.c_str()));
    return path;
}

}  // namespace cartulane::control
