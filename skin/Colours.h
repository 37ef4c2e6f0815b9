#pragma once
// The skin's colours (COLORREF, 0x00BBGGRR).

#include <windows.h>

namespace cartulane::skin {

inline constexpr COLORREF kWhite = 0xFFFFFF;          // inner rings and backgrounds
inline constexpr COLORREF kFrameEnabled = 0xD5A554;   // frame of an enabled control
inline constexpr COLORREF kFramePressed = 0xC48639;   // frame of a pressed check square
inline constexpr COLORREF kFrameDisabled = 0xE9CFA4;  // frame of a disabled control
inline constexpr COLORREF kDisabledText = 0x968A79;   // caption of a disabled button
inline constexpr COLORREF kProgressFill = 0xF6D64C;   // a progress bar's fill

}  // namespace cartulane::skin
