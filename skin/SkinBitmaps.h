#pragma once
// The five small images the skin paints from, drawn pixel by pixel in code (no files, no
// resources): push-button faces, the combo box's drop button and arrows, check marks and
// option dots, option circles, header items. Colours are COLORREF (0x00BBGGRR); magenta is
// the transparent key that painters pass to the transparent blits.

#include "skin/Primitives.h"

namespace cartulane::skin {

constexpr COLORREF SkinKeyColor = 0xFF00FF;

struct SkinImages {
    // 7 x 84: four 7 x 21 faces stacked (normal, hot, pressed, disabled), drawn with
    // borders 3, 3, 3, 3.
    MemoryDC ButtonSkinDC;
    // 15 x 18: the hot and the dropped-down drop button (4 x 18 at x 0 and 4); the arrow,
    // 7 x 4, at (8, 0) and disabled at (8, 4).
    MemoryDC ComboSkinDC;
    // 18 x 24 on the key colour: check mark 9 x 8 at (0, 0), indeterminate mark 7 x 7 at
    // (1, 9), option dot 5 x 5 at (2, 18); each disabled 9 pixels to the right.
    MemoryDC GlyphSkinDC;
    // 13 x 52: four 13 x 13 option circles stacked (normal, hot, pressed, disabled), the
    // key colour outside the circle; rows 17 to 21 and 30 to 34, columns 1 to 11, are the
    // hot and pressed check-box fills.
    MemoryDC OptionSkinDC;
    // 9 x 20: three 3 x 20 header items side by side (normal, hot, pressed), drawn with
    // borders 1, 1, 1, 1.
    MemoryDC HeaderSkinDC;
};

// Creates the five images, in the order above. An image whose memory context cannot be
// created stays empty; the others are built all the same.
SkinImages BuildSkinBitmaps();

}  // namespace cartulane::skin
