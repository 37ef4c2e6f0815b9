#pragma once
// The painters of the skinned controls: push-button faces and their blend onto the window,
// the combo box's drop button, the check square, the option circle and a header item, drawn
// from this thread's skin images, each in a Look (kept in "OLDSTATE"). Where a painter takes
// hDC, 0 means the window's whole-window device context, so coordinates count from the
// window rectangle's top-left corner, border included.

#include "skin/Properties.h"

#include <windows.h>

namespace cartulane::skin {

// Renders the button's four state images (normal, hot, pressed, disabled) with caption and,
// while it has the focus, the focus frame into its memory contexts "HDC0" to "HDC3".
void PaintButtonFaces(HWND window);

// Blends the image of the button's "OLDSTATE" onto the window with the constant alpha in
// "ALPHALEVEL"; a disabled button is set to Disabled first. Nothing is drawn for a button
// whose "OLDSTYLE" has bit 1 or 2 (it was left as it was).
void BlendButtonFace(HWND window, HDC dc);

// The drop button one pixel inside the right, top and bottom edges. A box whose list is
// dropped down is painted Pressed, and look is set to Pressed. Nothing when the window shows
// look already and not force, nor for a simple combo box.
void PaintComboButton(HWND window, HDC dc, Look& look, bool force);

// The check square at the left edge, centred vertically, with the check or indeterminate
// mark: whether painted; not when the window shows look already and not force.
bool PaintCheckBox(HWND window, Look look, bool force);

// The option circle at the left edge, centred vertically, with its dot when checked: whether
// painted; not when the window shows look already and not force. An enabled button in a
// look other than Normal, Hot and Pressed gets its dot alone.
bool PaintOptionButton(HWND window, Look look, bool force);

// Header item index in look (Hot, Pressed, else normal) with its caption, into dc at
// (left, 0), width x height.
void DrawHeaderItem(HWND header, HDC dc, int index, Look look, int left, int width, int height);

// Header item index with its caption, Hot, Pressed or otherwise normal; nothing for a
// negative index.
void PaintHeaderItem(HWND window, HDC dc, int index, Look look);

}  // namespace cartulane::skin
