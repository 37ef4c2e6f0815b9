#pragma once
// The form runtime's text-input dialog: a prompt, an edit box holding the default text
// (selected), OK and Cancel. Modal to its owner; Enter is OK and Escape is Cancel. Laid
// out in twips at the screen's DPI.

#include <windows.h>

#include <string>

namespace cartulane {

// The text as typed when the user presses OK, "" when Cancel (or when the dialog cannot
// be shown).
std::wstring InputBox(HWND owner, const std::wstring& prompt, const std::wstring& title,
                      const std::wstring& defaultText);

}  // namespace cartulane
