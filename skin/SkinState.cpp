#include "skin/SkinState.h"

#include "runtime/ThreadValue.h"

namespace cartulane::skin {

SkinState& Skin() { return ThreadValue<SkinState>(); }

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
