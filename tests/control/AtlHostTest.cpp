// TestControl in a container that is not ours: the ATL host of the system's atl100.dll
// (the "AtlAxWin100" window class) creates it by ProgID, sites and activates it as ATL
// does. What the control needs of its container must hold there as in sheethost.

#include "runtime/Dispatch.h"
#include "sheethost/ObjectModel.h"
#include "tests/support/PaneFixture.h"

namespace cartulane {
namespace {

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

class AtlHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        atl_ = ::LoadLibraryExW(L"atl100.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        ASSERT_NE(atl_, nullptr);
        auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(atl_, "AtlAxWinInit")));
        getControl_ = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
            reinterpret_cast<void*>(::GetProcAddress(atl_, "AtlAxGetControl")));
        ASSERT_TRUE(init && getControl_);
        static const bool registered = init();  // once: the class stays for the program
        ASSERT_TRUE(registered);
        frame_ = ::CreateWindowExW(0, L"Static", L"ATL host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                                   500, 800, nullptr, nullptr, nullptr, nullptr);
        host_ = ::CreateWindowExW(0, L"AtlAxWin100", L"Quillet.TestControl", WS_CHILD | WS_VISIBLE, 0, 0, 330, 760,
                                  frame_, nullptr, nullptr, nullptr);
        ASSERT_NE(host_, nullptr);
        test::PumpMessages();
        ComPtr<IUnknown> control;
        ASSERT_HRESULT_SUCCEEDED(getControl_(host_, &control));
        ASSERT_HRESULT_SUCCEEDED(control.As(&control_));
        ComPtr<IOleWindow> window;
        ASSERT_HRESULT_SUCCEEDED(control.As(&window));
        ASSERT_HRESULT_SUCCEEDED(window->GetWindow(&window_));
    }
    void TearDown() override {
        control_.Reset();
        if (frame_) ::DestroyWindow(frame_);
        test::PumpMessages();
        // atl100.dll stays loaded: its window class lives as long as the program.
    }

    HMODULE atl_ = nullptr;
    HRESULT(WINAPI* getControl_)(HWND, IUnknown**) = nullptr;
    HWND frame_ = nullptr;
    HWND host_ = nullptr;
    HWND window_ = nullptr;
    ComPtr<_TestControl> control_;
};

TEST_F(AtlHostTest, TheControlIsCreatedSitedLaidOutAndFilledAsInThePane) {
    EXPECT_EQ(::GetParent(window_), host_);
    EXPECT_TRUE(::IsWindowVisible(window_));
    const test::ControlTrees trees = test::FindTrees(window_);
    ASSERT_NE(trees.folder, nullptr);
    EXPECT_EQ(test::Children(trees.folder, nullptr), std::vector<std::wstring>{L"桌面"});

    // ATL sizes the control with its window: the trees follow.
    ::MoveWindow(host_, 0, 0, 400, 700, TRUE);
    test::PumpMessages();
    RECT tree{}, control{};
    ::GetClientRect(window_, &control);
    ::GetWindowRect(trees.workbook, &tree);
    EXPECT_NEAR(tree.right - tree.left, control.right, 1);
    EXPECT_NEAR(tree.bottom - tree.top, control.bottom / 2.0, 1);

    // The application handed over, the workbook tree lists its workbooks.
    ComPtr<sheethost::Application> app = com::Make<sheethost::Application>();
    ASSERT_HRESULT_SUCCEEDED(app->AddWorkbook(nullptr));
    ASSERT_HRESULT_SUCCEEDED(control_->put_Application(app.Get()));
    ASSERT_HRESULT_SUCCEEDED(control_->FillTvw());
    EXPECT_EQ(test::Children(trees.workbook, nullptr), std::vector<std::wstring>{L"Book1"});

    // Focus in the control, and keys through the tree as a user types them.
    ::SetFocus(trees.folder);
    TreeView_SelectItem(trees.folder, TreeView_GetRoot(trees.folder));
    ::SendMessageW(trees.folder, WM_KEYDOWN, VK_DOWN, 0);
    test::PumpMessages();
    EXPECT_EQ(test::ItemText(trees.folder, TreeView_GetSelection(trees.folder)), L"报表 2024");
    ASSERT_HRESULT_SUCCEEDED(control_->put_Application(nullptr));
}

TEST_F(AtlHostTest, DestroyingTheHostLetsGoOfTheControlAndItsLibrary) {
    ComPtr<_TestControl> control = std::move(control_);
    control->AddRef();
    EXPECT_GE(control->Release(), 1u);
    ::DestroyWindow(frame_);
    frame_ = nullptr;
    test::PumpMessages();
    EXPECT_FALSE(::IsWindow(window_));
    control->AddRef();
    EXPECT_EQ(control->Release(), 1u) << "only this test holds it";
    control.Reset();
    EXPECT_EQ(test::CallOcx("DllCanUnloadNow"), S_OK);
}

}  // namespace
}  // namespace cartulane
