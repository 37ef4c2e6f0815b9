#include "skin/WindowProc.h"

#include "runtime/Handles.h"
#include "runtime/Window.h"
#include "skin/ControlPaint.h"
#include "skin/Painters.h"
#include "skin/Primitives.h"
#include "skin/Properties.h"
#include "skin/PushButton.h"
#include "skin/Registry.h"
#include "skin/SkinState.h"

#include <optional>

namespace cartulane::skin {

namespace {

LRESULT Pass(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(prevProc, window, message, wParam, lParam);
}

// The previous procedure may have destroyed the window, or detached it, before the skin
// paints over: a click's command can close the form the button is on.
bool StillSkinned(HWND window) { return ::IsWindow(window) && GetNumber(window, kProcAddr) != 0; }

bool IsBox(Family family) { return family == Family::CheckBox || family == Family::OptionButton; }

bool PaintBox(HWND window, Family family, Look look, bool force) {
    return family == Family::CheckBox ? PaintCheckBox(window, look, force) : PaintOptionButton(window, look, force);
}

// Asks for one WM_MOUSELEAVE, unless "MOUSEFLAG" says it is asked for already; whether it
// asked now.
bool TrackMouseOnce(HWND window) {
    if (GetNumber(window, kMouseFlag) != 0) return false;
    SetNumber(window, kMouseFlag, 1);
    TrackMouseLeave(window, Skin().HasUser32TrackMouseEvent);
    return true;
}

// The pressed image at once, for a press of the button or the space bar.
void ShowPressed(HWND window) {
    StopSkinTimer(window);
    SetLook(window, Look::Pressed);
    SetNumber(window, kAlphaLevel, 255);
    BlendButtonFace(window, nullptr);
    SetNumber(window, kAlphaLevel, 0);
}

// The context a replaced paint draws into: the one a caller passed in wParam (printing, or a
// paint into its own buffer), or else the window's own, validated.
class ReplacedPaint {
public:
    ReplacedPaint(HWND window, WPARAM wParam) : given_(reinterpret_cast<HDC>(wParam)) {
        if (!given_) own_.emplace(window);
    }
    HDC get() const { return given_ ? given_ : own_->get(); }

private:
    HDC given_;
    std::optional<PaintGuard> own_;
};

bool HasDropButton(Family family) { return family == Family::ComboBox || family == Family::DriveList; }

// A combo box whose bit 0 of the style is clear (CBS_DROPDOWN) has an edit field.
bool IsEditCombo(HWND window) { return (::GetWindowLongPtrW(window, GWL_STYLE) & 1) == 0; }

void PaintDropButton(HWND window, Look look) { PaintComboButton(window, nullptr, look, false); }

bool CursorOver(HWND window) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    return ::WindowFromPoint(cursor) == window;
}

// A header item in a look through the window's own context.
void PaintItem(HWND header, LONG_PTR index, Look look) {
    PaintHeaderItem(header, nullptr, static_cast<int>(index), look);
}

// The header items under the mouse follow it; the pressed one keeps its look.
void TrackHeader(HWND header, WPARAM keys, LPARAM lParam) {
    TrackMouseOnce(header);
    const LONG_PTR hit = HeaderHitTest(header, lParam);
    const LONG_PTR oldHot = GetNumber(header, kHmIndex), pressed = GetNumber(header, kHdIndex);
    if (hit == oldHot) return;
    if (oldHot >= 0 && oldHot != pressed) PaintItem(header, oldHot, Look::Normal);
    if (!(keys & MK_LBUTTON)) {
        SetNumber(header, kHmIndex, hit);
        PaintItem(header, hit, Look::Hot);
    } else if (hit == pressed) {
        PaintItem(header, hit, Look::Pressed);
    }
}

void PressHeader(HWND header, LPARAM lParam) {
    if (::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) <= 0) return;
    const LONG_PTR hit = HeaderHitTest(header, lParam);
    SetNumber(header, kHdIndex, hit);
    if (hit >= 0) PaintItem(header, hit, Look::Pressed);
}

// Fades from the face shown now to the image of look, starting at alpha.
void FadeTo(HWND window, Look look, int alpha) {
    SetLook(window, look);
    SetNumber(window, kAlphaLevel, alpha);
    StartSkinTimer(window);
}

}  // namespace

LRESULT HandlePaint(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    if (family == Family::PushButton && IsPushStyle(GetNumber(window, kOldStyle))) {
        // The skin paints the whole face; the button's own painting never runs.
        StopSkinTimer(window);
        SetNumber(window, kAlphaLevel, 255);
        const ReplacedPaint paint(window, wParam);
        BlendButtonFace(window, paint.get());
        return 0;
    }
    switch (family) {
        case Family::ComboBox:
            if (IsEditCombo(window)) {
                const ReplacedPaint paint(window, wParam);
                PaintEditCombo(window, paint.get());
                return 0;
            }
            break;
        case Family::ProgressBar: {
            const ReplacedPaint paint(window, wParam);
            PaintProgressBar(window, paint.get());
            return 0;
        }
        case Family::Header: {
            const ReplacedPaint paint(window, wParam);
            PaintHeader(window, paint.get());
            return 0;
        }
        default:
            break;
    }
    // The drop button's look as it was before the list's own paint.
    Look look = HasDropButton(family) ? GetLook(window) : Look::Normal;
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (IsBox(family)) {
        PaintBox(window, family, Look::Normal, true);
    } else if (HasDropButton(family)) {
        DrawFlatFrame(window);
        PaintComboButton(window, nullptr, look, true);
    } else if (family == Family::DropDownList || family == Family::DataList) {
        DrawFlatFrame(window);
    } else if (family == Family::Grid) {
        DrawGridFrame(window);
    }
    return result;
}

LRESULT HandleNcPaint(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    if (family == Family::ProgressBar) {
        PaintProgressFrame(window);
        return 0;
    }
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (family != Family::DataList && StillSkinned(window)) DrawFlatBorder(window);
    return result;
}

LRESULT HandleSize(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (AttachedFamily(window) == Family::PushButton && StillSkinned(window)) {
        ResizeButtonImages(window);
        SetRoundRegion(window);
    }
    return result;
}

namespace {

LRESULT HandleFocusChange(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        PaintButtonFaces(window);  // with or without the focus frame now
        SetNumber(window, kAlphaLevel, 0);
        StartSkinTimer(window);
    } else if (family == Family::OptionButton) {
        PaintOptionButton(window, Look::Normal, true);
    }
    return result;
}

}  // namespace

LRESULT HandleSetFocus(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleFocusChange(prevProc, window, message, wParam, lParam);
}

LRESULT HandleKillFocus(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleFocusChange(prevProc, window, message, wParam, lParam);
}

LRESULT HandleEnable(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (AttachedFamily(window) == Family::PushButton && StillSkinned(window)) {
        SetLook(window, wParam ? Look::Normal : Look::Disabled);
        BlendButtonFace(window, nullptr);
    }
    return result;
}

LRESULT HandleWindowPosChanging(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (HasDropButton(family) && StillSkinned(window)) PaintDropButton(window, Look::Normal);
    return result;
}

// The space bar presses a button or box as the left button does; other families only pass.
LRESULT HandleKeyDown(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    if (wParam != VK_SPACE || !(family == Family::PushButton || IsBox(family)))
        return Pass(prevProc, window, message, wParam, lParam);
    return HandleLButtonDown(prevProc, window, message, wParam, lParam);
}

LRESULT HandleKeyUp(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (wParam != VK_SPACE || !StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        SetNumber(window, kMouseFlag, 0);
        FadeTo(window, Look::Normal, 0);
    } else if (IsBox(family)) {
        PaintBox(window, family, Look::Normal, false);
    }
    return result;
}

LRESULT HandleTimer(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Another timer of the window's own is the window's.
    if (wParam != SkinTimerId()) return Pass(prevProc, window, message, wParam, lParam);
    if (AttachedFamily(window) == Family::PushButton) {
        // One fade step: the target image over the face at this level, 3 stronger next time.
        const LONG_PTR level = GetNumber(window, kAlphaLevel);
        BlendButtonFace(window, nullptr);
        if (level + 3 > 255) {
            StopSkinTimer(window);
            SetNumber(window, kAlphaLevel, 0);
        } else {
            SetNumber(window, kAlphaLevel, level + 3);
        }
    }
    return Pass(prevProc, window, message, wParam, lParam);
}

LRESULT HandleMouseMove(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        if (TrackMouseOnce(window)) {
            FadeTo(window, Look::Hot, 0);
        } else {
            if (!CursorOver(window)) {
                // Dragged out with the button held: the present image at full strength.
                StopSkinTimer(window);
                SetNumber(window, kAlphaLevel, 255);
                BlendButtonFace(window, nullptr);
            }
        }
    } else if (IsBox(family)) {
        TrackMouseOnce(window);
        PaintBox(window, family, (wParam & MK_LBUTTON) ? Look::Pressed : Look::Hot, true);
    } else if (HasDropButton(family)) {
        TrackMouseOnce(window);
        Look look = (wParam & MK_LBUTTON) ? Look::Pressed : Look::Hot;
        // An edit field's box is hot or pressed over its drop button only.
        if (family == Family::ComboBox && IsEditCombo(window) && !InComboButtonZone(window, lParam))
            look = Look::Normal;
        PaintDropButton(window, look);
    } else if (family == Family::Header) {
        TrackHeader(window, wParam, lParam);
    }
    return result;
}

LRESULT HandleMouseLeave(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        SetNumber(window, kMouseFlag, 0);
        SetLook(window, Look::Hot);
        SetNumber(window, kAlphaLevel, 140);
        BlendButtonFace(window, nullptr);
        FadeTo(window, Look::Normal, 0);
    } else if (IsBox(family)) {
        SetNumber(window, kMouseFlag, 0);
        PaintBox(window, family, Look::Normal, false);
    } else if (HasDropButton(family)) {
        SetNumber(window, kMouseFlag, 0);
        PaintDropButton(window, Look::Normal);
    } else if (family == Family::Header) {
        const LONG_PTR hot = GetNumber(window, kHmIndex);
        SetNumber(window, kMouseFlag, 0);
        SetNumber(window, kHdIndex, -1);
        SetNumber(window, kHmIndex, -1);
        if (hot >= 0) PaintItem(window, hot, Look::Normal);
    }
    return result;
}

LRESULT HandleLButtonDown(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        ShowPressed(window);
    } else if (IsBox(family)) {
        PaintBox(window, family, Look::Pressed, false);
    } else if (HasDropButton(family)) {
        // A press on an edit field's border beside the button leaves the button alone.
        if (!(family == Family::ComboBox && IsEditCombo(window) && !InComboButtonZone(window, lParam)))
            PaintDropButton(window, Look::Pressed);
    } else if (family == Family::Header) {
        PressHeader(window, lParam);
    }
    return result;
}

LRESULT HandleLButtonUp(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        SetNumber(window, kMouseFlag, 0);
        FadeTo(window, Look::Normal, 60);
    } else if (IsBox(family)) {
        PaintBox(window, family, Look::Normal, false);
    } else if (HasDropButton(family)) {
        PaintDropButton(window, CursorOver(window) ? Look::Hot : Look::Normal);
    } else if (family == Family::Header) {
        const LONG_PTR pressed = GetNumber(window, kHdIndex);
        SetNumber(window, kHdIndex, -1);
        if (pressed >= 0) PaintItem(window, pressed, CursorOver(window) ? Look::Hot : Look::Normal);
    }
    return result;
}

LRESULT HandleLButtonDblClk(WNDPROC prevProc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Family family = AttachedFamily(window);
    // A button drawn by its owner reports a double-click instead of being pressed again; a
    // push button the skin paints is still a push button, and the second click clicks.
    if (family == Family::PushButton && IsPushStyle(GetNumber(window, kOldStyle))) message = WM_LBUTTONDOWN;
    const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
    if (!StillSkinned(window)) return result;
    if (family == Family::PushButton) {
        ShowPressed(window);
    } else if (family == Family::Header) {
        PressHeader(window, lParam);
    }
    return result;
}

BOOL CALLBACK EnumRepaintCheckProc(HWND window, LPARAM) {
    if (!GetNumber(window, kProcAddr)) return TRUE;
    try {
        const Family family = AttachedFamily(window);
        if (IsBox(family)) PaintBox(window, family, Look::Normal, true);
    } catch (...) {
    }
    return TRUE;
}

namespace {

Handler RoutedHandler(UINT message) {
    switch (message) {
        case WM_SIZE: return &HandleSize;
        case WM_SETFOCUS: return &HandleSetFocus;
        case WM_KILLFOCUS: return &HandleKillFocus;
        case WM_ENABLE: return &HandleEnable;
        case WM_PAINT: return &HandlePaint;
        case WM_WINDOWPOSCHANGING: return &HandleWindowPosChanging;
        case WM_NCPAINT: return &HandleNcPaint;
        case WM_KEYDOWN: return &HandleKeyDown;
        case WM_KEYUP: return &HandleKeyUp;
        case WM_TIMER: return &HandleTimer;
        case WM_MOUSEMOVE: return &HandleMouseMove;
        case WM_LBUTTONDOWN: return &HandleLButtonDown;
        case WM_LBUTTONDBLCLK: return &HandleLButtonDblClk;
        case WM_MOUSELEAVE: return &HandleMouseLeave;
        default: return nullptr;
    }
}

LRESULT Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto prevProc = reinterpret_cast<WNDPROC>(GetNumber(window, kProcAddr));
    if (!prevProc) return ::DefWindowProcW(window, message, wParam, lParam);
    if (IsPassingOn(window)) return PassOn(prevProc, window, message, wParam, lParam);
    switch (message) {
        case WM_DESTROY:
            // Detached first: the window (a form: with everything in it) goes with its own
            // procedure back in place and no skin property left.
            UnsubclassWindow(window);
            return Pass(prevProc, window, message, wParam, lParam);
        case WM_ACTIVATE:
            return AttachActivatedWindow(prevProc, window, message, wParam, lParam);
        case WM_ENTERIDLE: {
            // A dialog over this window is dressed only when it is one of ours.
            const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
            if (lParam && (wParam != MSGF_DIALOGBOX || OwnDialogs::Showing()))
                SubclassWindow(reinterpret_cast<HWND>(lParam));
            return result;
        }
        case WM_CTLCOLORLISTBOX: {
            const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
            if (lParam) SubclassWindow(reinterpret_cast<HWND>(lParam));
            return result;
        }
        case BM_SETSTYLE:
            // A dialog makes the focused button its default one: the skin keeps painting it,
            // and the default style is what the button gets back when the skin goes.
            if (AttachedFamily(window) == Family::PushButton && IsPushStyle(GetNumber(window, kOldStyle)) &&
                IsPushStyle(static_cast<LONG_PTR>(wParam))) {
                SetNumber(window, kOldStyle,
                          (GetNumber(window, kOldStyle) & ~LONG_PTR{BS_TYPEMASK}) | (wParam & BS_TYPEMASK));
                return Pass(prevProc, window, message, (wParam & ~WPARAM{BS_TYPEMASK}) | BS_OWNERDRAW, lParam);
            }
            return Pass(prevProc, window, message, wParam, lParam);
        case WM_GETDLGCODE: {
            // Still a push button to the dialog manager, so that Enter presses the focused
            // one and the default moves with the focus.
            const LRESULT result = Pass(prevProc, window, message, wParam, lParam);
            const LONG_PTR oldStyle = GetNumber(window, kOldStyle);
            if (AttachedFamily(window) != Family::PushButton || !IsPushStyle(oldStyle)) return result;
            return (result & ~LRESULT{DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON}) | DLGC_BUTTON |
                   ((oldStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        }
        case WM_LBUTTONUP: {
            const LRESULT result = HandleLButtonUp(prevProc, window, message, wParam, lParam);
            if (!::IsWindow(window)) return result;  // the click closed its form
            HWND parent = ::GetParent(window);
            ::EnumChildWindows(parent ? parent : window, &EnumRepaintCheckProc, 0);
            return result;
        }
        default:
            if (const Handler handler = RoutedHandler(message))
                return handler(prevProc, window, message, wParam, lParam);
            return Pass(prevProc, window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK SkinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (!window) return 0;
    try {
        return Route(window, message, wParam, lParam);
    } catch (...) {
        // Only a failed allocation gets here: the window is served without the skin.
        const auto prevProc = reinterpret_cast<WNDPROC>(GetNumber(window, kProcAddr));
        return prevProc ? ::CallWindowProcW(prevProc, window, message, wParam, lParam)
                        : ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace cartulane::skin
