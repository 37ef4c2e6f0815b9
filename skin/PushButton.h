#pragma once
// A skinned push button's own resources: its four state images (memory contexts "HDC0" to
// "HDC3" with their bitmaps "BMP0" to "BMP3", owned through the properties) and its
// rounded window region.

#include <windows.h>

namespace cartulane::skin {

// Makes the four images at the window's size and renders them.
void CreateButtonImages(HWND window);
// New bitmaps at the window's present size in the same contexts (the old ones deleted),
// rendered again.
void ResizeButtonImages(HWND window);
// Deletes each context, then its bitmap, and removes their properties.
void FreeButtonImages(HWND window);
// The rounded rectangle (0, 0) to (width + 1, height + 1), corners 3 x 3, as the window's
// region; the window owns it.
void SetRoundRegion(HWND window);

}  // namespace cartulane::skin
