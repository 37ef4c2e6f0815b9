#pragma once
// The one window procedure of every skinned window, and its handlers: each routed message
// has one handler, which picks what to do by the window's class family. A handler either
// passes the message to the window's previous procedure, passes it first and then paints
// over, or paints the window itself instead.

#include <windows.h>

namespace cartulane::skin {

LRESULT CALLBACK SkinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

using Handler = LRESULT (*)(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT HandlePaint(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleNcPaint(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleSize(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleSetFocus(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleKillFocus(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleEnable(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleWindowPosChanging(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleKeyDown(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleKeyUp(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleTimer(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleMouseMove(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleLButtonDown(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleLButtonUp(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleLButtonDblClk(WNDPROC, HWND, UINT, WPARAM, LPARAM);
LRESULT HandleMouseLeave(WNDPROC, HWND, UINT, WPARAM, LPARAM);

// After a left-button release: each skinned check box and option button it is given shows
// its box in the normal look again. Always TRUE.
BOOL CALLBACK EnumRepaintCheckProc(HWND window, LPARAM);

}  // namespace cartulane::skin
