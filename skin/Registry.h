#pragma once
// The engine's registry of skinned windows: attach and detach one window (a form with all
// its descendants), with the bookkeeping each skinned window carries as properties, and the
// class families the handlers tell windows apart by.

#include <windows.h>

#include <string>

namespace cartulane::skin {

enum class Family {
    Form,
    PushButton,
    CheckBox,
    OptionButton,
    ComboBox,
    DriveList,
    DropDownList,
    DataList,
    ProgressBar,
    Header,
    Grid,
    Other,
};

// The window's class name ("" when it has none to give), and its lower-cased family.
std::wstring GetWindowClass(HWND window);
Family FamilyOf(const std::wstring& lowerCaseClass);
Family WindowFamily(HWND window);
// The family a skinned window was attached with, found once then; for a window this thread
// did not attach (another thread's), its class's.
Family AttachedFamily(HWND window);

// Whether the module (taken when loaded, else loaded from the system folder for the
// question only) exports procName.
bool IsProcExported(const char* procName, const wchar_t* moduleName);

// 1 if attached now; 0 for no window or one that already has "PROCADDR".
int SubclassWindow(HWND window);
// 1 if detached; 0 for no window or one without "PROCADDR".
int UnsubclassWindow(HWND window);
// Whether the window's skin came off behind another procedure (ours only passes its
// messages on now), and that passing on, which lets go of the window when it goes.
bool IsPassingOn(HWND window);
LRESULT PassOn(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_ACTIVATE of a skinned window: the window taking the activation is attached when it is
// a form of this library's, or, while our own code shows it (OwnDialogs), the window's child
// or a form or dialog; then the message goes on to prevProc.
LRESULT AttachActivatedWindow(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK EnumAttachProc(HWND window, LPARAM);
BOOL CALLBACK EnumDetachProc(HWND window, LPARAM);

// Number of windows skinned now on this thread.
int SkinnedWindowCount();

}  // namespace cartulane::skin
