#pragma once
// What the skin engine paints with: rectangles given as left, top, width and height; memory
// device contexts that own their bitmaps; the nine-grid blit of a skin cell onto any size;
// the mask-based transparent blit; text, fills, frames and focus boxes; a window's bounds and
// border widths; the per-window fade timer; mouse-leave tracking; the signed halves of a
// message parameter. Colours are COLORREF (0x00BBGGRR); coordinates are pixels.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace cartulane::skin {

// The window rectangle in screen coordinates.
struct WindowBounds {
    int Left = 0, Top = 0, Right = 0, Bottom = 0, Width = 0, Height = 0;
};

// A device context compatible with the display with a bitmap selected into it, which it
// owns: freeing it deletes the context, then the bitmap.
class MemoryDC {
public:
    MemoryDC() = default;
    MemoryDC(HDC dc, HBITMAP bitmap) noexcept : dc_(dc), bitmap_(bitmap) {}
    MemoryDC(MemoryDC&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), bitmap_(std::exchange(other.bitmap_, nullptr)) {}
    MemoryDC& operator=(MemoryDC&& other) noexcept {
        if (this != &other) {
            Free();
            dc_ = std::exchange(other.dc_, nullptr);
            bitmap_ = std::exchange(other.bitmap_, nullptr);
        }
        return *this;
    }
    ~MemoryDC() { Free(); }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void Free() noexcept;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
};

int DrawTextRect(HDC dc, const std::wstring& text, int left, int top, int width, int height, UINT format);
int FillSolidRect(HDC dc, int left, int top, int width, int height, COLORREF color);
int FrameSolidRect(HDC dc, int left, int top, int width, int height, COLORREF color);
BOOL DrawFocusBox(HDC dc, int left, int top, int width, int height);
BOOL GetWindowBounds(HWND window, WindowBounds* bounds);
// The width of the window's border on each side (scroll bars left out); always 1.
int GetBorderOffsets(HWND window, int* offsetX, int* offsetY);

// The fade timer (id 1, every 15 ms) of a window, kept in its "TIMERID" property: the new
// timer's id, or 0 when one was running; KillTimer's result, or 0 when none was running.
// The fade timer's id, one no other code of a window uses.
UINT_PTR SkinTimerId();
UINT_PTR StartSkinTimer(HWND window);
BOOL StopSkinTimer(HWND window);
// One WM_MOUSELEAVE when the mouse leaves the window: through user32's TrackMouseEvent
// when useUser32, otherwise comctl32's _TrackMouseEvent.
void TrackMouseLeave(HWND window, bool useUser32);

// Width x Height in the display's colour format, content undefined; empty on failure,
// leaving nothing behind.
MemoryDC CreateMemoryDC(int width, int height);

// The nine-grid blit: the cell (srcX, srcY, srcW, srcH) of source with fixed borders
// leftW, topH, rightW, bottomH onto destW x destH at (destX, destY); corners copied 1:1,
// edges stretched along their length, the centre both ways. With transColor, pixels of
// that colour leave the destination showing. 0 and nothing drawn when a size is 0; 1 when
// drawn transparently; otherwise the final BitBlt's result.
int DrawSkinImage(HDC dest, int destX, int destY, int destW, int destH, HDC source, int srcX, int srcY, int srcW,
                  int srcH, int leftW, int topH, int rightW, int bottomH,
                  std::optional<COLORREF> transColor = std::nullopt);

// Copies width x height from source to dest, leaving the destination where the source has
// transColor (an RGB value or a system colour index, translated against palette, or a
// halftone palette when it is null).
void TransparentBlit(HDC dest, int destX, int destY, int width, int height, HDC source, int srcX, int srcY,
                     COLORREF transColor, HPALETTE palette = nullptr);

// The low and high 16 bits of a 32-bit value, signed: 0xFFFF is -1.
inline short LoWord(LONG_PTR value) { return static_cast<short>(static_cast<DWORD>(value) & 0xFFFF); }
inline short HiWord(LONG_PTR value) { return static_cast<short>((static_cast<DWORD>(value) >> 16) & 0xFFFF); }

}  // namespace cartulane::skin
