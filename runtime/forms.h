#pragma once
// What the form runtime gives the controls of a form or user control: a place in
// twips, shown at the screen's DPI, and the standard child windows.

#include "runtime/handles.h"
#include "runtime/twips.h"

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

}  // namespace cartulane
