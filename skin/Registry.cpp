#include "skin/Registry.h"

#include "runtime/ComObject.h"
#include "runtime/ComServer.h"
#include "runtime/Window.h"
#include "skin/MSkinner.h"
#include "skin/Properties.h"
#include "skin/PushButton.h"
#include "skin/SkinState.h"
#include "skin/WindowProc.h"

#include <algorithm>
#include <cwctype>
#include <set>
#include <unordered_map>

namespace cartulane::skin {

namespace {

// RDW_INVALIDATE | RDW_INTERNALPAINT.
constexpr UINT kRepaintFlags = RDW_INVALIDATE | RDW_INTERNALPAINT;

void RepaintWhole(HWND window) {
    ::SendMessageW(window, WM_NCPAINT, 1, 0);
    ::RedrawWindow(window, nullptr, nullptr, kRepaintFlags);
}

bool IsFormClass(const std::wstring& lowerCaseClass) {
    return lowerCaseClass == L"#32770" || lowerCaseClass == L"thunderformdc" ||
           lowerCaseClass == L"thunderrt6formdc" || lowerCaseClass == L"form";
}

std::wstring LowerCaseClass(HWND window) {
    std::wstring name = GetWindowClass(window);
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return name;
}

// The families that keep the mouse flag and the last painted state.
bool KeepsMouseState(Family family) {
    return family == Family::ComboBox || family == Family::DriveList || family == Family::CheckBox ||
           family == Family::OptionButton;
}

// What attach gave the window by its family, taken off again (a form's children with it).
void ForgetFamilyState(HWND window, Family family) {
    switch (family) {
        case Family::Form:
            ::EnumChildWindows(window, &EnumDetachProc, 0);
            break;
        case Family::PushButton:
            FreeButtonImages(window);
            StopSkinTimer(window);
            // The button type attach changed goes back; whatever changed since (shown, hidden,
            // enabled, disabled) stays as it is now.
            ::SetWindowLongPtrW(window, GWL_STYLE,
                                (::GetWindowLongPtrW(window, GWL_STYLE) & ~LONG_PTR{BS_TYPEMASK}) |
                                    (GetNumber(window, kOldStyle) & BS_TYPEMASK));
            for (const wchar_t* name : {kOldStyle, kMouseFlag, kTimerId, kOldState, kAlphaLevel})
                RemoveNumber(window, name);
            ::SetWindowRgn(window, nullptr, TRUE);
            break;
        case Family::Header:
            for (const wchar_t* name : {kMouseFlag, kHdIndex, kHmIndex}) RemoveNumber(window, name);
            break;
        default:
            if (KeepsMouseState(family)) {
                RemoveNumber(window, kMouseFlag);
                RemoveNumber(window, kOldState);
            }
            break;
    }
}

// One window fewer in the skin's count: the images go with the last.
void CountOneLess() {
    SkinState& skin = Skin();
    if (--skin.SkinnedWindowCount <= 0) {
        skin.SkinnedWindowCount = 0;
        FreeSkinImages();
    }
}

}  // namespace

std::wstring GetWindowClass(HWND window) {
    wchar_t buffer[256] = {};
    const int length = ::GetClassNameW(window, buffer, 255);
    return length > 0 ? std::wstring(buffer, static_cast<size_t>(length)) : std::wstring();
}

Family FamilyOf(const std::wstring& c) {
    if (IsFormClass(c)) return Family::Form;
    if (c == L"thundercommandbutton" || c == L"thunderrt6commandbutton" || c == L"button") return Family::PushButton;
    if (c == L"thundercheckbox" || c == L"thunderrt6checkbox") return Family::CheckBox;
    if (c == L"thunderoptionbutton" || c == L"thunderrt6optionbutton") return Family::OptionButton;
    if (c == L"thundercombobox" || c == L"thunderrt6combobox" || c == L"combo" || c == L"combobox")
        return Family::ComboBox;
    if (c == L"thunderdrivelistbox" || c == L"thunderrt6drivelistbox") return Family::DriveList;
    if (c == L"combolbox") return Family::DropDownList;
    if (c == L"datalistwndclass" || c == L"dblistwndclass") return Family::DataList;
    if (c == L"progressbar20wndclass" || c == L"progressbarwndclass") return Family::ProgressBar;
    if (c == L"msvb_lib_header" || c == L"sysheader32") return Family::Header;
    if (c.starts_with(L"apexgrid")) return Family::Grid;
    return Family::Other;
}

Family WindowFamily(HWND window) { return FamilyOf(LowerCaseClass(window)); }

Family AttachedFamily(HWND window) {
    const std::unordered_map<HWND, Family>& families = Skin().Families;
    const auto found = families.find(window);
    return found != families.end() ? found->second : WindowFamily(window);
}

bool IsProcExported(const char* procName, const wchar_t* moduleName) {
    HMODULE module = ::GetModuleHandleW(moduleName);
    HMODULE loaded = nullptr;
    if (!module) module = loaded = ::LoadLibraryExW(moduleName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return false;
    const bool exported = ::GetProcAddress(module, procName) != nullptr;
    if (loaded) ::FreeLibrary(loaded);
    return exported;
}

int AttachSkin(HWND window) {
    SkinState& skin = Skin();
    if (!skin.SkinInitialized) {
        skin.SkinInitialized = true;
        skin.HasUser32TrackMouseEvent = IsProcExported("TrackMouseEvent", L"user32.dll");
        skin.Images = BuildSkinBitmaps();
    }
    const int attached = SubclassWindow(window);
    // Nothing was attached and nothing else holds the images: they go again.
    if (skin.SkinnedWindowCount == 0) FreeSkinImages();
    return attached;
}

int SubclassWindow(HWND window) {
    if (!window || !::IsWindow(window) || GetNumber(window, kProcAddr)) return 0;
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId()) return 0;  // another program's window cannot be subclassed
    const Family family = WindowFamily(window);
    // Kept first: nothing is given to the window yet if there is no room for it.
    Skin().Families.insert_or_assign(window, family);
    switch (family) {
        case Family::Form:
            ::EnumChildWindows(window, &EnumAttachProc, 0);
            break;
        case Family::PushButton: {
            CreateButtonImages(window);
            const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
            if (IsPushStyle(style)) ::SendMessageW(window, BM_SETSTYLE, BS_OWNERDRAW, -1);
            SetNumber(window, kOldStyle, style);
            SetNumber(window, kMouseFlag, 0);
            SetNumber(window, kTimerId, 0);
            SetLook(window, ::IsWindowEnabled(window) ? Look::Normal : Look::Disabled);
            SetNumber(window, kAlphaLevel, 0);
            SetRoundRegion(window);
            break;
        }
        case Family::Header:
            SetNumber(window, kMouseFlag, 0);
            SetNumber(window, kHdIndex, -1);
            SetNumber(window, kHmIndex, -1);
            break;
        default:
            if (KeepsMouseState(family)) {
                SetNumber(window, kMouseFlag, 0);
                SetLook(window, Look::Normal);
            }
            break;
    }
    ++Skin().SkinnedWindowCount;
    // The skin's procedure lives in this library: it stays loaded while a window uses it.
    com::LockModule();
    const LONG_PTR previous =
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinWindowProc));
    if (previous == 0) {
        // Not subclassed after all: what was given to it goes again, and it is not counted.
        ForgetFamilyState(window, family);
        Skin().Families.erase(window);
        CountOneLess();
        com::UnlockModule();
        return 0;
    }
    SetNumber(window, kProcAddr, previous);
    RepaintWhole(window);
    return 1;
}

int UnsubclassWindow(HWND window) {
    if (!window) return 0;
    const LONG_PTR previous = GetNumber(window, kProcAddr);
    if (!previous || IsPassingOn(window)) return 0;
    ForgetFamilyState(window, AttachedFamily(window));
    Skin().Families.erase(window);
    // Another procedure put in front of ours since would be cut out of the chain if the
    // previous one went back: then ours stays, passing every message on, until the window goes.
    const bool ours = ::GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&SkinWindowProc);
    if (ours) {
        RemoveNumber(window, kProcAddr);
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, previous);
    } else {
        Skin().PassingOn.insert(window);
    }
    RepaintWhole(window);
    CountOneLess();
    if (ours) com::UnlockModule();
    return 1;
}

bool IsPassingOn(HWND window) {
    const std::set<HWND>& windows = Skin().PassingOn;
    return !windows.empty() && windows.count(window) != 0;
}

LRESULT PassOn(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = ::CallWindowProcW(prevProc, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        Skin().PassingOn.erase(window);
        RemoveNumber(window, kProcAddr);
        com::UnlockModule();
    }
    return result;
}

LRESULT AttachActivatedWindow(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only a window taking the activation from this one (a message box, a dialog, a form it
    // opened): when this one is activated, lParam is whatever was active before, which the
    // skin has no business with; nor with windows of other threads.
    // Of those, only windows of ours: a form of this library's, or a dialog our own code shows
    // (OwnDialogs); never the application's question, a macro's message box or another
    // add-in's form.
    const HWND other = reinterpret_cast<HWND>(lParam);
    if (other && LOWORD(wParam) == WA_INACTIVE &&
        ::GetWindowThreadProcessId(other, nullptr) == ::GetCurrentThreadId()) {
        const bool ourForm =
            ::GetClassLongPtrW(other, GCLP_HMODULE) == reinterpret_cast<ULONG_PTR>(com::ThisModule());
        const bool ourDialog =
            OwnDialogs::Showing() && (::GetParent(other) == window || IsFormClass(LowerCaseClass(other)));
        if (ourForm || ourDialog) SubclassWindow(other);
    }
    return ::CallWindowProcW(prevProc, window, message, wParam, lParam);
}

BOOL CALLBACK EnumAttachProc(HWND window, LPARAM) {
    try {
        SubclassWindow(window);
    } catch (...) {
        // Out of memory for a class name: this window stays as it is, the others go on.
    }
    return TRUE;
}

BOOL CALLBACK EnumDetachProc(HWND window, LPARAM) {
    try {
        UnsubclassWindow(window);
    } catch (...) {
    }
    return TRUE;
}

int SkinnedWindowCount() { return Skin().SkinnedWindowCount; }

}  // namespace cartulane::skin
