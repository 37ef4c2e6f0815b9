// A click and a key press on a sheet of a workbook that is not active, with the add-in's
// relay connected as in the application: activating the workbook raises the application's
// events, the relay fills the workbook tree anew, and the click must go on without the
// node it started from. The sheet was renamed behind the tree's back, so the new tree
// has another node where the clicked one was: a handler that reads the node after the
// rebuild selects the wrong sheet. Run under Wine's heap checking besides.

#include "runtime/Dispatch.h"
#include "tests/support/AddInFixture.h"

namespace cartulane {
namespace {

const auto* const g_control = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);
const auto* const g_addIn = ::testing::AddGlobalTestEnvironment(new test::AddInEnvironment);

class RelayedClickTest : public test::AddInFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApplication(L"16.0", 1000, 760));
        ASSERT_EQ(host_->Panes().size(), 1u);
        HWND control = test::ControlWindow(host_->Panes().front().get());
        ASSERT_NE(control, nullptr);
        tree_ = test::FindTrees(control).workbook;
        ASSERT_NE(tree_, nullptr);
        for (int i = 0; i < 2; ++i) ASSERT_HRESULT_SUCCEEDED(host_->App().AddWorkbook(nullptr));
        host_->PumpMessages();
    }
    HTREEITEM Item(const wchar_t* book, const wchar_t* sheet) {
        return test::FindItem(tree_, test::FindItem(tree_, nullptr, book), sheet);
    }
    void RenameSheet(const wchar_t* book, const wchar_t* sheet, const wchar_t* name) {
        for (const auto& candidate : host_->App().Find(book)->Sheets()) {
            if (candidate->Name() == sheet) {
                ASSERT_HRESULT_SUCCEEDED(dispatch::Put(candidate.Get(), L"Name", Variant(name)));
            }
        }
    }
    std::wstring Active() {
        sheethost::Workbook* book = host_->App().ActiveWorkbook();
        return book ? book->Name() + L"!" + (book->ActiveSheet() ? book->ActiveSheet()->Name() : L"") : L"";
    }

    HWND tree_ = nullptr;
};

TEST_F(RelayedClickTest, AClickOnASheetOfAnotherWorkbookActivatesItAndSelectsTheSheet) {
    ASSERT_EQ(Active(), L"Book2!Sheet1");
    HTREEITEM sheet = Item(L"Book1", L"Sheet3");
    ASSERT_NE(sheet, nullptr);
    RECT r{};
    TreeView_GetItemRect(tree_, sheet, &r, TRUE);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    POINT screen{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(tree_, &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::PostMessageW(tree_, WM_LBUTTONUP, 0, at);
    ::SendMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    host_->PumpMessages();
    EXPECT_EQ(Active(), L"Book1!Sheet3");
    // The relay filled the tree anew: both workbooks are listed in full.
    EXPECT_EQ(test::Children(tree_, nullptr), (std::vector<std::wstring>{L"Book1", L"Book2"}));

    // A sheet renamed since the fill: its workbook is activated and nothing is selected,
    // although the rebuilt tree shows the new name where the clicked node was.
    ASSERT_HRESULT_SUCCEEDED(host_->App().ActivateWorkbook(host_->App().Find(L"Book2")));
    RenameSheet(L"Book1", L"Sheet2", L"汇总");
    host_->PumpMessages();
    TreeView_GetItemRect(tree_, Item(L"Book1", L"Sheet2"), &r, TRUE);
    const LPARAM renamed = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(tree_, WM_LBUTTONUP, 0, renamed);
    ::SendMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, renamed);
    host_->PumpMessages();
    EXPECT_EQ(Active(), L"Book1!Sheet3");
    EXPECT_EQ(test::Children(tree_, test::FindItem(tree_, nullptr, L"Book1")),
              (std::vector<std::wstring>{L"Sheet1", L"汇总", L"Sheet3"}));
}

TEST_F(RelayedClickTest, AKeyPressOntoASheetOfAnotherWorkbookActivatesItAndSelectsTheSheet) {
    ASSERT_EQ(Active(), L"Book2!Sheet1");
    ::SetFocus(tree_);
    TreeView_SelectItem(tree_, Item(L"Book1", L"Sheet1"));  // by the program: no click
    host_->PumpMessages();
    ASSERT_EQ(Active(), L"Book2!Sheet1");
    ::PostMessageW(tree_, WM_KEYDOWN, VK_DOWN, 0);
    host_->PumpMessages();
    EXPECT_EQ(Active(), L"Book1!Sheet2");
    EXPECT_EQ(test::Children(tree_, nullptr), (std::vector<std::wstring>{L"Book1", L"Book2"}));

    // Onto a sheet renamed since the fill: the workbook is activated, nothing selected.
    RenameSheet(L"Book2", L"Sheet2", L"汇总");
    host_->PumpMessages();
    ::SetFocus(tree_);
    TreeView_SelectItem(tree_, Item(L"Book2", L"Sheet1"));
    ::PostMessageW(tree_, WM_KEYDOWN, VK_DOWN, 0);
    host_->PumpMessages();
    EXPECT_EQ(Active(), L"Book2!Sheet1");
    EXPECT_TRUE(host_->HostKeys().empty());
}

}  // namespace
}  // namespace cartulane
