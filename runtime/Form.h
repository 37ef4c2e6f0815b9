#pragma once
// What the form runtime gives the controls of a form or user control: a place in
// twips, shown at the screen's DPI, the standard child windows, the mouse events'
// arguments, and forms: top-level windows laid out in twips, shown without being modal.

#include "runtime/Handles.h"
#include "runtime/Twips.h"
#include "runtime/Window.h"

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace cartulane {

// "Invalid property value": a negative width or height.
HRESULT InvalidPropertyValueError();

// The Button and Shift arguments of the mouse events, from a mouse message's key flags:
// Button 1 left, 2 right, 4 middle; Shift 1 shift, 2 ctrl, 4 alt.
int MouseButtons(WPARAM keyFlags);
int ShiftKeys(WPARAM keyFlags);
// MK_SHIFT and MK_CONTROL as the keyboard is now (for events raised after the message).
WPARAM KeyFlagsNow();

// A control's place in twips. A windowed control moves its window along; a windowless
// one (an image) only keeps the place, and its form routes the mouse to it.
class FormControl {
public:
    FormControl() = default;
    FormControl(double left, double top, double width, double height) : box_{left, top, width, height} {}
    FormControl(const FormControl&) = delete;
    FormControl& operator=(const FormControl&) = delete;

    // The window follows the place from now on, at that DPI; nullptr when the window is gone.
    void AttachWindow(HWND window, Dpi dpi);
    HWND Window() const { return window_; }

    double Left() const { return box_.left; }
    double Top() const { return box_.top; }
    double Width() const { return box_.width; }
    double Height() const { return box_.height; }

    // Each fails, changing nothing, for a negative width or height.
    HRESULT Move(double left, double top, double width, double height);
    HRESULT SetLeft(double left) { return Move(left, box_.top, box_.width, box_.height); }
    HRESULT SetTop(double top) { return Move(box_.left, top, box_.width, box_.height); }
    HRESULT SetWidth(double width) { return Move(box_.left, box_.top, width, box_.height); }
    HRESULT SetHeight(double height) { return Move(box_.left, box_.top, box_.width, height); }

    // The place in pixels of the form's client area.
    RECT PixelRect() const;
    bool Contains(POINT clientPixel) const;

private:
    struct Box {
        double left = 0, top = 0, width = 0, height = 0;
    } box_;
    HWND window_ = nullptr;
    Dpi dpi_;
};

// The font of forms and their controls: the system's message font, at the screen's DPI
// or at dpiY.
UniqueFont CreateFormFont(int dpiY = 0);

// A child window of a standard class ("Button", "Static") with a caption and the form font.
HWND CreateChildWindow(HWND parent, const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id,
                       HFONT font);

// A form: a top-level window of class "Form" (the skin engine knows a form by that
// name) laid out in twips. It is loaded when first needed (its window made hidden and
// Form_Load run), shown without being modal, and unloaded by destroying its window.
// While loaded it keeps its library loaded, and its keys go through IsDialogMessage
// before the application's own loop sees them (which never calls it for our forms):
// Tab, Enter and Escape work in it, and the application's shortcuts do not see them.
class Form : private Window {
public:
    enum class Border { FixedSingle, None };
    // Where the form goes when it is loaded: centred on the screen, or, for a form that
    // has no place of its own, centred on its owner.
    enum class Placement { CentreScreen, CentreOwner };

    Form(std::wstring caption, Border border, double clientWidth, double clientHeight, Placement placement);
    ~Form() override;

    void Load(HWND owner = nullptr);
    // Modeless; a form shown again while loaded is only brought up.
    void Show(HWND owner = nullptr);
    void Hide();
    void Unload();
    bool Loaded() const { return Hwnd() != nullptr; }
    // Asking a form whether it is visible loads it first (hidden), as referring to it does.
    bool Visible();
    using Window::Hwnd;
    // The window's place on the screen, twips.
    void Move(double left, double top);

protected:
    // The form's own load step; the skin engine attaches from here.
    virtual void Form_Load() {}
    // Make the children (the window exists, hidden).
    virtual void CreateControls() = 0;
    // Each time the form is about to be shown.
    virtual void Form_Show() {}
    // Whether the user may close the form now (close box, Escape); true unless overridden.
    virtual bool Form_QueryUnload() { return true; }
    // Once its window is gone.
    virtual void Form_Unload() {}
    // A command of a child; IDCANCEL (Escape) unloads the form unless this takes it.
    virtual void OnCommand(UINT id, UINT code);
    // A child at its design place, in twips of the client area.
    HWND AddChild(const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id, double left, double top,
                  double width, double height);
    Dpi FormDpi() const { return dpi_; }
    // The icon in the caption and the task bar; the client area keeps its size.
    void SetIcon(HICON big, HICON small);

    // A form that handles a message of its own passes the others on to this.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnDestroyed() override;
    void Place(HWND owner);
    // The window's size for the client area at dpi_.
    void Size();

    std::wstring caption_;
    Border border_;
    double clientWidth_, clientHeight_;
    Placement placement_;
    Dpi dpi_;
    UniqueFont font_;
    // The children's places, laid out anew when the form moves to a screen of another DPI.
    std::vector<std::unique_ptr<FormControl>> places_;
};

namespace detail {
Form*& DefaultInstanceSlot(const std::type_info& type);
}

// A form's single default instance on this thread, made when it is first referred to.
// The C++ runtime never destroys it (a form is a window); ReleaseDefaultInstances does,
// once the library may be unloaded and so no form is loaded.
template <typename F>
F& DefaultInstance() {
    Form*& slot = detail::DefaultInstanceSlot(typeid(F));
    if (!slot) slot = new F();
    return static_cast<F&>(*slot);
}
void ReleaseDefaultInstances();
// Unloads every default instance of this thread that is loaded (the objects stay: one may
// be in the middle of its own handler).
void UnloadDefaultInstances();

}  // namespace cartulane
