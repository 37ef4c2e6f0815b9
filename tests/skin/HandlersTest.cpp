// The skin's handlers on real windows: push buttons fading between their state images on
// real mouse, key and timer messages, painting replaced, resized and disabled; check boxes
// and option buttons drawn with the skin's glyphs; clicks still raising commands.

#include "skin/Primitives.h"
#include "skin/MSkinner.h"
#include "skin/Registry.h"
#include "skin/SkinState.h"
#include "runtime/Handles.h"
#include "runtime/Twips.h"
#include "tests/skin/SkinFixture.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace cartulane {
namespace {

using namespace skin;
using test::Number;
using test::PointerTo;
using test::PumpFor;
using test::SkinForm;

POINT Centre(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Dispatches until the button's fade timer stops (or 5 s pass): "ALPHALEVEL" after each of
// its WM_TIMER messages.
std::vector<LONG_PTR> FadeLevels(HWND button) {
    std::vector<LONG_PTR> levels;
    const DWORD end = ::GetTickCount() + 5000;
    MSG msg;
    while (Number(button, L"TIMERID") != 0 && static_cast<int>(end - ::GetTickCount()) > 0) {
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        if (msg.hwnd == button && msg.message == WM_TIMER) levels.push_back(Number(button, L"ALPHALEVEL"));
    }
    return levels;
}

std::vector<LONG_PTR> Steps(LONG_PTR from) {
    std::vector<LONG_PTR> levels;
    for (LONG_PTR level = from + 3; level <= 255; level += 3) levels.push_back(level);
    levels.push_back(0);
    return levels;
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    const WindowDC dc(window, WindowDC::Whole);
    return ::GetPixel(dc.get(), x, y);
}

// What the state image n shows at (x, y).
COLORREF ImagePixel(HWND button, int n, int x, int y) {
    return ::GetPixel(reinterpret_cast<HDC>(Number(button, (L"HDC" + std::to_wstring(n)).c_str())), x, y);
}

// Below the test form.
constexpr POINT kAway{5, 700};

// Dispatches until the button's "MOUSEFLAG" is down (the leave is noticed on a timer), or 3 s.
void AwaitLeave(HWND window) {
    for (int i = 0; i < 150 && Number(window, L"MOUSEFLAG") != 0; ++i) PumpFor(20);
}

class Handlers : public ::testing::Test {
protected:
    void SetUp() override {
        ::SetCursorPos(kAway.x, kAway.y);
        ASSERT_EQ(AttachSkin(f.form), 1);
        PumpFor(30);
    }
    void TearDown() override {
        ::DestroyWindow(f.form);
        EXPECT_EQ(SkinnedWindowCount(), 0);
    }
    SkinForm f;
};

TEST_F(Handlers, TheMouseFadesAButtonToHotAndBackToNormalTickByTick) {
    PointerTo(Centre(f.push));
    PumpFor(60);
    EXPECT_EQ(Number(f.push, L"MOUSEFLAG"), 1);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 1);
    EXPECT_EQ(Number(f.push, L"TIMERID"), static_cast<LONG_PTR>(SkinTimerId()));
    // The fade to the hot image runs to its end: 86 blends (levels 0, 3, ..., 255).
    std::vector<LONG_PTR> levels = FadeLevels(f.push);
    ASSERT_FALSE(levels.empty());
    const std::vector<LONG_PTR> all = Steps(0);
    const std::vector<LONG_PTR> tail(all.end() - static_cast<std::ptrdiff_t>(levels.size()), all.end());
    EXPECT_EQ(levels, tail) << "some steps may have passed before the first read";
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 0);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 1, 45, 3));

    // Out: the hot image once at 140, then a fade to normal from 0.
    PointerTo(kAway);
    AwaitLeave(f.push);
    EXPECT_EQ(Number(f.push, L"MOUSEFLAG"), 0);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
    FadeLevels(f.push);
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 0, 45, 3));
}

TEST_F(Handlers, AFadeStepsByThreeFromWhereItStartsAndStopsPast255) {
    const POINT inside = Centre(f.push);
    ::SetCursorPos(inside.x, inside.y);
    ::SendMessageW(f.push, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 2);
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 0);
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 2, 45, 3)) << "pressed at once";
    ::SendMessageW(f.push, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 60);
    EXPECT_EQ(Number(f.push, L"MOUSEFLAG"), 0);
    // Each tick, whatever its id, is one step: 66 draws from 60.
    std::vector<LONG_PTR> levels;
    for (int i = 0; i < 66; ++i) {
        ::SendMessageW(f.push, WM_TIMER, SkinTimerId(), 0);
        levels.push_back(Number(f.push, L"ALPHALEVEL"));
    }
    EXPECT_EQ(levels, Steps(60));
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 0, 45, 3));
}

TEST_F(Handlers, APaintDuringAFadeShowsTheTargetAtFullStrength) {
    ::SendMessageW(f.push, WM_MOUSELEAVE, 0, 0);  // hot at 140, then a fade to normal
    EXPECT_EQ(Number(f.push, L"TIMERID"), static_cast<LONG_PTR>(SkinTimerId()));
    ::InvalidateRect(f.push, nullptr, FALSE);
    ::UpdateWindow(f.push);
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 255);
    for (const POINT p : {POINT{0, 5}, POINT{45, 3}, POINT{45, 13}, POINT{88, 24}})
        EXPECT_EQ(ScreenPixel(f.push, p.x, p.y), ImagePixel(f.push, 0, p.x, p.y)) << p.x << "," << p.y;
    // The frame of the normal image is the skin's, not the system's button face.
    EXPECT_NE(ScreenPixel(f.push, 45, 0), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(Handlers, DisabledButtonsShowImage3InEveryPaint) {
    ::UpdateWindow(f.disabledPush);
    EXPECT_EQ(ScreenPixel(f.disabledPush, 45, 13), ImagePixel(f.disabledPush, 3, 45, 13));
    ::EnableWindow(f.push, FALSE);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 3);
    ::InvalidateRect(f.push, nullptr, FALSE);
    ::UpdateWindow(f.push);
    EXPECT_EQ(ScreenPixel(f.push, 45, 13), ImagePixel(f.push, 3, 45, 13));
    ::EnableWindow(f.push, TRUE);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
}

TEST_F(Handlers, TheSpaceBarPressesAndReleasesOtherKeysChangeNothing) {
    ::SetFocus(f.push);
    PumpFor(20);
    FadeLevels(f.push);  // the focus change's fade
    ::SendMessageW(f.push, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    auto& seen = SkinForm::Messages();
    seen.clear();
    ::SendMessageW(f.push, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 2);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 2, 45, 3));
    ::SendMessageW(f.push, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 0);
    EXPECT_EQ(Number(f.push, L"TIMERID"), static_cast<LONG_PTR>(SkinTimerId()));
    // The button still did its own work: the space bar clicked it.
    int clicks = 0;
    for (const test::Seen& m : seen)
        if (m.message == WM_COMMAND && LOWORD(m.wParam) == 101 && HIWORD(m.wParam) == BN_CLICKED) ++clicks;
    EXPECT_EQ(clicks, 1);
}

TEST_F(Handlers, AClickOnASkinnedButtonStillRaisesItsCommand) {
    auto& seen = SkinForm::Messages();
    seen.clear();
    const POINT inside = Centre(f.push);
    PointerTo(inside);
    INPUT input[2]{};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, input, sizeof(INPUT));
    PumpFor(150);
    int clicks = 0;
    for (const test::Seen& m : seen)
        if (m.message == WM_COMMAND && LOWORD(m.wParam) == 101 && HIWORD(m.wParam) == BN_CLICKED) ++clicks;
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    PointerTo(kAway);
    AwaitLeave(f.push);
}

TEST_F(Handlers, DraggingOutWithTheButtonHeldShowsTheImageAtFullStrength) {
    ::SetCursorPos(Centre(f.push).x, Centre(f.push).y);
    ::SendMessageW(f.push, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.push, L"TIMERID"), static_cast<LONG_PTR>(SkinTimerId()));
    ::SetCursorPos(kAway.x, kAway.y);
    ::SendMessageW(f.push, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-300, 600));
    EXPECT_EQ(Number(f.push, L"TIMERID"), 0);
    EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 255);
    EXPECT_EQ(ScreenPixel(f.push, 45, 3), ImagePixel(f.push, 1, 45, 3));
}

TEST_F(Handlers, AResizedButtonGetsNewImagesAndRegionAndFreesTheOldOnes) {
    const LONG_PTR oldBitmap = Number(f.push, L"BMP0");
    ::SetWindowPos(f.push, nullptr, 0, 0, 140, 40, SWP_NOMOVE | SWP_NOZORDER);
    for (int n = 0; n < 4; ++n) {
        const auto bitmap = reinterpret_cast<HGDIOBJ>(Number(f.push, (L"BMP" + std::to_wstring(n)).c_str()));
        EXPECT_EQ(::GetCurrentObject(reinterpret_cast<HDC>(Number(f.push, (L"HDC" + std::to_wstring(n)).c_str())),
                                     OBJ_BITMAP),
                  bitmap);
        BITMAP info{};
        ASSERT_TRUE(::GetObjectW(bitmap, sizeof(info), &info));
        EXPECT_EQ(info.bmWidth, 140);
        EXPECT_EQ(info.bmHeight, 40);
    }
    BITMAP gone{};
    EXPECT_EQ(::GetObjectW(reinterpret_cast<HGDIOBJ>(oldBitmap), sizeof(gone), &gone), 0) << "old bitmap deleted";
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(f.push, region), ERROR);
    RECT box{};
    ::GetRgnBox(region, &box);
    EXPECT_EQ(box.right, 140);
    EXPECT_EQ(box.bottom, 40);
    ::DeleteObject(region);
}

TEST_F(Handlers, ADialogMakingTheButtonItsDefaultKeepsItSkinnedAndRestoredAsDefault) {
    ::SendMessageW(f.push, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(Number(f.push, L"OLDSTYLE") & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    // A "button" check box takes its own style changes.
    ::SendMessageW(f.checkButton, BM_SETSTYLE, BS_AUTO3STATE, TRUE);
    EXPECT_EQ(::GetWindowLongPtrW(f.checkButton, GWL_STYLE) & BS_TYPEMASK, BS_AUTO3STATE);
    UnsubclassWindow(f.push);
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(Handlers, ADoubleClickIsTwoClicks) {
    auto& seen = SkinForm::Messages();
    seen.clear();
    for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        ::SendMessageW(f.push, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(5, 5));
    int clicks = 0;
    for (const test::Seen& m : seen)
        if (m.message == WM_COMMAND && LOWORD(m.wParam) == 101) clicks += HIWORD(m.wParam) == BN_CLICKED ? 1 : 100;
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
}

TEST_F(Handlers, SkinnedPushButtonsStillTellTheDialogManagerTheyArePushButtons) {
    EXPECT_EQ(::SendMessageW(f.push, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON),
              DLGC_UNDEFPUSHBUTTON);
    EXPECT_EQ(::SendMessageW(f.disabledPush, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON),
              DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(::SendMessageW(f.checkButton, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON), 0);
}

TEST_F(Handlers, ButtonsOfOtherStylesKeepTheirOwnDrawing) {
    // An automatic radio button of the "button" class is not turned into a push button.
    const HWND radio = ::CreateWindowExW(0, L"Button", L"Radio", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 320, 10,
                                         100, 22, f.form, nullptr, nullptr, nullptr);
    ASSERT_EQ(SubclassWindow(radio), 1);
    EXPECT_EQ(::GetWindowLongPtrW(radio, GWL_STYLE) & BS_TYPEMASK, BS_AUTORADIOBUTTON);
    ::SendMessageW(radio, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(radio, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(::SendMessageW(radio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::GetWindowLongPtrW(f.checkButton, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    ::SendMessageW(f.checkButton, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(f.checkButton, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(::SendMessageW(f.checkButton, BM_GETCHECK, 0, 0), BST_CHECKED);
}

// ---- check boxes and option buttons ----

int BoxTop(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return RoundHalfEven((r.bottom - r.top - ::GetSystemMetrics(SM_CYMENUCHECK)) / 2.0);
}

TEST_F(Handlers, CheckBoxesFollowTheMouseInTheSkinsLooks) {
    const HWND box = f.thunderCheck;
    const int y0 = BoxTop(box);
    ::InvalidateRect(box, nullptr, TRUE);
    ::UpdateWindow(box);
    EXPECT_EQ(ScreenPixel(box, 0, y0), 0xD5A554u) << "the skin's frame after the control's own paint";
    EXPECT_EQ(ScreenPixel(box, 1, y0 + 1), 0xFFFFFFu);
    ::SetCursorPos(Centre(box).x, Centre(box).y);
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(box, L"MOUSEFLAG"), 1);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
    EXPECT_EQ(ScreenPixel(box, 1, y0 + 1), ::GetPixel(Skin().Images.OptionSkinDC.get(), 1, 17));
    ::SendMessageW(box, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
    EXPECT_EQ(ScreenPixel(box, 0, y0), 0xC48639u);
    ::SendMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 0);
    EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(ScreenPixel(box, 0, y0), 0xD5A554u);
    ::SendMessageW(box, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Number(box, L"MOUSEFLAG"), 0);
    // Focus changes leave a check box's look alone; keys other than space too.
    ::SendMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
    ::SendMessageW(box, WM_SETFOCUS, 0, 0);
    ::SendMessageW(box, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 1);
    ::SendMessageW(box, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 2);
    ::SendMessageW(box, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Number(box, L"OLDSTATE"), 0);
}

TEST_F(Handlers, OptionButtonsRepaintOnFocusAndTheGroupOnEveryRelease) {
    const int y0 = BoxTop(f.thunderOption);
    ::SetCursorPos(Centre(f.thunderOption).x, Centre(f.thunderOption).y);
    ::SendMessageW(f.thunderOption, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.thunderOption, L"OLDSTATE"), 1);
    ::SendMessageW(f.thunderOption, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(Number(f.thunderOption, L"OLDSTATE"), 0) << "an option button repaints normal on focus";

    // The hot look on the second option and the check box; a release on the push button
    // repaints every box under the same parent in the normal look.
    ::SendMessageW(f.thunderOption2, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ::SendMessageW(f.thunderCheck, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.thunderOption2, L"OLDSTATE"), 1);
    ::SendMessageW(f.push, WM_LBUTTONUP, 0, MAKELPARAM(-50, -50));
    EXPECT_EQ(Number(f.thunderOption2, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(f.thunderCheck, L"OLDSTATE"), 0);

    // Clicking the second option unchecks the first, which shows it at once.
    ::SendMessageW(f.thunderOption, BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(f.thunderOption2, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(f.thunderOption2, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(::SendMessageW(f.thunderOption2, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(f.thunderOption, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    const int cw = ::GetSystemMetrics(SM_CXMENUCHECK), ch = ::GetSystemMetrics(SM_CYMENUCHECK);
    const int cx = RoundHalfEven((cw - 5) / 2.0) + 2, cy = y0 + RoundHalfEven((ch - 5) / 2.0) + 2;
    const COLORREF dot = ::GetPixel(Skin().Images.GlyphSkinDC.get(), 4, 20);
    EXPECT_EQ(ScreenPixel(f.thunderOption2, cx, cy), dot);
    EXPECT_NE(ScreenPixel(f.thunderOption, cx, cy), dot);
}

TEST_F(Handlers, AReleaseOnAWindowWithoutParentRepaintsItsOwnDescendants) {
    ::SendMessageW(f.thunderCheck, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Number(f.thunderCheck, L"OLDSTATE"), 1);
    ::SendMessageW(f.form, WM_LBUTTONUP, 0, MAKELPARAM(400, 300));
    EXPECT_EQ(Number(f.thunderCheck, L"OLDSTATE"), 0);
}

}  // namespace
}  // namespace cartulane
