// Attaching the skin to a form and everything in it, and detaching it when windows go: the
// order, the properties of each family, the style and region of push buttons, the count of
// skinned windows and the images' lifetime; the routing of messages through the skin's
// window procedure; late attach of message boxes and drop-down lists.

#include "runtime/ComObject.h"
#include "runtime/ComServer.h"
#include "runtime/Window.h"
#include "skin/MSkinner.h"
#include "skin/Properties.h"
#include "skin/Registry.h"
#include "skin/SkinState.h"
#include "skin/WindowProc.h"
#include "tests/skin/SkinFixture.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace cartulane {
namespace {

using namespace skin;
using test::Number;
using test::SkinForm;
using test::SkinProperties;

using Names = std::set<std::wstring>;
const Names kPushNames{L"PROCADDR", L"OLDSTYLE", L"MOUSEFLAG", L"TIMERID", L"OLDSTATE", L"ALPHALEVEL",
                       L"HDC0",     L"HDC1",     L"HDC2",      L"HDC3",    L"BMP0",     L"BMP1",
                       L"BMP2",     L"BMP3"};
const Names kBoxNames{L"PROCADDR", L"MOUSEFLAG", L"OLDSTATE"};
const Names kHeaderNames{L"PROCADDR", L"MOUSEFLAG", L"HDINDEX", L"HMINDEX"};
const Names kPlainNames{L"PROCADDR"};

// The order in which windows are attached: attach sends each one WM_NCPAINT with wParam 1
// right after it is subclassed, so the first such message that finds the window skinned
// tells when.
class AttachOrder {
public:
    AttachOrder() { hook_ = ::SetWindowsHookExW(WH_CALLWNDPROC, &Hook, nullptr, ::GetCurrentThreadId()); }
    ~AttachOrder() { ::UnhookWindowsHookEx(hook_); }
    static std::vector<HWND>& Order() {
        static std::vector<HWND> order;
        return order;
    }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && message->message == WM_NCPAINT && message->wParam == 1 &&
            ::GetWindowLongPtrW(message->hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&SkinWindowProc) &&
            std::find(Order().begin(), Order().end(), message->hwnd) == Order().end())
            Order().push_back(message->hwnd);
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

std::vector<HWND> Descendants(HWND parent) { return test::DescendantWindows(parent); }

class Attach : public ::testing::Test {
protected:
    void TearDown() override {
        // Every test leaves the thread with nothing skinned and no images.
        EXPECT_EQ(SkinnedWindowCount(), 0);
        EXPECT_FALSE(Skin().SkinInitialized);
    }
};

TEST_F(Attach, AFormAndEveryDescendantAreAttachedOnceTheFormLast) {
    SkinForm f;
    const long locksBefore = com::ModuleLocks();
    AttachOrder::Order().clear();
    std::vector<HWND> order;
    {
        AttachOrder spy;
        EXPECT_EQ(AttachSkin(f.form), 1);
        order = AttachOrder::Order();
    }
    const std::vector<HWND> descendants = Descendants(f.form);
    ASSERT_EQ(order.size(), descendants.size() + 1);
    EXPECT_EQ(order.back(), f.form);
    EXPECT_EQ(std::set<HWND>(order.begin(), order.end() - 1), std::set<HWND>(descendants.begin(), descendants.end()));
    EXPECT_EQ(std::set<HWND>(order.begin(), order.end()).size(), order.size()) << "each window once";
    for (HWND w : f.All()) EXPECT_NE(std::find(order.begin(), order.end(), w), order.end());
    EXPECT_EQ(SkinnedWindowCount(), static_cast<int>(order.size()));
    EXPECT_EQ(com::ModuleLocks(), locksBefore + static_cast<long>(order.size()));

    // Twice: nothing more happens.
    EXPECT_EQ(AttachSkin(f.form), 0);
    EXPECT_EQ(AttachSkin(f.push), 0);
    EXPECT_EQ(AttachSkin(nullptr), 0);
    EXPECT_EQ(SkinnedWindowCount(), static_cast<int>(order.size()));

    ::DestroyWindow(f.form);
    EXPECT_EQ(SkinnedWindowCount(), 0);
    EXPECT_EQ(com::ModuleLocks(), locksBefore);
}

TEST_F(Attach, EachFamilyCarriesItsPropertiesWithTheirFirstValuesAndLosesThemAll) {
    SkinForm f;
    const LONG_PTR pushStyle = ::GetWindowLongPtrW(f.push, GWL_STYLE);
    const LONG_PTR checkStyle = ::GetWindowLongPtrW(f.checkButton, GWL_STYLE);
    const auto ownProc = ::GetWindowLongPtrW(f.push, GWLP_WNDPROC);
    ASSERT_EQ(AttachSkin(f.form), 1);

    const std::map<HWND, Names> expected{
        {f.push, kPushNames},          {f.disabledPush, kPushNames}, {f.checkButton, kPushNames},
        {f.nestedPush, kPushNames},    {f.thunderCheck, kBoxNames},  {f.thunderOption, kBoxNames},
        {f.header, kHeaderNames},      {f.progress, kPlainNames},    {f.edit, kPlainNames},
        {f.frame, kPlainNames},        {f.deepLabel, kPlainNames},   {f.combo, kBoxNames},
        {f.form, kPlainNames}};
    for (const auto& [window, names] : expected) EXPECT_EQ(SkinProperties(window), names) << window;

    EXPECT_EQ(reinterpret_cast<LONG_PTR>(reinterpret_cast<void*>(&SkinWindowProc)),
              ::GetWindowLongPtrW(f.push, GWLP_WNDPROC));
    EXPECT_EQ(Number(f.push, L"PROCADDR"), ownProc);
    EXPECT_EQ(Number(f.push, L"OLDSTYLE"), pushStyle);
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(Number(f.push, L"OLDSTATE"), 0);
    EXPECT_EQ(Number(f.disabledPush, L"OLDSTATE"), 3);
    EXPECT_EQ(Number(f.header, L"HDINDEX"), -1);
    EXPECT_EQ(Number(f.header, L"HMINDEX"), -1);
    // A check box of the "button" class keeps its style, but has the images and the region.
    EXPECT_EQ(::GetWindowLongPtrW(f.checkButton, GWL_STYLE), checkStyle);
    for (HWND button : {f.push, f.checkButton}) {
        const auto dc = reinterpret_cast<HDC>(Number(button, L"HDC2"));
        EXPECT_EQ(::GetCurrentObject(dc, OBJ_BITMAP), reinterpret_cast<HGDIOBJ>(Number(button, L"BMP2")));
        BITMAP bitmap{};
        ::GetObjectW(reinterpret_cast<HGDIOBJ>(Number(button, L"BMP2")), sizeof(bitmap), &bitmap);
        RECT r{};
        ::GetWindowRect(button, &r);
        EXPECT_EQ(bitmap.bmWidth, r.right - r.left);
        EXPECT_EQ(bitmap.bmHeight, r.bottom - r.top);
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        EXPECT_NE(::GetWindowRgn(button, region), ERROR);
        RECT box{};
        ::GetRgnBox(region, &box);
        EXPECT_EQ(box.right, r.right - r.left);  // the rounded corners cut one pixel off
        EXPECT_FALSE(::PtInRegion(region, 0, 0));
        EXPECT_TRUE(::PtInRegion(region, 3, 3));
        ::DeleteObject(region);
    }

    // The form goes: everything in it is detached before any of it is destroyed.
    ::DestroyWindow(f.form);
    for (const auto& [window, names] : expected) EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(SkinnedWindowCount(), 0);
    EXPECT_FALSE(Skin().Images.ButtonSkinDC);
}

TEST_F(Attach, DetachRestoresTheButtonsStyleRegionAndProcedureAndRemovesEveryProperty) {
    SkinForm f;
    const LONG_PTR pushStyle = ::GetWindowLongPtrW(f.push, GWL_STYLE);
    const LONG_PTR ownProc = ::GetWindowLongPtrW(f.push, GWLP_WNDPROC);
    ASSERT_EQ(AttachSkin(f.form), 1);
    ::SendMessageW(f.push, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // a fade running
    EXPECT_NE(Number(f.push, L"TIMERID"), 0);
    const int before = SkinnedWindowCount();

    EXPECT_EQ(UnsubclassWindow(f.push), 1);
    EXPECT_EQ(UnsubclassWindow(f.push), 0);
    EXPECT_EQ(UnsubclassWindow(nullptr), 0);
    EXPECT_EQ(SkinnedWindowCount(), before - 1);
    EXPECT_TRUE(SkinProperties(f.push).empty());
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWL_STYLE), pushStyle);
    EXPECT_EQ(::GetWindowLongPtrW(f.push, GWLP_WNDPROC), ownProc);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(f.push, region), ERROR);
    ::DeleteObject(region);
    // The fade timer went with it: no WM_TIMER comes for the button any more.
    ::Sleep(40);
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, f.push, WM_TIMER, WM_TIMER, PM_REMOVE));

    // A button disabled while skinned stays disabled when the skin goes.
    ::EnableWindow(f.nestedPush, FALSE);
    EXPECT_EQ(UnsubclassWindow(f.nestedPush), 1);
    EXPECT_FALSE(::IsWindowEnabled(f.nestedPush));
    EXPECT_EQ(::GetWindowLongPtrW(f.nestedPush, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);

    // Detaching the form detaches what is left inside it; the images go with the last one.
    EXPECT_EQ(UnsubclassWindow(f.form), 1);
    EXPECT_EQ(SkinnedWindowCount(), 0);
    EXPECT_FALSE(Skin().SkinInitialized);
    for (HWND w : f.All()) EXPECT_TRUE(SkinProperties(w).empty()) << w;
}

TEST_F(Attach, TheImagesAreBuiltAtTheFirstAttachFreedWithTheLastWindowAndBuiltAgain) {
    for (int round = 0; round < 2; ++round) {
        SkinForm f;
        EXPECT_FALSE(Skin().SkinInitialized);
        ASSERT_EQ(AttachSkin(f.form), 1);
        EXPECT_TRUE(Skin().SkinInitialized);
        EXPECT_TRUE(Skin().Images.ButtonSkinDC);
        EXPECT_TRUE(Skin().Images.HeaderSkinDC);
        EXPECT_TRUE(Skin().HasUser32TrackMouseEvent);
        ::DestroyWindow(f.form);
        EXPECT_FALSE(Skin().Images.ButtonSkinDC);
    }
    // An attach that attaches nothing keeps no images.
    EXPECT_EQ(AttachSkin(nullptr), 0);
}

TEST_F(Attach, NoGdiObjectIsLeftAfterManyFormsAttachedAndDestroyed) {
    {
        SkinForm warm;
        AttachSkin(warm.form);
    }
    const test::GuiObjects before;
    for (int i = 0; i < 100; ++i) {
        SkinForm f;
        ASSERT_EQ(AttachSkin(f.form), 1);
        ::SetWindowPos(f.push, nullptr, 0, 0, 100 + i % 7, 30, SWP_NOMOVE | SWP_NOZORDER);  // images rebuilt
        ::DestroyWindow(f.form);
    }
    EXPECT_TRUE(before.NoneLeft(32));
}

TEST_F(Attach, IsProcExportedLooksInLoadedAndSystemModules) {
    EXPECT_TRUE(IsProcExported("TrackMouseEvent", L"user32.dll"));
    EXPECT_FALSE(IsProcExported("NoSuchExport", L"user32.dll"));
    EXPECT_TRUE(IsProcExported("_TrackMouseEvent", L"comctl32.dll"));
    EXPECT_FALSE(IsProcExported("TrackMouseEvent", L"no-such-module.dll"));
    const bool wasLoaded = ::GetModuleHandleW(L"msacm32.dll") != nullptr;
    EXPECT_TRUE(IsProcExported("acmGetVersion", L"msacm32.dll"));
    EXPECT_EQ(::GetModuleHandleW(L"msacm32.dll") != nullptr, wasLoaded) << "a module loaded to ask is freed";
}

TEST_F(Attach, ClassFamiliesAreToldApartByTheLowerCasedName) {
    EXPECT_EQ(WindowFamily(nullptr), Family::Other);
    EXPECT_EQ(FamilyOf(L"#32770"), Family::Form);
    EXPECT_EQ(FamilyOf(L"form"), Family::Form);
    EXPECT_EQ(FamilyOf(L"button"), Family::PushButton);
    EXPECT_EQ(FamilyOf(L"thunderrt6checkbox"), Family::CheckBox);
    EXPECT_EQ(FamilyOf(L"thunderoptionbutton"), Family::OptionButton);
    EXPECT_EQ(FamilyOf(L"combo"), Family::ComboBox);
    EXPECT_EQ(FamilyOf(L"thunderdrivelistbox"), Family::DriveList);
    EXPECT_EQ(FamilyOf(L"combolbox"), Family::DropDownList);
    EXPECT_EQ(FamilyOf(L"dblistwndclass"), Family::DataList);
    EXPECT_EQ(FamilyOf(L"progressbar20wndclass"), Family::ProgressBar);
    EXPECT_EQ(FamilyOf(L"sysheader32"), Family::Header);
    EXPECT_EQ(FamilyOf(L"apexgrid8"), Family::Grid);
    EXPECT_EQ(FamilyOf(L"apexgri"), Family::Other);
    EXPECT_EQ(FamilyOf(L"Button"), Family::Other);  // callers lower-case first
    SkinForm f;
    EXPECT_EQ(WindowFamily(f.thunderCheck), Family::CheckBox);
    EXPECT_EQ(WindowFamily(f.form), Family::Form);
    EXPECT_EQ(GetWindowClass(f.header), L"SysHeader32");
}

// ---- routing ----

TEST_F(Attach, MessagesOutsideTheTableReachTheOwnProcedureUnchanged) {
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    auto& seen = SkinForm::Messages();
    seen.clear();
    EXPECT_EQ(::SendMessageW(f.form, WM_USER + 5, 77, 88), 1234);
    ::SendMessageW(f.form, 0x0009, 5, 6);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, UINT{WM_USER + 5});
    EXPECT_EQ(seen[0].wParam, WPARAM{77});
    EXPECT_EQ(seen[0].lParam, LPARAM{88});
    EXPECT_EQ(seen[1].message, UINT{0x0009});
    EXPECT_EQ(SkinWindowProc(nullptr, WM_USER + 5, 0, 0), 0);
    ::DestroyWindow(f.form);
    // A window that is not skinned gets the default handling, not its own procedure's.
    SkinForm plain;
    EXPECT_EQ(SkinWindowProc(plain.form, WM_USER + 5, 0, 0), 0);
}

// What the form's own procedure finds when WM_DESTROY reaches it.
struct AtDestroy {
    LONG_PTR proc = 0;
    Names names;
    int count = -1;
} found;
WNDPROC own = nullptr;

LRESULT CALLBACK Recorder(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        found.proc = ::GetWindowLongPtrW(hwnd, GWLP_WNDPROC);
        found.names = SkinProperties(hwnd);
        found.count = SkinnedWindowCount();
    }
    return ::CallWindowProcW(own, hwnd, message, wParam, lParam);
}

TEST_F(Attach, DestroyDetachesBeforeTheOwnProcedureSeesIt) {
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    found = AtDestroy{};
    own = reinterpret_cast<WNDPROC>(Number(f.form, L"PROCADDR"));
    // Put a recorder in front of the own procedure, under the skin.
    ::SetPropW(f.form, L"PROCADDR", reinterpret_cast<HANDLE>(&Recorder));
    ::DestroyWindow(f.form);
    EXPECT_EQ(found.proc, reinterpret_cast<LONG_PTR>(&Recorder));
    EXPECT_TRUE(found.names.empty());
    EXPECT_EQ(found.count, 0);
}

TEST_F(Attach, AListToBeColouredIsAttachedOnce) {
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    const HWND list = ::CreateWindowExW(0, L"ListBox", L"", WS_POPUP, 0, 0, 50, 50, f.form, nullptr, nullptr, nullptr);
    const int count = SkinnedWindowCount();
    const HDC dc = ::GetDC(list);
    ::SendMessageW(f.form, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(Number(list, L"PROCADDR") != 0, true);
    EXPECT_EQ(SkinnedWindowCount(), count + 1);
    const LONG_PTR previous = Number(list, L"PROCADDR");
    ::SendMessageW(f.form, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(list));
    ::SendMessageW(f.form, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(SkinnedWindowCount(), count + 1);
    EXPECT_EQ(Number(list, L"PROCADDR"), previous);
    ::ReleaseDC(list, dc);
    ::DestroyWindow(list);
    EXPECT_EQ(SkinnedWindowCount(), count);

    // The real drop-down list of the combo box, when it opens.
    ::SendMessageW(f.combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"one"));
    COMBOBOXINFO info{sizeof(info)};
    ASSERT_TRUE(::GetComboBoxInfo(f.combo, &info));
    ::SendMessageW(f.combo, CB_SHOWDROPDOWN, TRUE, 0);
    test::PumpFor(50);
    ::SendMessageW(f.combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_NE(Number(info.hwndList, L"PROCADDR"), 0);
    EXPECT_EQ(WindowFamily(info.hwndList), Family::DropDownList);
    ::DestroyWindow(f.form);
}

TEST_F(Attach, OnlyAWindowTakingTheActivationFromASkinnedOneIsAttached) {
    SkinForm skinned;
    SkinForm other;
    ASSERT_EQ(AttachSkin(skinned.form), 1);
    const int count = SkinnedWindowCount();
    // The skinned form becomes active: what was active before is none of its business.
    ::SendMessageW(skinned.form, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(other.form));
    ::SendMessageW(skinned.form, WM_ACTIVATE, WA_CLICKACTIVE, reinterpret_cast<LPARAM>(other.form));
    EXPECT_EQ(Number(other.form, L"PROCADDR"), 0);
    EXPECT_EQ(SkinnedWindowCount(), count);
    // It hands the activation over to a form: that one is skinned with all inside it.
    ::SendMessageW(skinned.form, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(other.form));
    EXPECT_NE(Number(other.form, L"PROCADDR"), 0);
    EXPECT_NE(Number(other.push, L"PROCADDR"), 0);
    EXPECT_EQ(SkinnedWindowCount(), 2 * count);
    ::DestroyWindow(other.form);
    ::DestroyWindow(skinned.form);
}

// Tab from No (the default) to Yes, then Enter, as a user does; each key is taken from the
// queue by the box's own loop.
void CALLBACK TabToYes(HWND box, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(box, id);
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    ::PostMessageW(::GetFocus(), WM_KEYUP, VK_TAB, 0xC00F0001);
}

void CALLBACK EnterOnFocus(HWND box, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(box, id);
    if (::GetFocus() != ::GetDlgItem(box, IDYES)) {
        ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);  // the Tab went elsewhere
        return;
    }
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageW(::GetFocus(), WM_KEYUP, VK_RETURN, 0xC01C0001);
}

TEST_F(Attach, EnterInASkinnedMessageBoxPressesTheFocusedButton) {
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    ::SetForegroundWindow(f.form);
    ::SetActiveWindow(f.form);
    test::DialogWatcher watcher([](HWND dialog) {
        ::SetTimer(dialog, 78, 100, &TabToYes);
        ::SetTimer(dialog, 79, 300, &EnterOnFocus);
    });
    const OwnDialogs own;
    EXPECT_EQ(::MessageBoxW(f.form, L"是否仍要注册？", L"提示", MB_YESNO | MB_DEFBUTTON2), IDYES);
    ::DestroyWindow(f.form);
}

// What a message box shows of the skin a moment after it came up; then it is answered.
struct BoxFound {
    bool box = false;
    int buttons = 0, ownerDrawn = 0;
    int count = 0;
} boxFound;

void CALLBACK ReadBoxAndAnswer(HWND box, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(box, id);
    boxFound.box = Number(box, L"PROCADDR") != 0;
    boxFound.count = SkinnedWindowCount();
    for (HWND child : Descendants(box)) {
        if (SkinProperties(child).count(L"PROCADDR") && GetWindowClass(child) == L"Button") {
            ++boxFound.buttons;
            if ((::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW) ++boxFound.ownerDrawn;
        }
    }
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// Our own message box over a skinned form wears the skin; one that other code shows over it
// (the application's question, a macro's box) is left as it is.
TEST_F(Attach, OurMessageBoxShownFromASkinnedFormIsSkinnedAndAnotherCodesIsNot) {
    SkinForm f;
    ASSERT_EQ(AttachSkin(f.form), 1);
    ::SetForegroundWindow(f.form);
    ::SetActiveWindow(f.form);
    const int formCount = SkinnedWindowCount();
    boxFound = BoxFound{};
    test::DialogWatcher watcher([](HWND dialog) { ::SetTimer(dialog, 77, 100, &ReadBoxAndAnswer); });
    {
        const OwnDialogs own;
        EXPECT_EQ(::MessageBoxW(f.form, L"消息", L"Instaldo", MB_OK), IDOK);
    }
    EXPECT_TRUE(boxFound.box);
    EXPECT_EQ(boxFound.buttons, 1);
    EXPECT_EQ(boxFound.ownerDrawn, 1);
    EXPECT_GT(boxFound.count, formCount + 1);
    EXPECT_EQ(SkinnedWindowCount(), formCount) << "the box's windows were detached as they went";

    boxFound = BoxFound{};
    EXPECT_EQ(::MessageBoxW(f.form, L"Want to save your changes?", L"sheethost", MB_OK), IDOK);
    EXPECT_FALSE(boxFound.box);
    EXPECT_EQ(boxFound.buttons, 0);
    EXPECT_EQ(boxFound.count, formCount);
    ::DestroyWindow(f.form);
}

// A procedure put in front of the skin's after it: detaching leaves it in place (the skin's
// passes messages on until the window goes, and then lets go of the library).
WNDPROC g_skinProcBehind = nullptr;
int g_seenInFront = 0;
LRESULT CALLBACK InFront(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++g_seenInFront;
    return ::CallWindowProcW(g_skinProcBehind, window, message, wParam, lParam);
}

TEST_F(Attach, DetachingBehindAnotherProcedureKeepsItInTheChainAndATimerOfTheWindowsOwnIsNotAFadeStep) {
    const long locks = com::ModuleLocks();
    {
        SkinForm f;
        ASSERT_EQ(AttachSkin(f.form), 1);
        // Another timer of the button's: not a step of the skin's fade.
        SetNumber(f.push, L"ALPHALEVEL", 30);
        ::SendMessageW(f.push, WM_TIMER, 1, 0);
        EXPECT_EQ(Number(f.push, L"ALPHALEVEL"), 30);

        g_seenInFront = 0;
        g_skinProcBehind = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(f.push, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InFront)));
        EXPECT_EQ(UnsubclassWindow(f.form), 1);
        EXPECT_EQ(::GetWindowLongPtrW(f.push, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&InFront));
        EXPECT_EQ(SkinnedWindowCount(), 0);
        ::SendMessageW(f.push, WM_APP, 0, 0);
        EXPECT_EQ(g_seenInFront, 1);
        EXPECT_NE(test::WindowText(f.push), L"") << "the button's own procedure still answers";
        EXPECT_EQ(SubclassWindow(f.push), 0) << "not attached again while the skin's still passes on";
    }
    EXPECT_EQ(com::ModuleLocks(), locks);
}

}  // namespace
}  // namespace cartulane
