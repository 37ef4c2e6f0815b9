#pragma once
// The one way to write a window: Window registers its class once per module, binds the
// object to the window at WM_NCCREATE, forgets it (and GWLP_USERDATA) at WM_NCDESTROY
// and lets nothing thrown out of its procedure. Subclass is the same for a window we did
// not create: our procedure in front of the window's own until the window goes.

#include <windows.h>

#include <string>

namespace cartulane {

class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Hwnd() const { return hwnd_; }
    // Destroys the window while the object still answers its messages.
    void Destroy();

    // The class a window of ours is made of; registered at the first window of it.
    struct Class {
        const wchar_t* name;
        int background = COLOR_BTNFACE;  // a system colour, or -1 for none
        UINT style = 0;
        HICON icon = nullptr;
    };

protected:
    Window() = default;
    // A window still there is unbound first: no message reaches the part of the object
    // that is already gone.
    virtual ~Window();

    // The window, bound to this object (Hwnd() is set from WM_NCCREATE on).
    HRESULT CreateWindowOf(const Class& windowClass, DWORD exStyle, const wchar_t* title, DWORD style, int x, int y,
                           int width, int height, HWND parent, HMENU menuOrId = nullptr);
    // The window's messages; what it does not handle goes to Default.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // After WM_NCDESTROY: the window is gone and Hwnd() is nullptr.
    virtual void OnDestroyed() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    HWND hwnd_ = nullptr;
};

class Subclass {
public:
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    HWND Hwnd() const { return hwnd_; }
    // The Subclass object in front of a window, or nullptr.
    static Subclass* Of(HWND hwnd);

protected:
    Subclass() = default;
    virtual ~Subclass();  // puts the window's own procedure back

    // Our procedure goes in front of the window's own. The object is kept in the window's
    // GWLP_USERDATA, which the windows we subclass (standard classes) leave to their owner.
    HRESULT Attach(HWND hwnd);
    void Detach();
    // The window's messages; what it does not handle goes to CallOriginal.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);
    // The window is going (WM_NCDESTROY): the subclass is already taken away.
    virtual void OnDetached() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    HWND hwnd_ = nullptr;
    WNDPROC original_ = nullptr;
};

// Unregisters the window classes this module registered; for the moment the module may
// be unloaded (a class left behind would point into unloaded code).
void UnregisterWindowClasses();

// While one lives, the dialogs this thread shows are this module's own (a message box, an
// input box, a dialog of the shell it opened): the skin dresses those, never a dialog that
// other code (the application, a macro, another add-in) opens over one of our forms.
class OwnDialogs {
public:
    OwnDialogs();
    ~OwnDialogs();
    OwnDialogs(const OwnDialogs&) = delete;
    OwnDialogs& operator=(const OwnDialogs&) = delete;
    static bool Showing();
};

// A window's text, of any length.
std::wstring WindowText(HWND window);

}  // namespace cartulane
