#include "skin/SkinState.h"

namespace cartulane::skin {

namespace {

// Deliberately a raw pointer: a thread_local object would be destroyed at thread or library
// detach, under the loader lock.
thread_local SkinState* tState = nullptr;

}  // namespace

SkinState& Skin() {
    if (!tState) tState = new SkinState();
    return *tState;
}

void FreeSkinImages() {
    SkinState& state = Skin();
    state.Images.ButtonSkinDC.Free();
    state.Images.ComboSkinDC.Free();
    state.Images.GlyphSkinDC.Free();
    state.Images.OptionSkinDC.Free();
    state.Images.HeaderSkinDC.Free();
    state.SkinInitialized = false;
}

}  // namespace cartulane::skin
