// The add-in in the application of 2013 and later (16.0), where every workbook has a
// window of its own with its own ribbon and panes, and a pane is deleted with its window:
// a pane in every window, the toggle acting on all of them, the relay reaching every live
// pane and none that is gone, and no tree listing a closed workbook.

#include "tests/support/AddInFixture.h"

namespace cartulane {
namespace {

using sheethost::MainWindow;
using sheethost::TaskPane;
using sheethost::Workbook;
using test::Children;

const auto* const g_control = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);
const auto* const g_addIn = ::testing::AddGlobalTestEnvironment(new test::AddInEnvironment);

class WindowPanesTest : public test::AddInFixture {
protected:
    void Start() {
        ASSERT_NO_FATAL_FAILURE(StartApplication(L"16.0", 900, 700));
        ASSERT_EQ(host_->Windows().size(), 1u);
        ASSERT_NE(PaneIn(host_->Windows()[0]), nullptr);
    }
    Workbook* Add() {
        ComPtr<Workbook> book;
        EXPECT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&book));
        host_->PumpMessages();
        return book.Get();
    }
    void Close(const wchar_t* name) {
        ComPtr<Workbook> book(host_->App().Find(name));
        ASSERT_NE(book, nullptr);
        std::wstring error;
        ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(book.Get(), false, &error));
        host_->PumpMessages();
    }
    MainWindow* WindowOf(const wchar_t* book) {
        Workbook* found = host_->App().Find(book);
        return found ? host_->WindowOf(found->Window()) : nullptr;
    }
    // The add-in's pane in a window.
    TaskPane* PaneIn(MainWindow* window) {
        if (!window) return nullptr;
        for (const auto& pane : window->Panes())
            if (pane->Title() == L"Cartulane") return pane.get();
        return nullptr;
    }
    std::vector<std::wstring> Listed(MainWindow* window) { return Children(TreesIn(PaneIn(window)).workbook, nullptr); }
    // The toggle of that window's ribbon, as the user presses it.
    void Press(MainWindow* window) {
        ::SendMessageW(window->GetRibbon().Button(L"Button"), BM_CLICK, 0, 0);
        host_->PumpMessages();
        EXPECT_HRESULT_SUCCEEDED(window->GetRibbon().lastCallbackResult);
    }
    bool Pressed(MainWindow* window) { return window->GetRibbon().Pressed(L"Button"); }
    bool Shown(MainWindow* window) {
        TaskPane* pane = PaneIn(window);
        return pane && pane->Visible() && ::IsWindowVisible(pane->Hwnd());
    }
};

TEST_F(WindowPanesTest, AWorkbookOpenedInANewWindowHasThePaneThereWithBothTreesFilled) {
    Start();
    MainWindow* first = host_->Windows()[0];
    TaskPane* firstPane = PaneIn(first);
    // The first workbook comes up in the window without a workbook, with the pane made at
    // start.
    test::TempDir folder;
    test::MakeFile(folder / L"季度 报告.xlsx");
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(host_->App().OpenWorkbook(folder / L"季度 报告.xlsx", nullptr, &error));
    host_->PumpMessages();
    ASSERT_EQ(host_->Windows().size(), 1u);
    EXPECT_EQ(PaneIn(first), firstPane);
    EXPECT_EQ(Listed(first), std::vector<std::wstring>{L"季度 报告.xlsx"});

    // The next one, opened from the pane with a double-click on its file, comes up in a
    // window of its own, which gets a pane of its own.
    HWND folderTree = TreesIn(firstPane).folder;
    HTREEITEM file = test::FindItem(folderTree, TreeView_GetRoot(folderTree), L"预算.xls");
    ASSERT_NE(file, nullptr);
    TreeView_SelectItem(folderTree, file);
    RECT r{};
    TreeView_GetItemRect(folderTree, file, &r, TRUE);
    ::SendMessageW(folderTree, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    host_->PumpMessages();
    ASSERT_EQ(host_->Windows().size(), 2u);
    MainWindow* second = WindowOf(L"预算.xls");
    ASSERT_NE(second, first);
    EXPECT_EQ(host_->Hwnd(), second->Hwnd());
    EXPECT_EQ(::GetForegroundWindow(), second->Hwnd());
    ASSERT_NE(second->GetRibbon().Button(L"Button"), nullptr);
    TaskPane* pane = PaneIn(second);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(second->Panes().size(), 1u);
    EXPECT_TRUE(Shown(second));
    EXPECT_EQ(pane->Width(), 245);
    EXPECT_EQ(pane->DockPosition(), msoCTPDockPositionLeft);
    const test::ControlTrees trees = TreesIn(pane);
    EXPECT_EQ(Children(trees.folder, nullptr), std::vector<std::wstring>{L"桌面"});
    EXPECT_EQ(Children(trees.folder, TreeView_GetRoot(trees.folder)),
              (std::vector<std::wstring>{L"报表 2024", L"预算.xls"}));
    const std::vector<std::wstring> both{L"季度 报告.xlsx", L"预算.xls"};
    EXPECT_EQ(Listed(second), both);
    EXPECT_EQ(Listed(first), both);

    // Going back and forth makes no more panes; each window keeps its own.
    ASSERT_HRESULT_SUCCEEDED(host_->App().ActivateWorkbook(host_->App().Find(L"季度 报告.xlsx")));
    ASSERT_HRESULT_SUCCEEDED(host_->App().ActivateWorkbook(host_->App().Find(L"预算.xls")));
    host_->PumpMessages();
    EXPECT_EQ(first->Panes().size(), 1u);
    EXPECT_EQ(second->Panes().size(), 1u);
    EXPECT_EQ(PaneIn(first), firstPane);
    EXPECT_EQ(PaneIn(second), pane);
}

// Every window's toggle shows the panes' state (the ribbon asks the add-in, and asks again
// when the add-in has it asked): a press in one window moves the toggles of all.
TEST_F(WindowPanesTest, OneWindowsToggleHidesEveryPaneMovesEveryToggleAndANewWindowComesUpHidden) {
    Start();
    Add();
    Add();
    MainWindow* book1 = WindowOf(L"Book1");
    MainWindow* book2 = WindowOf(L"Book2");
    ASSERT_NE(book1, book2);
    ASSERT_TRUE(Shown(book1) && Shown(book2));
    EXPECT_TRUE(Pressed(book1) && Pressed(book2));
    Press(book2);
    EXPECT_FALSE(Shown(book1));
    EXPECT_FALSE(Shown(book2));
    EXPECT_FALSE(Pressed(book1)) << "the other window's toggle follows";
    EXPECT_FALSE(Pressed(book2));

    Add();
    MainWindow* book3 = WindowOf(L"Book3");
    ASSERT_NE(PaneIn(book3), nullptr);
    EXPECT_FALSE(Shown(book3));
    EXPECT_FALSE(Pressed(book3));
    EXPECT_EQ(Listed(book3), (std::vector<std::wstring>{L"Book1", L"Book2", L"Book3"}));
    Press(book3);
    EXPECT_TRUE(Shown(book1) && Shown(book2) && Shown(book3));
    EXPECT_TRUE(Pressed(book1) && Pressed(book2) && Pressed(book3));
    // The pane's own close box hides that pane alone.
    TaskPane* pane = PaneIn(book1);
    RECT client{};
    ::GetClientRect(pane->Hwnd(), &client);
    ::SendMessageW(pane->Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right - 4, pane->TitleHeight() / 2));
    EXPECT_FALSE(Shown(book1));
    EXPECT_TRUE(Shown(book2) && Shown(book3));
}

TEST_F(WindowPanesTest, ClosingTheWindowOfTheFirstPaneLeavesTheOtherPanesAndTheToggleWorking) {
    Start();
    Add();
    Add();
    Add();
    MainWindow* book1 = WindowOf(L"Book1");
    ASSERT_EQ(book1, host_->Windows()[0]) << "the first workbook took the window of the first pane";
    ASSERT_HRESULT_SUCCEEDED(host_->App().ActivateWorkbook(host_->App().Find(L"Book1")));
    Close(L"Book1");
    ASSERT_EQ(host_->Windows().size(), 2u);
    MainWindow* book2 = WindowOf(L"Book2");
    MainWindow* book3 = WindowOf(L"Book3");
    EXPECT_EQ(Listed(book2), (std::vector<std::wstring>{L"Book2", L"Book3"}));
    EXPECT_EQ(Listed(book3), (std::vector<std::wstring>{L"Book2", L"Book3"}));

    Press(book3);
    EXPECT_FALSE(Shown(book2) || Shown(book3));
    Press(book2);
    EXPECT_TRUE(Shown(book2) && Shown(book3));

    // A window closed behind the active one: no activation follows, and the trees drop
    // it once the close is done.
    Add();
    ASSERT_EQ(host_->App().ActiveWorkbook()->Name(), L"Book4");
    Close(L"Book2");
    EXPECT_EQ(Listed(book3), (std::vector<std::wstring>{L"Book3", L"Book4"}));
    EXPECT_EQ(Listed(WindowOf(L"Book4")), (std::vector<std::wstring>{L"Book3", L"Book4"}));
    // The new window's toggle shows the panes' state too: down.
    EXPECT_TRUE(Pressed(WindowOf(L"Book4")));
    Press(WindowOf(L"Book4"));
    EXPECT_FALSE(Shown(book3));
    Press(WindowOf(L"Book4"));
    EXPECT_TRUE(Shown(book3));
    // Each pane gone with its window was asked for its window once (the call fails), then forgotten.
    EXPECT_EQ(host_->App().CallsOnDeletedPanes(), 2u);
}

TEST_F(WindowPanesTest, AfterTheLastWorkbookClosesNoTreeListsItAndTheToggleMakesAPaneForTheEmptyWindow) {
    Start();
    Add();
    Add();
    Close(L"Book1");
    EXPECT_EQ(Listed(WindowOf(L"Book2")), std::vector<std::wstring>{L"Book2"});
    Close(L"Book2");
    // The last workbook's window stays as the application's window; its panes went with
    // the workbook's window.
    ASSERT_EQ(host_->Windows().size(), 1u);
    MainWindow* window = host_->Windows()[0];
    EXPECT_EQ(PaneIn(window), nullptr);
    EXPECT_FALSE(Pressed(window)) << "no pane in this window";
    Press(window);
    ASSERT_NE(PaneIn(window), nullptr);
    EXPECT_TRUE(Shown(window));
    EXPECT_TRUE(Listed(window).empty());
    EXPECT_EQ(Children(TreesIn(PaneIn(window)).folder, nullptr), std::vector<std::wstring>{L"桌面"});

    // A workbook opened now comes up in that window, with that pane.
    TaskPane* pane = PaneIn(window);
    Add();
    EXPECT_EQ(WindowOf(L"Book3"), window);
    EXPECT_EQ(PaneIn(window), pane);
    EXPECT_EQ(window->Panes().size(), 1u);
    EXPECT_EQ(Listed(window), std::vector<std::wstring>{L"Book3"});
    EXPECT_EQ(host_->App().CallsOnDeletedPanes(), 2u) << "each pane gone asked once, then forgotten";
}

// From 15.0 the frame the last workbook leaves takes the next one, handle and all: the pane
// of the closed workbook is gone with it, and the next workbook gets a pane of its own there
// (one, and the toggle works), even when no event came between the close and the open.
TEST_F(WindowPanesTest, TheNextWorkbookInTheFrameTheLastOneLeftGetsOnePaneOfItsOwn) {
    Start();
    Add();
    MainWindow* frame = WindowOf(L"Book1");
    ASSERT_NE(PaneIn(frame), nullptr);
    const HWND handle = frame->Hwnd();
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(host_->App().CloseWorkbook(host_->App().Find(L"Book1"), false, &error));
    ComPtr<Workbook> next;
    ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(&next));
    host_->PumpMessages();
    MainWindow* window = WindowOf(L"Book2");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Hwnd(), handle) << "the same frame";
    ASSERT_NE(PaneIn(window), nullptr);
    EXPECT_EQ(window->Panes().size(), 1u);
    EXPECT_TRUE(Shown(window));
    EXPECT_EQ(Listed(window), std::vector<std::wstring>{L"Book2"});
    Press(window);
    EXPECT_FALSE(Shown(window));
    Press(window);
    EXPECT_TRUE(Shown(window));
    EXPECT_EQ(window->Panes().size(), 1u);
}

}  // namespace
}  // namespace cartulane
