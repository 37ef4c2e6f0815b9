#pragma once
// The painters of the skinned controls: push-button faces and their blend onto the window,
// the combo box's drop button, the check square, the option circle and a header item, drawn
// from this thread's skin images. States are those kept in "OLDSTATE": 0 normal, 1 hot,
// 2 pressed (for a combo box: dropped down), 3 disabled. Where a painter takes hDC, 0 means
// the window's whole-window device context, so coordinates count from the window
// rectangle's top-left corner, border included.

#include <windows.h>

namespace cartulane::skin {

// Renders the button's four state images (normal, hot, pressed, disabled) with caption and,
// while it has the focus, the focus frame into its memory contexts "HDC0" to "HDC3".
void PaintButtonFaces(HWND window);

// Blends the image of the button's "OLDSTATE" onto the window with the constant alpha in
// "ALPHALEVEL"; a disabled button is set to state 3 first. Nothing is drawn for a button
// whose "OLDSTYLE" has bit 1 or 2 (it was left as it was). Always 0.
int BlendButtonFace(HWND window, HDC dc);

// The drop button one pixel inside the right, top and bottom edges. A box whose list is
// dropped down is painted in state 2, and state is set to 2. Nothing when state equals
// "OLDSTATE" and not force, nor for a simple combo box.
void PaintComboButton(HWND window, HDC dc, int& state, bool force);

// The check square at the left edge, centred vertically, with the check or indeterminate
// mark: 1 if painted, 0 when state equals "OLDSTATE" and not force.
int PaintCheckBox(HWND window, int state, bool force);

// The option circle at the left edge, centred vertically, with its dot when checked: 1 if
// painted, 0 when state equals "OLDSTATE" and not force.
int PaintOptionButton(HWND window, int state, bool force);

// Header item index in state (1 hot, 2 pressed, else normal) with its caption, into dc at
// (left, 0), width x height.
void DrawHeaderItem(HWND header, HDC dc, int index, int state, int left, int width, int height);

// Header item index with its caption, in state 1 (hot), 2 (pressed) or otherwise normal;
// nothing for a negative index. Always 0.
int PaintHeaderItem(HWND window, HDC dc, int index, int state);

}  // namespace cartulane::skin
