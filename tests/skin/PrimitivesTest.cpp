// The skin engine's drawing primitives, read back pixel by pixel from memory contexts.

#include "runtime/Window.h"
#include "skin/Primitives.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace cartulane {
namespace {

using namespace skin;

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255), kMagenta = RGB(255, 0, 255), kYellow = RGB(255, 255, 0);

// A cell of width x height whose border pixels (border wide) are red at the corners and
// green along the edges, with a blue centre; pixel (1, 1) of the centre is magenta when
// holed.
MemoryDC MakeCell(int width, int height, int border, bool holed = false) {
    MemoryDC cell = CreateMemoryDC(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool edgeX = x < border || x >= width - border, edgeY = y < border || y >= height - border;
            ::SetPixel(cell.get(), x, y, edgeX && edgeY ? kRed : edgeX || edgeY ? kGreen : kBlue);
        }
    }
    if (holed) ::SetPixel(cell.get(), border + 1, border + 1, kMagenta);
    return cell;
}

TEST(Primitives, TheNineGridKeepsCornersAndStretchesEdgesAndCentre) {
    const MemoryDC cell = MakeCell(7, 21, 3);
    for (const SIZE size : {SIZE{75, 23}, SIZE{6, 6}, SIZE{7, 21}, SIZE{400, 60}, SIZE{9, 200}}) {
        const MemoryDC target = CreateMemoryDC(size.cx + 10, size.cy + 10);
        FillSolidRect(target.get(), 0, 0, size.cx + 10, size.cy + 10, kWhite);
        EXPECT_NE(DrawSkinImage(target.get(), 5, 5, size.cx, size.cy, cell.get(), 0, 0, 7, 21, 3, 3, 3, 3), 0);
        for (int y = 0; y < size.cy; ++y) {
            for (int x = 0; x < size.cx; ++x) {
                const bool edgeX = x < 3 || x >= size.cx - 3, edgeY = y < 3 || y >= size.cy - 3;
                const COLORREF expected = edgeX && edgeY ? kRed : edgeX || edgeY ? kGreen : kBlue;
                ASSERT_EQ(::GetPixel(target.get(), 5 + x, 5 + y), expected)
                    << size.cx << "x" << size.cy << " at " << x << "," << y;
            }
        }
        // Nothing outside the target.
        EXPECT_EQ(::GetPixel(target.get(), 4, 4), kWhite);
        EXPECT_EQ(::GetPixel(target.get(), 5 + size.cx, 5 + size.cy), kWhite);
    }
}

TEST(Primitives, TheNineGridWithoutBordersStretchesTheWholeCellAndNothingForAZeroSize) {
    const MemoryDC cell = CreateMemoryDC(2, 1);
    ::SetPixel(cell.get(), 0, 0, kRed);
    ::SetPixel(cell.get(), 1, 0, kBlue);
    const MemoryDC target = CreateMemoryDC(40, 10);
    FillSolidRect(target.get(), 0, 0, 40, 10, kWhite);
    EXPECT_NE(DrawSkinImage(target.get(), 0, 0, 40, 10, cell.get(), 0, 0, 2, 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(::GetPixel(target.get(), 0, 9), kRed);
    EXPECT_EQ(::GetPixel(target.get(), 39, 0), kBlue);

    FillSolidRect(target.get(), 0, 0, 40, 10, kWhite);
    EXPECT_EQ(DrawSkinImage(target.get(), 0, 0, 0, 10, cell.get(), 0, 0, 2, 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(DrawSkinImage(target.get(), 0, 0, 40, 10, cell.get(), 0, 0, 2, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(::GetPixel(target.get(), 0, 0), kWhite);
}

TEST(Primitives, TheKeyColourLeavesTheDestinationShowing) {
    // Holed cell: its centre pixel (4, 4) is magenta; stretched 1:1 it stays one pixel.
    const MemoryDC cell = MakeCell(9, 9, 3, true);
    const MemoryDC target = CreateMemoryDC(20, 20);
    FillSolidRect(target.get(), 0, 0, 20, 20, kYellow);
    EXPECT_EQ(DrawSkinImage(target.get(), 2, 2, 9, 9, cell.get(), 0, 0, 9, 9, 3, 3, 3, 3, kMagenta), 1);
    EXPECT_EQ(::GetPixel(target.get(), 2 + 4, 2 + 4), kYellow);
    EXPECT_EQ(::GetPixel(target.get(), 2 + 3, 2 + 3), kBlue);
    EXPECT_EQ(::GetPixel(target.get(), 2, 2), kRed);
    EXPECT_EQ(::GetPixel(target.get(), 1, 1), kYellow);

    // The transparent blit alone, from an offset in the source.
    const MemoryDC source = CreateMemoryDC(8, 8);
    FillSolidRect(source.get(), 0, 0, 8, 8, kMagenta);
    FillSolidRect(source.get(), 4, 4, 2, 2, kBlue);
    FillSolidRect(target.get(), 0, 0, 20, 20, kWhite);
    TransparentBlit(target.get(), 10, 10, 4, 4, source.get(), 2, 2, kMagenta);
    EXPECT_EQ(::GetPixel(target.get(), 10, 10), kWhite);
    EXPECT_EQ(::GetPixel(target.get(), 12, 12), kBlue);
    EXPECT_EQ(::GetPixel(target.get(), 13, 13), kBlue);
    EXPECT_EQ(::GetPixel(target.get(), 14, 14), kWhite);
}

TEST(Primitives, RectanglesAreLeftTopWidthHeight) {
    const MemoryDC target = CreateMemoryDC(10, 10);
    FillSolidRect(target.get(), 0, 0, 10, 10, kWhite);
    EXPECT_NE(FillSolidRect(target.get(), 2, 3, 4, 5, kBlue), 0);
    EXPECT_EQ(::GetPixel(target.get(), 2, 3), kBlue);
    EXPECT_EQ(::GetPixel(target.get(), 5, 7), kBlue);
    EXPECT_EQ(::GetPixel(target.get(), 6, 7), kWhite);
    EXPECT_EQ(::GetPixel(target.get(), 5, 8), kWhite);
    EXPECT_NE(FrameSolidRect(target.get(), 0, 0, 10, 10, kRed), 0);
    EXPECT_EQ(::GetPixel(target.get(), 9, 9), kRed);
    EXPECT_EQ(::GetPixel(target.get(), 1, 1), kWhite);
}

// Nothing is kept between calls: thousands of them leave no GDI object behind.
TEST(Primitives, RepeatedPaintingLeavesNoGdiObjectBehind) {
    const MemoryDC cell = MakeCell(7, 21, 3, true);
    const MemoryDC target = CreateMemoryDC(80, 30);
    const test::GuiObjects before;
    for (int i = 0; i < 10000; ++i) {
        MemoryDC made = CreateMemoryDC(16, 16);
        ASSERT_TRUE(made) << "cycle " << i;
        ASSERT_NE(FillSolidRect(made.get(), 0, 0, 16, 16, kBlue), 0) << "cycle " << i;
        if (i % 4 == 0) {
            ASSERT_EQ(DrawSkinImage(target.get(), 0, 0, 75, 23, cell.get(), 0, 0, 7, 21, 3, 3, 3, 3, kMagenta), 1)
                << "cycle " << i;
        }
    }
    EXPECT_TRUE(before.NoGdiLeft(64));
    EXPECT_EQ(::GetPixel(target.get(), 10, 10), kBlue);
}

TEST(Primitives, TheSkinTimerRunsOnceAndStops) {
    test::HiddenWindow window;
    EXPECT_EQ(StartSkinTimer(window.hwnd()), SkinTimerId());
    EXPECT_EQ(StartSkinTimer(window.hwnd()), 0u);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(::GetPropW(window.hwnd(), L"TIMERID")), SkinTimerId());
    EXPECT_NE(StopSkinTimer(window.hwnd()), 0);
    EXPECT_EQ(::GetPropW(window.hwnd(), L"TIMERID"), nullptr);
    EXPECT_EQ(StopSkinTimer(window.hwnd()), 0);
    ::RemovePropW(window.hwnd(), L"TIMERID");
}

TEST(Primitives, BordersWindowBoundsCaptionsAndWordHalves) {
    test::HiddenWindow parent;
    const auto child = [&](DWORD style, DWORD exStyle) {
        return ::CreateWindowExW(exStyle, L"Static", L"边框 test", WS_CHILD | style, 10, 20, 100, 80, parent.hwnd(),
                                 nullptr, nullptr, nullptr);
    };
    int x = -1, y = -1;
    HWND plain = child(0, 0);
    EXPECT_EQ(GetBorderOffsets(plain, &x, &y), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    HWND sunken = child(WS_VSCROLL, WS_EX_CLIENTEDGE);
    GetBorderOffsets(sunken, &x, &y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);
    HWND both = child(WS_VSCROLL | WS_HSCROLL, WS_EX_CLIENTEDGE);
    GetBorderOffsets(both, &x, &y);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);

    WindowBounds bounds;
    EXPECT_TRUE(GetWindowBounds(plain, &bounds));
    RECT r{};
    ::GetWindowRect(plain, &r);
    EXPECT_EQ(bounds.Left, r.left);
    EXPECT_EQ(bounds.Bottom, r.bottom);
    EXPECT_EQ(bounds.Width, 100);
    EXPECT_EQ(bounds.Height, 80);
    EXPECT_EQ(WindowText(plain), L"边框 test");

    EXPECT_EQ(LoWord(static_cast<LONG_PTR>(0xFFFF0001u)), 1);
    EXPECT_EQ(HiWord(static_cast<LONG_PTR>(0xFFFF0001u)), -1);
    EXPECT_EQ(LoWord(0x0000FFFF), -1);
    for (HWND w : {plain, sunken, both}) ::DestroyWindow(w);
}

}  // namespace
}  // namespace cartulane
