#pragma once
// What the handlers paint for combo boxes, drive lists and lists (a flat two-ring frame),
// progress bars (frame and bar, built off screen), headers (every item from the header
// image), grids (a frame when they have a border) and every window with a sunken client
// edge (a flat border in the frame colour).

#include <windows.h>

namespace cartulane::skin {

// The frame colour for the window as it is now: enabled or disabled.
COLORREF FrameColour(HWND window);

// The outer ring in the frame colour and the inner ring in white, through the window DC.
void DrawFlatFrame(HWND window);
// The replaced paints draw into dc, the client area's context.
// An edit-style combo box's whole face: white, framed, its drop button in the look it shows.
void PaintEditCombo(HWND window, HDC dc);
// Whether the point in lParam is over an edit-style combo box's drop button.
bool InComboButtonZone(HWND window, LPARAM lParam);

// Position / 30000, in single precision.
float ProgressFraction(HWND window);
// The client area: white, and the bar from the left (from the bottom when vertical).
void PaintProgressBar(HWND window, HDC dc);
// The whole window: the frame round white, and the bar over the client part.
void PaintProgressFrame(HWND window);

// The background and every item, pressed and hot ones in their looks.
void PaintHeader(HWND window, HDC dc);
// The first item whose left <= x <= right, x from lParam; -1 for none.
int HeaderHitTest(HWND window, LPARAM lParam);

// A frame on the window's outline when it has WS_BORDER.
void DrawGridFrame(HWND window);
// For a window with WS_EX_CLIENTEDGE: the outer ring in the frame colour, the rings inside
// it to the border's width in the client's background colour.
void DrawFlatBorder(HWND window);

}  // namespace cartulane::skin
