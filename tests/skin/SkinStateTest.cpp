// The engine's state per user-interface thread, and freeing its images.

#include "skin/SkinState.h"
#include "tests/support/GuiObjects.h"

#include <gtest/gtest.h>

#include <thread>

namespace cartulane {
namespace {

using namespace skin;

TEST(SkinState, EachThreadHasItsOwnStateAndItsOwnImages) {
    SkinState& mine = Skin();
    EXPECT_EQ(&Skin(), &mine);
    mine.SkinnedWindowCount = 5;
    mine.Images = BuildSkinBitmaps();
    mine.SkinInitialized = true;

    SkinState* other = nullptr;
    bool otherInitialized = true;
    int otherCount = -1;
    std::thread([&] {
        other = &Skin();
        otherInitialized = other->SkinInitialized;
        otherCount = other->SkinnedWindowCount;
        FreeSkinImages();  // frees that thread's images only
    }).join();
    EXPECT_NE(other, &mine);
    EXPECT_FALSE(otherInitialized);
    EXPECT_EQ(otherCount, 0);
    EXPECT_TRUE(mine.Images.ButtonSkinDC);
    EXPECT_TRUE(mine.SkinInitialized);

    FreeSkinImages();
    mine.SkinnedWindowCount = 0;
}

TEST(SkinState, FreeingTheImagesLeavesNoGdiObjectAndClearsInitialized) {
    const test::GuiObjects before;
    for (int i = 0; i < 200; ++i) {
        Skin().Images = BuildSkinBitmaps();
        Skin().SkinInitialized = true;
        FreeSkinImages();
        ASSERT_FALSE(Skin().SkinInitialized);
        ASSERT_FALSE(Skin().Images.ButtonSkinDC);
        ASSERT_FALSE(Skin().Images.HeaderSkinDC);
    }
    FreeSkinImages();  // again, with nothing left to free
    EXPECT_TRUE(before.NoneLeft(32));
}

}  // namespace
}  // namespace cartulane
