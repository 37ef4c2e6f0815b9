#pragma once
// Owners for Win32 handles and memory: one template, one alias per handle kind, and the
// guards that end a paint, release a DC and put back a selected GDI object.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <utility>

namespace cartulane {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != Traits::Invalid(); }
    Handle release() noexcept { return std::exchange(h_, Traits::Invalid()); }
    void reset(Handle h = Traits::Invalid()) noexcept {
        Handle old = std::exchange(h_, h);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // Closes what is held and stands for an out parameter of the kind.
    Handle* put() noexcept {
        reset();
        return &h_;
    }

private:
    Handle h_ = Traits::Invalid();
};

template <typename H, auto CloseFn>
struct NullInvalid {
    using Handle = H;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { CloseFn(h); }
};

template <auto CloseFn>
struct MinusOneInvalid {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { CloseFn(h); }
};

using UniqueFind = UniqueHandle<MinusOneInvalid<&::FindClose>>;
using UniqueFile = UniqueHandle<MinusOneInvalid<&::CloseHandle>>;
using UniqueKernelHandle = UniqueHandle<NullInvalid<HANDLE, &::CloseHandle>>;  // processes, threads, events
using UniqueHKey = UniqueHandle<NullInvalid<HKEY, &::RegCloseKey>>;
using UniqueHook = UniqueHandle<NullInvalid<HHOOK, &::UnhookWindowsHookEx>>;
using UniqueImageList = UniqueHandle<NullInvalid<HIMAGELIST, &::ImageList_Destroy>>;
using UniqueMenu = UniqueHandle<NullInvalid<HMENU, &::DestroyMenu>>;
using UniqueMemoryDC = UniqueHandle<NullInvalid<HDC, &::DeleteDC>>;
template <typename GdiObject>
using UniqueGdi = UniqueHandle<NullInvalid<GdiObject, &::DeleteObject>>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniquePen = UniqueGdi<HPEN>;
using UniqueFont = UniqueGdi<HFONT>;

// Memory the system allocated for the caller: LocalFree, CoTaskMemFree.
template <typename T>
void FreeLocalMemory(T* memory) noexcept {
    ::LocalFree(memory);
}
template <typename T>
void FreeCoTaskMemory(T* memory) noexcept {
    ::CoTaskMemFree(memory);
}
template <typename T>
using UniqueLocalMemory = UniqueHandle<NullInvalid<T*, &FreeLocalMemory<T>>>;
template <typename T>
using UniqueCoTaskMemory = UniqueHandle<NullInvalid<T*, &FreeCoTaskMemory<T>>>;

// A window's device context, of its client area or of the whole window (border and
// caption included), released on scope exit.
class WindowDC {
public:
    enum Area { Client, Whole };
    explicit WindowDC(HWND hwnd, Area area = Client) noexcept
        : hwnd_(hwnd), dc_(area == Whole ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// BeginPaint, and EndPaint on scope exit.
class PaintGuard {
public:
    explicit PaintGuard(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
    ~PaintGuard() { ::EndPaint(hwnd_, &paint_); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC get() const noexcept { return dc_; }
    const RECT& Area() const noexcept { return paint_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// Puts back the object that was selected into a device context before.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace cartulane
