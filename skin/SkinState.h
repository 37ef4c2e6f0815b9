#pragma once
// The skin engine's state for the user-interface thread it runs on: whether the images are
// built, which mouse-leave tracking to use, how many windows are skinned, the five images the
// painters draw from, and the windows it skinned. Each thread that skins windows has its own.

#include "skin/Registry.h"
#include "skin/SkinBitmaps.h"

#include <set>
#include <unordered_map>

namespace cartulane::skin {

struct SkinState {
    bool SkinInitialized = false;
    bool HasUser32TrackMouseEvent = false;
    int SkinnedWindowCount = 0;
    SkinImages Images;
    // The windows this thread skinned, each with the family its class gave when attached.
    std::unordered_map<HWND, Family> Families;
    // The windows whose skin came off while another procedure stood in front of ours: ours
    // stays in their chain, passing every message on, until they go.
    std::set<HWND> PassingOn;
};

// This thread's state, made on first use. It is reached through a plain pointer that has no
// destructor, so unloading the library never runs GDI calls; the images are freed by
// FreeSkinImages when the last skinned window lets go of them.
SkinState& Skin();

// Deletes the five images (button, combo, glyph, option, header, in that order, each with
// its bitmap) and clears SkinInitialized. Harmless when they are already gone.
void FreeSkinImages();

}  // namespace cartulane::skin
