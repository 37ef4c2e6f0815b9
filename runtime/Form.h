#pragma once
// What the form runtime gives the controls of a form or user control: a place in
// twips, shown at the screen's DPI, and the standard child windows.

#include "runtime/Handles.h"
#include "runtime/Twips.h"

#include <memory>
#include <string>

namespace cartulane {

// "Invalid property value": a negative width or height.
HRESULT InvalidPropertyValueError();

// A control's place in twips. A windowed control moves its window along; a windowless
// one (an image) only keeps the place, and its form routes the mouse to it.
class FormControl {
public:
    FormControl() = default;
    FormControl(double left, double top, double width, double height) : box_{left, top, width, height} {}
    FormControl(const FormControl&) = delete;
    FormControl& operator=(const FormControl&) = delete;

    // The window follows the place from now on; nullptr when the window is gone.
    void AttachWindow(HWND window, Dpi dpi);

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

// The font of forms and their controls: the system's message font.
UniqueFont CreateFormFont();

// A child window of a standard class ("Button", "Static") with a caption and the form font.
HWND CreateChildWindow(HWND parent, const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id,
                       HFONT font);

// A form: a top-level window of class "Form" (the skin engine knows a form by that
// name) laid out in twips. It is loaded when first needed (its window made hidden and
// Form_Load run), shown without being modal, and unloaded by destroying its window.
// While loaded it keeps its library loaded.
class Form {
public:
    enum class Border { FixedSingle, None };

    Form(std::wstring caption, Border border, double clientWidth, double clientHeight, bool centred);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    void Load();
    // Modeless; a form shown again while loaded is only brought up.
    void Show(HWND owner = nullptr);
    void Hide();
    void Unload();
    bool Loaded() const { return hwnd_ != nullptr; }
    // Asking a form whether it is visible loads it first (hidden), as referring to it does.
    bool Visible();
    HWND Hwnd() const { return hwnd_; }
    // The window's place on the screen, twips.
    void Move(double left, double top);

    static void UnregisterWindowClass();

protected:
    // The form's own load step; the skin engine attaches from here.
    virtual void Form_Load() {}
    // Make the children (the window exists, hidden).
    virtual void CreateControls() = 0;
    // Each time the form is about to be shown.
    virtual void Form_Show() {}
    virtual void OnCommand(UINT id, UINT code);
    // A child at its design place, in twips of the client area.
    HWND AddChild(const wchar_t* windowClass, const wchar_t* caption, DWORD style, UINT id, double left, double top,
                  double width, double height);
    Dpi FormDpi() const { return dpi_; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    std::wstring caption_;
    Border border_;
    double clientWidth_, clientHeight_;
    bool centred_;
    Dpi dpi_;
    UniqueFont font_;
    HWND hwnd_ = nullptr;
    bool shownOnce_ = false;
};

// A form's single default instance on this thread, made when it is first referred to.
template <typename F>
F& DefaultInstance() {
    thread_local std::unique_ptr<F> instance;
    if (!instance) instance = std::make_unique<F>();
    return *instance;
}

}  // namespace cartulane
