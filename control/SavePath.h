#pragma once
// SavePath: the shell's folder browser.

#include <windows.h>

#include <string>

namespace cartulane::control {

// The full path of a file-system folder the user chooses, or "" (cancelled, or a choice
// that is no file-system folder). An empty title asks with "选择目录".
std::wstring BrowseForFolder(HWND owner, const std::wstring& title);

}  // namespace cartulane::control
