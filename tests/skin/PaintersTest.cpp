// The painters on real controls: the properties set as attaching would set them, pixels read
// back from the memory context passed in or from the window's own device context.

#include "skin/Painters.h"
#include "skin/SkinState.h"
#include "runtime/Handles.h"
#include "runtime/Twips.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace cartulane {
namespace {

using namespace skin;

constexpr COLORREF kKey = 0xFF00FF, kWhite = 0xFFFFFF, kMarker = RGB(10, 200, 30), kRed = RGB(255, 0, 0),
                   kBlue = RGB(0, 0, 255);

void SetNumber(HWND window, const wchar_t* name, LONG_PTR value) {
    ::SetPropW(window, name, reinterpret_cast<HANDLE>(value));
}
LONG_PTR GetNumber(HWND window, const wchar_t* name) { return reinterpret_cast<LONG_PTR>(::GetPropW(window, name)); }

SIZE WindowSize(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void Flush(HWND window) {
    ::UpdateWindow(window);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::GdiFlush();
}

// What the whole-window device context of a window shows.
class WindowPixels {
public:
    explicit WindowPixels(HWND window) : window_(window), dc_(window, WindowDC::Whole) {}
    COLORREF operator()(int x, int y) const { return ::GetPixel(dc_.get(), x, y); }
    void Fill(COLORREF color) const {
        const SIZE size = WindowSize(window_);
        const HBRUSH brush = ::CreateSolidBrush(color);
        const RECT r{0, 0, size.cx, size.cy};
        ::FillRect(dc_.get(), &r, brush);
        ::DeleteObject(brush);
        ::GdiFlush();
    }

private:
    HWND window_;
    WindowDC dc_;
};

// Every pixel of the source area that is not the key colour is found at the destination;
// key pixels show expectedBehind there (unless it is CLR_INVALID).
template <typename Read>
void ExpectGlyph(const Read& read, int x, int y, HDC source, int srcX, int srcY, int width, int height,
                 COLORREF expectedBehind, const char* what) {
    int drawn = 0;
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const COLORREF s = ::GetPixel(source, srcX + i, srcY + j);
            if (s != kKey) {
                ++drawn;
                ASSERT_EQ(read(x + i, y + j), s) << what << " at " << i << "," << j;
            } else if (expectedBehind != CLR_INVALID) {
                ASSERT_EQ(read(x + i, y + j), expectedBehind) << what << " behind at " << i << "," << j;
            }
        }
    }
    EXPECT_GT(drawn, 0) << what;
}

// Shown top-level parent with the skin images built for this thread.
class Painters : public ::testing::Test {
protected:
    void SetUp() override {
        Skin().Images = BuildSkinBitmaps();
        Skin().SkinInitialized = true;
        parent_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                    500, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
    }
    void TearDown() override {
        ::DestroyWindow(parent_);
        FreeSkinImages();
    }
    HWND Child(const wchar_t* className, DWORD style, int x, int y, int width, int height,
               const wchar_t* text = L"") {
        const HWND window = ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                              parent_, nullptr, nullptr, nullptr);
        EXPECT_NE(window, nullptr);
        SetNumber(window, L"OLDSTATE", 0);
        SetNumber(window, L"MOUSEFLAG", 0);
        Flush(window);
        return window;
    }
    const SkinImages& images() const { return Skin().Images; }
    HWND parent_ = nullptr;
};

int MenuCheck() { return ::GetSystemMetrics(SM_CXMENUCHECK); }

TEST_F(Painters, CheckBoxSquareFrameStripAndMarksInEveryStateAtTwoHeights) {
    const int cw = ::GetSystemMetrics(SM_CXMENUCHECK), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    for (const int height : {20, 31}) {
        const HWND box = Child(L"Button", BS_AUTO3STATE, 10, 10, 120, height, L"Check");
        const int y0 = RoundHalfEven((height - ch) / 2.0);
        const WindowPixels pixels(box);
        const auto inM = [&](int x, int y) { return pixels(x, y0 + y); };
        for (const int check : {BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE}) {
            ::SendMessageW(box, BM_SETCHECK, check, 0);
            for (const int state : {0, 1, 2}) {
                SCOPED_TRACE(testing::Message() << "height " << height << " check " << check << " state " << state);
                pixels.Fill(kMarker);
                EXPECT_TRUE(PaintCheckBox(box, Look(state), true));
                EXPECT_EQ(GetNumber(box, L"OLDSTATE"), state);
                ::GdiFlush();
                const COLORREF frame = state == 2 ? 0xC48639 : 0xD5A554;
                EXPECT_EQ(inM(0, 0), frame);
                EXPECT_EQ(inM(cw - 1, ch - 1), frame);
                EXPECT_EQ(inM(cw - 1, 0), frame);
                EXPECT_EQ(pixels(0, y0 - 1), kMarker);  // only the square is painted
                EXPECT_EQ(pixels(cw, y0), kMarker);
                COLORREF inside = kWhite;
                if (state == 1) inside = ::GetPixel(images().OptionSkinDC.get(), 1, 17);
                if (state == 2) inside = ::GetPixel(images().OptionSkinDC.get(), 1, 30);
                EXPECT_EQ(inM(1, 1), inside);
                if (state != 0) {
                    EXPECT_EQ(inM(cw - 2, ch - 2), ::GetPixel(images().OptionSkinDC.get(), 11, state == 1 ? 21 : 34));
                }
                if (check == BST_CHECKED) {
                    ExpectGlyph(inM, RoundHalfEven((cw - 9) / 2.0), RoundHalfEven((ch - 8) / 2.0),
                                images().GlyphSkinDC.get(), 0, 0, 9, 8, state == 0 ? kWhite : CLR_INVALID, "check");
                } else if (check == BST_INDETERMINATE) {
                    ExpectGlyph(inM, RoundHalfEven((cw - 7) / 2.0), RoundHalfEven((ch - 7) / 2.0),
                                images().GlyphSkinDC.get(), 1, 9, 7, 7, state == 0 ? kWhite : CLR_INVALID, "mark");
                } else if (state == 0) {
                    for (int y = 1; y < ch - 1; ++y)
                        for (int x = 1; x < cw - 1; ++x) ASSERT_EQ(inM(x, y), kWhite) << x << "," << y;
                }
            }
        }
        ::DestroyWindow(box);
    }
}

TEST_F(Painters, MarksLandWhereTheThirteenPixelSquarePutsThem) {
    if (MenuCheck() != 13 || ::GetSystemMetrics(SM_CYMENUCHECK) != 13) GTEST_SKIP() << "menu check is not 13 x 13";
    const HWND box = Child(L"Button", BS_AUTO3STATE, 10, 10, 120, 20, L"Check");
    const WindowPixels pixels(box);
    const auto inM = [&](int x, int y) { return pixels(x, 4 + y); };  // (20 - 13) / 2 = 3.5 -> 4
    ::SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    PaintCheckBox(box, Look::Normal, true);
    ExpectGlyph(inM, 2, 2, images().GlyphSkinDC.get(), 0, 0, 9, 8, kWhite, "check");
    ::SendMessageW(box, BM_SETCHECK, BST_INDETERMINATE, 0);
    PaintCheckBox(box, Look::Normal, true);
    ExpectGlyph(inM, 3, 3, images().GlyphSkinDC.get(), 1, 9, 7, 7, kWhite, "mark");
}

TEST_F(Painters, ADisabledCheckBoxIsPaleWithAWhiteInsideWhateverTheState) {
    const int cw = MenuCheck(), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    const HWND box = Child(L"Button", BS_AUTO3STATE, 10, 10, 120, 24, L"Check");
    const int y0 = RoundHalfEven((24 - ch) / 2.0);
    ::EnableWindow(box, FALSE);
    Flush(box);
    const WindowPixels pixels(box);
    const auto inM = [&](int x, int y) { return pixels(x, y0 + y); };
    for (const int state : {0, 2, 3}) {
        ::SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
        pixels.Fill(kMarker);
        EXPECT_TRUE(PaintCheckBox(box, Look(state), true));
        EXPECT_EQ(inM(0, 0), 0xE9CFA4u);
        EXPECT_EQ(inM(cw - 1, ch - 1), 0xE9CFA4u);
        EXPECT_EQ(inM(1, 1), kWhite);
        ExpectGlyph(inM, RoundHalfEven((cw - 9) / 2.0), RoundHalfEven((ch - 8) / 2.0), images().GlyphSkinDC.get(),
                    9, 0, 9, 8, kWhite, "pale check");
        ::SendMessageW(box, BM_SETCHECK, BST_INDETERMINATE, 0);
        PaintCheckBox(box, Look(state), true);
        ExpectGlyph(inM, RoundHalfEven((cw - 7) / 2.0), RoundHalfEven((ch - 7) / 2.0), images().GlyphSkinDC.get(),
                    10, 9, 7, 7, kWhite, "pale mark");
    }
}

TEST_F(Painters, CheckAndOptionPaintersPaintOnceForTheSameStateUnlessForced) {
    const HWND box = Child(L"Button", BS_AUTOCHECKBOX, 10, 10, 120, 20, L"Check");
    const HWND option = Child(L"Button", BS_AUTORADIOBUTTON, 10, 40, 120, 20, L"Option");
    const int y0 = RoundHalfEven((20 - ::GetSystemMetrics(SM_CYMENUCHECK)) / 2.0);
    for (const auto& paint : {&PaintCheckBox, &PaintOptionButton}) {
        const HWND window = paint == &PaintCheckBox ? box : option;
        const WindowPixels pixels(window);
        SetNumber(window, L"OLDSTATE", 0);
        EXPECT_TRUE(paint(window, Look::Hot, false));
        EXPECT_EQ(GetNumber(window, L"OLDSTATE"), 1);
        pixels.Fill(kMarker);
        EXPECT_FALSE(paint(window, Look::Hot, false));
        ::GdiFlush();
        EXPECT_EQ(pixels(0, y0 + 6), kMarker);  // the second call painted nothing
        EXPECT_EQ(pixels(6, y0 + 6), kMarker);
        EXPECT_TRUE(paint(window, Look::Hot, true));
        ::GdiFlush();
        EXPECT_NE(pixels(6, y0 + 6), kMarker);
        EXPECT_TRUE(paint(window, Look::Normal, false));
        EXPECT_EQ(GetNumber(window, L"OLDSTATE"), 0);
    }
}

TEST_F(Painters, OptionCircleInEveryStateWithItsDotAtTwoHeights) {
    const int cw = MenuCheck(), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    if (cw != 13 || ch != 13) GTEST_SKIP() << "the circles are compared 1:1 only at 13 x 13";
    for (const int height : {20, 31}) {
        const HWND option = Child(L"Button", BS_AUTORADIOBUTTON, 10, 10, 120, height, L"Option");
        const int y0 = RoundHalfEven((height - ch) / 2.0);
        const WindowPixels pixels(option);
        const auto inCircle = [&](int x, int y) { return pixels(x, y0 + y); };
        for (const bool checked : {false, true}) {
            ::SendMessageW(option, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
            for (const int state : {0, 1, 2}) {
                SCOPED_TRACE(testing::Message() << "height " << height << " checked " << checked << " state " << state);
                pixels.Fill(kMarker);
                EXPECT_TRUE(PaintOptionButton(option, Look(state), true));
                ::GdiFlush();
                // The window's background shows outside the circle.
                if (!checked) {
                    ExpectGlyph(inCircle, 0, 0, images().OptionSkinDC.get(), 0, 13 * state, 13, 13, kMarker, "circle");
                } else {
                    EXPECT_EQ(inCircle(0, 0), kMarker);
                    EXPECT_EQ(inCircle(6, 0), ::GetPixel(images().OptionSkinDC.get(), 6, 13 * state));
                    ExpectGlyph(inCircle, 4, 4, images().GlyphSkinDC.get(), 2, 18, 5, 5, CLR_INVALID, "dot");
                }
            }
            // An enabled button in another state: only the dot.
            pixels.Fill(kMarker);
            PaintOptionButton(option, Look::Disabled, true);
            ::GdiFlush();
            EXPECT_EQ(inCircle(0, 0), kMarker);
            EXPECT_EQ(inCircle(6, 1), kMarker);
            if (checked) ExpectGlyph(inCircle, 4, 4, images().GlyphSkinDC.get(), 2, 18, 5, 5, kMarker, "dot alone");
            else EXPECT_EQ(inCircle(6, 6), kMarker);
        }
        ::EnableWindow(option, FALSE);
        Flush(option);
        ::SendMessageW(option, BM_SETCHECK, BST_UNCHECKED, 0);
        pixels.Fill(kMarker);
        PaintOptionButton(option, Look::Hot, true);
        ::GdiFlush();
        ExpectGlyph(inCircle, 0, 0, images().OptionSkinDC.get(), 0, 39, 13, 13, kMarker, "disabled circle");
        ::SendMessageW(option, BM_SETCHECK, BST_CHECKED, 0);
        PaintOptionButton(option, Look::Normal, true);
        ::GdiFlush();
        ExpectGlyph(inCircle, 4, 4, images().GlyphSkinDC.get(), 11, 18, 5, 5, CLR_INVALID, "disabled dot");
        ::DestroyWindow(option);
    }
}

// The window's size in a memory context filled with the marker colour.
MemoryDC MarkedCanvas(SIZE size) {
    MemoryDC canvas = CreateMemoryDC(size.cx, size.cy);
    FillSolidRect(canvas.get(), 0, 0, size.cx, size.cy, kMarker);
    return canvas;
}

TEST_F(Painters, ComboButtonSitsOneInsideTheRightEdgeWithItsArrowCentredAtTwoHeights) {
    const int w = ::GetSystemMetrics(SM_CXVSCROLL) + 1;
    for (const int itemHeight : {15, 24}) {
        const HWND combo = Child(L"ComboBox", CBS_DROPDOWNLIST, 10, 10, 150, 200);
        ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight);
        Flush(combo);
        const SIZE size = WindowSize(combo);
        const int h = size.cy - 2, left = size.cx - w - 1;
        const int arrowX = RoundHalfEven((w - 7) - (w - 7) / 2.0), arrowY = RoundHalfEven((size.cy - 6) / 2.0);
        for (const int state : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "height " << size.cy << " state " << state);
            const MemoryDC canvas = MarkedCanvas(size);
            const auto inButton = [&](int x, int y) { return ::GetPixel(canvas.get(), left + x, 1 + y); };
            Look asked = Look(state);
            PaintComboButton(combo, canvas.get(), asked, true);
            EXPECT_EQ(asked, Look(state));
            EXPECT_EQ(GetNumber(combo, L"OLDSTATE"), state);
            EXPECT_EQ(::GetPixel(canvas.get(), left - 1, 5), kMarker);
            EXPECT_EQ(::GetPixel(canvas.get(), size.cx - 1, 5), kMarker);
            EXPECT_EQ(::GetPixel(canvas.get(), left, 0), kMarker);
            EXPECT_EQ(::GetPixel(canvas.get(), left, size.cy - 1), kMarker);
            const COLORREF corner = state == 0 ? kWhite : ::GetPixel(images().ComboSkinDC.get(), state == 1 ? 0 : 4, 0);
            EXPECT_EQ(inButton(0, 0), corner);
            if (state == 0) {
                EXPECT_EQ(inButton(w - 1, h - 1), kWhite);
            }
            ExpectGlyph(inButton, arrowX, arrowY, images().ComboSkinDC.get(), 8, 0, 7, 4,
                        state == 0 ? kWhite : CLR_INVALID, "arrow");
        }
        if (size.cy == 21 && w == 18) {  // 11 - 5.5 and 7.5, both to the even neighbour
            EXPECT_EQ(arrowX, 6);
            EXPECT_EQ(arrowY, 8);
        }
        ::EnableWindow(combo, FALSE);
        const MemoryDC canvas = MarkedCanvas(size);
        Look asked = Look::Disabled;
        PaintComboButton(combo, canvas.get(), asked, true);
        const auto inButton = [&](int x, int y) { return ::GetPixel(canvas.get(), left + x, 1 + y); };
        EXPECT_EQ(inButton(0, 0), kWhite);  // defined, never what a new bitmap happened to hold
        ExpectGlyph(inButton, arrowX, arrowY, images().ComboSkinDC.get(), 8, 4, 7, 4, kWhite, "disabled arrow");
        ::DestroyWindow(combo);
    }
}

TEST_F(Painters, ComboButtonKeepsItsStateUnlessForcedAndSkipsSimpleBoxes) {
    const HWND combo = Child(L"ComboBox", CBS_DROPDOWN, 10, 10, 150, 200);
    const SIZE size = WindowSize(combo);
    Look state = Look::Normal;
    MemoryDC canvas = MarkedCanvas(size);
    PaintComboButton(combo, canvas.get(), state, false);  // "OLDSTATE" is 0 already
    EXPECT_EQ(::GetPixel(canvas.get(), size.cx - 5, size.cy / 2), kMarker);
    state = Look::Hot;
    PaintComboButton(combo, canvas.get(), state, false);
    EXPECT_EQ(GetNumber(combo, L"OLDSTATE"), 1);
    EXPECT_NE(::GetPixel(canvas.get(), size.cx - 3, size.cy / 2), kMarker);

    const HWND simple = Child(L"ComboBox", CBS_SIMPLE, 10, 40, 150, 100);
    const SIZE simpleSize = WindowSize(simple);
    canvas = MarkedCanvas(simpleSize);
    state = Look::Pressed;
    PaintComboButton(simple, canvas.get(), state, true);
    EXPECT_EQ(GetNumber(simple, L"OLDSTATE"), 0);
    for (int x = 0; x < simpleSize.cx; x += 3) ASSERT_EQ(::GetPixel(canvas.get(), x, 5), kMarker) << x;
}

TEST_F(Painters, AComboWithItsListDroppedIsPaintedPressedAndTheCallerToldSo) {
    const HWND combo = Child(L"ComboBox", CBS_DROPDOWNLIST, 10, 10, 150, 200);
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"one"));
    ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    const SIZE size = WindowSize(combo);
    const MemoryDC canvas = MarkedCanvas(size);
    Look state = Look::Normal;
    PaintComboButton(combo, canvas.get(), state, false);
    EXPECT_EQ(state, Look::Pressed);
    EXPECT_EQ(GetNumber(combo, L"OLDSTATE"), 2);
    const int w = ::GetSystemMetrics(SM_CXVSCROLL) + 1;
    EXPECT_EQ(::GetPixel(canvas.get(), size.cx - w - 1, 1), ::GetPixel(images().ComboSkinDC.get(), 4, 0));
    ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

HWND AddHeaderItems(HWND header) {
    const wchar_t* texts[] = {L"Name", L"", L"Size"};
    const int widths[] = {80, 60, 120};
    for (int i = 0; i < 3; ++i) {
        HDITEMW item{};
        item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
        item.pszText = const_cast<wchar_t*>(texts[i]);
        item.cxy = widths[i];
        item.fmt = HDF_LEFT | HDF_STRING;
        ::SendMessageW(header, HDM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    Flush(header);
    return header;
}

int CountColour(HDC dc, int left, int top, int width, int height, COLORREF color) {
    int count = 0;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) count += ::GetPixel(dc, x, y) == color;
    return count;
}

TEST_F(Painters, HeaderItemInItsStatesWithItsCaptionAtTwoHeights) {
    for (const int height : {20, 30}) {
        const HWND header = AddHeaderItems(Child(WC_HEADERW, HDS_BUTTONS | HDS_HORZ, 0, 0, 300, height));
        const SIZE size = WindowSize(header);
        RECT r{};
        for (const int index : {0, 1, 2}) {
            ::SendMessageW(header, HDM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
            const int w = r.right - r.left, h = r.bottom - r.top;
            for (const int state : {0, 1, 2, 3}) {
                SCOPED_TRACE(testing::Message() << "height " << height << " item " << index << " state " << state);
                const MemoryDC canvas = MarkedCanvas(size);
                PaintHeaderItem(header, canvas.get(), index, Look(state));
                const int cellX = state == 1 ? 3 : state == 2 ? 6 : 0;
                HDC cell = images().HeaderSkinDC.get();
                EXPECT_EQ(::GetPixel(canvas.get(), r.left, 0), ::GetPixel(cell, cellX, 0));
                EXPECT_EQ(::GetPixel(canvas.get(), r.left + w / 2, 0), ::GetPixel(cell, cellX + 1, 0));
                if (h == size.cy) {
                    EXPECT_EQ(::GetPixel(canvas.get(), r.right - 1, h - 1), ::GetPixel(cell, cellX + 2, 19));
                }
                if (r.left > 0) {
                    EXPECT_EQ(::GetPixel(canvas.get(), r.left - 1, 0), kMarker);
                }
                if (r.right < size.cx) {
                    EXPECT_EQ(::GetPixel(canvas.get(), r.right, 0), kMarker);
                }
                const int black = CountColour(canvas.get(), r.left, 0, w, h, 0);
                if (index == 1) EXPECT_EQ(black, 0);
                else EXPECT_GT(black, 3);
            }
        }
        const MemoryDC canvas = MarkedCanvas(size);
        PaintHeaderItem(header, canvas.get(), -1, Look::Hot);
        EXPECT_EQ(CountColour(canvas.get(), 0, 0, size.cx, size.cy, kMarker), size.cx * size.cy);
        ::DestroyWindow(header);
    }
}

TEST_F(Painters, HeaderItemPaintsOntoTheWindowWhenNoContextIsGiven) {
    const HWND header = AddHeaderItems(Child(WC_HEADERW, HDS_BUTTONS | HDS_HORZ, 0, 0, 300, 24));
    RECT r{};
    ::SendMessageW(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
    const WindowPixels pixels(header);
    pixels.Fill(kMarker);
    PaintHeaderItem(header, nullptr, 2, Look::Pressed);
    ::GdiFlush();
    EXPECT_EQ(pixels(r.left, 0), ::GetPixel(images().HeaderSkinDC.get(), 6, 0));
    EXPECT_EQ(pixels(r.left - 1, 0), kMarker);
}

// A push button with its four state images, as attaching leaves it.
struct FacedButton {
    HWND window;
    MemoryDC faces[4];
    FacedButton(HWND button) : window(button) {
        const SIZE size = WindowSize(button);
        for (int i = 0; i < 4; ++i) {
            faces[i] = CreateMemoryDC(size.cx, size.cy);
            SetNumber(button, (L"HDC" + std::to_wstring(i)).c_str(), reinterpret_cast<LONG_PTR>(faces[i].get()));
        }
        SetNumber(button, L"OLDSTYLE", ::GetWindowLongPtrW(button, GWL_STYLE) & ~LONG_PTR{0xF});
        SetNumber(button, L"ALPHALEVEL", 0);
    }
};

TEST_F(Painters, ButtonFacesHaveTheirStateImageAndCaptionColourAtTwoSizes) {
    for (const SIZE size : {SIZE{75, 23}, SIZE{120, 40}}) {
        FacedButton button(Child(L"Button", BS_PUSHBUTTON, 10, 10, size.cx, size.cy, L"MMMM"));
        PaintButtonFaces(button.window);
        HDC skin = images().ButtonSkinDC.get();
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(testing::Message() << size.cx << "x" << size.cy << " image " << i);
            HDC face = button.faces[i].get();
            EXPECT_EQ(::GetPixel(face, 0, 0), ::GetPixel(skin, 0, 21 * i));
            EXPECT_EQ(::GetPixel(face, size.cx - 1, size.cy - 1), ::GetPixel(skin, 6, 21 * i + 20));
            EXPECT_EQ(::GetPixel(face, size.cx / 2, 0), ::GetPixel(skin, 3, 21 * i));
            const int dark = CountColour(face, 2, 2, size.cx - 4, size.cy - 4, 0);
            const int grey = CountColour(face, 2, 2, size.cx - 4, size.cy - 4, 0x968A79);
            if (i == 3) {
                EXPECT_EQ(dark, 0);
                EXPECT_GT(grey, 3);
            } else {
                EXPECT_GT(dark, 3);
                EXPECT_EQ(grey, 0);
            }
        }
        ::DestroyWindow(button.window);
    }
}

TEST_F(Painters, ButtonFacesCarryTheFocusFrameWhileTheButtonHasTheFocus) {
    FacedButton button(Child(L"Button", BS_PUSHBUTTON, 10, 10, 75, 23, L""));
    ::SetFocus(parent_);
    PaintButtonFaces(button.window);
    std::vector<COLORREF> before;
    for (int y = 2; y < 21; ++y) before.push_back(::GetPixel(button.faces[0].get(), 2, y));
    ::SetFocus(button.window);
    ASSERT_EQ(::GetFocus(), button.window);
    PaintButtonFaces(button.window);
    std::vector<COLORREF> after;
    for (int y = 2; y < 21; ++y) after.push_back(::GetPixel(button.faces[0].get(), 2, y));
    EXPECT_NE(before, after);
}

TEST_F(Painters, BlendButtonFaceMixesTheStateImageByAlphaLevel) {
    FacedButton button(Child(L"Button", BS_PUSHBUTTON, 10, 10, 75, 23, L"OK"));
    for (int i = 0; i < 4; ++i) FillSolidRect(button.faces[i].get(), 0, 0, 75, 23, i == 1 ? kRed : kWhite);
    SetNumber(button.window, L"OLDSTATE", 1);
    for (const int alpha : {0, 128, 255}) {
        SCOPED_TRACE(alpha);
        SetNumber(button.window, L"ALPHALEVEL", alpha);
        const MemoryDC canvas = CreateMemoryDC(75, 23);
        FillSolidRect(canvas.get(), 0, 0, 75, 23, kBlue);
        BlendButtonFace(button.window, canvas.get());
        for (const POINT p : {POINT{0, 0}, POINT{37, 11}, POINT{74, 22}}) {
            const COLORREF c = ::GetPixel(canvas.get(), p.x, p.y);
            EXPECT_LE(std::abs(GetRValue(c) - alpha), 1);
            EXPECT_LE(std::abs(GetBValue(c) - (255 - alpha)), 1);
            EXPECT_EQ(GetGValue(c), 0);
        }
    }
    // Onto the window itself.
    SetNumber(button.window, L"ALPHALEVEL", 255);
    const WindowPixels pixels(button.window);
    pixels.Fill(kBlue);
    BlendButtonFace(button.window, nullptr);
    ::GdiFlush();
    EXPECT_EQ(pixels(5, 5), kRed);
    EXPECT_EQ(pixels(74, 22), kRed);
}

TEST_F(Painters, BlendButtonFaceRefusesButtonsLeftAsTheyWereAndShowsDisabledOnesInState3) {
    FacedButton button(Child(L"Button", BS_PUSHBUTTON, 10, 10, 75, 23, L"OK"));
    for (int i = 0; i < 4; ++i) FillSolidRect(button.faces[i].get(), 0, 0, 75, 23, i == 3 ? kWhite : kRed);
    SetNumber(button.window, L"ALPHALEVEL", 255);
    for (const LONG_PTR bits : {2, 4, 6}) {
        SetNumber(button.window, L"OLDSTYLE", WS_CHILD | bits);
        const MemoryDC canvas = CreateMemoryDC(75, 23);
        FillSolidRect(canvas.get(), 0, 0, 75, 23, kBlue);
        BlendButtonFace(button.window, canvas.get());
        EXPECT_EQ(::GetPixel(canvas.get(), 37, 11), kBlue) << bits;
    }
    SetNumber(button.window, L"OLDSTYLE", WS_CHILD | 1);  // bits 1 and 2 clear
    ::EnableWindow(button.window, FALSE);
    const MemoryDC canvas = CreateMemoryDC(75, 23);
    FillSolidRect(canvas.get(), 0, 0, 75, 23, kBlue);
    BlendButtonFace(button.window, canvas.get());
    EXPECT_EQ(GetNumber(button.window, L"OLDSTATE"), 3);
    EXPECT_EQ(::GetPixel(canvas.get(), 37, 11), kWhite);
}

}  // namespace
}  // namespace cartulane
