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

namespace cartulane::skin {

namespace {

// The previous procedure may have destroyed the window, or detached it, before the skin
// paints over: a click's command can close the form the button is on.
bool StillSkinned(HWND window) { return ::IsWindow(window) && GetNumber(window, kProcAddr) != 0; }

// A routed message on its way to a skinned window, and the procedure it goes on to.
struct Message {
    WNDPROC prevProc;
    HWND window;
    UINT id;
    WPARAM wParam;
    LPARAM lParam;

    LRESULT Pass() const { return ::CallWindowProcW(prevProc, window, id, wParam, lParam); }
    // Passed on; then, while the window is still skinned, paintOver.
    template <class PaintOver>
    LRESULT PassThen(PaintOver paintOver) const {
        const LRESULT result = Pass();
        if (StillSkinned(window)) paintOver();
        return result;
    }
};

// Asks for one WM_MOUSELEAVE, unless "MOUSEFLAG" says it is asked for already; whether it
// asked now.
bool TrackMouseOnce(HWND window) {
    if (GetNumber(window, kMouseFlag) != 0) return false;
    SetNumber(window, kMouseFlag, 1);
    TrackMouseLeave(window, Skin().HasUser32TrackMouseEvent);
    return true;
}

bool CursorOver(HWND window) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    return ::WindowFromPoint(cursor) == window;
}

// Paints instead of the window's own procedure: into the context a caller passed in wParam
// (printing, or a paint into its own buffer), or else the window's own, validated.
LRESULT PaintInstead(const Message& m, void (*paint)(HWND window, HDC dc)) {
    if (const auto given = reinterpret_cast<HDC>(m.wParam)) {
        paint(m.window, given);
    } else {
        const PaintGuard own(m.window);
        paint(m.window, own.get());
    }
    return 0;
}

// What a family of windows does with each routed message. A handler gets the message before
// the window's own procedure does and passes it on itself, or paints instead. By default a
// message only passes on, and a sunken window's frame gets the flat border.
class Kind {
public:
    virtual LRESULT Paint(const Message& m) const { return m.Pass(); }
    virtual LRESULT NcPaint(const Message& m) const { return m.PassThen([&] { DrawFlatBorder(m.window); }); }
    virtual LRESULT Size(const Message& m) const { return m.Pass(); }
    // WM_SETFOCUS and WM_KILLFOCUS.
    virtual LRESULT FocusChange(const Message& m) const { return m.Pass(); }
    virtual LRESULT Enable(const Message& m) const { return m.Pass(); }
    virtual LRESULT PosChanging(const Message& m) const { return m.Pass(); }
    virtual LRESULT KeyDown(const Message& m) const { return m.Pass(); }
    virtual LRESULT KeyUp(const Message& m) const { return m.Pass(); }
    virtual LRESULT Timer(const Message& m) const { return m.Pass(); }
    virtual LRESULT MouseMove(const Message& m) const { return m.Pass(); }
    virtual LRESULT MouseLeave(const Message& m) const { return m.Pass(); }
    virtual LRESULT ButtonDown(const Message& m) const { return m.Pass(); }
    virtual LRESULT ButtonUp(const Message& m) const { return m.Pass(); }
    virtual LRESULT DoubleClick(const Message& m) const { return m.Pass(); }
    virtual LRESULT SetStyle(const Message& m) const { return m.Pass(); }
    virtual LRESULT DialogCode(const Message& m) const { return m.Pass(); }
    // After a left-button release on a window whose parent (itself, when it has none) holds
    // this one.
    virtual void ReleasedNearby(HWND) const {}

protected:
    ~Kind() = default;
};

// Forms and every window of no family of its own.
class PlainKind final : public Kind {};

// A window of a "button" class. The skin paints the faces of push buttons (owner-drawn since
// attach) from the four state images, fading from one to the next; a button of another type
// keeps its own drawing, and the blends draw nothing on it.
class PushButtonKind final : public Kind {
public:
    LRESULT Paint(const Message& m) const override {
        if (!SkinPaints(m.window)) return m.Pass();
        // The skin paints the whole face; the button's own painting never runs.
        StopSkinTimer(m.window);
        SetNumber(m.window, kAlphaLevel, 255);
        return PaintInstead(m, &BlendButtonFace);
    }
    LRESULT Size(const Message& m) const override {
        return m.PassThen([&] {
            ResizeButtonImages(m.window);
            SetRoundRegion(m.window);
        });
    }
    LRESULT FocusChange(const Message& m) const override {
        return m.PassThen([&] {
            PaintButtonFaces(m.window);  // with or without the focus frame now
            SetNumber(m.window, kAlphaLevel, 0);
            StartSkinTimer(m.window);
        });
    }
    LRESULT Enable(const Message& m) const override {
        return m.PassThen([&] {
            SetLook(m.window, m.wParam ? Look::Normal : Look::Disabled);
            BlendButtonFace(m.window, nullptr);
        });
    }
    // The space bar presses the button as the left button does.
    LRESULT KeyDown(const Message& m) const override { return m.wParam == VK_SPACE ? ButtonDown(m) : m.Pass(); }
    LRESULT KeyUp(const Message& m) const override {
        return m.PassThen([&] {
            if (m.wParam == VK_SPACE) Release(m.window, 0);
        });
    }
    LRESULT Timer(const Message& m) const override {
        // Another timer of the window's own is the window's.
        if (m.wParam == SkinTimerId()) {
            // One fade step: the target image over the face at this level, 3 stronger next time.
            const LONG_PTR level = GetNumber(m.window, kAlphaLevel);
            BlendButtonFace(m.window, nullptr);
            if (level + 3 > 255) {
                StopSkinTimer(m.window);
                SetNumber(m.window, kAlphaLevel, 0);
            } else {
                SetNumber(m.window, kAlphaLevel, level + 3);
            }
        }
        return m.Pass();
    }
    LRESULT MouseMove(const Message& m) const override {
        return m.PassThen([&] {
            if (TrackMouseOnce(m.window)) {
                FadeTo(m.window, Look::Hot, 0);
            } else if (!CursorOver(m.window)) {
                // Dragged out with the button held: the present image at full strength.
                StopSkinTimer(m.window);
                SetNumber(m.window, kAlphaLevel, 255);
                BlendButtonFace(m.window, nullptr);
            }
        });
    }
    LRESULT MouseLeave(const Message& m) const override {
        return m.PassThen([&] {
            SetNumber(m.window, kMouseFlag, 0);
            SetLook(m.window, Look::Hot);
            SetNumber(m.window, kAlphaLevel, 140);
            BlendButtonFace(m.window, nullptr);
            FadeTo(m.window, Look::Normal, 0);
        });
    }
    LRESULT ButtonDown(const Message& m) const override { return m.PassThen([&] { ShowPressed(m.window); }); }
    LRESULT ButtonUp(const Message& m) const override { return m.PassThen([&] { Release(m.window, 60); }); }
    LRESULT DoubleClick(const Message& m) const override {
        // A button drawn by its owner reports a double-click instead of being pressed again; a
        // push button the skin paints is still a push button, and the second click clicks.
        Message press = m;
        if (SkinPaints(m.window)) press.id = WM_LBUTTONDOWN;
        return press.PassThen([&] { ShowPressed(m.window); });
    }
    LRESULT SetStyle(const Message& m) const override {
        // A dialog makes the focused button its default one: the skin keeps painting it,
        // and the default style is what the button gets back when the skin goes.
        if (!SkinPaints(m.window) || !IsPushStyle(static_cast<LONG_PTR>(m.wParam))) return m.Pass();
        SetNumber(m.window, kOldStyle,
                  (GetNumber(m.window, kOldStyle) & ~LONG_PTR{BS_TYPEMASK}) | (m.wParam & BS_TYPEMASK));
        Message ownerDrawn = m;
        ownerDrawn.wParam = (m.wParam & ~WPARAM{BS_TYPEMASK}) | BS_OWNERDRAW;
        return ownerDrawn.Pass();
    }
    LRESULT DialogCode(const Message& m) const override {
        // Still a push button to the dialog manager, so that Enter presses the focused
        // one and the default moves with the focus.
        const LRESULT result = m.Pass();
        const LONG_PTR oldStyle = GetNumber(m.window, kOldStyle);
        if (!IsPushStyle(oldStyle)) return result;
        return (result & ~LRESULT{DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON}) | DLGC_BUTTON |
               ((oldStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }

private:
    static bool SkinPaints(HWND window) { return IsPushStyle(GetNumber(window, kOldStyle)); }

    // Fades from the face shown now to the image of look, starting at alpha.
    static void FadeTo(HWND window, Look look, int alpha) {
        SetLook(window, look);
        SetNumber(window, kAlphaLevel, alpha);
        StartSkinTimer(window);
    }

    // The pressed image at once, for a press of the button or the space bar.
    static void ShowPressed(HWND window) {
        StopSkinTimer(window);
        SetLook(window, Look::Pressed);
        SetNumber(window, kAlphaLevel, 255);
        BlendButtonFace(window, nullptr);
        SetNumber(window, kAlphaLevel, 0);
    }

    // Let go: the mouse is tracked afresh, and the face fades back to normal from alpha.
    static void Release(HWND window, int alpha) {
        SetNumber(window, kMouseFlag, 0);
        FadeTo(window, Look::Normal, alpha);
    }
};

// A check box or an option button: its square or circle over the control's own paint,
// following the mouse and the space bar.
class BoxKind : public Kind {
public:
    using Painter = bool (*)(HWND window, Look look, bool force);
    constexpr explicit BoxKind(Painter paint) : paint_(paint) {}

    LRESULT Paint(const Message& m) const override {
        return m.PassThen([&] { paint_(m.window, Look::Normal, true); });
    }
    // The space bar presses the box as the left button does.
    LRESULT KeyDown(const Message& m) const override { return m.wParam == VK_SPACE ? ButtonDown(m) : m.Pass(); }
    LRESULT KeyUp(const Message& m) const override {
        return m.PassThen([&] {
            if (m.wParam == VK_SPACE) paint_(m.window, Look::Normal, false);
        });
    }
    LRESULT MouseMove(const Message& m) const override {
        return m.PassThen([&] {
            TrackMouseOnce(m.window);
            paint_(m.window, (m.wParam & MK_LBUTTON) ? Look::Pressed : Look::Hot, true);
        });
    }
    LRESULT MouseLeave(const Message& m) const override {
        return m.PassThen([&] {
            SetNumber(m.window, kMouseFlag, 0);
            paint_(m.window, Look::Normal, false);
        });
    }
    LRESULT ButtonDown(const Message& m) const override {
        return m.PassThen([&] { paint_(m.window, Look::Pressed, false); });
    }
    LRESULT ButtonUp(const Message& m) const override {
        return m.PassThen([&] { paint_(m.window, Look::Normal, false); });
    }
    void ReleasedNearby(HWND window) const override { paint_(window, Look::Normal, true); }

private:
    Painter paint_;
};

// An option button also shows its circle afresh when the focus comes or goes.
class OptionKind final : public BoxKind {
public:
    constexpr OptionKind() : BoxKind(&PaintOptionButton) {}
    LRESULT FocusChange(const Message& m) const override {
        return m.PassThen([&] { PaintOptionButton(m.window, Look::Normal, true); });
    }
};

// A combo box or a drive list: the flat frame over its own paint, and the drop button
// following the mouse. A combo box with an edit field is painted whole by the skin, and its
// button is hot or pressed only under the mouse.
class DropButtonKind final : public Kind {
public:
    constexpr explicit DropButtonKind(bool mayEdit) : mayEdit_(mayEdit) {}

    LRESULT Paint(const Message& m) const override {
        if (mayEdit_ && IsEditCombo(m.window)) return PaintInstead(m, &PaintEditCombo);
        // The drop button's look as it was before the list's own paint.
        Look look = GetLook(m.window);
        return m.PassThen([&] {
            DrawFlatFrame(m.window);
            PaintComboButton(m.window, nullptr, look, true);
        });
    }
    LRESULT PosChanging(const Message& m) const override {
        return m.PassThen([&] { PaintDropButton(m.window, Look::Normal); });
    }
    LRESULT MouseMove(const Message& m) const override {
        return m.PassThen([&] {
            TrackMouseOnce(m.window);
            Look look = (m.wParam & MK_LBUTTON) ? Look::Pressed : Look::Hot;
            // An edit field's box is hot or pressed over its drop button only.
            if (BesideButton(m)) look = Look::Normal;
            PaintDropButton(m.window, look);
        });
    }
    LRESULT MouseLeave(const Message& m) const override {
        return m.PassThen([&] {
            SetNumber(m.window, kMouseFlag, 0);
            PaintDropButton(m.window, Look::Normal);
        });
    }
    LRESULT ButtonDown(const Message& m) const override {
        // A press on an edit field's border beside the button leaves the button alone.
        return m.PassThen([&] {
            if (!BesideButton(m)) PaintDropButton(m.window, Look::Pressed);
        });
    }
    LRESULT ButtonUp(const Message& m) const override {
        return m.PassThen([&] { PaintDropButton(m.window, CursorOver(m.window) ? Look::Hot : Look::Normal); });
    }

private:
    // A combo box whose bit 0 of the style is clear (CBS_DROPDOWN) has an edit field.
    static bool IsEditCombo(HWND window) { return (::GetWindowLongPtrW(window, GWL_STYLE) & 1) == 0; }
    static void PaintDropButton(HWND window, Look look) { PaintComboButton(window, nullptr, look, false); }
    // Whether the point of a mouse message is off an edit field's drop button.
    bool BesideButton(const Message& m) const {
        return mayEdit_ && IsEditCombo(m.window) && !InComboButtonZone(m.window, m.lParam);
    }

    bool mayEdit_;  // a combo box; a drive list never has an edit field
};

// A combo box's drop-down list or a data list: the flat frame over its own paint. A data list
// keeps its own non-client drawing.
class ListFrameKind final : public Kind {
public:
    constexpr explicit ListFrameKind(bool flatBorder) : flatBorder_(flatBorder) {}

    LRESULT Paint(const Message& m) const override { return m.PassThen([&] { DrawFlatFrame(m.window); }); }
    LRESULT NcPaint(const Message& m) const override { return flatBorder_ ? Kind::NcPaint(m) : m.Pass(); }

private:
    bool flatBorder_;
};

// A grid: a frame over its own paint when it has a border.
class GridKind final : public Kind {
public:
    LRESULT Paint(const Message& m) const override { return m.PassThen([&] { DrawGridFrame(m.window); }); }
};

// A progress bar, painted whole by the skin, frame and client.
class ProgressKind final : public Kind {
public:
    LRESULT Paint(const Message& m) const override { return PaintInstead(m, &PaintProgressBar); }
    LRESULT NcPaint(const Message& m) const override {
        PaintProgressFrame(m.window);
        return 0;
    }
};

// A header, painted whole by the skin; the item under the mouse is hot ("HMINDEX"), the one
// the left button went down on pressed ("HDINDEX").
class HeaderKind final : public Kind {
public:
    LRESULT Paint(const Message& m) const override { return PaintInstead(m, &PaintHeader); }
    LRESULT MouseMove(const Message& m) const override {
        return m.PassThen([&] { Track(m.window, m.wParam, m.lParam); });
    }
    LRESULT MouseLeave(const Message& m) const override {
        return m.PassThen([&] {
            const LONG_PTR hot = GetNumber(m.window, kHmIndex);
            SetNumber(m.window, kMouseFlag, 0);
            SetNumber(m.window, kHdIndex, -1);
            SetNumber(m.window, kHmIndex, -1);
            if (hot >= 0) PaintItem(m.window, hot, Look::Normal);
        });
    }
    LRESULT ButtonDown(const Message& m) const override { return m.PassThen([&] { Press(m.window, m.lParam); }); }
    LRESULT ButtonUp(const Message& m) const override {
        return m.PassThen([&] {
            const LONG_PTR pressed = GetNumber(m.window, kHdIndex);
            SetNumber(m.window, kHdIndex, -1);
            if (pressed >= 0) PaintItem(m.window, pressed, CursorOver(m.window) ? Look::Hot : Look::Normal);
        });
    }
    LRESULT DoubleClick(const Message& m) const override { return m.PassThen([&] { Press(m.window, m.lParam); }); }

private:
    // A header item in a look through the window's own context.
    static void PaintItem(HWND header, LONG_PTR index, Look look) {
        PaintHeaderItem(header, nullptr, static_cast<int>(index), look);
    }

    // The header items under the mouse follow it; the pressed one keeps its look.
    static void Track(HWND header, WPARAM keys, LPARAM lParam) {
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

    static void Press(HWND header, LPARAM lParam) {
        if (::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) <= 0) return;
        const LONG_PTR hit = HeaderHitTest(header, lParam);
        SetNumber(header, kHdIndex, hit);
        if (hit >= 0) PaintItem(header, hit, Look::Pressed);
    }
};

// What each family does.
const Kind& KindOf(Family family) {
    static constexpr PlainKind plain{};
    static constexpr PushButtonKind pushButton{};
    static constexpr BoxKind checkBox(&PaintCheckBox);
    static constexpr OptionKind optionButton{};
    static constexpr DropButtonKind comboBox(true), driveList(false);
    static constexpr ListFrameKind dropDownList(true), dataList(false);
    static constexpr ProgressKind progressBar{};
    static constexpr HeaderKind header{};
    static constexpr GridKind grid{};
    switch (family) {
        case Family::PushButton: return pushButton;
        case Family::CheckBox: return checkBox;
        case Family::OptionButton: return optionButton;
        case Family::ComboBox: return comboBox;
        case Family::DriveList: return driveList;
        case Family::DropDownList: return dropDownList;
        case Family::DataList: return dataList;
        case Family::ProgressBar: return progressBar;
        case Family::Header: return header;
        case Family::Grid: return grid;
        case Family::Form:
        case Family::Other: break;
    }
    return plain;
}

using Handler = LRESULT (Kind::*)(const Message&) const;

Handler RoutedHandler(UINT message) {
    switch (message) {
        case WM_SIZE: return &Kind::Size;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: return &Kind::FocusChange;
        case WM_ENABLE: return &Kind::Enable;
        case WM_PAINT: return &Kind::Paint;
        case WM_WINDOWPOSCHANGING: return &Kind::PosChanging;
        case WM_NCPAINT: return &Kind::NcPaint;
        case WM_KEYDOWN: return &Kind::KeyDown;
        case WM_KEYUP: return &Kind::KeyUp;
        case WM_TIMER: return &Kind::Timer;
        case WM_MOUSEMOVE: return &Kind::MouseMove;
        case WM_LBUTTONDOWN: return &Kind::ButtonDown;
        case WM_LBUTTONUP: return &Kind::ButtonUp;
        case WM_LBUTTONDBLCLK: return &Kind::DoubleClick;
        case WM_MOUSELEAVE: return &Kind::MouseLeave;
        case BM_SETSTYLE: return &Kind::SetStyle;
        case WM_GETDLGCODE: return &Kind::DialogCode;
        default: return nullptr;
    }
}

BOOL CALLBACK ShowReleasedNearby(HWND window, LPARAM) {
    if (!GetNumber(window, kProcAddr)) return TRUE;
    try {
        KindOf(AttachedFamily(window)).ReleasedNearby(window);
    } catch (...) {
    }
    return TRUE;
}

LRESULT Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Message m{reinterpret_cast<WNDPROC>(GetNumber(window, kProcAddr)), window, message, wParam, lParam};
    if (!m.prevProc) return ::DefWindowProcW(window, message, wParam, lParam);
    if (IsPassingOn(window)) return PassOn(m.prevProc, window, message, wParam, lParam);
    switch (message) {
        case WM_DESTROY:
            // Detached first: the window (a form: with everything in it) goes with its own
            // procedure back in place and no skin property left.
            UnsubclassWindow(window);
            return m.Pass();
        case WM_ACTIVATE:
            return AttachActivatedWindow(m.prevProc, window, message, wParam, lParam);
        case WM_ENTERIDLE: {
            // A dialog over this window is dressed only when it is one of ours.
            const LRESULT result = m.Pass();
            if (lParam && (wParam != MSGF_DIALOGBOX || OwnDialogs::Showing()))
                SubclassWindow(reinterpret_cast<HWND>(lParam));
            return result;
        }
        case WM_CTLCOLORLISTBOX: {
            const LRESULT result = m.Pass();
            if (lParam) SubclassWindow(reinterpret_cast<HWND>(lParam));
            return result;
        }
        default:
            break;
    }
    const Handler handler = RoutedHandler(message);
    if (!handler) return m.Pass();
    const LRESULT result = (KindOf(AttachedFamily(window)).*handler)(m);
    // After a release, every check box and option button beside the window shows its box in
    // the normal look again; unless the click closed its form.
    if (message == WM_LBUTTONUP && ::IsWindow(window)) {
        HWND parent = ::GetParent(window);
        ::EnumChildWindows(parent ? parent : window, &ShowReleasedNearby, 0);
    }
    return result;
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
