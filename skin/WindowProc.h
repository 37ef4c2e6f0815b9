#pragma once
// The one window procedure of every skinned window. Each routed message goes to what the
// window's family does with it (kept with the window when it was attached): pass it to the
// window's previous procedure, pass it first and then paint over, or paint the window itself
// instead.

#include <windows.h>

namespace cartulane::skin {

LRESULT CALLBACK SkinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace cartulane::skin
