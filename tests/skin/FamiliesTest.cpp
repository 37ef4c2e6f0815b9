// The skin of the other families on real windows: combo boxes and drive lists (frame and drop
// button following the mouse), their drop-down lists and data lists (frame), progress bars
// (frame and bar), headers (items hot and pressed), grids (frame with a border) and the flat
// border of sunken windows; each through the standard class and a class registered under the
// old form runtime's name; and nothing left behind by forms holding every family.

#include "runtime/Handles.h"
#include "skin/MSkinner.h"
#include "skin/Registry.h"
#include "skin/SkinState.h"
#include "tests/skin/SkinFixture.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace cartulane {
namespace {

using namespace skin;
using test::Number;
using test::PumpFor;

constexpr COLORREF kFrame = 0xD5A554, kPale = 0xE9CFA4, kWhite = 0xFFFFFF, kFill = 0xF6D64C;
constexpr POINT kAway{5, 700};

COLORREF Pixel(HWND window, int x, int y) {
    const WindowDC dc(window, WindowDC::Whole);
    return ::GetPixel(dc.get(), x, y);
}

SIZE Size(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void Repaint(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW);
}

void CursorTo(HWND window, int x, int y) {
    RECT r{};
    ::GetWindowRect(window, &r);
    ::SetCursorPos(r.left + x, r.top + y);
}

// A shown form of the skin's form class holding the windows a test makes, skinned.
class Families : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetCursorPos(kAway.x, kAway.y);
    }
    void TearDown() override {
        ::DestroyWindow(form_.form);
        EXPECT_EQ(SkinnedWindowCount(), 0);
    }
    HWND Add(const wchar_t* className, DWORD style, int x, int y, int w, int h, DWORD exStyle = 0) {
        const HWND window = ::CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                              form_.form, nullptr, nullptr, nullptr);
        EXPECT_NE(window, nullptr) << test::Narrow(className);
        return window;
    }
    void Attach() {
        ASSERT_EQ(AttachSkin(form_.form), 1);
        PumpFor(30);
    }
    test::SkinForm form_;
};

// The drop button's top-left pixel: white when normal, the hot or pressed cell's corner.
COLORREF ButtonCorner(HWND combo) {
    return Pixel(combo, Size(combo).cx - ::GetSystemMetrics(SM_CXVSCROLL) - 2, 1);
}
COLORREF CellCorner(int state) {
    return state == 0 ? kWhite : ::GetPixel(Skin().Images.ComboSkinDC.get(), state == 1 ? 0 : 4, 0);
}

TEST_F(Families, ListStyleComboBoxesAndDriveListsAreHotAnywhereAndPressedWhileHeld) {
    const HWND boxes[] = {Add(L"ComboBox", CBS_DROPDOWNLIST, 10, 260, 150, 200),
                          Add(L"ThunderRT6ComboBox", CBS_DROPDOWNLIST, 170, 260, 150, 200),
                          Add(L"ThunderRT6DriveListBox", CBS_DROPDOWNLIST, 330, 260, 120, 200)};
    Attach();
    for (HWND box : boxes) {
        SCOPED_TRACE(GetWindowClass(box).c_str());
        Repaint(box);
        EXPECT_EQ(Pixel(box, 0, 0), kFrame);
        EXPECT_EQ(Pixel(box, 1, 1), kWhite);
        EXPECT_EQ(ButtonCorner(box), kWhite);
        CursorTo(box, 10, 5);
        ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(10, 5));  // far from the button
        EXPECT_EQ(Number(box, L"MOUSEFLAG"), 1);
        EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
        EXPECT_EQ(ButtonCorner(box), CellCorner(1));
        ::SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 5));
        EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
        EXPECT_EQ(ButtonCorner(box), CellCorner(2));
        // Released over it: hot; moved or resized: normal; released away: normal.
        ::SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
        EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
        ::SetWindowPos(box, nullptr, 0, 0, 150, 200, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(Number(box, L"OLDSTATE"), 0);
        ::SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
        EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
        // A press drops the list; while it is down the button stays pressed.
        ::SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
        ::SetCursorPos(kAway.x, kAway.y);
        ::SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
        EXPECT_EQ(Number(box, L"OLDSTATE"), 0);
        ::SendMessageW(box, WM_MOUSELEAVE, 0, 0);
        EXPECT_EQ(Number(box, L"MOUSEFLAG"), 0);
        // Disabled: framed pale at the next paint.
        ::EnableWindow(box, FALSE);
        Repaint(box);
        EXPECT_EQ(Pixel(box, 0, 0), kPale);
    }
}

TEST_F(Families, AnEditStyleComboBoxIsPaintedByTheSkinAndHotOnlyOverItsButton) {
    const HWND box = Add(L"ThunderRT6ComboBox", CBS_DROPDOWN, 10, 260, 150, 200);
    Attach();
    const SIZE size = Size(box);
    const int zoneX = size.cx - ::GetSystemMetrics(SM_CXVSCROLL);
    Repaint(box);
    EXPECT_EQ(Pixel(box, 0, 0), kFrame);
    CursorTo(box, 10, 5);
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(10, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 0) << "over the border, outside the button";
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(zoneX, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
    EXPECT_EQ(ButtonCorner(box), CellCorner(1));
    ::SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(zoneX, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(zoneX, 5));
    // A press beside the button leaves it as it was.
    ::SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, size.cy / 2));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
    ::SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(2, size.cy / 2));
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(-3, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 0) << "the signed point is outside";
}

TEST_F(Families, ADroppedListGetsItsFrameAndTheButtonShowsPressed) {
    const HWND box = Add(L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL, 10, 260, 150, 200);
    for (const wchar_t* item : {L"一", L"二", L"三"})
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    Attach();
    COMBOBOXINFO info{sizeof(info)};
    ASSERT_TRUE(::GetComboBoxInfo(box, &info));
    ::SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    PumpFor(50);
    ASSERT_NE(Number(info.hwndList, L"PROCADDR"), 0);
    Repaint(info.hwndList);
    EXPECT_EQ(Pixel(info.hwndList, 0, 0), kFrame);
    EXPECT_EQ(Pixel(info.hwndList, 1, 1), kWhite);
    Repaint(box);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
    EXPECT_EQ(ButtonCorner(box), CellCorner(2));
    ::SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
}

// The client pixel at (x, y) of a progress bar with a border of one pixel.
COLORREF BarPixel(HWND bar, int x, int y) { return Pixel(bar, 1 + x, 1 + y); }

TEST_F(Families, ProgressBarsShowTheirFillInProportionToThePosition) {
    const HWND across = Add(L"ProgressBar20WndClass", WS_BORDER, 10, 260, 202, 22);
    const HWND up = Add(L"ProgressBar20WndClass", WS_BORDER | PBS_VERTICAL | PBS_SMOOTH, 230, 200, 22, 102);
    const HWND standard = Add(PROGRESS_CLASSW, WS_BORDER, 10, 290, 202, 22);
    Attach();
    for (HWND bar : {across, up, standard}) ::SendMessageW(bar, PBM_SETRANGE32, 0, 30000);
    EXPECT_EQ(Number(standard, L"PROCADDR") != 0, true);
    for (const int position : {0, 15000, 30000}) {
        SCOPED_TRACE(position);
        for (HWND bar : {across, up}) ::SendMessageW(bar, PBM_SETPOS, position, 0);
        for (HWND bar : {across, up}) Repaint(bar);
        EXPECT_EQ(Pixel(across, 0, 0), kFrame);
        EXPECT_EQ(Pixel(up, 0, 0), kFrame);
        // Horizontal: 200 client pixels, the fill from the left.
        EXPECT_EQ(BarPixel(across, 0, 10), position == 0 ? kWhite : kFill);
        EXPECT_EQ(BarPixel(across, 99, 10), position == 0 ? kWhite : kFill);
        EXPECT_EQ(BarPixel(across, 100, 10), position == 30000 ? kFill : kWhite);
        EXPECT_EQ(BarPixel(across, 199, 10), position == 30000 ? kFill : kWhite);
        // Vertical: 100 client pixels, the fill from the bottom.
        EXPECT_EQ(BarPixel(up, 10, 99), position == 0 ? kWhite : kFill);
        EXPECT_EQ(BarPixel(up, 10, 50), position == 0 ? kWhite : kFill);
        EXPECT_EQ(BarPixel(up, 10, 49), position == 30000 ? kFill : kWhite);
    }
    // The standard class is not a skinned bar: only sunken windows get anything from the skin.
    EXPECT_NE(BarPixel(standard, 100, 10), kFill);
}

TEST_F(Families, AVerticalBarWithoutSmoothStyleShowsNoFillUntilItsClientPaint) {
    const HWND up = Add(L"ProgressBar20WndClass", WS_BORDER | PBS_VERTICAL, 230, 200, 22, 102);
    Attach();
    ::SendMessageW(up, PBM_SETRANGE32, 0, 30000);
    ::SendMessageW(up, PBM_SETPOS, 30000, 0);
    ::ValidateRect(up, nullptr);
    ::SendMessageW(up, WM_NCPAINT, 1, 0);
    EXPECT_EQ(BarPixel(up, 10, 99), kWhite);
    Repaint(up);
    EXPECT_EQ(BarPixel(up, 10, 99), kFill);
}

// The header's first pixel row inside item i: which cell of the header image it shows.
COLORREF ItemPixel(HWND header, int index) {
    RECT item{};
    ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return Pixel(header, item.left + 3, 5);
}
COLORREF HeaderCell(int state) { return ::GetPixel(Skin().Images.HeaderSkinDC.get(), state * 3 + 1, 5); }

TEST_F(Families, HeaderItemsAreHotUnderTheMouseAndPressedWhileHeld) {
    const HWND headers[] = {Add(WC_HEADERW, 0, 10, 260, 300, 22), Add(L"MSVB_Lib_Header", 0, 10, 290, 300, 22)};
    for (HWND header : headers) test::AddHeaderItems(header);
    Attach();
    for (HWND header : headers) {
        SCOPED_TRACE(GetWindowClass(header).c_str());
        Repaint(header);
        EXPECT_EQ(ItemPixel(header, 0), HeaderCell(0));
        EXPECT_EQ(Pixel(header, 280, 0), ::GetPixel(Skin().Images.HeaderSkinDC.get(), 1, 0)) << "background";
        CursorTo(header, 100, 5);
        ::SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(100, 5));
        EXPECT_EQ(Number(header, L"HMINDEX"), 1);
        EXPECT_EQ(ItemPixel(header, 1), HeaderCell(1));
        ::SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(20, 5));
        EXPECT_EQ(Number(header, L"HMINDEX"), 0);
        EXPECT_EQ(ItemPixel(header, 1), HeaderCell(0)) << "the item left behind is normal";
        EXPECT_EQ(ItemPixel(header, 0), HeaderCell(1));
        // The shared edge belongs to the item on the left.
        ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(80, 5));
        EXPECT_EQ(Number(header, L"HDINDEX"), 0);
        EXPECT_EQ(ItemPixel(header, 0), HeaderCell(2));
        ::SetCursorPos(kAway.x, kAway.y);
        ::SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(80, 5));
        EXPECT_EQ(Number(header, L"HDINDEX"), -1);
        EXPECT_EQ(ItemPixel(header, 0), HeaderCell(0)) << "released outside: normal";
        CursorTo(header, 100, 5);
        ::SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 5));
        ::SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(100, 5));
        EXPECT_EQ(ItemPixel(header, 1), HeaderCell(1)) << "released over it: hot";
        ::SendMessageW(header, WM_MOUSELEAVE, 0, 0);
        EXPECT_EQ(Number(header, L"HMINDEX"), -1);
        EXPECT_EQ(Number(header, L"MOUSEFLAG"), 0);
    }
}

TEST_F(Families, GridsWithABorderAndSunkenWindowsGetFlatFrames) {
    const HWND grid = Add(L"ApexGrid8", WS_BORDER, 10, 255, 100, 30);
    const HWND bare = Add(L"ApexGrid8", 0, 120, 255, 100, 30);
    const HWND sunken = Add(L"Edit", 0, 230, 255, 100, 24, WS_EX_CLIENTEDGE);
    const HWND flat = Add(L"Edit", WS_BORDER, 340, 255, 100, 24);
    const HWND data = Add(L"DataListWndClass", 0, 10, 290, 120, 35, WS_EX_CLIENTEDGE);
    Attach();
    for (HWND w : {grid, bare, sunken, flat, data}) Repaint(w);
    EXPECT_EQ(Pixel(grid, 0, 0), kFrame);
    EXPECT_NE(Pixel(bare, 0, 0), kFrame);
    const SIZE size = Size(sunken);
    EXPECT_EQ(Pixel(sunken, 0, 0), kFrame);
    EXPECT_EQ(Pixel(sunken, size.cx - 1, size.cy - 1), kFrame);
    EXPECT_EQ(Pixel(sunken, 1, 1), kWhite);
    EXPECT_EQ(Pixel(sunken, size.cx - 2, size.cy - 2), kWhite);
    EXPECT_NE(Pixel(flat, 0, 0), kFrame) << "no client edge, no flat border";
    // A data list keeps its own non-client drawing; its rings come after its paint.
    ::ValidateRect(data, nullptr);
    ::SendMessageW(data, WM_NCPAINT, 1, 0);
    EXPECT_NE(Pixel(data, 0, 0), kFrame);
    Repaint(data);
    EXPECT_EQ(Pixel(data, 0, 0), kFrame);
    EXPECT_EQ(Pixel(data, 1, 1), kWhite);
    ::EnableWindow(sunken, FALSE);
    Repaint(sunken);
    EXPECT_EQ(Pixel(sunken, 0, 0), kPale);
}

TEST_F(Families, ReplacedPaintsDrawIntoAContextTheCallerGivesAndBarsReachTheBottom) {
    const HWND bar = Add(L"ProgressBar20WndClass", WS_BORDER | PBS_VERTICAL, 10, 255, 22, 7);  // client 20 x 5
    Attach();
    ::SendMessageW(bar, PBM_SETRANGE32, 0, 30000);
    ::SendMessageW(bar, PBM_SETPOS, 15000, 0);
    RECT client{};
    ::GetClientRect(bar, &client);
    ASSERT_EQ(client.bottom, 5);
    const MemoryDC buffer = CreateMemoryDC(client.right, client.bottom);
    FillSolidRect(buffer.get(), 0, 0, client.right, client.bottom, 0x123456);
    ::SendMessageW(bar, WM_PAINT, reinterpret_cast<WPARAM>(buffer.get()), 0);
    EXPECT_EQ(::GetPixel(buffer.get(), 5, 0), kWhite);
    EXPECT_EQ(::GetPixel(buffer.get(), 5, 4), kFill) << "the bottom row, 2.5 rounded both ways";
    EXPECT_EQ(::GetPixel(buffer.get(), 5, 2), kFill);
}

TEST_F(Families, TheSpaceBarLeavesDropButtonsAndHeadersAtRest) {
    const HWND box = Add(L"ThunderRT6DriveListBox", CBS_DROPDOWNLIST, 10, 255, 120, 200);
    const HWND header = Add(L"MSVB_Lib_Header", 0, 140, 255, 240, 22);
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.cxy = 80;
    item.pszText = const_cast<wchar_t*>(L"名称");
    ::SendMessageW(header, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    Attach();
    for (HWND w : {box, header}) {
        ::SendMessageW(w, WM_KEYDOWN, VK_SPACE, 0x00390001);
        ::SendMessageW(w, WM_KEYUP, VK_SPACE, 0xC0390001);
    }
    ::SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(header, L"HDINDEX"), -1);
}

TEST_F(Families, AHeaderColumnWhoseTextComesFromItsParentIsPaintedWithoutText) {
    const HWND header = Add(WC_HEADERW, 0, 10, 255, 240, 22);
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.cxy = 80;
    item.pszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(header, HDM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    Attach();
    ::InvalidateRect(header, nullptr, FALSE);
    ::UpdateWindow(header);
    EXPECT_FALSE(::GetUpdateRect(header, nullptr, FALSE)) << "painted and validated";
    EXPECT_EQ(Pixel(header, 40, 2), ::GetPixel(Skin().Images.HeaderSkinDC.get(), 1, 2));
}

// The form with one control of every family as the screen shows it: build/<arch>/<name>.
void KeepPicture(HWND form, const wchar_t* name) {
    const SIZE size = Size(form);
    const MemoryDC picture = CreateMemoryDC(size.cx, size.cy);
    ASSERT_TRUE(picture);
    {
        const WindowDC dc(form, WindowDC::Whole);
        ::BitBlt(picture.get(), 0, 0, size.cx, size.cy, dc.get(), 0, 0, SRCCOPY);
    }
    EXPECT_HRESULT_SUCCEEDED(test::SavePng(picture.get(), test::LibraryPath((L"..\\" + std::wstring(name)).c_str())));
}

TEST(Gallery, EveryFamilyUnskinnedAndSkinnedIsKeptAsPictures) {
    ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        test::SkinForm f;
        PumpFor(50);
        KeepPicture(f.form, L"skin-gallery-unskinned.png");
        const COLORREF before = Pixel(f.progressBar, 0, 0);
        ASSERT_EQ(AttachSkin(f.form), 1);
        ::RedrawWindow(f.form, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpFor(50);
        KeepPicture(f.form, L"skin-gallery.png");
        EXPECT_NE(before, kFrame);
        EXPECT_EQ(Pixel(f.progressBar, 0, 0), kFrame);
        ::DestroyWindow(f.form);
    }
    ::CoUninitialize();
}

TEST(Gallery, AThousandFormsOfEveryFamilyAttachedPaintedAndDestroyedLeaveNothing) {
    const auto cycle = [] {
        test::SkinForm f;
        ASSERT_EQ(AttachSkin(f.form), 1);
        ::RedrawWindow(f.form, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::SendMessageW(f.oldHeader, WM_MOUSEMOVE, 0, MAKELPARAM(100, 5));
        ::SendMessageW(f.driveList, WM_MOUSEMOVE, 0, MAKELPARAM(10, 5));
        ::DestroyWindow(f.form);
    };
    cycle();
    const test::GuiObjects before;
    for (int i = 0; i < 1000; ++i) cycle();
    EXPECT_TRUE(before.NoneLeft(32));
    EXPECT_EQ(SkinnedWindowCount(), 0);
    EXPECT_FALSE(Skin().SkinInitialized);
}

}  // namespace
}  // namespace cartulane
