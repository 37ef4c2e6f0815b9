// The control's forms in this process: the help window's texts and order, where the
// close-workbook pop-up goes and what its entry closes, and the folder choice, answered
// in the shell's own folder browser.

#include "control/FolderTree.h"
#include "control/Form1.h"
#include "control/Form2.h"
#include "control/Form3.h"
#include "control/SavePath.h"
#include "control/SharedValues.h"
#include "runtime/ComServer.h"
#include "runtime/Dispatch.h"
#include "sheethost/ObjectModel.h"
#include "skin/Registry.h"
#include "skin/SkinState.h"
#include "tests/support/GuiObjects.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace cartulane::control {
namespace {

struct Child {
    std::wstring className, text;
    RECT rect;
};

std::vector<Child> Children(HWND form) {
    std::vector<Child> children;
    for (HWND child = ::GetWindow(form, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        Child c;
        wchar_t className[512] = {};
        ::GetClassNameW(child, className, 512);
        c.className = className;
        c.text = test::WindowText(child);
        ::GetWindowRect(child, &c.rect);
        ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&c.rect), 2);
        children.push_back(c);
    }
    return children;
}

int Px(double twips) { return TwipsToPixels(twips, ScreenDpi().x); }
int Py(double twips) { return TwipsToPixels(twips, ScreenDpi().y); }

TEST(Form1, TheHelpWindowShowsItsEightNotesInOrderAndClosesWithItsButton) {
    Form1& help = DefaultInstance<Form1>();
    const long locks = com::ModuleLocks();
    help.Show();
    ASSERT_TRUE(help.Loaded());
    EXPECT_GT(com::ModuleLocks(), locks) << "a loaded form keeps its library";
    EXPECT_EQ(test::WindowText(help.Hwnd()), L"帮助");
    RECT client{};
    ::GetClientRect(help.Hwnd(), &client);
    EXPECT_EQ(client.right, Px(7350));
    EXPECT_EQ(client.bottom, Py(6270));
    const LONG style = ::GetWindowLongW(help.Hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME));

    auto children = Children(help.Hwnd());
    std::vector<std::wstring> notes;
    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) { return a.rect.top < b.rect.top; });
    const Child* frame = nullptr;
    const Child* close = nullptr;
    for (const Child& child : children) {
        if (child.className == L"Static") notes.push_back(child.text);
        if (child.text == L"说明") frame = &child;
        if (child.text == L"关闭") close = &child;
    }
    ASSERT_EQ(notes.size(), 8u);
    for (size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i].substr(0, 2), std::to_wstring(i + 1) + L".");
    EXPECT_EQ(notes[0], L"1.换目录是指从弹出窗口中选择要显示的根目录；");
    EXPECT_EQ(notes[7], L"8.在“已打开Excel文件”窗口中，右击工作簿，选择关闭工作簿，即可关闭该工作簿；");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->rect.left, Px(360));
    EXPECT_EQ(frame->rect.top, Py(240));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->rect.left, Px(6000));
    for (const Child& child : children) {  // the notes lie inside the frame
        if (child.className != L"Static") continue;
        EXPECT_GE(child.rect.left, frame->rect.left);
        EXPECT_LE(child.rect.bottom, frame->rect.bottom);
    }

    // Shown again: the same window.
    HWND window = help.Hwnd();
    help.Show();
    EXPECT_EQ(help.Hwnd(), window);

    ::SendMessageW(::GetDlgItem(window, 2), BM_CLICK, 0, 0);
    EXPECT_FALSE(help.Loaded());
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(com::ModuleLocks(), locks);
}

class Form2Test : public ::testing::Test {
protected:
    void SetUp() override {
        app_ = com::Make<sheethost::Application>();
        Shared().CurrentApp = nullptr;
        Shared().CurrentBookName.clear();
    }
    void TearDown() override {
        DefaultInstance<Form2>().Unload();
        Shared().CurrentApp = nullptr;
        app_.Reset();
    }
    void ClickEntry() {
        HWND label = ::GetDlgItem(DefaultInstance<Form2>().Hwnd(), 101);
        ASSERT_NE(label, nullptr);
        ::SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        test::PumpMessages();
    }
    ComPtr<sheethost::Application> app_;
};

TEST_F(Form2Test, ThePopUpIsPlacedFromTheTreesSizeAndTheRelease) {
    Shared().BookTreeWidth = 3000;
    Shared().BookTreeHeight = 4800;
    Shared().PopupLeft = 600;
    Shared().PopupTop = 1200;
    Form2& popup = DefaultInstance<Form2>();
    popup.Show();
    RECT r{};
    ::GetWindowRect(popup.Hwnd(), &r);
    EXPECT_EQ(r.left, Px(1200));
    EXPECT_EQ(r.top, Py(5200));
    RECT client{};
    ::GetClientRect(popup.Hwnd(), &client);
    EXPECT_EQ(client.right, Px(1335));
    EXPECT_EQ(client.bottom, Py(420));
    EXPECT_FALSE(::GetWindowLongW(popup.Hwnd(), GWL_STYLE) & WS_CAPTION);

    // Shown again after another release: it moves there.
    Shared().PopupLeft = 0;
    Shared().PopupTop = 0;
    popup.Show();
    ::GetWindowRect(popup.Hwnd(), &r);
    EXPECT_EQ(r.left, Px(600));
    EXPECT_EQ(r.top, Py(4000));
}

TEST_F(Form2Test, TheEntryClosesTheLastClickedWorkbookOrJustGoesAway) {
    Form2& popup = DefaultInstance<Form2>();
    popup.Show();  // nothing clicked yet
    ClickEntry();
    EXPECT_FALSE(popup.Loaded());

    ComPtr<sheethost::Workbook> book1, book2;
    ASSERT_HRESULT_SUCCEEDED(app_->AddWorkbook(&book1));
    ASSERT_HRESULT_SUCCEEDED(app_->AddWorkbook(&book2));
    Shared().CurrentApp = app_.Get();
    Shared().CurrentBookName = L"Book1";
    popup.Show();
    ClickEntry();
    EXPECT_FALSE(popup.Loaded());
    ASSERT_EQ(app_->OpenWorkbooks().size(), 1u);
    EXPECT_EQ(app_->OpenWorkbooks()[0]->Name(), L"Book2");

    popup.Show();  // Book1 is closed already
    ClickEntry();
    EXPECT_FALSE(popup.Loaded());
    EXPECT_EQ(app_->OpenWorkbooks().size(), 1u);

    // Unsaved changes: the application asks its own question.
    book2->SetSaved(false);
    Shared().CurrentBookName = L"Book2";
    test::MessageBoxes boxes(IDCANCEL);
    popup.Show();
    ClickEntry();
    EXPECT_FALSE(popup.Loaded());
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, L"Want to save your changes to 'Book2'?");
    EXPECT_EQ(app_->OpenWorkbooks().size(), 1u);  // the user cancelled
}

TEST_F(Form2Test, EnterOnThePopUpClosesNoWorkbook) {
    ComPtr<sheethost::Workbook> book;
    ASSERT_HRESULT_SUCCEEDED(app_->AddWorkbook(&book));
    Shared().CurrentApp = app_.Get();
    Shared().CurrentBookName = L"Book1";
    Form2& popup = DefaultInstance<Form2>();
    popup.Show();
    ::SetFocus(popup.Hwnd());
    ::PostMessageW(popup.Hwnd(), WM_KEYDOWN, VK_RETURN, 0);
    test::PumpMessages();
    EXPECT_EQ(app_->OpenWorkbooks().size(), 1u);
}

TEST_F(Form2Test, AskingWhetherThePopUpIsVisibleLoadsItHidden) {
    Form2& popup = DefaultInstance<Form2>();
    EXPECT_FALSE(popup.Loaded());
    EXPECT_FALSE(popup.Visible());
    EXPECT_TRUE(popup.Loaded());
}

TEST(Form3, TheFolderChoiceSetsTheRootOrFallsBackToTheDesktop) {
    test::TempDir chosen;
    test::MakeFolder(chosen / L"报表 文件夹");
    const std::wstring saved = Shared().RootPath;
    {
        test::FolderBrowserAnswer answer(chosen / L"报表 文件夹");
        Form3& carrier = DefaultInstance<Form3>();
        carrier.Show();
        EXPECT_EQ(answer.Shown(), 1);
        EXPECT_EQ(Shared().PickedFolder, chosen / L"报表 文件夹");
        EXPECT_EQ(Shared().RootPath, chosen / L"报表 文件夹");
        EXPECT_TRUE(carrier.Visible());  // shown once its load step is over
        EXPECT_EQ(::GetPropW(carrier.Hwnd(), L"PROCADDR"), nullptr) << "the change-root carrier is not skinned";
        carrier.Unload();
    }
    {
        test::FolderBrowserAnswer cancel(L"");
        DefaultInstance<Form3>().Show();
        EXPECT_EQ(cancel.Shown(), 1);
        EXPECT_EQ(Shared().PickedFolder, L"");
        EXPECT_EQ(Shared().RootPath, DefaultRootPath());
        DefaultInstance<Form3>().Unload();
    }
    Shared().RootPath = saved;
}

TEST(Form3, WithNoPlaceOfItsOwnItComesUpCentredOnItsOwner) {
    test::HiddenWindow owner;
    ::SetWindowPos(owner.hwnd(), nullptr, 300, 200, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    test::FolderBrowserAnswer cancel(L"");
    const std::wstring saved = Shared().RootPath;
    Form3& carrier = DefaultInstance<Form3>();
    carrier.Show(owner.hwnd());
    ASSERT_TRUE(carrier.Loaded());
    RECT placed{};
    ::GetWindowRect(carrier.Hwnd(), &placed);
    EXPECT_NEAR((placed.left + placed.right) / 2, 600, 1);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, 400, 1);
    carrier.Unload();
    Shared().RootPath = saved;
}

// ---- the skin on the help form and the pop-up ----

bool Skinned(HWND window) { return ::GetPropW(window, L"PROCADDR") != nullptr; }

std::vector<HWND> Descendants(HWND form) { return test::DescendantWindows(form); }

BOOL CALLBACK CountWindows(HWND top, LPARAM count) {
    *reinterpret_cast<int*>(count) += 1 + static_cast<int>(Descendants(top).size());
    return TRUE;
}

// The windows of this thread, top-level and inside.
int ThreadWindows() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountWindows, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(SkinnedForms, TheHelpFormAndThePopUpWearTheSkinFromTheirLoad) {
    Form1& help = DefaultInstance<Form1>();
    help.Load();
    ASSERT_TRUE(help.Loaded());
    EXPECT_TRUE(Skinned(help.Hwnd()));
    const std::vector<HWND> inside = Descendants(help.Hwnd());
    for (HWND child : inside) EXPECT_TRUE(Skinned(child));
    HWND close = ::GetDlgItem(help.Hwnd(), 2);
    EXPECT_EQ(::GetWindowLongPtrW(close, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_NE(::GetPropW(close, L"HDC0"), nullptr);
    EXPECT_EQ(skin::SkinnedWindowCount(), static_cast<int>(inside.size()) + 1);

    Form2& popup = DefaultInstance<Form2>();
    popup.Load();
    EXPECT_TRUE(Skinned(popup.Hwnd()));
    EXPECT_TRUE(Skinned(::GetDlgItem(popup.Hwnd(), 101)));
    popup.Unload();
    help.Unload();
    EXPECT_EQ(skin::SkinnedWindowCount(), 0);
    EXPECT_FALSE(skin::Skin().SkinInitialized);
}

TEST(SkinnedForms, EnterAndEscapeStillWorkAndAClickStillCloses) {
    Form1& help = DefaultInstance<Form1>();
    for (const UINT key : {VK_RETURN, VK_ESCAPE}) {
        help.Show();
        HWND close = ::GetDlgItem(help.Hwnd(), 2);
        ::SetFocus(close);
        ASSERT_EQ(::GetFocus(), close);
        ::PostMessageW(close, WM_KEYDOWN, key, 0);
        ::PostMessageW(close, WM_KEYUP, key, 0xC0000001);
        test::PumpMessages();
        EXPECT_FALSE(help.Loaded()) << key;
    }
    // A press and release of the mouse on the skinned button.
    help.Show();
    HWND close = ::GetDlgItem(help.Hwnd(), 2);
    ::SendMessageW(close, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(close, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(help.Loaded());
    EXPECT_EQ(skin::SkinnedWindowCount(), 0);
}

TEST(SkinnedForms, OpeningAndClosingBothFormsAThousandTimesLeavesNothingBehind) {
    Form1& help = DefaultInstance<Form1>();
    Form2& popup = DefaultInstance<Form2>();
    help.Load();
    popup.Load();
    popup.Unload();
    help.Unload();
    const test::GuiObjects gui;
    const int windows = ThreadWindows();
    const long locks = com::ModuleLocks();
    for (int i = 0; i < 1000; ++i) {
        help.Load();
        popup.Load();
        ASSERT_TRUE(Skinned(help.Hwnd()) && Skinned(popup.Hwnd())) << i;
        popup.Unload();
        help.Unload();
    }
    EXPECT_TRUE(gui.NoneLeft(32));
    EXPECT_EQ(ThreadWindows(), windows);
    EXPECT_EQ(com::ModuleLocks(), locks);
    EXPECT_EQ(skin::SkinnedWindowCount(), 0);
}

}  // namespace
}  // namespace cartulane::control
