#pragma once
// The skin's per-window state, kept as window properties under the names other skinning
// code knows them by; each holds a pointer-sized number (a handle, a procedure, a state).
// A property never set reads as 0.

#include <windows.h>

#include <string>

namespace cartulane::skin {

inline constexpr const wchar_t* kProcAddr = L"PROCADDR";
inline constexpr const wchar_t* kOldStyle = L"OLDSTYLE";
inline constexpr const wchar_t* kMouseFlag = L"MOUSEFLAG";
inline constexpr const wchar_t* kTimerId = L"TIMERID";
inline constexpr const wchar_t* kOldState = L"OLDSTATE";
inline constexpr const wchar_t* kAlphaLevel = L"ALPHALEVEL";
inline constexpr const wchar_t* kHdIndex = L"HDINDEX";
inline constexpr const wchar_t* kHmIndex = L"HMINDEX";

inline LONG_PTR GetNumber(HWND window, const wchar_t* name) {
    return reinterpret_cast<LONG_PTR>(::GetPropW(window, name));
}
inline void SetNumber(HWND window, const wchar_t* name, LONG_PTR value) {
    ::SetPropW(window, name, reinterpret_cast<HANDLE>(value));
}
inline void RemoveNumber(HWND window, const wchar_t* name) { ::RemovePropW(window, name); }

// What a control shows, kept in "OLDSTATE" as its number. Pressed is a combo box's look while
// its list is dropped down too.
enum class Look { Normal, Hot, Pressed, Disabled };
inline Look GetLook(HWND window) { return static_cast<Look>(GetNumber(window, kOldState)); }
inline void SetLook(HWND window, Look look) { SetNumber(window, kOldState, static_cast<LONG_PTR>(look)); }

// "HDC0" to "HDC3" and "BMP0" to "BMP3": a push button's state images and their bitmaps.
inline std::wstring StateDCName(int state) { return L"HDC" + std::to_wstring(state); }
inline std::wstring StateBitmapName(int state) { return L"BMP" + std::to_wstring(state); }
inline HDC StateImage(HWND window, int state) {
    return reinterpret_cast<HDC>(::GetPropW(window, StateDCName(state).c_str()));
}

// A "button" style the skin paints itself: push and default push buttons (and the old user
// button). Every other type, the automatic radio button included, keeps its own drawing.
inline bool IsPushStyle(LONG_PTR style) {
    return (style & 6) == 0 && (style & BS_TYPEMASK) != BS_AUTORADIOBUTTON;
}

}  // namespace cartulane::skin
