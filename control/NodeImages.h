#pragma once
// ImageList1: the seven node icons shared by both trees, drawn in code.

#include "runtime/Handles.h"

namespace cartulane::control {

// Image indexes (1-based, as the trees use them).
enum NodeImage : int {
    kImageDocumentsFolder = 1,
    kImageWorksheet = 2,
    kImageWorkbook = 3,
    kImageSpreadsheetDocument = 4,
    kImageFolder = 5,
    kImageDrive = 6,
    kImageDesktop = 7,
};

constexpr COLORREF kImageMaskColor = RGB(0xC0, 0xC0, 0xC0);

// The seven icons, sizePixels square (16 at 96 DPI), transparent where the mask colour is.
UniqueImageList CreateNodeImages(int sizePixels);

// The icon size for the screen's DPI: 16 at 100 %, 20 at 125 %, 24 at 150 %.
int NodeImageSize();

}  // namespace cartulane::control
