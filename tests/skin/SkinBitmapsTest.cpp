// The skin's built-in images, read back pixel by pixel: sizes, cells, the colours painters
// rely on, and the key colour exactly where glyphs and circles are transparent.

#include "skin/SkinBitmaps.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cartulane {
namespace {


using namespace skin;

constexpr COLORREF kKey = 0xFF00FF;

SIZE ImageSize(HDC dc) {
    BITMAP bitmap{};
    if (!::GetObjectW(::GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap)) return SIZE{0, 0};
    return SIZE{bitmap.bmWidth, bitmap.bmHeight};
}

std::vector<COLORREF> Row(HDC dc, int y, int left, int count) {
    std::vector<COLORREF> row;
    for (int x = left; x < left + count; ++x) row.push_back(::GetPixel(dc, x, y));
    return row;
}

// Which pixels of a w x h area hold the key colour, as rows of '.' (key) and '#' (drawn).
std::vector<std::string> KeyMask(HDC dc, int left, int top, int width, int height) {
    std::vector<std::string> mask;
    for (int y = top; y < top + height; ++y) {
        std::string row;
        for (int x = left; x < left + width; ++x) row += ::GetPixel(dc, x, y) == kKey ? '.' : '#';
        mask.push_back(row);
    }
    return mask;
}

int Brightness(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }

class SkinBitmaps : public ::testing::Test {
protected:
    SkinImages images = BuildSkinBitmaps();
};

TEST_F(SkinBitmaps, EveryImageHasItsSize) {
    const struct {
        const MemoryDC& image;
        SIZE size;
    } expected[] = {{images.ButtonSkinDC, {7, 84}}, {images.ComboSkinDC, {15, 18}}, {images.GlyphSkinDC, {18, 24}},
                    {images.OptionSkinDC, {13, 52}}, {images.HeaderSkinDC, {9, 20}}};
    for (const auto& e : expected) {
        ASSERT_TRUE(e.image);
        const SIZE size = ImageSize(e.image.get());
        EXPECT_EQ(size.cx, e.size.cx);
        EXPECT_EQ(size.cy, e.size.cy);
    }
}

TEST_F(SkinBitmaps, ButtonFacesHaveTheirBordersGradientsAndRoundedCorners) {
    HDC dc = images.ButtonSkinDC.get();
    for (int y = 0; y < 84; ++y) {
        for (int x = 0; x < 7; ++x) ASSERT_NE(::GetPixel(dc, x, y), kKey) << x << "," << y;
    }
    using Pixels = std::vector<COLORREF>;
    const Pixels top = {0xF9E1BF, 0xE3B36B, 0xD8972C, 0xD58F1B, 0xD8972C, 0xE3B36B, 0xF9E1BF};
    const Pixels bottom = {0xFBE7CA, 0xE1AE60, 0xD8962A, 0xD58F1B, 0xD8962A, 0xE1AE60, 0xFBE7CA};
    EXPECT_EQ(Row(dc, 0, 0, 7), top);
    EXPECT_EQ(Row(dc, 1, 0, 7), (Pixels{0xE2B269, 0xE7C07E, 0xFBF3E7, 0xFFFFFF, 0xFBF3E7, 0xE7C07E, 0xE2B269}));
    EXPECT_EQ(Row(dc, 2, 0, 7), (Pixels{0xD79529, 0xFCF6EC, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFCF6EC, 0xD79529}));
    EXPECT_EQ(Row(dc, 18, 0, 7), (Pixels{0xD79528, 0xEED7BA, 0xECD6BB, 0xE9CFB0, 0xECD5BB, 0xEED7BA, 0xD79528}));
    EXPECT_EQ(Row(dc, 19, 0, 7), (Pixels{0xE2B064, 0xE1B268, 0xEED8BB, 0xF1E0CC, 0xEED8BB, 0xE1B268, 0xE1AF62}));
    EXPECT_EQ(Row(dc, 20, 0, 7), bottom);
    // Hot and pressed share the first and last rows; the hot face's glossy sides.
    for (const int cell : {1, 2}) {
        EXPECT_EQ(Row(dc, 21 * cell, 0, 7), top) << cell;
        EXPECT_EQ(Row(dc, 21 * cell + 20, 0, 7), bottom) << cell;
    }
    for (const int x : {1, 5}) {
        EXPECT_EQ(::GetPixel(dc, x, 21 + 1), 0xE6A328u);
        EXPECT_EQ(::GetPixel(dc, x, 21 + 19), 0xE5A125u);
    }
    EXPECT_EQ(::GetPixel(dc, 1, 21 + 10), 0xFBC34Cu);
    EXPECT_EQ(Row(dc, 63, 0, 7), (Pixels{0xFBF7F2, 0xEFD5AF, 0xEAC78F, 0xE8C387, 0xEAC78F, 0xEFD5AF, 0xFBF7F2}));

    const struct {
        COLORREF border, centre3, centre10, centre17;
    } faces[] = {{0xD58F1B, 0xFCF8F1, 0xF9EAD7, 0xEAD0B1},
                 {0xD58F1B, 0xFCEED2, 0xFBEDD9, 0xF2D4A7},
                 {0xD58F1B, 0xF3D49F, 0xF9E4C5, 0xFDEAC3},
                 {0xE8C387, 0xFBF7F2, 0xFAF1E5, 0xF3E3D2}};
    for (int cell = 0; cell < 4; ++cell) {
        const int y0 = 21 * cell;
        for (int row = 3; row <= 17; ++row) {
            EXPECT_EQ(::GetPixel(dc, 0, y0 + row), faces[cell].border) << cell << " row " << row;
            EXPECT_EQ(::GetPixel(dc, 6, y0 + row), faces[cell].border) << cell << " row " << row;
        }
        EXPECT_EQ(::GetPixel(dc, 3, y0 + 3), faces[cell].centre3) << cell;
        EXPECT_EQ(::GetPixel(dc, 3, y0 + 10), faces[cell].centre10) << cell;
        EXPECT_EQ(::GetPixel(dc, 3, y0 + 17), faces[cell].centre17) << cell;
    }
}

TEST_F(SkinBitmaps, TheComboImageHasTwoDropButtonsAndTwoArrowsOnTheKey) {
    HDC dc = images.ComboSkinDC.get();
    for (int y = 0; y < 18; ++y) {
        EXPECT_EQ(::GetPixel(dc, 0, y), 0xD1A04Eu) << y;
        EXPECT_EQ(::GetPixel(dc, 4, y), 0xD1A04Eu) << y;
    }
    for (const int x : {1, 3}) {
        EXPECT_EQ(::GetPixel(dc, x, 0), 0xFFF9E8u);
        EXPECT_EQ(::GetPixel(dc, x, 17), 0xF3E1C0u);
    }
    EXPECT_EQ(::GetPixel(dc, 2, 1), 0xFDEEC1u);
    EXPECT_EQ(::GetPixel(dc, 2, 16), 0xE3B865u);
    EXPECT_LT(Brightness(::GetPixel(dc, 2, 8)), Brightness(::GetPixel(dc, 1, 8)));  // the middle more saturated
    for (const int x : {5, 7}) {
        EXPECT_EQ(::GetPixel(dc, x, 0), 0xF3E1BEu);
        EXPECT_EQ(::GetPixel(dc, x, 17), 0xFEF8E6u);
    }
    EXPECT_LT(Brightness(::GetPixel(dc, 6, 2)), Brightness(::GetPixel(dc, 6, 15)));  // upside down

    const std::vector<std::string> arrow = {"#######", ".#####.", "..###..", "...#..."};
    std::vector<std::string> expected = arrow;
    expected.insert(expected.end(), arrow.begin(), arrow.end());
    expected.resize(18, ".......");
    EXPECT_EQ(KeyMask(dc, 8, 0, 7, 18), expected);
    for (int y = 0; y < 8; ++y) {
        for (int x = 8; x < 15; ++x) {
            const COLORREF c = ::GetPixel(dc, x, y);
            if (c != kKey) {
                EXPECT_EQ(c, y < 4 ? 0x5F5519u : 0xACA584u) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(::GetPixel(dc, 11, 3), 0x5F5519u);
    EXPECT_EQ(::GetPixel(dc, 10, 3), kKey);
    EXPECT_EQ(::GetPixel(dc, 12, 3), kKey);
}

TEST_F(SkinBitmaps, GlyphsAreDrawnOnTheKeyWithOneGreenPerRow) {
    HDC dc = images.GlyphSkinDC.get();
    // The whole image: enabled glyphs at left, the same shapes 9 pixels to the right.
    const std::vector<std::string> expected = {
        "........#........#", ".......##.......##", "......###......###", "##...###.##...###.",
        "###.###..###.###..", ".#####....#####...", "..###......###....", "...#........#.....",
        "..................", ".#######..#######.", ".#######..#######.", ".#######..#######.",
        ".#######..#######.", ".#######..#######.", ".#######..#######.", ".#######..#######.",
        "..................", "..................", "..#####....#####..", "..#####....#####..",
        "..#####....#####..", "..#####....#####..", "..#####....#####..", "..................",
    };
    EXPECT_EQ(KeyMask(dc, 0, 0, 18, 24), expected);

    // Check and indeterminate marks: one colour per row, graded top to bottom.
    for (int y = 0; y < 16; ++y) {
        for (const int half : {0, 9}) {
            COLORREF rowColor = CLR_INVALID;
            for (int x = half; x < half + 9; ++x) {
                const COLORREF c = ::GetPixel(dc, x, y);
                if (c == kKey) continue;
                if (rowColor == CLR_INVALID) rowColor = c;
                EXPECT_EQ(c, rowColor) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(::GetPixel(dc, 8, 0), 0x1DB754u);
    EXPECT_EQ(::GetPixel(dc, 3, 7), 0x029135u);
    EXPECT_EQ(::GetPixel(dc, 17, 0), 0x8CDAA8u);
    EXPECT_EQ(::GetPixel(dc, 12, 7), 0x7EC798u);
    EXPECT_EQ(::GetPixel(dc, 1, 9), 0x1BB451u);
    EXPECT_EQ(::GetPixel(dc, 7, 15), 0x069639u);
    EXPECT_EQ(::GetPixel(dc, 10, 9), 0x8BD9A6u);
    EXPECT_EQ(::GetPixel(dc, 16, 15), 0x80C99Au);

    // The dot's core, and its corners paler than the core (anti-aliased, not transparent).
    const COLORREF core[] = {0x19B14F, 0x12A847, 0x0B9D3F}, paleCore[] = {0x8CD8A7, 0x88D3A3, 0x85CE9F};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(::GetPixel(dc, 4, 19 + row), core[row]);
        EXPECT_EQ(::GetPixel(dc, 13, 19 + row), paleCore[row]);
    }
    for (const POINT corner : {POINT{2, 18}, POINT{6, 18}, POINT{2, 22}, POINT{6, 22}}) {
        EXPECT_GT(Brightness(::GetPixel(dc, corner.x, corner.y)), Brightness(core[0]));
    }
}

TEST_F(SkinBitmaps, OptionCirclesAreRoundOnTheKeyWithFillStripsForCheckBoxes) {
    HDC dc = images.OptionSkinDC.get();
    const std::vector<std::string> normal = KeyMask(dc, 0, 0, 13, 13);
    for (int cell = 0; cell < 4; ++cell) {
        const int y0 = 13 * cell;
        // The same circle in every cell, symmetric both ways, the key in its corners.
        EXPECT_EQ(KeyMask(dc, 0, y0, 13, 13), normal) << cell;
        for (const POINT corner : {POINT{0, 0}, POINT{12, 0}, POINT{0, 12}, POINT{12, 12}}) {
            EXPECT_EQ(::GetPixel(dc, corner.x, y0 + corner.y), kKey) << cell;
        }
        for (int y = 0; y < 13; ++y) {
            for (int x = 0; x < 13; ++x) {
                const COLORREF c = ::GetPixel(dc, x, y0 + y);
                EXPECT_EQ(normal[y][x], normal[y][12 - x]) << x << "," << y;
                EXPECT_EQ(normal[y][x], normal[12 - y][x]) << x << "," << y;
                if (cell == 0 || cell == 3) {  // the blue fills of hot and pressed run diagonally
                    EXPECT_EQ(c, ::GetPixel(dc, 12 - x, y0 + y)) << cell << ": " << x << "," << y;
                }
            }
        }
        // The ring reaches the cell's edges in its middle rows, which the nine-grid stretches.
        for (int y = 4; y <= 8; ++y) {
            EXPECT_NE(::GetPixel(dc, 0, y0 + y), kKey) << cell;
            EXPECT_NE(::GetPixel(dc, 12, y0 + y), kKey) << cell;
        }
    }
    const std::vector<COLORREF> row0 = {kKey,     kKey,     kKey,     0xE7CFBC, 0xD9B395, 0xD3A886, 0xD2A683,
                                        0xD3A886, 0xD9B395, 0xE7CFBC, kKey,     kKey,     kKey};
    EXPECT_EQ(Row(dc, 0, 0, 13), row0);
    EXPECT_EQ(Row(dc, 13, 0, 13), row0);
    EXPECT_EQ(Row(dc, 26, 0, 13), (std::vector<COLORREF>{kKey, kKey, kKey, 0xDDBCA4, 0xCA9976, 0xC28B67, 0xC18964,
                                                         0xC28B67, 0xCA9976, 0xDDBCA4, kKey, kKey, kKey}));
    EXPECT_EQ(Row(dc, 39, 0, 13), (std::vector<COLORREF>{kKey, kKey, kKey, 0xF3E7DD, 0xECD9CA, 0xE9D3C2, 0xE8D2C1,
                                                         0xE9D3C2, 0xECD9CA, 0xF3E7DD, kKey, kKey, kKey}));
    EXPECT_EQ(::GetPixel(dc, 6, 6), 0xFFFFFFu);
    EXPECT_EQ(::GetPixel(dc, 6, 39 + 6), 0xFFFFFFu);

    // The check box's hot and pressed strips hold only fill: light blue, the pressed deeper.
    for (int y = 0; y < 5; ++y) {
        for (int x = 1; x <= 11; ++x) {
            const COLORREF hot = ::GetPixel(dc, x, 17 + y), pressed = ::GetPixel(dc, x, 30 + y);
            ASSERT_NE(hot, kKey);
            ASSERT_NE(pressed, kKey);
            EXPECT_GT(GetBValue(hot), GetRValue(hot)) << x << "," << y;
            EXPECT_LT(Brightness(pressed), Brightness(hot)) << x << "," << y;
            EXPECT_GT(Brightness(hot), Brightness(::GetPixel(dc, 6, 13))) << "fill paler than the ring";
        }
    }
}

TEST_F(SkinBitmaps, HeaderItemsHaveTheirCentresSeparatorsAndBottomLine) {
    HDC dc = images.HeaderSkinDC.get();
    EXPECT_EQ(Row(dc, 19, 0, 9), std::vector<COLORREF>(9, 0xF2DAC0));
    const COLORREF centres[3][3] = {{0xFEF5EA, 0xF6E5D3, 0xF6E5D3},
                                    {0xFEEED3, 0xFDE1AF, 0xFCDDA8},
                                    {0xFBD797, 0xFFE7B0, 0xFFF2C8}};
    for (int cell = 0; cell < 3; ++cell) {
        EXPECT_EQ(::GetPixel(dc, 3 * cell + 1, 0), centres[cell][0]) << cell;
        EXPECT_EQ(::GetPixel(dc, 3 * cell + 1, 9), centres[cell][1]) << cell;
        EXPECT_EQ(::GetPixel(dc, 3 * cell + 1, 18), centres[cell][2]) << cell;
    }
    EXPECT_EQ(::GetPixel(dc, 2, 0), 0xFEF5EAu);
    EXPECT_EQ(::GetPixel(dc, 2, 9), 0xD9B07Au);
    EXPECT_EQ(::GetPixel(dc, 2, 18), 0xF6E5D3u);
    EXPECT_EQ(::GetPixel(dc, 5, 0), 0xFDE6BDu);
    EXPECT_EQ(::GetPixel(dc, 5, 9), 0xDBA24Bu);
    EXPECT_EQ(::GetPixel(dc, 8, 0), 0xFBD797u);
    EXPECT_EQ(::GetPixel(dc, 8, 9), 0xDBA24Bu);
    // Each separator darkens towards the middle.
    for (const int x : {2, 5, 8}) {
        for (int y = 0; y < 9; ++y) {
            EXPECT_GE(Brightness(::GetPixel(dc, x, y)), Brightness(::GetPixel(dc, x, y + 1))) << x << "," << y;
            EXPECT_LE(Brightness(::GetPixel(dc, x, 9 + y)), Brightness(::GetPixel(dc, x, 10 + y))) << x << "," << y;
        }
    }
}

std::vector<COLORREF> AllPixels(const SkinImages& images) {
    std::vector<COLORREF> pixels;
    for (const MemoryDC* image : {&images.ButtonSkinDC, &images.ComboSkinDC, &images.GlyphSkinDC,
                                  &images.OptionSkinDC, &images.HeaderSkinDC}) {
        const SIZE size = ImageSize(image->get());
        for (int y = 0; y < size.cy; ++y) {
            const std::vector<COLORREF> row = Row(image->get(), y, 0, size.cx);
            pixels.insert(pixels.end(), row.begin(), row.end());
        }
    }
    return pixels;
}

TEST(SkinBitmapsLifetime, BuiltAgainTheImagesAreTheSameAndFreeingLeavesNoGdiObject) {
    const std::vector<COLORREF> first = AllPixels(BuildSkinBitmaps());
    EXPECT_EQ(first.size(), 2146u);

    const test::GuiObjects before;
    for (int i = 0; i < 1000; ++i) {
        const SkinImages images = BuildSkinBitmaps();
        ASSERT_TRUE(images.HeaderSkinDC) << "build " << i;
    }
    EXPECT_TRUE(before.NoGdiLeft(64));

    EXPECT_EQ(AllPixels(BuildSkinBitmaps()), first);
}


}  // namespace
}  // namespace cartulane
